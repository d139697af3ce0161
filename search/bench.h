// The bench: a fixed set of positions, each searched to a depth from a cleared
// 64 MiB table, the first search thread on the calling thread. Its node total is the search's
// signature: every build and every run, native or WebAssembly, prints the same
// one. `drozak-tools bench` and the UCI front end's `bench` both run it here.
#pragma once

#include <cstdint>
#include <string>

#include "board/position.h"
#include "board/types.h"

constexpr int BenchDefaultDepth = 7;
constexpr std::uint64_t BenchTableMiB = 64;

// The board the bench and the tools set their positions up on, apart from
// the engine's game.
Board& toolBoard();

// Sets up a position for a tool's search on the tool's board, with a cleared
// table. False, for a FEN that is refused.
bool setupSearchPosition(const char* fen);

struct SearchOutcome {
    Move move;
    int score;
    std::uint64_t nodes;            // every move made by every thread, quiescence included
    std::uint32_t alphaBetaNodes;   // moves made by the first thread's alpha-beta alone
};

// A root search of the set-up position that stops after the given depth.
SearchOutcome searchToDepth(int depth);

// One position's result, as the bench hands it to its caller.
struct BenchPosition {
    int index;  // from 1
    const char* fen;
    SearchOutcome outcome;
    double seconds;
};

struct BenchTotals {
    std::uint64_t nodes = 0;
    std::uint64_t alphaBetaNodes = 0;
    double seconds = 0;
    // What went wrong, empty when nothing did: no memory for the table, or a
    // position that would not set up.
    std::string error;
};

// Runs the bench to `depth` while no other search runs, calling `onPosition`
// after each position. The table is made 64 MiB first and stays so, cleared,
// and the killer moves start empty, so that the count does not depend on what
// was searched before; the searches report to no observer.
BenchTotals runBench(int depth, void (*onPosition)(const BenchPosition&));

// The bench's lines as both programs print them: one a position, and the two
// closing lines (the last one `total N nodes M nps`).
std::string benchPositionLine(const BenchPosition& result);
std::string benchTotalLines(const BenchTotals& totals);
