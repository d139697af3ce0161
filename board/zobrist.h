// The Zobrist keys, indexed [piece code][square]: row 0 holds the en-passant
// keys and the castling keys ([0][62] K, [0][58] Q, [0][6] k, [0][2] q), rows
// 1-10 the pieces, 11 and 12 the kings. A fixed table computed at compile time
// by splitmix64 from a fixed seed, so every build and every run hashes alike.
#pragma once

#include <cstdint>

struct ZobristTable {
    std::uint64_t keys[13][64];
    constexpr ZobristTable() : keys{} {
        std::uint64_t state = 0x44726F7A616B2121ULL;
        for (auto& row : keys) {
            for (auto& key : row) {
                state += 0x9E3779B97F4A7C15ULL;
                std::uint64_t z = state;
                z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
                z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
                key = z ^ (z >> 31);
            }
        }
    }
};

inline constexpr ZobristTable zobristTable;
inline constexpr const auto& zobristKeys = zobristTable.keys;
