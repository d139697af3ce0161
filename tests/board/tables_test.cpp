// The attack and mask tables against plain walks over (row, file) coordinates,
// and the sliding lookups against ray walks on random boards.
#include <gtest/gtest.h>

#include <bit>
#include <random>
#include <tuple>

#include "board/pst.h"
#include "support/chess.h"

using namespace testsupport;

namespace {

TEST(Tables, StepsRaysAndPawnMasksAgreeWithWalks) {
    ensureTables();
    for (int s = 0; s < 64; ++s) {
        SCOPED_TRACE(s);
        Bitboard file = 0, adjacent = 0, above = 0, below = 0;
        for (int r = 0; r < 8; ++r) {
            file |= bitOf(r * 8 + fileOf(s));
            for (int f : {fileOf(s) - 1, fileOf(s) + 1}) adjacent |= onBoard(r, f) ? bitOf(r * 8 + f) : 0;
            if (r < rowOf(s)) above |= Bitboard{0xFF} << (8 * (7 - r));
            if (r > rowOf(s)) below |= Bitboard{0xFF} << (8 * (7 - r));
        }
        EXPECT_EQ(kingAttacks[s], steps(s, true));
        EXPECT_EQ(knightAttacks[s], steps(s, false));
        EXPECT_EQ(rookRays[s], lines(s, false, 0));
        EXPECT_EQ(bishopRays[s], lines(s, true, 0));
        EXPECT_EQ(queenRays[s], rookRays[s] | bishopRays[s]);
        EXPECT_EQ(fileMaskExcl[s], file & ~bitOf(s));
        EXPECT_EQ(adjacentFilesMask[s], adjacent);
        EXPECT_EQ(passedMaskWhite[s], (file | adjacent) & above);
        EXPECT_EQ(passedMaskBlack[s], (file | adjacent) & below);
        EXPECT_EQ(frontFileWhite[s], file & above);
        EXPECT_EQ(frontFileBlack[s], file & below);
        // a rotated board's mask covers exactly the square's diagonal, no bit beyond it
        const int a1h8 = std::popcount(bitOf(s) | walk(s, -1, 1, true) | walk(s, 1, -1, true));
        const int a8h1 = std::popcount(bitOf(s) | walk(s, 1, 1, true) | walk(s, -1, -1, true));
        EXPECT_TRUE(diagMaskA1H8[s] == (1 << a1h8) - 1 && diagMaskA8H1[s] == (1 << a8h1) - 1);
    }
    // A castling path: three squares; the king attacks, and scores, as on its destination.
    for (const auto& [path, first, destination] : {std::tuple{WhiteQueenSidePath, C1, C1}, {WhiteKingSidePath, E1, G1},
                                                  {BlackQueenSidePath, C8, C8}, {BlackKingSidePath, E8, G8}}) {
        EXPECT_EQ(squareBit[path], bitOf(first) | bitOf(first + 1) | bitOf(first + 2)) << path;
        EXPECT_EQ(kingAttacks[path], kingAttacks[destination]) << path;
        for (const std::int16_t* table : {kingTable1, kingTable2, kingTable3, kingTable4})
            EXPECT_EQ(table[path], table[destination]) << path;
    }
}

// Rotated boards, shifts, masks and the four attack tables together, for every
// square and boards of every density, the slider's own square set or not.
TEST(Tables, SliderLookupsMatchRayWalks) {
    ensureTables();
    std::mt19937_64 random(0x5EED2024u);
    for (int s = 0; s < 64; ++s) {
        for (int trial = 0; trial < 160; ++trial) {
            Position p{};
            p.occupied = trial == 0 ? 0 : trial == 1 ? ~Bitboard{0} : random();
            if (trial % 4 == 2) p.occupied &= random();
            if (trial % 4 == 3) p.occupied &= random() & random();
            if (trial % 2) p.occupied |= bitOf(s);
            rotateOccupancy(p);
            const Bitboard rook = lines(s, false, p.occupied), bishop = lines(s, true, p.occupied);
            ASSERT_EQ(rookAttacksFrom(s, p), rook) << "square " << s << " occupancy " << std::hex << p.occupied;
            ASSERT_EQ(bishopAttacksFrom(s, p), bishop) << "square " << s << " occupancy " << std::hex << p.occupied;
            ASSERT_EQ(queenAttacksFrom(s, p), rook | bishop) << "square " << s;
        }
    }
}

}  // namespace
