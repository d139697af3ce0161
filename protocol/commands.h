// The command loop: the xboard handshake, then the interface's commands one
// token at a time until `quit` or the end of the input.
#pragma once

// Answers the first token with the feature lines, starts the engine thread
// and builds the tables.
bool handshake();

// The handshake, the loop, and the shut-down of the engine thread.
void commandLoop();
