// Draws by material, by the fifty-move rule and by repetition.
#pragma once

#include "board/position.h"

// Whether a board's position is drawn; `count` (1 or 2) earlier occurrences
// of it make a repetition.
bool isDraw(const Board& b, int count);

// isDraw's answer for the position `move` would lead to. Only quiet moves can
// repeat; every other kind answers false. The history must have room for one
// more entry.
bool repetitionAfter(Board& b, Move move, int count);
