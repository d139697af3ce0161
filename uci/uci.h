// The UCI front end: the same engine for interfaces that speak the Universal
// Chess Interface, over the session. Its commands turn into the session's
// verbs; the search's thinking comes out as `info` lines and every `go` gets
// exactly one `bestmove`.
#pragma once

// Runs the program as a UCI engine until `quit` or the end of the input.
void runUci();
