// drozak-tools bench [DEPTH]: the bench (search/bench.h), its lines on
// standard output as each position is done.
#include <cstdio>
#include <cstdlib>

#include "search/bench.h"
#include "search/search.h"
#include "tools/tools.h"

namespace {

void printPosition(const BenchPosition& result) {
    std::printf("%s\n", benchPositionLine(result).c_str());
    std::fflush(stdout);
}

}  // namespace

int benchCommand(int argc, char** argv) {
    const bool threads = takeThreadsOption(argc, argv);
    const int depth = argc >= 1 ? std::atoi(argv[0]) : BenchDefaultDepth;
    if (depth < 2 || !threads) {
        std::fprintf(stderr, "usage: drozak-tools bench [DEPTH] [--threads N] (DEPTH >= 2, N 1-%d)\n", MaxSearchThreads);
        return 2;
    }
    const BenchTotals totals = runBench(depth, printPosition);
    if (!totals.error.empty()) {
        std::fprintf(stderr, "bench: %s\n", totals.error.c_str());
        return 1;
    }
    std::printf("%s\n", benchTotalLines(totals).c_str());
    return 0;
}
