// Per-side constants of the generators, the check analysis and the evaluation,
// fixed at compile time so that each side's code has no side test in it.
#pragma once

#include "board/types.h"

constexpr Bitboard FileA = 0x8080808080808080ULL;
constexpr Bitboard FileH = 0x0101010101010101ULL;

template <int Side>
struct SideOf {
    static constexpr int Them = Side ^ 1;
    static constexpr int Pawn = 2 - Side;
    static constexpr int Knight = 4 - Side;
    static constexpr int Bishop = 6 - Side;
    static constexpr int Rook = 8 - Side;
    static constexpr int Queen = 10 - Side;
    static constexpr int TheirPawn = 2 - Them;
    static constexpr Bitboard PromotionRank = Side == White ? 0xFF00000000000000ULL : 0xFFULL;
    static constexpr Bitboard ThirdRank = Side == White ? 0x0000000000FF0000ULL : 0x0000FF0000000000ULL;
    // A pawn move's origin is its destination plus these offsets.
    static constexpr int PushOrigin = Side == White ? 8 : -8;
    static constexpr int TowardAOrigin = Side == White ? 9 : -7;
    static constexpr int TowardHOrigin = Side == White ? 7 : -9;
    // From an en-passant target to the pawn that the capture removes.
    static constexpr int EpVictimOffset = Side == White ? 8 : -8;
    static constexpr std::uint16_t ThemTransient = Them == White ? WhiteCastling : BlackCastling;
    static constexpr std::uint16_t ThemBits = Them == White ? WhiteRights | WhiteCastling : BlackRights | BlackCastling;

    static constexpr Bitboard push(Bitboard b) { return Side == White ? b << 8 : b >> 8; }
    static constexpr Bitboard towardA(Bitboard b) { return Side == White ? (b & ~FileA) << 9 : (b & ~FileA) >> 7; }
    static constexpr Bitboard towardH(Bitboard b) { return Side == White ? (b & ~FileH) << 7 : (b & ~FileH) >> 9; }
    static constexpr Bitboard pawnAttacks(Bitboard pawns) { return towardA(pawns) | towardH(pawns); }
    // Piece-square tables are written for White; Black reads the board turned round.
    static constexpr int pstIndex(int s) { return Side == White ? s : 63 - s; }
    // How far a pawn on row r has come: 1 on its second rank, 6 on its seventh.
    static constexpr int pawnAdvance(int row) { return Side == White ? 7 - row : row; }
};
