// Standard algebraic notation (Nf3, exd6, O-O, e8=Q+, Rad1#) for the moves of
// the game position, read and written with the engine's own generators and
// legality rule. The check and mate marks are found on the board after the
// move, not taken from the move's check analysis.
#pragma once

#include <string>
#include <string_view>

#include "board/position.h"

namespace pgn {

// The legal moves of a board's position, in the generator's order. Making
// them uses the current ply record's undo block and the one above it; the
// record's move list is left alone, so the perft walk may ask at any node.
struct LegalMoves {
    Move moves[MoveListSize];
    int count = 0;

    const Move* begin() const { return moves; }
    const Move* end() const { return moves + count; }
    bool contains(Move m) const;
};
LegalMoves legalMoves(Board& b);

// The SAN of a legal move of a board's position: disambiguated only where
// another legal move of the same piece kind reaches the same square (by file
// first, then rank, then both), with '+' or '#' when the move checks or mates.
std::string sanText(Board& b, Move move, const LegalMoves& legal);
inline std::string sanText(Board& b, Move move) { return sanText(b, move, legalMoves(b)); }

enum class SanError { None, Unreadable, Illegal, Ambiguous, NullMove };

struct SanReading {
    Move move = 0;
    SanError error = SanError::Unreadable;
};

// The legal move a token names. Besides exact SAN it takes what files in the
// wild hold: castling with zeros, a promotion without '=' (e8Q, e8q), a
// disambiguation that is not needed, a hyphen or a from-square (Ng1-f3),
// coordinates (g1f3), and any '+', '#', '!' or '?' after the move. A token
// that fits two legal moves is ambiguous, not the first of them.
SanReading readSan(const Position& p, std::string_view text, const LegalMoves& legal);
inline SanReading readSan(Board& b, std::string_view text) { return readSan(b.position, text, legalMoves(b)); }

const char* sanErrorText(SanError error);

}  // namespace pgn
