// drozak-tools search DEPTH [FEN]: a fixed-depth root search from a cleared table.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "board/movetext.h"
#include "search/bench.h"
#include "search/search.h"
#include "tools/tools.h"

const char* const StartFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";

bool takeThreadsOption(int& argc, char** argv) {
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--threads") != 0) continue;
        char* end = nullptr;
        const long count = i + 1 < argc ? std::strtol(argv[i + 1], &end, 10) : 0;
        if (!end || *end || count < 1 || count > MaxSearchThreads) return false;
        searchPool.setThreadCount(static_cast<int>(count));
        for (int j = i; j + 2 < argc; ++j) argv[j] = argv[j + 2];
        argc -= 2;
        return true;
    }
    return true;
}

int searchCommand(int argc, char** argv) {
    const bool threads = takeThreadsOption(argc, argv);
    const int depth = argc >= 1 ? std::atoi(argv[0]) : 0;
    if (depth < 2 || !threads) {
        std::fprintf(stderr, "usage: drozak-tools search DEPTH [FEN] [--threads N] (DEPTH >= 2, N 1-%d)\n", MaxSearchThreads);
        return 2;
    }
    const std::string fen = fenArgument(argc - 1, argv + 1);
    if (!setupSearchPosition(fen.c_str())) {
        std::fprintf(stderr, "search: illegal position: %s\n", fen.c_str());
        return 2;
    }
    const SearchOutcome outcome = searchToDepth(depth);
    char text[8] = "0000";
    if (outcome.move) moveToText(text, outcome.move);
    std::printf("bestmove %s score %d nodes %llu abnodes %u\n", text, outcome.score,
                static_cast<unsigned long long>(outcome.nodes), outcome.alphaBetaNodes);
    return 0;
}
