// drozak-tools bench [DEPTH]: the bench (search/bench.h), its lines on
// standard output as each position is done.
#include <cstdio>
#include <cstdlib>

#include "search/bench.h"
#include "tools/tools.h"

namespace {

void printPosition(const BenchPosition& result) {
    std::printf("%s\n", benchPositionLine(result).c_str());
    std::fflush(stdout);
}

}  // namespace

int benchCommand(int argc, char** argv) {
    const int depth = argc >= 1 ? std::atoi(argv[0]) : BenchDefaultDepth;
    if (depth < 2) {
        std::fprintf(stderr, "usage: drozak-tools bench [DEPTH] (DEPTH >= 2)\n");
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
