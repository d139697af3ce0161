// Draws by material, by the fifty-move rule and by repetition.
#pragma once

#include <cstdint>

#include "board/types.h"

bool insufficientMaterial();

// Whether the current position is drawn; `count` (1 or 2) earlier occurrences
// of it make a repetition.
bool isDraw(int count);

// isDraw's answer for the position `move` would lead to, without making it.
// Only quiet moves can repeat; every other kind answers false.
bool repetitionAfter(Move move, int count);

// The hash key making the quiet (kind 0) `move` would give the position.
std::uint64_t keyAfterQuietMove(Move move);
