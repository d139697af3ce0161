// Piece-square tables shared by move ordering and the evaluation.
#pragma once

#include <cstdint>

extern std::int16_t kingTable1[68], kingTable2[68], kingTable3[68], kingTable4[68];
extern const std::int16_t pawnTable1[64], pawnTable2[64], pawnTable3[64], pawnTable4[64];
extern const std::int16_t knightTable1[64], knightTable2[64];
extern const std::int16_t bishopTable1[64], bishopTable2[64];
extern const std::int16_t rookTable1[64], rookTable2[64];
extern const std::int16_t queenTable1[64], queenTable2[64];

// Copies each king table's c1, g1, c8 and g8 entries to its castling-path entries.
void completeKingTables();
