// The static evaluation.
#pragma once

#include <cstdint>

struct Position;

// The score of a position for the side to move, in centipawns.
std::int16_t evaluate(const Position& p);
