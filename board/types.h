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

// Castle flag bits. While a side's transient bit (WhiteCastling, BlackCastling)
// is set, it has castled in the search line and its king still stands on a
// castling-path square: its rights are frozen until the next ply completes
// the castling.
enum : std::uint16_t {
    WhiteKingSideRight = 1, WhiteQueenSideRight = 2, WhiteCastling = 4,
    BlackKingSideRight = 8, BlackQueenSideRight = 16, BlackCastling = 32,
    WhiteCastledKingSide = 64, WhiteCastledQueenSide = 128,
    BlackCastledKingSide = 256, BlackCastledQueenSide = 512,
};
// The four rights and the two transient bits: what castling can still change.
constexpr std::uint16_t CastlingState = 63;
constexpr std::uint16_t WhiteRights = WhiteKingSideRight | WhiteQueenSideRight;
constexpr std::uint16_t BlackRights = BlackKingSideRight | BlackQueenSideRight;

// The transient bit of the side a right belongs to.
constexpr std::uint16_t transientBitOf(std::uint16_t right) {
    return (right & WhiteRights) ? WhiteCastling : BlackCastling;
}

// A right can be used (and so lost) only while it is set and its side is not
// in the middle of castling.
constexpr bool castlingRightUsable(std::uint16_t flags, std::uint16_t right) {
    return (flags & right) && !(flags & transientBitOf(right));
}

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
    std::uint8_t checkKind;  // a CheckKind; a double check holds the sum of its two
};

enum CheckKind : std::uint8_t { NotInCheck = 0, PawnCheck = 1, KnightCheck = 2, DiagonalCheck = 3, StraightCheck = 4 };

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

// Centipawn values by piece code (kings only for move ordering).
inline constexpr std::int16_t pieceValues[13] = {0, 100, 100, 310, 310, 315, 315, 500, 500, 920, 920, 1000, 1000};
// materialCount weights by piece code.
inline constexpr std::uint8_t pieceWeights[11] = {0, 1, 1, 3, 3, 3, 3, 5, 5, 9, 9};

// The king's piece code of a side: its row of the Zobrist table.
constexpr int kingPiece(int side) { return side == White ? WhiteKing : BlackKing; }
