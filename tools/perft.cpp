// drozak-tools perft DEPTH [--chess960] [FEN]: the legal leaf count of every
// root move and the total, from the start position or the given FEN; a
// Chess960 FEN by the switch or by rook files in its castling field, its
// castlings written as the king taking its rook.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "board/fen.h"
#include "board/movetext.h"
#include "movegen/perft.h"
#include "tools/tools.h"

int perftCommand(int argc, char** argv) {
    char* end = nullptr;
    const long depth = argc >= 1 ? std::strtol(argv[0], &end, 10) : -1;
    if (argc < 1 || *end || depth < 1 || depth > 30) {
        std::fprintf(stderr, "usage: drozak-tools perft DEPTH [--chess960] [FEN]  (DEPTH 1-30)\n");
        return 2;
    }
    const bool switched = argc > 1 && std::strcmp(argv[1], "--chess960") == 0;
    const std::string fen = fenArgument(argc - 1 - switched, argv + 1 + switched);
    std::string reason;
    if (!setUpBoard(toolBoard(), fen, &reason, switched || namesRookFiles(fen))) {
        std::fprintf(stderr, "perft: not a playable position (%s): %s\n", reason.c_str(), fen.c_str());
        return 2;
    }

    const auto start = std::chrono::steady_clock::now();
    CountOnly visitor;
    const std::uint64_t total = perftRoot(toolBoard(), static_cast<int>(depth), visitor, [](Move move, std::uint64_t count) {
        char text[8];
        moveToText(text, move, toolBoard().position.castling);
        std::printf("%s %llu\n", text, static_cast<unsigned long long>(count));
    });
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("total %llu\n", static_cast<unsigned long long>(total));
    std::fprintf(stderr, "%.3f s, %.0f leaves/s\n", seconds, seconds > 0 ? total / seconds : 0.0);
    return 0;
}
