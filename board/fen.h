// Reading a position from FEN text, installing it as the game position, and
// writing the game position as text.
#pragma once

#include <string>
#include <string_view>

#include "board/position.h"

// What a FEN text sets up: the position, its en-passant target in it when a
// pawn of the side that just moved stands in front of it (as make would have
// put it there, key included), and the two counters.
struct FenSetup {
    Position position{};
    int halfmoveClock = 0;   // plies since the last capture or pawn move
    int fullmoveNumber = 1;  // of the side to move's next move
};

// Reads the six fields of a FEN text; the castling and en-passant fields and
// the counters may be left off (no rights, no target, 0 and 1). False, with
// the reason, for a text that is malformed (a rank of other than eight
// squares, a side other than w or b, a castling field other than '-' or
// distinct letters of KQkq, an en-passant field other than '-' or a square of
// the third or sixth rank, counters that are not non-negative numbers, any
// text after them) or for a position that cannot be played (a king missing
// or doubled, more than sixteen men a side, a pawn on the first or last rank,
// the side not to move in check). A right whose king or rook is not at home
// is dropped, and a target without the pawn that made it is ignored.
// With `chess960` the castling field is Chess960's: each right K, Q, k or q
// (the outermost rook of that wing) or its rook's file, A-H for White and a-h
// for Black (Shredder-FEN, and X-FEN for an inner rook); a right without its
// king on the home rank or without its rook is dropped. Its castlings are
// then written as the king taking its rook.
bool readFen(std::string_view text, FenSetup& out, std::string& reason, bool chess960 = false);
bool readFen(std::string_view text, FenSetup& out, bool chess960 = false);

// Whether a FEN's castling field names rook files (Shredder-FEN, X-FEN): a
// Chess960 position, whatever the reader was told.
bool namesRookFiles(std::string_view fen);

// Makes a set-up position a board's game: the position, the snapshot and a
// history stack holding only it, its half-move clock as the count of
// reversible plies behind it; the ply stack at its root.
void installPosition(Board& b, const FenSetup& setup);

// The one way from FEN text to a board: read, then installed. False, with
// the reason (when asked for), and the board as it was, for a refused text.
bool setUpBoard(Board& b, std::string_view fen, std::string* reason = nullptr, bool chess960 = false);

// A game position (a snapshot) as FEN text without the move counters, e.g.
// "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", a shuffled game's
// rights as X-FEN. `buffer` holds at least 90 characters; returns it.
char* positionText(const GameSnapshot& game, char* buffer);
