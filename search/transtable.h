// The transposition table: two halves (one per side to move) of 2^20 buckets of
// two slots each, one static allocation.
#pragma once

#include <cstdint>

#include "board/types.h"

struct TransEntry {
    std::uint64_t word;  // move: bits 0-15, lock (key bits 16-63): bits 16-63
    std::uint32_t info;  // depth 0-6, lower 7, upper 8, age 9-17, score+8190 18-31

    Move move() const { return static_cast<Move>(word & 0xFFFF); }
    int depth() const { return info & 127; }
    bool lowerBound() const { return info & 128; }
    bool upperBound() const { return info & 256; }
    int age() const { return (info >> 9) & 511; }
    int score() const { return static_cast<int>(info >> 18) - 8190; }
};

struct TransBucket {
    TransEntry slot[2];
};

constexpr int TransBuckets = 1 << 20;

struct TransTable {
    TransBucket half[2][TransBuckets];  // by side to move
};

enum Bound { Exact = 0, Lower = 1, Upper = 2 };

extern TransTable transTable;
extern std::uint16_t searchAge;

void ttClear();
TransEntry* ttFind();
TransEntry* ttFindFirst();

struct ProbeResult {
    bool cutoff;
    std::int16_t score;  // valid on a cutoff
    Move hashMove;
};

// Probes for the current position; may narrow alpha and beta.
ProbeResult ttProbe(int depth, std::int16_t& alpha, std::int16_t& beta);
void ttStore(int depth, Bound bound, int score, Move move);
void ttStoreBookMove(Move move);
