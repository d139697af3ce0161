// The subcommands of drozak-tools; each returns the process exit code.
#pragma once

#include <cstdint>
#include <string>

#include "board/position.h"
#include "board/types.h"
#include "search/bench.h"  // the tools' board and searches: toolBoard, setupSearchPosition, searchToDepth

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

// Takes `--threads N` out of the arguments, wherever it stands, and makes N
// the search threads' count. False (the count unchanged) for a bad N.
bool takeThreadsOption(int& argc, char** argv);
