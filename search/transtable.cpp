#include "search/transtable.h"

#ifndef __EMSCRIPTEN__
#include <sys/mman.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "search/search.h"

std::uint16_t searchAge = 1;

namespace {

#ifdef __EMSCRIPTEN__
// Zeroed buckets for both halves, or null: emscripten's mmap cannot give back
// part of a mapping, and a WebAssembly memory has no huge pages, so the table
// comes from the heap, aligned to a cache line (null when the memory cannot
// grow that far).
TransBucket* allocateBuckets(std::size_t bucketsPerHalf) {
    constexpr std::size_t CacheLine = 64;
    const std::size_t bytes = 2 * bucketsPerHalf * sizeof(TransBucket);
    void* memory = std::aligned_alloc(CacheLine, bytes);
    if (memory) std::memset(memory, 0, bytes);
    return static_cast<TransBucket*>(memory);
}

void freeBuckets(TransBucket* buckets, std::size_t) { std::free(buckets); }
#else
constexpr std::size_t HugePage = std::size_t{2} << 20;

// Zeroed buckets for both halves, or null: fresh anonymous memory (zero until
// written), trimmed to start on a 2 MiB boundary, which the kernel may then
// back with huge pages.
TransBucket* allocateBuckets(std::size_t bucketsPerHalf) {
    const std::size_t bytes = 2 * bucketsPerHalf * sizeof(TransBucket);
    const std::size_t mapped = bytes + HugePage;
    void* memory = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(memory);
    const std::uintptr_t aligned = (start + HugePage - 1) & ~(std::uintptr_t{HugePage} - 1);
    if (aligned > start) munmap(memory, aligned - start);
    const std::size_t tail = mapped - (aligned - start) - bytes;
    if (tail) munmap(reinterpret_cast<void*>(aligned + bytes), tail);
    madvise(reinterpret_cast<void*>(aligned), bytes, MADV_HUGEPAGE);
    return reinterpret_cast<TransBucket*>(aligned);
}

void freeBuckets(TransBucket* buckets, std::size_t bucketsPerHalf) {
    munmap(buckets, 2 * bucketsPerHalf * sizeof(TransBucket));
}
#endif

TransTable makeDefaultTable() {
    TransBucket* buckets = allocateBuckets(DefaultTransBuckets);
    if (!buckets) std::abort();  // before main: there is no engine without its table
    return TransTable{buckets, DefaultTransBuckets, DefaultTransBuckets - 1};
}

constexpr std::uint64_t LockMask = ~std::uint64_t{0xFFFF};  // key bits 16-63
constexpr std::uint32_t LowerBit = 128, UpperBit = 256, BoundBits = LowerBit | UpperBit;
constexpr int ScoreOffset = 8190;
constexpr int MinStoredScore = -ScoreOffset, MaxStoredScore = 16383 - ScoreOffset;

TransBucket& bucketOf(const Position& p) { return transTable.bucket(p.sideToMove, p.hashKey); }

constexpr std::uint32_t fold(std::uint64_t word) { return static_cast<std::uint32_t>(word ^ (word >> 32)); }

// A word of a slot, read or written whole while other threads do the same
// (the builtins atomic_ref is made of, which every library of ours has).
template <typename T>
T load(T& field) { return __atomic_load_n(&field, __ATOMIC_RELAXED); }
template <typename T>
void store(T& field, T value) { __atomic_store_n(&field, value, __ATOMIC_RELAXED); }

bool holds(std::uint64_t word, std::uint64_t key) { return (word & LockMask) == (key & LockMask); }
bool holds(const TransEntry& e, std::uint64_t key) { return holds(e.word, key); }

// A slot's words, each read whole, as one entry: the check tells a slot
// another thread was writing while this one read it, which then reads empty.
TransEntry readSlot(TransSlot& slot) {
    const std::uint64_t word = load(slot.word);
    const std::uint32_t info = load(slot.info);
    if ((info ^ fold(word)) != load(slot.check)) return TransEntry{0, 0};
    return TransEntry{word, info};
}

// The slot's entry when it holds the position `key`. Slots of other
// positions are told by their word alone.
inline bool readIfHolds(TransSlot& slot, std::uint64_t key, TransEntry& e) {
    const std::uint64_t word = load(slot.word);
    if (!holds(word, key)) return false;
    const std::uint32_t info = load(slot.info);
    if ((info ^ fold(word)) != load(slot.check)) return false;
    e = TransEntry{word, info};
    return true;
}

void writeSlot(TransSlot& slot, const TransEntry& e) {
    store(slot.word, e.word);
    store(slot.info, e.info);
    store(slot.check, e.info ^ fold(e.word));
}

// Age 0 marks the book, so once the nine bits wrap (512 searched moves) a store
// writes 1 instead: a searched entry must never pass for a book move.
constexpr std::uint32_t storedAge(std::uint16_t age) {
    const std::uint32_t low = age & 511u;
    return low ? low : 1u;
}

constexpr std::uint32_t boundBits(Bound bound) {
    return bound == Lower ? LowerBit : bound == Upper ? UpperBit : 0u;
}

// The tie rule shared by both replacement tests: an exact result displaces a bound.
bool exactOverBound(Bound bound, const TransEntry& e) { return bound == Exact && (e.info & BoundBits); }

// Depth-preferred with ageing: an entry counts shallower by the searches run
// since it was written. Compared as 16-bit values, as the counter is.
bool displaces(const TransEntry& e, int depth, Bound bound) {
    const auto diff = static_cast<std::int16_t>((depth + searchAge) - (e.depth() + e.age()));
    return diff > 0 || (diff == 0 && exactOverBound(bound, e));
}

// A score outside the 14-bit field would wrap into one of the opposite sign,
// so the few reachable outliers (many promotions) are held at the field's ends.
constexpr std::uint32_t scoreField(int score) {
    const int held = score < MinStoredScore ? MinStoredScore : score > MaxStoredScore ? MaxStoredScore : score;
    return static_cast<std::uint32_t>(held + ScoreOffset);
}

inline TransEntry entryFor(std::uint64_t key, int depth, Bound bound, int score, Move move) {
    const std::uint32_t d = depth < 0 ? 0u : depth > 127 ? 127u : static_cast<std::uint32_t>(depth);
    return TransEntry{(key & LockMask) | move, d | boundBits(bound) | (storedAge(searchAge) << 9) | (scoreField(score) << 18)};
}

}  // namespace

