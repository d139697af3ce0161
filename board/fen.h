// Reading a position from FEN text, installing it as the game position, and
// writing the game position as text.
#pragma once

#include "board/position.h"

// Reads the placement, side and castling fields of `text` into `out` (the en
// passant field and the counters are ignored unless `epOut` asks for the en
// passant square). Returns false, leaving the globals untouched, when the text
// is malformed or the position cannot be played.
bool readFen(const char* text, Position& out, Square* epOut = nullptr);

// The same, with the en-passant target the text names usable on the first
// move: set in the position, its key in the hash key as make would have put
// it there (the setups of games, perft roots and PGN games).
bool readPlayableFen(const char* text, Position& out);

// Makes `p` the game position: the position, the snapshot and a history stack
// holding only it.
void installPosition(const Position& p);

// The game position (the snapshot) as FEN text without the move counters,
// e.g. "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -". `buffer` holds
// at least 90 characters; returns it.
char* positionText(char* buffer);
