// The transposition table: two halves (one per side to move) of a power of two
// of buckets of two slots each; DefaultTransBuckets a half unless `memory` or
// `Hash` asks otherwise. Every search thread reads and writes it at once,
// without a lock: a slot's words are each read and written whole, and a slot
// whose words come from two different stores reads as holding no position.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "board/position.h"
#include "board/types.h"

// A slot's contents as read, whole.
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

// A slot as stored: the entry's two words and a check word, the info word
// with the halves of the entry's word folded into it, by which a slot whose
// words come from different stores is told apart.
struct TransSlot {
    std::uint64_t word;
    std::uint32_t info;
    std::uint32_t check;
};

// 16-byte slots make a 32-byte bucket; aligned to 32, a bucket never
// straddles a cache line, so a probe costs at most one miss. Packing to 24
// bytes would save a quarter of the memory but split every fourth bucket over
// two lines.
struct alignas(32) TransBucket {
    TransSlot slot[2];
};
static_assert(sizeof(TransSlot) == 16);
static_assert(sizeof(TransBucket) == 32);

#ifdef __EMSCRIPTEN__
// In a browser tab the whole program lives in one WebAssembly memory, which
// the web build lets grow to 2 GiB: a 16 MiB table unless `Hash` asks for
// more, and 1 GiB at the most.
constexpr std::size_t DefaultTransBuckets = std::size_t{1} << 18;  // a half: 2 x 8 MiB
constexpr std::uint64_t MaxTableMiB = 1024;
#else
constexpr std::size_t DefaultTransBuckets = std::size_t{1} << 20;  // a half: 2 x 32 MiB
constexpr std::uint64_t MaxTableMiB = 65536;
#endif
constexpr std::uint64_t DefaultTableMiB = (2 * DefaultTransBuckets * sizeof(TransBucket)) >> 20;

// One allocation, aligned to 2 MiB and offered to the kernel's huge pages
// (in the web build, aligned to a cache line from the heap): the buckets of
// the Black half, then those of the White half.
struct TransTable {
    TransBucket* buckets;
    std::size_t bucketsPerHalf;  // a power of two
    std::uint64_t indexMask;     // bucketsPerHalf - 1

    TransBucket& bucket(int side, std::uint64_t key) const {
        return buckets[(static_cast<std::size_t>(side) * bucketsPerHalf) + (key & indexMask)];
    }
};

enum Bound { Exact = 0, Lower = 1, Upper = 2 };

extern TransTable transTable;
// Counts searched engine moves since the last setup. A store writes its low nine
// bits as the slot's age, except that it never writes 0 (the book's mark).
// Changed only while no search runs.
extern std::uint16_t searchAge;

// A slot the book wrote: age 0, which no search store writes.
inline bool isBookEntry(const TransEntry& e) { return e.age() == 0; }

// Empties every slot; the age starts again at 1. Only while no search runs.
void ttClear();

// The buckets a half gets within `mib` MiB for the whole table: the largest
// power of two that fits, counting 1 MiB at the least and MaxTableMiB at most.
std::size_t ttBucketsForMiB(std::uint64_t mib);
// Reallocates the table with `bucketsPerHalf` buckets a half (a power of two),
// cleared. False when the memory cannot be had: the old table stays as it was.
// Only while no search runs.
bool ttResize(std::size_t bucketsPerHalf);
std::size_t ttBytes();
// One more searched engine move: the entries stored so far grow older.
void ttNewSearch();
// How full the table is with the running search's entries, in thousandths,
// from a sample of its first slots.
int ttHashfull();
// Forgets the depth of the slots that hold the position, so that no search
// cuts off on them; their moves and scores stay.
void ttForgetDepth(const Position& p);
// The slot that holds the position, either one, or none.
std::optional<TransEntry> ttFind(const Position& p);
// The first slot of the position's bucket when it holds the position.
std::optional<TransEntry> ttFindFirst(const Position& p);
// Starts loading the bucket of a position of `side` with `key` into the cache;
// changes nothing else.
inline void ttPrefetch(int side, std::uint64_t key) { __builtin_prefetch(&transTable.bucket(side, key)); }

struct ProbeResult {
    bool cutoff;
    std::int16_t score;  // valid on a cutoff
    Move hashMove;
};

// Probes for the position; may narrow alpha and beta. A book slot gives only
// its move: its depth, bound and score were never searched.
ProbeResult ttProbe(const Position& p, int depth, std::int16_t& alpha, std::int16_t& beta);
void ttStore(const Position& p, int depth, Bound bound, int score, Move move);
void ttStoreBookMove(const Position& p, Move move);
