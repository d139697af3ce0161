// Checks shared by the fuzz targets. A broken check prints what it saw and
// aborts, which libFuzzer reports as a crash with the input that caused it.
// The fuzz build has the engine's own checks on: every make and unmake
// asserts the position's consistency itself.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <memory>

#include "board/gamelog.h"
#include "board/position.h"

#define FUZZ_REQUIRE(condition)                                                                \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "\n*** check failed at %s:%d: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

// The input as a NUL-terminated text on a heap block of exactly its size plus
// the terminator, so that AddressSanitizer sees any read past its end.
struct FuzzText {
    std::unique_ptr<char[]> text;
    FuzzText(const std::uint8_t* data, std::size_t size) : text(new char[size + 1]) {
        if (size) std::memcpy(text.get(), data, size);
        text[size] = 0;
    }
    const char* get() const { return text.get(); }
};

// The game log goes nowhere: millions of runs would otherwise fill the disk.
inline void quietLog() {
    gamelog::stream().close();
    gamelog::stream().open("/dev/null");
}

inline bool sameBytes(const void* a, const void* b, std::size_t size) { return std::memcmp(a, b, size) == 0; }

// The snapshot is the game position as the command thread sees it.
inline void requireSnapshotOf(const Position& p) {
    FUZZ_REQUIRE(sameBytes(gameSnapshot.board, p.board, sizeof p.board));
    FUZZ_REQUIRE(gameSnapshot.epSquare == p.epSquare && gameSnapshot.castleFlags == p.castleFlags);
    FUZZ_REQUIRE(gameSnapshot.whiteKingSquare == p.kingSquare[White] && gameSnapshot.blackKingSquare == p.kingSquare[Black]);
    FUZZ_REQUIRE(gameSnapshot.sideToMove == p.sideToMove);
}
