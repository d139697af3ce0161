// Draws by material, by the fifty-move rule and by repetition.
#pragma once

#include "board/types.h"

bool insufficientMaterial();
bool isDraw(int count);
bool repetitionAfter(Move move, int count);
