#include "search/transtable.h"

#include <cstring>
#include <initializer_list>

#include "board/position.h"

TransTable transTable;
std::uint16_t searchAge = 1;

namespace {

constexpr std::uint64_t LockMask = ~std::uint64_t{0xFFFF};  // key bits 16-63
constexpr std::uint32_t LowerBit = 128, UpperBit = 256, BoundBits = LowerBit | UpperBit;
constexpr int ScoreOffset = 8190;
constexpr int MinStoredScore = -ScoreOffset, MaxStoredScore = 16383 - ScoreOffset;

TransBucket& currentBucket() {
    return transTable.half[position.sideToMove][position.hashKey & (TransBuckets - 1)];
}

bool holds(const TransEntry& e, std::uint64_t key) { return (e.word & LockMask) == (key & LockMask); }

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

void writeEntry(TransEntry& e, std::uint64_t key, int depth, Bound bound, int score, Move move) {
    const std::uint32_t d = depth < 0 ? 0u : depth > 127 ? 127u : static_cast<std::uint32_t>(depth);
    e.word = (key & LockMask) | move;
    e.info = d | boundBits(bound) | (storedAge(searchAge) << 9) | (scoreField(score) << 18);
}

}  // namespace

void ttClear() {
    std::memset(static_cast<void*>(&transTable), 0, sizeof transTable);
    searchAge = 1;
}

void ttNewSearch() { ++searchAge; }

void ttForgetDepth() {
    for (TransEntry* slot : {ttFindFirst(), ttFind()})
        if (slot) slot->info &= ~std::uint32_t{127};
}

TransEntry* ttFind() {
    TransBucket& b = currentBucket();
    const std::uint64_t key = position.hashKey;
    if (holds(b.slot[0], key)) return &b.slot[0];
    if (holds(b.slot[1], key)) return &b.slot[1];
    return nullptr;
}

TransEntry* ttFindFirst() {
    TransBucket& b = currentBucket();
    return holds(b.slot[0], position.hashKey) ? &b.slot[0] : nullptr;
}

// A cutoff returns the stored score itself; otherwise the slot's move serves as
// the hash move and a bound that does not cut may still narrow the window.
ProbeResult ttProbe(int depth, std::int16_t& alpha, std::int16_t& beta) {
    ProbeResult result{false, 0, 0};
    const TransEntry* e = ttFind();
    if (!e) return result;
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

void ttStore(int depth, Bound bound, int score, Move move) {
    TransBucket& b = currentBucket();
    const std::uint64_t key = position.hashKey;
    TransEntry& first = b.slot[0];
    if (holds(first, key)) {
        // The position keeps one slot: a shallower result for it is dropped.
        if (depth > first.depth() || (depth == first.depth() && exactOverBound(bound, first)))
            writeEntry(first, key, depth, bound, score, move);
        return;
    }
    if (displaces(first, depth, bound)) {
        b.slot[1] = first;
        writeEntry(first, key, depth, bound, score, move);
    } else if (displaces(b.slot[1], depth, bound)) {
        writeEntry(b.slot[1], key, depth, bound, score, move);
    }
}

// Only the lock, the move and the age change: right after a clear the slot
// reads depth 0, exact, score -8190.
void ttStoreBookMove(Move move) {
    TransEntry& e = currentBucket().slot[0];
    e.word = (position.hashKey & LockMask) | move;
    e.info &= ~(511u << 9);
}
