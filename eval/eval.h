// The static evaluation.
#pragma once

#include <cstdint>

// The score of the current position for the side to move, in centipawns.
std::int16_t evaluate();
