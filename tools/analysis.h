// What annotate and epd share: a search of the game position under a depth or
// a time limit, run as the engine runs its own, and scores as people read them.
#pragma once

#include <string>
#include <vector>

#include "board/position.h"
#include "board/types.h"

struct SearchLimits {
    int depth = 0;         // the last iteration, as `sd` sets it; 0: no limit
    int movetimeMs = 0;    // 0: no time limit
    int lines = 1;         // the lines searched, best first
};

// One line of play the search found, its first move first.
struct AnalysisLine {
    int score = 0;
    std::vector<Move> moves;
};

struct Analysis {
    Move move = 0;         // the move the engine would play; 0 when it has none
    int score = 0;         // centipawns for the side to move, or a mate score
    int depth = 0;         // the last completed iteration
    double seconds = 0;
    std::vector<Move> line;  // the principal variation, `move` first
    // With several lines, those of the last completed iteration, best first
    // (the first one `move`'s); with one, none.
    std::vector<AnalysisLine> lines;
};

// Searches a board's game position with the table as it stands. A time limit
// lets the running iteration finish only once it holds a move, as the
// engine's move cycle does; the move is the engine's choice: the search's
// when it is legal, else the first legal move, none in a position drawn by
// rule.
Analysis analysePosition(Board& game, const SearchLimits& limits);


// Limits from the command line: --depth D or --movetime MS (the others left to
// the caller). Returns the count of arguments it took, -1 for a bad value.
int readLimitOption(int argc, char** argv, int i, SearchLimits& limits);
