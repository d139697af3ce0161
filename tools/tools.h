// The subcommands of drozak-tools; each returns the process exit code.
#pragma once

#include <cstdint>
#include <string>

#include "board/position.h"
#include "board/types.h"

int perftCommand(int argc, char** argv);
int benchCommand(int argc, char** argv);
int searchCommand(int argc, char** argv);
int makebookCommand(int argc, char** argv);
int evalbenchCommand(int argc, char** argv);
int annotateCommand(int argc, char** argv);
int epdCommand(int argc, char** argv);

extern const char* const StartFen;

// The FEN of a command line: one quoted argument or its words one by one; the
// start position when there is none.
std::string fenArgument(int argc, char** argv);

// The board a tool sets its positions up on.
Board& toolBoard();

// Sets up a position for a tool's search on the tool's board, with a cleared
// table.
bool setupSearchPosition(const char* fen);

struct SearchOutcome {
    Move move;
    int score;
    std::uint64_t nodes;            // every move made by every thread, quiescence included
    std::uint32_t alphaBetaNodes;   // moves made by the first thread's alpha-beta alone
};

// A root search of the set-up position that stops after the given depth.
SearchOutcome searchToDepth(int depth);

// Takes `--threads N` out of the arguments, wherever it stands, and makes N
// the search threads' count. False (the count unchanged) for a bad N.
bool takeThreadsOption(int& argc, char** argv);