TransTable transTable = makeDefaultTable();

void ttClear() {
    std::memset(static_cast<void*>(transTable.buckets), 0, ttBytes());
    searchAge = 1;
}

std::size_t ttBytes() { return 2 * transTable.bucketsPerHalf * sizeof(TransBucket); }

// Counted in 64 bits: a 32-bit size_t (wasm32) would wrap near 4 GiB.
std::size_t ttBucketsForMiB(std::uint64_t mib) {
    const std::uint64_t bytes = (mib < 1 ? 1 : mib > MaxTableMiB ? MaxTableMiB : mib) << 20;
    std::uint64_t buckets = 1;
    while (2 * (buckets * 2) * sizeof(TransBucket) <= bytes) buckets *= 2;
    return static_cast<std::size_t>(buckets);
}

bool ttResize(std::size_t bucketsPerHalf) {
    DROZAK_CHECK(!searchPool.running());
    TransBucket* buckets = allocateBuckets(bucketsPerHalf);
    if (!buckets) return false;
    freeBuckets(transTable.buckets, transTable.bucketsPerHalf);
    transTable = TransTable{buckets, bucketsPerHalf, bucketsPerHalf - 1};
    searchAge = 1;
    return true;
}

void ttNewSearch() { ++searchAge; }

int ttHashfull() {
    const std::size_t buckets = std::min<std::size_t>(500, transTable.bucketsPerHalf);
    int used = 0;
    for (std::size_t i = 0; i < buckets; ++i)
        for (TransSlot& slot : transTable.buckets[i].slot)
            used += load(slot.word) != 0 && ((load(slot.info) >> 9) & 511) == storedAge(searchAge);
    return static_cast<int>(used * 1000 / (2 * buckets));
}

void ttForgetDepth(const Position& p) {
    for (TransSlot& slot : bucketOf(p).slot) {
        TransEntry e;
        if (!readIfHolds(slot, p.hashKey, e)) continue;
        e.info &= ~std::uint32_t{127};
        writeSlot(slot, e);
    }
}

namespace {

// The entry of the slot that holds the position, either one.
inline bool find(const Position& p, TransEntry& e) {
    TransBucket& b = bucketOf(p);
    return readIfHolds(b.slot[0], p.hashKey, e) || readIfHolds(b.slot[1], p.hashKey, e);
}

}  // namespace

std::optional<TransEntry> ttFind(const Position& p) {
    TransEntry e;
    if (find(p, e)) return e;
    return std::nullopt;
}

std::optional<TransEntry> ttFindFirst(const Position& p) {
    TransEntry e;
    if (readIfHolds(bucketOf(p).slot[0], p.hashKey, e)) return e;
    return std::nullopt;
}

// A cutoff returns the stored score itself; otherwise the slot's move serves as
// the hash move and a bound that does not cut may still narrow the window.
ProbeResult ttProbe(const Position& p, int depth, std::int16_t& alpha, std::int16_t& beta) {
    ProbeResult result{false, 0, 0};
    TransEntry found;
    if (!find(p, found)) return result;
    const TransEntry* e = &found;
    if (static_cast<std::int16_t>(e->depth()) < static_cast<std::int16_t>(depth) || isBookEntry(*e)) {
        result.hashMove = e->move();
        return result;
    }
    const auto score = static_cast<std::int16_t>(e->score());
    switch (e->info & BoundBits) {
        case 0:
            return {true, score, e->move()};
        case LowerBit:
            if (score >= beta) return {true, score, e->move()};
            if (score > alpha) alpha = score;
            break;
        case UpperBit:
            if (score <= alpha) return {true, score, e->move()};
            if (score < beta) beta = score;
            break;
        default:
            break;
    }
    result.hashMove = e->move();
    return result;
}

void ttStore(const Position& p, int depth, Bound bound, int score, Move move) {
    TransBucket& b = bucketOf(p);
    const std::uint64_t key = p.hashKey;
    const TransEntry first = readSlot(b.slot[0]);
    if (holds(first, key)) {
        // The position keeps one slot: a shallower result for it is dropped.
        if (depth > first.depth() || (depth == first.depth() && exactOverBound(bound, first)))
            writeSlot(b.slot[0], entryFor(key, depth, bound, score, move));
        return;
    }
    if (displaces(first, depth, bound)) {
        writeSlot(b.slot[1], first);
        writeSlot(b.slot[0], entryFor(key, depth, bound, score, move));
    } else if (displaces(TransEntry{0, load(b.slot[1].info)}, depth, bound)) {
        writeSlot(b.slot[1], entryFor(key, depth, bound, score, move));
    }
}

// The slot reads depth 0, exact, age 0, score -8190, as a cleared slot does
// but for its age: nothing of a search result it replaces stays behind.
void ttStoreBookMove(const Position& p, Move move) {
    writeSlot(bucketOf(p).slot[0], TransEntry{(p.hashKey & LockMask) | move, 0});
}
