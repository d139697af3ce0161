// The move cycle: what the engine does when it is to move.
#pragma once

// The engine's previous move came from the book (the next search then gets a
// longer allotment).
extern bool lastMoveFromBook;

// Plays a book move at once, or searches for the allotted time and plays the
// search's move; prints "move ..." and a result line when one is true on the
// board. Ends in the state Waiting.
void thinkAndMove();
