// Coordinate move text (e2e4, e7e8q, e1g1) to and from the 16-bit move code.
#pragma once

#include <string>
#include <string_view>

#include "board/types.h"

// Writes 4 or 5 characters and a terminator into `buffer` (6 bytes or more);
// returns a pointer to the terminator so that callers can append.
char* moveToText(char* buffer, Move move);

// The same in a game's own writing of castlings: e1g1, e1h1 (the king takes
// its rook) or O-O and O-O-O (a buffer of 6 bytes or more).
struct CastlingRules;
char* moveToText(char* buffer, Move move, const CastlingRules& rules);

// Whether a token is castling in letters: O-O or O-O-O, with zeros too.
bool isCastlingWord(std::string_view token);

// The move a token names in a game position (a snapshot), or 0 when the
// token is no move (a NUL byte anywhere in it makes none). Kinds come from
// the snapshot; legality is not checked. A game that writes castlings as the
// king taking its rook or in letters reads both forms, and e1g1 too.
struct GameSnapshot;
Move textToMove(const GameSnapshot& game, std::string_view token);

// Whether a token has the form of a move (two squares and perhaps a promotion
// letter), whatever the position.
bool looksLikeMove(std::string_view token);

// The moves of a line of play as the search writes it (for the log), each
// after a space: its end marks (a mate, a draw, no table entry) dropped, as
// interfaces replay the line; castlings in letters kept.
std::string movesOfLine(const char* line);
