// evalbench [SECONDS]: how many static evaluations a second this build does,
// over a fixed mix of opening, middle-game and endgame positions.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <vector>

#include "board/fen.h"
#include "eval/eval.h"
#include "tools/tools.h"

namespace {

const char* const benchPositions[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1",
    "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4",
    "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP3PPP/R2QKB1R w KQ - 0 8",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "r2q1rk1/pp1nbppp/2p1pn2/3p4/2PP4/1PN1PN2/PB3PPP/R2QKB1R w KQ - 1 9",
    "2rq1rk1/pp1bppbp/3p1np1/4n3/3NP3/1BN1BP2/PPPQ2PP/2KR3R w - - 5 13",
    "r1b2rk1/2q1bppp/p2ppn2/1p6/3NP3/1BN1B3/PPP1QPPP/R4RK1 w - - 0 12",
    "3r1rk1/pp3ppp/2n1b3/2p5/4P3/2N1BP2/PP4PP/2KR1B1R b - - 2 16",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "4rrk1/pp1n3p/3q2pQ/2p1pb2/2PP4/2P3N1/P2B2PP/4RRK1 b - - 7 19",
    "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1",
    "8/8/4kpp1/3p1b2/p6P/2B5/6P1/6K1 b - - 0 47",
    "8/5pk1/6p1/7p/P6P/6P1/5PK1/8 w - - 0 40",
    "2r3k1/1q1nbppp/r3p3/3pP3/pPpP4/P1Q2N2/2RN1PPP/2R4K b - - 0 22",
    "r1bbk1nr/pp3p1p/2n5/1N4p1/2Np1B2/8/PPP2PPP/2KR1B1R w kq - 0 13",
    "8/8/8/3k4/8/8/3K4/3BN3 w - - 0 1",
    "1k6/1p1r4/p1p5/P1P5/1P6/3R4/6K1/8 w - - 0 50",
    "rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3",
};

}  // namespace

int evalbenchCommand(int argc, char** argv) {
    const double seconds = argc > 0 ? std::atof(argv[0]) : 3.0;
    if (seconds <= 0) {
        std::fprintf(stderr, "evalbench: SECONDS must be positive\n");
        return 2;
    }
    std::vector<Position> positions;
    for (const char* fen : benchPositions) {
        FenSetup setup;
        if (!readFen(fen, setup)) {
            std::fprintf(stderr, "evalbench: bad position %s\n", fen);
            return 1;
        }
        positions.push_back(setup.position);
    }

    // Each position gets a batch of calls in turn; the clock is read per round.
    constexpr int CallsPerBatch = 4096;
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    std::uint64_t calls = 0;
    volatile std::int16_t sink = 0;  // keeps the calls even if the optimiser sees into evaluate()
    double elapsed = 0;
    do {
        for (const Position& p : positions) {
            for (int i = 0; i < CallsPerBatch; ++i) sink = evaluate(p);
            calls += CallsPerBatch;
        }
        elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    } while (elapsed < seconds);

    std::printf("positions %zu\n", positions.size());
    std::printf("calls %llu\n", static_cast<unsigned long long>(calls));
    std::printf("seconds %.3f\n", elapsed);
    std::printf("calls/s %.0f\n", static_cast<double>(calls) / elapsed);
    static_cast<void>(sink);
    return 0;
}
