// The opening book: lines of moves from the start position, stored into the
// transposition table as entries of age 0.
#pragma once

#include <cstdint>

#include "board/types.h"

// A book line holds at most this many moves (the loader's line buffer).
constexpr int MaxBookLineMoves = 64;

#include "board/position.h"

// Whether a position is the one the book's lines start from: the standard
// start position, White to move with every right.
bool isBookStart(const Position& p);

// One of `lineCount` lines (0 to lineCount - 1), each with the same chance,
// from the C library's generator seeded with the clock's seconds: two loads
// within one second choose the same line.
int randomBookLine(int lineCount);

// Plays every line of the book file from the board's position, the start
// position, and stores each move for the position it is played from; the
// line `chooseLine` picks is stored last, so that its moves win where lines
// share a position. Returns false when the position is not the start
// position, the file cannot be read whole, a move is not legal, or the file
// holds another number of lines than its header says; the lines stored
// before the fault stay in the table.
bool loadBook(Board& b, const char* fileName, int (*chooseLine)(int lineCount) = randomBookLine);

// Plays `count` moves from the board's position, each of which must be a
// legal move there, and stores them for the positions they are played from.
// Returns false, storing nothing of the line, when a move is not legal; the
// position and the ply stack are always back where they were.
bool storeBookLine(Board& b, const Move* moves, std::uint8_t count);
