// The command loop: the xboard handshake, then the interface's commands one
// line at a time until `quit` or the end of the input.
#pragma once

#include <string>

// Answers the first line with the feature lines, starts the engine thread
// and builds the tables.
bool handshake();

// The handshake, the loop, and the shut-down of the engine thread.
void commandLoop();

// What a line does to a search for the engine's move that is running when it
// arrives: waits until the move is out, makes the engine move now, or makes
// it give up the move (the line then acts as usual).
enum class DuringSearch { Hold, MoveNow, Abandon };
DuringSearch duringSearch(const std::string& line);
