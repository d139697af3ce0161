#include "board/tables.h"

#include "board/pst.h"

Bitboard squareBit[68];
Bitboard fileRotBit[64];
Bitboard diagA1H8Bit[64];
Bitboard diagA8H1Bit[64];
Bitboard epFileRotBits[64];
Bitboard epDiagA1H8Bits[64];
Bitboard epDiagA8H1Bits[64];

Bitboard kingAttacks[68];
Bitboard knightAttacks[64];
Bitboard rankAttacks[64][256];
Bitboard fileAttacks[64][256];
Bitboard diagA1H8Attacks[64][256];
Bitboard diagA8H1Attacks[64][256];

Bitboard queenRays[64];
Bitboard rookRays[64];
Bitboard bishopRays[64];

Bitboard fileMaskExcl[64];
Bitboard adjacentFilesMask[64];
Bitboard passedMaskWhite[64];
Bitboard passedMaskBlack[64];
Bitboard frontFileWhite[64];
Bitboard frontFileBlack[64];

const std::int16_t* kingTableByPhase[128];
const std::int16_t* pawnTableByPhase[128];
const std::int16_t* knightTableByPhase[128];
const std::int16_t* bishopTableByPhase[128];
const std::int16_t* rookTableByPhase[128];
const std::int16_t* queenTableByPhase[128];

namespace {

// Where the diagonals of each rotated board start and how they are laid out.
// A1H8 diagonals: d = row + file, squares by increasing file. A8H1 diagonals:
// k = 7 - (file - row), squares by increasing row.
constexpr int diagLength(int d) { return d <= 7 ? d + 1 : 15 - d; }
constexpr int diagStart(int d) {
    int start = 0;
    for (int i = 0; i < d; ++i) start += diagLength(i);
    return start;
}
constexpr int a1h8Diagonal(int s) { return rowOf(s) + fileOf(s); }
constexpr int a8h1Diagonal(int s) { return 7 - (fileOf(s) - rowOf(s)); }
constexpr int a1h8RotIndex(int s) {
    int d = a1h8Diagonal(s);
    return diagStart(d) + fileOf(s) - (d > 7 ? d - 7 : 0);
}
constexpr int a8h1RotIndex(int s) {
    int k = a8h1Diagonal(s);
    return diagStart(k) + rowOf(s) - (k > 7 ? k - 7 : 0);
}

bool onBoard(int row, int file) { return row >= 0 && row < 8 && file >= 0 && file < 8; }

Bitboard stepTargets(int s, const int (*steps)[2], int count) {
    Bitboard b = 0;
    for (int i = 0; i < count; ++i) {
        int r = rowOf(s) + steps[i][0], f = fileOf(s) + steps[i][1];
        if (onBoard(r, f)) b |= bitOf(r * 8 + f);
    }
    return b;
}

// Walks from s along (dr, df), adding squares, stopping after the first one
// that `blocked` says is occupied.
template <typename Blocked>
Bitboard walk(int s, int dr, int df, Blocked blocked) {
    Bitboard b = 0;
    int r = rowOf(s) + dr, f = fileOf(s) + df;
    while (onBoard(r, f)) {
        int t = r * 8 + f;
        b |= bitOf(t);
        if (blocked(t)) break;
        r += dr;
        f += df;
    }
    return b;
}

// The index bit of square t inside its diagonal byte (bit 0 is the diagonal's
// last square in rotated order).
int a1h8IndexBit(int t) {
    int d = a1h8Diagonal(t);
    return diagStart(d) + diagLength(d) - 1 - a1h8RotIndex(t);
}
int a8h1IndexBit(int t) {
    int k = a8h1Diagonal(t);
    return diagStart(k) + diagLength(k) - 1 - a8h1RotIndex(t);
}

void buildSliderTables() {
    for (int s = 0; s < 64; ++s) {
        for (int b = 0; b < 256; ++b) {
            // rank byte: file a is bit 7; file byte: rank 8 (row 0) is bit 7
            auto rankBlocked = [b](int t) { return (b >> (7 - fileOf(t))) & 1; };
            auto fileBlocked = [b](int t) { return (b >> (7 - rowOf(t))) & 1; };
            rankAttacks[s][b] = walk(s, 0, 1, rankBlocked) | walk(s, 0, -1, rankBlocked);
            fileAttacks[s][b] = walk(s, 1, 0, fileBlocked) | walk(s, -1, 0, fileBlocked);
            if (b <= diagMaskA1H8[s]) {
                auto blocked = [b](int t) { return (b >> a1h8IndexBit(t)) & 1; };
                diagA1H8Attacks[s][b] = walk(s, -1, 1, blocked) | walk(s, 1, -1, blocked);
            } else {
                diagA1H8Attacks[s][b] = 0;
            }
            if (b <= diagMaskA8H1[s]) {
                auto blocked = [b](int t) { return (b >> a8h1IndexBit(t)) & 1; };
                diagA8H1Attacks[s][b] = walk(s, 1, 1, blocked) | walk(s, -1, -1, blocked);
            } else {
                diagA8H1Attacks[s][b] = 0;
            }
        }
    }
}

void buildMasks() {
    for (int s = 0; s < 64; ++s) {
        int row = rowOf(s), file = fileOf(s);
        Bitboard fileSquares = 0, adjacent = 0;
        for (int r = 0; r < 8; ++r) {
            fileSquares |= bitOf(r * 8 + file);
            if (file > 0) adjacent |= bitOf(r * 8 + file - 1);
            if (file < 7) adjacent |= bitOf(r * 8 + file + 1);
        }
        fileMaskExcl[s] = fileSquares & ~bitOf(s);
        adjacentFilesMask[s] = adjacent;
        Bitboard inFront = 0, behind = 0;  // from White's side
        for (int r = 0; r < 8; ++r) {
            Bitboard rank = Bitboard{0xFF} << (8 * (7 - r));
            if (r < row) inFront |= rank;
            if (r > row) behind |= rank;
        }
        passedMaskWhite[s] = (fileSquares | adjacent) & inFront;
        passedMaskBlack[s] = (fileSquares | adjacent) & behind;
        frontFileWhite[s] = fileSquares & inFront;
        frontFileBlack[s] = fileSquares & behind;
    }
}

void buildPhaseTables() {
    for (int m = 0; m < 128; ++m) {
        const bool opening = m >= 71;
        kingTableByPhase[m] = opening ? kingTable1 : m >= 47 ? kingTable2 : m >= 15 ? kingTable3 : kingTable4;
        pawnTableByPhase[m] = opening ? pawnTable1 : m >= 63 ? pawnTable2 : m >= 15 ? pawnTable3 : pawnTable4;
        knightTableByPhase[m] = opening ? knightTable1 : knightTable2;
        bishopTableByPhase[m] = opening ? bishopTable1 : bishopTable2;
        rookTableByPhase[m] = opening ? rookTable1 : rookTable2;
        queenTableByPhase[m] = opening ? queenTable1 : queenTable2;
    }
}

}  // namespace

