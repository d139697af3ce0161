// Precomputed attack, mask and phase tables, built once by initTables().
#pragma once

#include <cstdint>

#include "board/position.h"
#include "board/types.h"

extern Bitboard squareBit[68];
extern Bitboard fileRotBit[64];
extern Bitboard diagA1H8Bit[64];
extern Bitboard diagA8H1Bit[64];
extern Bitboard epFileRotBits[64];
extern Bitboard epDiagA1H8Bits[64];
extern Bitboard epDiagA8H1Bits[64];

extern Bitboard kingAttacks[68];
extern Bitboard knightAttacks[64];
extern Bitboard rankAttacks[64][256];
extern Bitboard fileAttacks[64][256];
extern Bitboard diagA1H8Attacks[64][256];
extern Bitboard diagA8H1Attacks[64][256];

extern const std::uint8_t diagShiftA1H8[64];
extern const std::uint8_t diagShiftA8H1[64];
extern const std::uint8_t diagMaskA1H8[64];
extern const std::uint8_t diagMaskA8H1[64];

extern Bitboard queenRays[64];
extern Bitboard rookRays[64];
extern Bitboard bishopRays[64];

extern Bitboard fileMaskExcl[64];
extern Bitboard adjacentFilesMask[64];
extern Bitboard passedMaskWhite[64];
extern Bitboard passedMaskBlack[64];
extern Bitboard frontFileWhite[64];
extern Bitboard frontFileBlack[64];

// Piece-square tables in force by materialCount (0-127). King tables have 68
// entries (64-67 the castling paths), the others 64; all in White's view.
extern const std::int16_t* kingTableByPhase[128];
extern const std::int16_t* pawnTableByPhase[128];
extern const std::int16_t* knightTableByPhase[128];
extern const std::int16_t* bishopTableByPhase[128];
extern const std::int16_t* rookTableByPhase[128];
extern const std::int16_t* queenTableByPhase[128];

// The phase index for a material count: counts past the tables' end (many
// promotions) use the last entry.
inline int phaseIndex(int materialCount) { return materialCount > 127 ? 127 : materialCount; }

void initTables();

inline Bitboard rookAttacksFrom(int s, const Position& p) {
    return rankAttacks[s][(p.occupied >> (8 * (7 - rowOf(s)))) & 0xFF] |
           fileAttacks[s][(p.occupiedFiles >> (8 * fileOf(s))) & 0xFF];
}

inline Bitboard bishopAttacksFrom(int s, const Position& p) {
    return diagA1H8Attacks[s][(p.occupiedDiagA1H8 >> diagShiftA1H8[s]) & diagMaskA1H8[s]] |
           diagA8H1Attacks[s][(p.occupiedDiagA8H1 >> diagShiftA8H1[s]) & diagMaskA8H1[s]];
}

inline Bitboard queenAttacksFrom(int s, const Position& p) {
    return rookAttacksFrom(s, p) | bishopAttacksFrom(s, p);
}

// The three rotated boards rebuilt from a plain occupancy (used by setup and tests).
void rotateOccupancy(Position& p);
