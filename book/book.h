// The opening book: lines of moves from the start position, stored into the
// transposition table as entries of age 0.
#pragma once

#include <cstdint>

#include "board/types.h"

bool loadBook(const char* fileName);
bool storeBookLine(const Move* moves, std::uint8_t count);
