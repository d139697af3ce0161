#include "search/bench.h"

#include <chrono>
#include <cstdio>

#include "board/fen.h"
#include "board/position.h"
#include "board/movetext.h"
#include "search/search.h"
#include "search/transtable.h"

namespace {

const char* const benchPositions[] = {
    // openings
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
    "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -",
    "rnbqkb1r/pp2pppp/3p1n2/8/3NP3/8/PPP2PPP/RNBQKB1R w KQkq -",
    "rnbqkb1r/ppp1pppp/5n2/3p4/2PP4/8/PP2PPPP/RNBQKBNR w KQkq -",
    "r1bqk2r/pppp1ppp/2n2n2/2b1p3/2B1P3/3P1N2/PPP2PPP/RNBQK2R w KQkq -",
    "rnbq1rk1/ppp1ppbp/3p1np1/8/2PPP3/2N2N2/PP2BPPP/R1BQK2R b KQ -",
    // middlegames
    "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N2N2/PP2BPPP/R1BQ1RK1 w - -",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - -",
    "2rq1rk1/pb1nbppp/1p2pn2/2pp4/2PP4/1PN1PN2/PB2BPPP/2RQ1RK1 w - -",
    "r1b2rk1/2q1bppp/p2ppn2/1p6/3BPP2/2N2B2/PPP3PP/R2Q1R1K w - -",
    "r1bqr1k1/ppp2ppp/2np1n2/2b1p3/2B1P3/2NP1N1P/PPP2PP1/R1BQR1K1 w - -",
    "r2qkb1r/pp2nppp/3p4/2pNN1B1/2BnP3/3P4/PPP2PPP/R2bK2R w KQkq -",
    "r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq -",
    "rnbqk2r/pp2ppbp/3p1np1/8/3NP3/2N1BP2/PPP3PP/R2QKB1R b KQkq -",
    "r2q1rk1/ppp2ppp/2npbn2/2b1p3/4P3/2PP1N2/PPB2PPP/RNBQR1K1 b - -",
    "1r3rk1/5ppp/p1q1p3/2pnP3/8/P1Q2N2/1P3PPP/2RR2K1 w - -",
    "r1b1k2r/ppppnppp/2n2q2/2b5/3NP3/2P1B3/PP3PPP/RN1QKB1R w KQkq -",
    // endgames
    "8/8/8/4k3/8/8/4P3/4K3 w - -",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
    "8/8/1p1k4/p1p5/P1P5/1P1K4/8/8 w - -",
    "6k1/5p2/6p1/8/7P/8/5PK1/8 w - -",
    "8/pp3k2/2p5/3p4/3P4/2P5/PP3K2/8 w - -",
    "4k3/8/8/3PP3/8/8/8/4K3 w - -",
    "8/8/4k3/8/2R5/4K3/4P3/6r1 w - -",
    "2r3k1/5ppp/8/8/8/8/5PPP/1R4K1 w - -",
    "8/6k1/8/8/8/8/2Q3PK/5q2 w - -",
    // mates
    "k7/8/1K6/8/8/8/8/7R w - -",
    "7k/8/5KQ1/8/8/8/8/8 w - -",
    "3r2k1/5ppp/8/8/8/8/4RPPP/4R1K1 w - -",
    "rnb1kbnr/pppp1ppp/8/4p3/5PPq/8/PPPPP2P/RNBQKBNR w KQkq -",
};

}  // namespace

Board& toolBoard() {
    static Board* const board = new Board;
    return *board;
}

bool setupSearchPosition(const char* fen) {
    if (!setUpBoard(toolBoard(), fen)) return false;
    searchPool.newGame();
    return true;
}

SearchOutcome searchToDepth(int depth) {
    SearchRequest request;
    request.depthCap = depth;
    searchSignals.stop = false;
    searchSignals.stopAfterIteration = false;
    searchPool.prepare(toolBoard());
    searchPool.run(request);
    SearchThread& main = searchPool.main();
    const ScoredMove result = main.result();
    return SearchOutcome{result.move, result.score, searchPool.nodes(), main.alphaBetaNodes};
}

BenchTotals runBench(int depth, void (*onPosition)(const BenchPosition&)) {
    BenchTotals totals;
    if (ttBytes() != BenchTableMiB << 20 && !ttResize(ttBucketsForMiB(BenchTableMiB))) {
        totals.error = "no memory for a table of " + std::to_string(BenchTableMiB) + " MiB";
        return totals;
    }
    // Killer moves carry over from search to search: they start empty, as in
    // a fresh process, so that a bench after other searches counts the same.
    searchPool.forgetKillers();
    int index = 0;
    for (const char* fen : benchPositions) {
        ++index;
        if (!setupSearchPosition(fen)) {
            totals.error = "illegal position " + std::to_string(index) + ": " + fen;
            return totals;
        }
        const auto start = std::chrono::steady_clock::now();
        const SearchOutcome outcome = searchToDepth(depth);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        totals.seconds += seconds;
        totals.nodes += outcome.nodes;
        totals.alphaBetaNodes += outcome.alphaBetaNodes;
        if (onPosition) onPosition(BenchPosition{index, fen, outcome, seconds});
    }
    return totals;
}

std::string benchPositionLine(const BenchPosition& result) {
    char move[8] = "0000";
    if (result.outcome.move) moveToText(move, result.outcome.move);
    char line[256];
    std::snprintf(line, sizeof line, "%2d %-5s score %6d nodes %12llu abnodes %10u %8.3f s  %s", result.index, move,
                  result.outcome.score, static_cast<unsigned long long>(result.outcome.nodes),
                  result.outcome.alphaBetaNodes, result.seconds, result.fen);
    return line;
}

std::string benchTotalLines(const BenchTotals& totals) {
    const double nps = totals.seconds > 0 ? totals.nodes / totals.seconds : 0;
    char lines[160];
    std::snprintf(lines, sizeof lines, "abnodes %llu seconds %.2f\ntotal %llu nodes %.0f nps",
                  static_cast<unsigned long long>(totals.alphaBetaNodes), totals.seconds,
                  static_cast<unsigned long long>(totals.nodes), nps);
    return lines;
}