// Shift and mask that bring a square's diagonal to the low end of a rotated board.
const std::uint8_t diagShiftA1H8[64] = {
     63,  61,  58,  54,  49,  43,  36,  28,
     61,  58,  54,  49,  43,  36,  28,  21,
     58,  54,  49,  43,  36,  28,  21,  15,
     54,  49,  43,  36,  28,  21,  15,  10,
     49,  43,  36,  28,  21,  15,  10,   6,
     43,  36,  28,  21,  15,  10,   6,   3,
     36,  28,  21,  15,  10,   6,   3,   1,
     28,  21,  15,  10,   6,   3,   1,   0,
};
const std::uint8_t diagShiftA8H1[64] = {
     28,  36,  43,  49,  54,  58,  61,  63,
     21,  28,  36,  43,  49,  54,  58,  61,
     15,  21,  28,  36,  43,  49,  54,  58,
     10,  15,  21,  28,  36,  43,  49,  54,
      6,  10,  15,  21,  28,  36,  43,  49,
      3,   6,  10,  15,  21,  28,  36,  43,
      1,   3,   6,  10,  15,  21,  28,  36,
      0,   1,   3,   6,  10,  15,  21,  28,
};
const std::uint8_t diagMaskA1H8[64] = {
      1,   3,   7,  15,  31,  63, 127, 255,
      3,   7,  15,  31,  63, 127, 255, 127,
      7,  15,  31,  63, 127, 255, 127,  63,
     15,  31,  63, 127, 255, 127,  63,  31,
     31,  63, 127, 255, 127,  63,  31,  15,
     63, 127, 255, 127,  63,  31,  15,   7,
    127, 255, 127,  63,  31,  15,   7,   3,
    255, 127,  63,  31,  15,   7,   3,   1,
};
const std::uint8_t diagMaskA8H1[64] = {
    255, 127,  63,  31,  15,   7,   3,   1,
    127, 255, 127,  63,  31,  15,   7,   3,
     63, 127, 255, 127,  63,  31,  15,   7,
     31,  63, 127, 255, 127,  63,  31,  15,
     15,  31,  63, 127, 255, 127,  63,  31,
      7,  15,  31,  63, 127, 255, 127,  63,
      3,   7,  15,  31,  63, 127, 255, 127,
      1,   3,   7,  15,  31,  63, 127, 255,
};

