// The attack, mask, rotated-bit and phase tables against plain walks over
// (row, file) coordinates written here from scratch.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "board/pst.h"
#include "board/tables.h"
#include "board_checks.h"

namespace {

bool onBoard(int row, int file) { return row >= 0 && row < 8 && file >= 0 && file < 8; }
Bitboard bitAt(int row, int file) { return Bitboard{1} << (63 - (row * 8 + file)); }
Bitboard bitAt(int s) { return bitAt(s / 8, s % 8); }
bool has(Bitboard b, int row, int file) { return (b & bitAt(row, file)) != 0; }

struct Step {
    int dr, df;
};
constexpr Step rookSteps[4] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
constexpr Step bishopSteps[4] = {{-1, -1}, {-1, 1}, {1, -1}, {1, 1}};
constexpr Step kingSteps[8] = {{-1, -1}, {-1, 0}, {-1, 1}, {0, -1}, {0, 1}, {1, -1}, {1, 0}, {1, 1}};
constexpr Step knightSteps[8] = {{-2, -1}, {-2, 1}, {-1, -2}, {-1, 2}, {1, -2}, {1, 2}, {2, -1}, {2, 1}};

// The squares reached from s along `step`, up to and including the first
// occupied one.
Bitboard ray(int s, Step step, Bitboard occupancy) {
    Bitboard b = 0;
    for (int r = s / 8 + step.dr, f = s % 8 + step.df; onBoard(r, f); r += step.dr, f += step.df) {
        b |= bitAt(r, f);
        if (has(occupancy, r, f)) break;
    }
    return b;
}

Bitboard slide(int s, const Step (&steps)[4], Bitboard occupancy) {
    Bitboard b = 0;
    for (Step step : steps) b |= ray(s, step, occupancy);
    return b;
}

Bitboard jumps(int s, const Step (&steps)[8]) {
    Bitboard b = 0;
    for (Step step : steps)
        if (onBoard(s / 8 + step.dr, s % 8 + step.df)) b |= bitAt(s / 8 + step.dr, s % 8 + step.df);
    return b;
}

// Rotated layouts as described for the occupancy boards: the index of each
// square in the diagonal orders (index 0 is bit 63), and the index of the last
// square of each square's diagonal and its length.
struct DiagonalOrder {
    int index[64];
    int lastIndex[64];
    int length[64];
};

// A1H8: diagonals by increasing row + file, squares by increasing file.
DiagonalOrder a1h8Order() {
    DiagonalOrder o{};
    int next = 0;
    for (int d = 0; d <= 14; ++d) {
        int first = next;
        for (int file = 0; file < 8; ++file)
            if (onBoard(d - file, file)) o.index[(d - file) * 8 + file] = next++;
        for (int s = 0; s < 64; ++s)
            if (s / 8 + s % 8 == d) o.lastIndex[s] = next - 1, o.length[s] = next - first;
    }
    return o;
}

// A8H1: h8 alone first, then g8 h7, ..., a1 alone; squares by increasing row.
DiagonalOrder a8h1Order() {
    DiagonalOrder o{};
    int next = 0;
    for (int j = 0; j <= 14; ++j) {
        int first = next;
        for (int row = 0; row < 8; ++row)
            if (onBoard(row, row + 7 - j)) o.index[row * 8 + row + 7 - j] = next++;
        for (int s = 0; s < 64; ++s)
            if (s % 8 - s / 8 == 7 - j) o.lastIndex[s] = next - 1, o.length[s] = next - first;
    }
    return o;
}

const DiagonalOrder& a1h8() {
    static const DiagonalOrder o = a1h8Order();
    return o;
}
const DiagonalOrder& a8h1() {
    static const DiagonalOrder o = a8h1Order();
    return o;
}

int fileRotIndex(int s) { return 63 - (7 + 8 * (s % 8) - s / 8); }

Bitboard rotate(Bitboard occupancy, int (*indexOf)(int)) {
    Bitboard r = 0;
    for (int s = 0; s < 64; ++s)
        if (occupancy & bitAt(s)) r |= Bitboard{1} << (63 - indexOf(s));
    return r;
}
int a1h8Index(int s) { return a1h8().index[s]; }
int a8h1Index(int s) { return a8h1().index[s]; }

// The occupancy byte a diagonal table is indexed with, read from a board
// given by squares.
int diagonalByte(const DiagonalOrder& o, int s, Bitboard occupancy) {
    int b = 0;
    for (int t = 0; t < 64; ++t)
        if (o.lastIndex[t] == o.lastIndex[s] && (occupancy & bitAt(t))) b |= 1 << (o.lastIndex[s] - o.index[t]);
    return b;
}

// The squares of s's line selected by an occupancy byte, for each line type.
Bitboard rankSquares(int s, int b) {
    Bitboard occ = 0;
    for (int f = 0; f < 8; ++f)
        if (b & (0x80 >> f)) occ |= bitAt(s / 8, f);
    return occ;
}
Bitboard fileSquares(int s, int b) {
    Bitboard occ = 0;
    for (int r = 0; r < 8; ++r)
        if (b & (0x80 >> r)) occ |= bitAt(r, s % 8);
    return occ;
}
Bitboard diagonalSquares(const DiagonalOrder& o, int s, int b) {
    Bitboard occ = 0;
    for (int t = 0; t < 64; ++t)
        if (o.lastIndex[t] == o.lastIndex[s] && (b >> (o.lastIndex[s] - o.index[t]) & 1)) occ |= bitAt(t);
    return occ;
}

TEST(SquareBits, SingleSquaresAndCastlingPaths) {
    ensureTables();
    for (int s = 0; s < 64; ++s) EXPECT_EQ(squareBit[s], bitAt(s)) << s;
    EXPECT_EQ(squareBit[A8], 0x8000000000000000ULL);
    EXPECT_EQ(squareBit[H1], 1ULL);
    EXPECT_EQ(squareBit[52], 0x800ULL);  // e2
    EXPECT_EQ(squareBit[64], bitAt(7, 2) | bitAt(7, 3) | bitAt(7, 4));  // c1 d1 e1
    EXPECT_EQ(squareBit[65], bitAt(7, 4) | bitAt(7, 5) | bitAt(7, 6));  // e1 f1 g1
    EXPECT_EQ(squareBit[66], bitAt(0, 2) | bitAt(0, 3) | bitAt(0, 4));  // c8 d8 e8
    EXPECT_EQ(squareBit[67], bitAt(0, 4) | bitAt(0, 5) | bitAt(0, 6));  // e8 f8 g8
}

TEST(StepAttacks, KingAndKnightJumpsIncludingCastlingPaths) {
    ensureTables();
    for (int s = 0; s < 64; ++s) {
        EXPECT_EQ(kingAttacks[s], jumps(s, kingSteps)) << s;
        EXPECT_EQ(knightAttacks[s], jumps(s, knightSteps)) << s;
    }
    EXPECT_EQ(std::popcount(kingAttacks[A8]), 3);
    EXPECT_EQ(std::popcount(knightAttacks[H1]), 2);
    EXPECT_EQ(std::popcount(knightAttacks[27]), 8);  // d5
    EXPECT_EQ(kingAttacks[64], kingAttacks[C1]);
    EXPECT_EQ(kingAttacks[65], kingAttacks[G1]);
    EXPECT_EQ(kingAttacks[66], kingAttacks[C8]);
    EXPECT_EQ(kingAttacks[67], kingAttacks[G8]);
    EXPECT_EQ(kingAttacks[65], bitAt(7, 5) | bitAt(7, 7) | bitAt(6, 5) | bitAt(6, 6) | bitAt(6, 7));
}

TEST(RotatedBits, FollowTheFileAndDiagonalOrders) {
    ensureTables();
    for (int s = 0; s < 64; ++s) {
        EXPECT_EQ(fileRotBit[s], Bitboard{1} << (63 - fileRotIndex(s))) << s;
        EXPECT_EQ(diagA1H8Bit[s], Bitboard{1} << (63 - a1h8Index(s))) << s;
        EXPECT_EQ(diagA8H1Bit[s], Bitboard{1} << (63 - a8h1Index(s))) << s;
    }
    // spot checks of the orders themselves: a8 first and h1 last in A1H8,
    // h8 first and a1 last in A8H1; e4 is bit 7 - 4 of file byte 4
    EXPECT_EQ(diagA1H8Bit[A8], 1ULL << 63);
    EXPECT_EQ(diagA1H8Bit[8], 1ULL << 62);   // a7
    EXPECT_EQ(diagA1H8Bit[1], 1ULL << 61);   // b8
    EXPECT_EQ(diagA1H8Bit[H1], 1ULL);
    EXPECT_EQ(diagA8H1Bit[H8], 1ULL << 63);
    EXPECT_EQ(diagA8H1Bit[G8], 1ULL << 62);
    EXPECT_EQ(diagA8H1Bit[15], 1ULL << 61);  // h7
    EXPECT_EQ(diagA8H1Bit[A1], 1ULL);
    EXPECT_EQ(fileRotBit[36], 1ULL << (8 * 4 + 3));  // e4
}

TEST(RotatedBits, DiagonalShiftsAndMasks) {
    ensureTables();
    for (int s = 0; s < 64; ++s) {
        EXPECT_EQ(diagShiftA1H8[s], 63 - a1h8().lastIndex[s]) << s;
        EXPECT_EQ(diagShiftA8H1[s], 63 - a8h1().lastIndex[s]) << s;
        EXPECT_EQ(diagMaskA1H8[s], (1 << a1h8().length[s]) - 1) << s;
        EXPECT_EQ(diagMaskA8H1[s], (1 << a8h1().length[s]) - 1) << s;
    }
    const int shiftA1H8Row0[8] = {63, 61, 58, 54, 49, 43, 36, 28};
    const int shiftA8H1Row0[8] = {28, 36, 43, 49, 54, 58, 61, 63};
    const int maskA1H8Row0[8] = {1, 3, 7, 15, 31, 63, 127, 255};
    const int maskA8H1Row0[8] = {255, 127, 63, 31, 15, 7, 3, 1};
    for (int f = 0; f < 8; ++f) {
        EXPECT_EQ(diagShiftA1H8[f], shiftA1H8Row0[f]);
        EXPECT_EQ(diagShiftA8H1[f], shiftA8H1Row0[f]);
        EXPECT_EQ(diagMaskA1H8[f], maskA1H8Row0[f]);
        EXPECT_EQ(diagMaskA8H1[f], maskA8H1Row0[f]);
    }
    // each corner: the short diagonal is one square, the long one eight
    EXPECT_EQ(diagMaskA1H8[A8], 1);
    EXPECT_EQ(diagMaskA8H1[A8], 255);
    EXPECT_EQ(diagMaskA1H8[H8], 255);
    EXPECT_EQ(diagMaskA8H1[H8], 1);
    EXPECT_EQ(diagMaskA1H8[A1], 255);
    EXPECT_EQ(diagMaskA8H1[A1], 1);
    EXPECT_EQ(diagMaskA1H8[H1], 1);
    EXPECT_EQ(diagMaskA8H1[H1], 255);
}

TEST(RotatedBits, EnPassantEntriesFlipTargetAndCapturedPawn) {
    ensureTables();
    for (int t = 0; t < 64; ++t) {
        const int x = t / 8 == 2 ? t + 8 : t / 8 == 5 ? t - 8 : -1;
        const Bitboard both = x < 0 ? 0 : bitAt(t) | bitAt(x);
        EXPECT_EQ(epFileRotBits[t], rotate(both, fileRotIndex)) << t;
        EXPECT_EQ(epDiagA1H8Bits[t], rotate(both, a1h8Index)) << t;
        EXPECT_EQ(epDiagA8H1Bits[t], rotate(both, a8h1Index)) << t;
    }
    EXPECT_EQ(epFileRotBits[44], fileRotBit[44] | fileRotBit[36]);  // e3: e3 and e4
    EXPECT_EQ(epFileRotBits[20], fileRotBit[20] | fileRotBit[28]);  // e6: e6 and e5
    EXPECT_EQ(epFileRotBits[36], 0u);
}

TEST(SliderTables, RankAndFileEntriesForEveryByte) {
    ensureTables();
    for (int s = 0; s < 64; ++s) {
        for (int b = 0; b < 256; ++b) {
            const Bitboard rankExpected = ray(s, {0, -1}, rankSquares(s, b)) | ray(s, {0, 1}, rankSquares(s, b));
            const Bitboard fileExpected = ray(s, {-1, 0}, fileSquares(s, b)) | ray(s, {1, 0}, fileSquares(s, b));
            ASSERT_EQ(rankAttacks[s][b], rankExpected) << "square " << s << " byte " << b;
            ASSERT_EQ(fileAttacks[s][b], fileExpected) << "square " << s << " byte " << b;
        }
    }
    Bitboard b8ToH8 = 0, b8ToE8 = 0, eFileButE4 = 0;
    for (int f = 1; f < 8; ++f) b8ToH8 |= bitAt(0, f);
    for (int f = 1; f <= 4; ++f) b8ToE8 |= bitAt(0, f);
    for (int r = 0; r < 8; ++r)
        if (r != 4) eFileButE4 |= bitAt(r, 4);
    EXPECT_EQ(rankAttacks[A8][0], b8ToH8);
    EXPECT_EQ(rankAttacks[A8][0x08], b8ToE8);
    EXPECT_EQ(fileAttacks[36][0], eFileButE4);
    // a blocker on e6 (row 2, byte bit 5) stops the upward walk there
    EXPECT_EQ(fileAttacks[36][0x20], bitAt(3, 4) | bitAt(2, 4) | bitAt(5, 4) | bitAt(6, 4) | bitAt(7, 4));
}

TEST(SliderTables, DiagonalEntriesForEveryByteAndZeroAboveTheMask) {
    ensureTables();
    for (int s = 0; s < 64; ++s) {
        for (int b = 0; b < 256; ++b) {
            if (b > diagMaskA1H8[s]) {
                ASSERT_EQ(diagA1H8Attacks[s][b], 0u) << "square " << s << " byte " << b;
            } else {
                const Bitboard occ = diagonalSquares(a1h8(), s, b);
                ASSERT_EQ(diagA1H8Attacks[s][b], ray(s, {-1, 1}, occ) | ray(s, {1, -1}, occ))
                    << "square " << s << " byte " << b;
            }
            if (b > diagMaskA8H1[s]) {
                ASSERT_EQ(diagA8H1Attacks[s][b], 0u) << "square " << s << " byte " << b;
            } else {
                const Bitboard occ = diagonalSquares(a8h1(), s, b);
                ASSERT_EQ(diagA8H1Attacks[s][b], ray(s, {-1, -1}, occ) | ray(s, {1, 1}, occ))
                    << "square " << s << " byte " << b;
            }
        }
    }
}

// The full lookup (rotated boards built by rotateOccupancy, shifted and masked
// into the tables) against the ray walk, for every square and many boards of
// different density, with and without the slider's own square occupied.
TEST(SliderLookups, MatchRayWalksOnRandomOccupancies) {
    ensureTables();
    std::mt19937_64 random(0x5EED2024u);
    for (int s = 0; s < 64; ++s) {
        for (int trial = 0; trial < 160; ++trial) {
            Bitboard occ;
            switch (trial % 4) {
                case 0: occ = random(); break;
                case 1: occ = random() & random(); break;
                case 2: occ = random() & random() & random(); break;
                default: occ = random() | random(); break;
            }
            if (trial == 0) occ = 0;
            if (trial == 1) occ = ~Bitboard{0};
            if (trial % 2) occ |= bitAt(s);
            Position p{};
            p.occupied = occ;
            rotateOccupancy(p);
            ASSERT_EQ(p.occupiedFiles, rotate(occ, fileRotIndex));
            ASSERT_EQ(p.occupiedDiagA1H8, rotate(occ, a1h8Index));
            ASSERT_EQ(p.occupiedDiagA8H1, rotate(occ, a8h1Index));
            ASSERT_EQ((p.occupiedDiagA1H8 >> diagShiftA1H8[s]) & diagMaskA1H8[s],
                      static_cast<Bitboard>(diagonalByte(a1h8(), s, occ)));
            const Bitboard rook = slide(s, rookSteps, occ), bishop = slide(s, bishopSteps, occ);
            ASSERT_EQ(rookAttacksFrom(s, p), rook) << "square " << s << " occupancy " << std::hex << occ;
            ASSERT_EQ(bishopAttacksFrom(s, p), bishop) << "square " << s << " occupancy " << std::hex << occ;
            ASSERT_EQ(queenAttacksFrom(s, p), rook | bishop) << "square " << s << " occupancy " << std::hex << occ;
        }
    }
}

TEST(Rays, EmptyBoardSliderAttacks) {
    ensureTables();
    for (int s = 0; s < 64; ++s) {
        EXPECT_EQ(rookRays[s], slide(s, rookSteps, 0)) << s;
        EXPECT_EQ(bishopRays[s], slide(s, bishopSteps, 0)) << s;
        EXPECT_EQ(queenRays[s], slide(s, rookSteps, 0) | slide(s, bishopSteps, 0)) << s;
        EXPECT_EQ(std::popcount(rookRays[s]), 14);
    }
    EXPECT_EQ(std::popcount(bishopRays[27]), 13);  // d5
    EXPECT_EQ(std::popcount(bishopRays[A8]), 7);
}

TEST(PawnMasks, FilesAndPassedPawnAreas) {
    ensureTables();
    for (int s = 0; s < 64; ++s) {
        const int row = s / 8, file = s % 8;
        Bitboard fileExcl = 0, adjacent = 0, passedW = 0, passedB = 0, frontW = 0, frontB = 0;
        for (int r = 0; r < 8; ++r) {
            for (int f = file - 1; f <= file + 1; ++f) {
                if (!onBoard(r, f)) continue;
                if (f != file) adjacent |= bitAt(r, f);
                if (f == file && r != row) fileExcl |= bitAt(r, f);
                if (r < row) passedW |= bitAt(r, f);
                if (r > row) passedB |= bitAt(r, f);
                if (f == file && r < row) frontW |= bitAt(r, f);
                if (f == file && r > row) frontB |= bitAt(r, f);
            }
        }
        EXPECT_EQ(fileMaskExcl[s], fileExcl) << s;
        EXPECT_EQ(adjacentFilesMask[s], adjacent) << s;
        EXPECT_EQ(passedMaskWhite[s], passedW) << s;
        EXPECT_EQ(passedMaskBlack[s], passedB) << s;
        EXPECT_EQ(frontFileWhite[s], frontW) << s;
        EXPECT_EQ(frontFileBlack[s], frontB) << s;
    }
    Bitboard d3ToF8 = 0;
    for (int r = 0; r <= 5; ++r)
        for (int f = 3; f <= 5; ++f) d3ToF8 |= bitAt(r, f);
    EXPECT_EQ(passedMaskWhite[52], d3ToF8);  // e2
    for (int f = 0; f < 8; ++f) {
        EXPECT_EQ(passedMaskWhite[f], 0u);
        EXPECT_EQ(passedMaskBlack[56 + f], 0u);
    }
    EXPECT_EQ(std::popcount(adjacentFilesMask[A8]), 8);
    EXPECT_EQ(std::popcount(adjacentFilesMask[H1]), 8);
    EXPECT_EQ(std::popcount(adjacentFilesMask[36]), 16);
}

TEST(PhaseTables, PointerBoundariesByMaterial) {
    ensureTables();
    for (int m = 0; m < 128; ++m) {
        const std::int16_t* king = m >= 71 ? kingTable1 : m >= 47 ? kingTable2 : m >= 15 ? kingTable3 : kingTable4;
        const std::int16_t* pawn = m >= 71 ? pawnTable1 : m >= 63 ? pawnTable2 : m >= 15 ? pawnTable3 : pawnTable4;
        const bool opening = m >= 71;
        EXPECT_EQ(kingTableByPhase[m], king) << m;
        EXPECT_EQ(pawnTableByPhase[m], pawn) << m;
        EXPECT_EQ(knightTableByPhase[m], opening ? knightTable1 : knightTable2) << m;
        EXPECT_EQ(bishopTableByPhase[m], opening ? bishopTable1 : bishopTable2) << m;
        EXPECT_EQ(rookTableByPhase[m], opening ? rookTable1 : rookTable2) << m;
        EXPECT_EQ(queenTableByPhase[m], opening ? queenTable1 : queenTable2) << m;
    }
    // the boundaries named one by one
    EXPECT_EQ(pawnTableByPhase[78], pawnTable1);
    EXPECT_EQ(kingTableByPhase[127], kingTable1);
    EXPECT_EQ(kingTableByPhase[71], kingTable1);
    EXPECT_EQ(kingTableByPhase[70], kingTable2);
    EXPECT_EQ(pawnTableByPhase[70], pawnTable2);
    EXPECT_EQ(knightTableByPhase[70], knightTable2);
    EXPECT_EQ(pawnTableByPhase[63], pawnTable2);
    EXPECT_EQ(pawnTableByPhase[62], pawnTable3);
    EXPECT_EQ(kingTableByPhase[47], kingTable2);
    EXPECT_EQ(kingTableByPhase[46], kingTable3);
    EXPECT_EQ(kingTableByPhase[15], kingTable3);
    EXPECT_EQ(pawnTableByPhase[15], pawnTable3);
    EXPECT_EQ(kingTableByPhase[14], kingTable4);
    EXPECT_EQ(pawnTableByPhase[14], pawnTable4);
    EXPECT_EQ(kingTableByPhase[0], kingTable4);
    EXPECT_EQ(phaseIndex(78), 78);
    EXPECT_EQ(phaseIndex(127), 127);
    EXPECT_EQ(phaseIndex(140), 127);
}

TEST(PhaseTables, KingTablesCastlingPathEntries) {
    // filled by static initialisation, before any table is built
    for (const std::int16_t* table : {kingTable1, kingTable2, kingTable3, kingTable4}) {
        EXPECT_EQ(table[64], table[C1]);
        EXPECT_EQ(table[65], table[G1]);
        EXPECT_EQ(table[66], table[C8]);
        EXPECT_EQ(table[67], table[G8]);
    }
    EXPECT_EQ(kingTable1[65], 12);
    EXPECT_EQ(kingTable1[64], -4);
}

}  // namespace
