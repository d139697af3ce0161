// Checks shared by the board tests: field-by-field position comparison and an
// invariant check that rebuilds every derived board from `board` and the kings.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>

#include "board/fen.h"
#include "board/position.h"
#include "board/tables.h"
#include "board/types.h"

inline void ensureTables() {
    static const bool built = (initTables(), true);
    (void)built;
}

// The position a FEN text describes; fails the test when it is rejected.
inline Position positionFromFen(const char* fen) {
    Position p{};
    EXPECT_TRUE(readFen(fen, p)) << fen;
    return p;
}

inline void expectSamePosition(const Position& expected, const Position& actual) {
    EXPECT_EQ(expected.occupied, actual.occupied);
    EXPECT_EQ(expected.occupiedFiles, actual.occupiedFiles);
    EXPECT_EQ(expected.occupiedDiagA1H8, actual.occupiedDiagA1H8);
    EXPECT_EQ(expected.occupiedDiagA8H1, actual.occupiedDiagA8H1);
    for (int code = 0; code <= BlackQueen; ++code)
        EXPECT_EQ(expected.pieceBoards[code], actual.pieceBoards[code]) << "pieceBoards[" << code << "]";
    EXPECT_EQ(expected.colourBoards[Black], actual.colourBoards[Black]);
    EXPECT_EQ(expected.colourBoards[White], actual.colourBoards[White]);
    EXPECT_EQ(expected.hashKey, actual.hashKey);
    for (int s = 0; s < 64; ++s) EXPECT_EQ(expected.board[s], actual.board[s]) << "board[" << s << "]";
    EXPECT_EQ(expected.kingSquare[Black], actual.kingSquare[Black]);
    EXPECT_EQ(expected.kingSquare[White], actual.kingSquare[White]);
    EXPECT_EQ(expected.castleFlags, actual.castleFlags);
    EXPECT_EQ(expected.epSquare, actual.epSquare);
    EXPECT_EQ(expected.materialCount, actual.materialCount);
    EXPECT_EQ(expected.sideToMove, actual.sideToMove);
}

// The square a king stands on; a castling-path value stands for the castling
// destination.
inline int standingSquare(int kingSquare) {
    switch (kingSquare) {
        case WhiteQueenSidePath: return C1;
        case WhiteKingSidePath: return G1;
        case BlackQueenSidePath: return C8;
        case BlackKingSidePath: return G8;
        default: return kingSquare;
    }
}

// Every board of `p` agrees with its `board` array and king squares, and
// `materialCount` is the weight sum.
inline void expectConsistent(const Position& p) {
    static constexpr int weight[11] = {0, 1, 1, 3, 3, 3, 3, 5, 5, 9, 9};
    Bitboard pieces[11] = {};
    Bitboard colours[2] = {};
    int material = 0;
    for (int s = 0; s < 64; ++s) {
        const int code = p.board[s];
        ASSERT_LE(code, BlackQueen) << "board[" << s << "]";
        if (code == Empty) continue;
        const Bitboard bit = Bitboard{1} << (63 - s);
        pieces[code] |= bit;
        colours[code & 1] |= bit;
        material += weight[code];
    }
    for (int side : {Black, White}) {
        const int king = standingSquare(p.kingSquare[side]);
        ASSERT_LT(king, 64);
        EXPECT_EQ(p.board[king], Empty) << "a king square holds a piece code";
        colours[side] |= Bitboard{1} << (63 - king);
    }
    EXPECT_NE(standingSquare(p.kingSquare[Black]), standingSquare(p.kingSquare[White]));
    for (int code = 1; code <= BlackQueen; ++code)
        EXPECT_EQ(p.pieceBoards[code], pieces[code]) << "pieceBoards[" << code << "]";
    EXPECT_EQ(p.colourBoards[Black], colours[Black]);
    EXPECT_EQ(p.colourBoards[White], colours[White]);
    EXPECT_EQ(p.occupied, colours[Black] | colours[White]);
    EXPECT_EQ(std::popcount(p.occupied), std::popcount(colours[Black]) + std::popcount(colours[White]));
    Position rotated = p;
    rotateOccupancy(rotated);
    EXPECT_EQ(p.occupiedFiles, rotated.occupiedFiles);
    EXPECT_EQ(p.occupiedDiagA1H8, rotated.occupiedDiagA1H8);
    EXPECT_EQ(p.occupiedDiagA8H1, rotated.occupiedDiagA8H1);
    EXPECT_EQ(p.materialCount, material);
}