void initTables() {
    static const int kingSteps[8][2] = {{-1, -1}, {-1, 0}, {-1, 1}, {0, -1}, {0, 1}, {1, -1}, {1, 0}, {1, 1}};
    static const int knightSteps[8][2] = {{-2, -1}, {-2, 1}, {-1, -2}, {-1, 2}, {1, -2}, {1, 2}, {2, -1}, {2, 1}};
    for (int s = 0; s < 64; ++s) {
        kingAttacks[s] = stepTargets(s, kingSteps, 8);
        knightAttacks[s] = stepTargets(s, knightSteps, 8);
    }
    buildSliderTables();

    for (int s = 0; s < 64; ++s) {
        squareBit[s] = bitOf(s);
        fileRotBit[s] = Bitboard{1} << (7 + 8 * fileOf(s) - rowOf(s));
        diagA1H8Bit[s] = Bitboard{1} << (63 - a1h8RotIndex(s));
        diagA8H1Bit[s] = Bitboard{1} << (63 - a8h1RotIndex(s));
    }
    squareBit[WhiteQueenSidePath] = bitOf(C1) | bitOf(D1) | bitOf(E1);
    squareBit[WhiteKingSidePath] = bitOf(E1) | bitOf(F1) | bitOf(G1);
    squareBit[BlackQueenSidePath] = bitOf(C8) | bitOf(D8) | bitOf(E8);
    squareBit[BlackKingSidePath] = bitOf(E8) | bitOf(F8) | bitOf(G8);
    kingAttacks[WhiteQueenSidePath] = kingAttacks[C1];
    kingAttacks[WhiteKingSidePath] = kingAttacks[G1];
    kingAttacks[BlackQueenSidePath] = kingAttacks[C8];
    kingAttacks[BlackKingSidePath] = kingAttacks[G8];
    buildMasks();
    for (int s = 0; s < 64; ++s) {
        // the rays are the attacks with only the piece's own square occupied
        Bitboard rank = rankAttacks[s][0x80 >> fileOf(s)];
        Bitboard file = fileAttacks[s][0x80 >> rowOf(s)];
        Bitboard diag1 = diagA1H8Attacks[s][1 << a1h8IndexBit(s)];
        Bitboard diag2 = diagA8H1Attacks[s][1 << a8h1IndexBit(s)];
        rookRays[s] = rank | file;
        bishopRays[s] = diag1 | diag2;
        queenRays[s] = rookRays[s] | bishopRays[s];
    }

    for (int t = 0; t < 64; ++t) {
        epFileRotBits[t] = epDiagA1H8Bits[t] = epDiagA8H1Bits[t] = 0;
        int x = rowOf(t) == 2 ? t + 8 : rowOf(t) == 5 ? t - 8 : -1;  // the captured pawn's square
        if (x < 0) continue;
        epFileRotBits[t] = fileRotBit[t] | fileRotBit[x];
        epDiagA1H8Bits[t] = diagA1H8Bit[t] | diagA1H8Bit[x];
        epDiagA8H1Bits[t] = diagA8H1Bit[t] | diagA8H1Bit[x];
    }
    buildPhaseTables();
}

void rotateOccupancy(Position& p) {
    p.occupiedFiles = p.occupiedDiagA1H8 = p.occupiedDiagA8H1 = 0;
    for (Bitboard b = p.occupied; b;) {
        int s = popLowest(b);
        p.occupiedFiles |= fileRotBit[s];
        p.occupiedDiagA1H8 |= diagA1H8Bit[s];
        p.occupiedDiagA8H1 |= diagA8H1Bit[s];
    }
}
