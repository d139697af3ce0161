// The xboard front end (protocol version 2): the handshake, the command
// table, and the engine's lines to the interface (moves, result claims,
// thinking, errors), over the session.
#pragma once

// Runs the program as an xboard engine: the handshake on the first line, then
// every command until `quit` or the end of the input.
void runXboard();
