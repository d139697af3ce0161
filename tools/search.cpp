// drozak-tools search DEPTH [FEN]: a fixed-depth root search from a cleared table.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "board/movetext.h"
#include "search/bench.h"
#include "tools/tools.h"

const char* const StartFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";

int searchCommand(int argc, char** argv) {
    const int depth = argc >= 1 ? std::atoi(argv[0]) : 0;
    if (depth < 2) {
        std::fprintf(stderr, "usage: drozak-tools search DEPTH [FEN] (DEPTH >= 2)\n");
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
