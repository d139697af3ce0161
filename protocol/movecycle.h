// The move cycle: what the engine does when it is to move.
#pragma once

// The engine's previous move came from the book (the next search then gets a
// longer allotment).
extern bool lastMoveFromBook;

// `hard` / `easy`: whether the engine ponders after its moves.
extern bool ponderEnabled;

// Plays a book move at once, or searches for the allotted time and plays the
// search's move; prints "move ..." and a result line when one is true on the
// board. Ends in the state Waiting, pondering on the expected reply when it
// ponders.
void thinkAndMove();

// Whether a search on the opponent's time runs, its expected move on the board.
bool pondering();
// Whether `text` names the move the engine ponders on.
bool isPonderMove(const char* text);
// The opponent played the expected move: the search goes on for the engine's
// move, under the allotment counted from now, and its move is played.
void ponderHit();
// Stops pondering: the search ends and the expected move is taken back.
void stopPondering();
