// The engine's vocabulary: squares, bitboards, pieces, sides and the move code.
#pragma once

#include <bit>
#include <cstdint>

using Bitboard = std::uint64_t;
using Square = std::uint8_t;  // a8 = 0, b8 = 1, ..., h1 = 63; 64-67 castling paths
using Move = std::uint16_t;   // to: bits 0-5, from: bits 6-11, kind: bits 12-15

constexpr int Black = 0;
constexpr int White = 1;

// Piece codes; odd codes are White. Kings are never stored on the board array.
enum Piece : std::uint8_t {
    Empty = 0,
    WhitePawn = 1, BlackPawn = 2,
    WhiteKnight = 3, BlackKnight = 4,
    WhiteBishop = 5, BlackBishop = 6,
    WhiteRook = 7, BlackRook = 8,
    WhiteQueen = 9, BlackQueen = 10,
    WhiteKing = 11, BlackKing = 12,
};

// Move kinds (bits 12-15 of a Move).
enum MoveKind : int {
    Quiet = 0,
    Capture = 1,
    EnPassant = 2,
    PromoteQueenAlias = 3,  // never produced; treated as a queen promotion
    PromoteQueen = 4, PromoteKnight = 5, PromoteRook = 6, PromoteBishop = 7,
    CapturePromoteQueen = 8, CapturePromoteKnight = 9,
    CapturePromoteRook = 10, CapturePromoteBishop = 11,
    CastleBlackKingSide = 12, CastleWhiteKingSide = 13,
    CastleBlackQueenSide = 14, CastleWhiteQueenSide = 15,
};

// Squares used by name.
enum : Square {
    A8 = 0, B8 = 1, C8 = 2, D8 = 3, E8 = 4, F8 = 5, G8 = 6, H8 = 7,
    A1 = 56, B1 = 57, C1 = 58, D1 = 59, E1 = 60, F1 = 61, G1 = 62, H1 = 63,
    WhiteQueenSidePath = 64, WhiteKingSidePath = 65,
    BlackQueenSidePath = 66, BlackKingSidePath = 67,
};

// Castle flag bits.
enum : std::uint16_t {
    CastleK = 1, CastleQ = 2, WhiteCastling = 4,
    Castlek = 8, Castleq = 16, BlackCastling = 32,
    WhiteCastledKingSide = 64, WhiteCastledQueenSide = 128,
    BlackCastledKingSide = 256, BlackCastledQueenSide = 512,
};

struct ScoredMove {
    std::int16_t score;
    Move move;
};
static_assert(sizeof(ScoredMove) == 4);

// How the side to move is in check (see analyseCheck).
struct CheckInfo {
    Bitboard checkers;
    Bitboard lineMask;
    Square checkerSquare;  // 255 none, 64 double check
    std::uint8_t checkKind;  // 0 none, 1 pawn, 2 knight, 3 diagonal, 4 straight; sums for double checks
};

constexpr Square NoSquare = 255;
constexpr Square DoubleCheck = 64;

constexpr int fileOf(int s) { return s & 7; }
constexpr int rowOf(int s) { return s >> 3; }  // row 0 is rank 8

constexpr int moveTo(Move m) { return m & 63; }
constexpr int moveFrom(Move m) { return (m >> 6) & 63; }
constexpr int moveKind(Move m) { return m >> 12; }
constexpr Move makeMoveCode(int from, int to, int kind) {
    return static_cast<Move>((kind << 12) | (from << 6) | to);
}

constexpr Bitboard bitOf(int s) { return Bitboard{1} << (63 - s); }

// The square of the lowest set bit; the set must not be empty.
constexpr int lowestSquare(Bitboard b) { return 63 - std::countr_zero(b); }

// Takes the lowest set bit off `b` and returns its square.
constexpr int popLowest(Bitboard& b) {
    int s = lowestSquare(b);
    b &= b - 1;
    return s;
}

// "e4" style text of a board square into two characters (no terminator).
constexpr void squareText(int s, char* out) {
    out[0] = static_cast<char>('a' + fileOf(s));
    out[1] = static_cast<char>('8' - rowOf(s));
}

constexpr char pieceLetters[] = ".PpNnBbRrQqKk";
