// The transposition table through its interface: what a probe gives for each
// kind of slot and window, which of two slots a store replaces, the score
// field's ends, book slots, ageing and the table's size.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "search/transtable.h"
#include "support/chess.h"

using namespace testsupport;

namespace {

// Positions A, B and C share a bucket (the same low 20 bits); D is the next bucket.
constexpr std::uint64_t Keys[] = {0x0123456789A5BCDEULL, 0x7654321000F5BCDEULL, 0x0F0F0F0F0F05BCDEULL,
                                  0x0123456789A5BCDFULL};
constexpr Move MoveA = 0x0B1C;

// The position the probes and stores are for: only its key and side count.
Position probe{};

void at(char name, int side = White) {
    probe.hashKey = Keys[name - 'A'];
    probe.sideToMove = side;
}

void freshTable() {
    ensureTables();
    ttClear();
    at('A');
}

TEST(TransTable, ProbeByKindOfSlotAndWindow) {
    const struct {
        const char* name;
        int stored;  // the slot's depth; -1 no slot, -2 a book slot
        Bound bound;
        int score;
        Move move;
        int depth, alpha, beta;
        bool cutoff;
        int result;  // the score of a cutoff
        Move hashMove;
        int alphaAfter, betaAfter;
    } cases[] = {
        {"empty table", -1, Exact, 0, 0, 0, -20, 40, false, 0, 0, -20, 40},
        {"exact at its depth", 5, Exact, 123, MoveA, 5, -100, 100, true, 123, MoveA, -100, 100},
        {"exact too shallow", 5, Exact, 123, MoveA, 6, -100, 100, false, 0, MoveA, -100, 100},
        {"shallow slot without a move", 2, Lower, 500, 0, 3, -20, 40, false, 0, 0, -20, 40},
        {"lower cuts", 4, Lower, 50, MoveA, 4, -20, 40, true, 50, MoveA, -20, 40},
        {"lower cuts at beta", 4, Lower, 50, MoveA, 4, -20, 50, true, 50, MoveA, -20, 50},
        {"lower raises alpha", 4, Lower, 50, MoveA, 3, -20, 60, false, 0, MoveA, 50, 60},
        {"upper cuts", 4, Upper, -30, MoveA, 4, -20, 40, true, -30, MoveA, -20, 40},
        {"upper cuts at alpha", 4, Upper, -30, MoveA, 4, -30, 40, true, -30, MoveA, -30, 40},
        {"upper lowers beta", 4, Upper, -30, MoveA, 4, -40, 40, false, 0, MoveA, -40, -30},
        {"score field's low end", 3, Exact, -8190, MoveA, 3, 0, 1, true, -8190, MoveA, 0, 1},
        {"score field's high end", 3, Exact, 8190, MoveA, 3, 0, 1, true, 8190, MoveA, 0, 1},
        {"book slot, alpha-beta", -2, Exact, 0, MoveA, 1, -20, 40, false, 0, MoveA, -20, 40},
        {"book slot, depth 0", -2, Exact, 0, MoveA, 0, -20, 40, false, 0, MoveA, -20, 40},
        {"book slot, quiescence", -2, Exact, 0, MoveA, -3, -20, 40, false, 0, MoveA, -20, 40},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        freshTable();
        if (c.stored >= 0) ttStore(probe, c.stored, c.bound, c.score, c.move);
        if (c.stored == -2) ttStoreBookMove(probe, c.move);
        std::int16_t alpha = static_cast<std::int16_t>(c.alpha), beta = static_cast<std::int16_t>(c.beta);
        const ProbeResult r = ttProbe(probe, c.depth, alpha, beta);
        EXPECT_EQ(r.cutoff, c.cutoff);
        if (c.cutoff) { EXPECT_EQ(r.score, c.result); }
        EXPECT_EQ(r.hashMove, c.hashMove);
        EXPECT_TRUE(alpha == c.alphaAfter && beta == c.betaAfter) << alpha << " " << beta;
    }
}

// Depth-preferred with ageing: a slot counts shallower by the searches since
// it was written; on a tie an exact result displaces a bound. A new result
// moves slot 0 down to slot 1; the position keeps one slot. After the stores
// (position, age, depth, bound, score): "slot0 slot1", each "position:score".
TEST(TransTable, ReplacementRules) {
    struct Store {
        char key;
        int age, depth;
        Bound bound;
        int score;
    };
    const struct {
        const char* name;
        std::vector<Store> stores;
        const char* bucket;
    } cases[] = {
        {"shallower result for the position dropped", {{'A', 1, 6, Lower, 10}, {'A', 1, 5, Exact, 20}}, "A:10 -"},
        {"equal depth bound dropped", {{'A', 1, 6, Lower, 10}, {'A', 1, 6, Upper, 30}}, "A:10 -"},
        {"equal depth exact over bound", {{'A', 1, 6, Lower, 10}, {'A', 1, 6, Exact, 40}}, "A:40 -"},
        {"equal depth exact over exact dropped", {{'A', 1, 6, Exact, 40}, {'A', 1, 6, Exact, 50}}, "A:40 -"},
        {"deeper result replaces, not copied down", {{'A', 1, 6, Exact, 40}, {'A', 1, 7, Lower, 60}}, "A:60 -"},
        {"deeper slot 0 of the position kept, slot 1 however old",
         {{'B', 1, 1, Exact, 5}, {'A', 1, 8, Exact, 7}, {'A', 300, 5, Exact, 9}}, "A:7 B:5"},
        {"slot 0 moves down, slot 1 is lost",
         {{'B', 1, 3, Exact, 1}, {'C', 1, 4, Exact, 2}, {'A', 1, 5, Upper, 3}}, "A:3 C:2"},
        {"tie: exact over a bound moves slot 0 down", {{'B', 3, 8, Lower, 11}, {'A', 5, 6, Exact, 22}}, "A:22 B:11"},
        {"tie: a bound goes to slot 1", {{'B', 3, 8, Lower, 11}, {'A', 5, 6, Upper, 22}}, "B:11 A:22"},
        {"tie: exact against exact goes to slot 1", {{'B', 3, 8, Exact, 11}, {'A', 5, 6, Exact, 22}}, "B:11 A:22"},
        {"not deep enough for either slot",
         {{'B', 1, 10, Exact, 1}, {'C', 1, 9, Exact, 2}, {'A', 9, 1, Exact, 3}, {'A', 9, 1, Lower, 3}}, "B:1 C:2"},
        {"aged enough for slot 1", {{'B', 1, 10, Exact, 1}, {'C', 1, 9, Exact, 2}, {'A', 10, 1, Exact, 3}}, "B:1 A:3"},
        {"aged enough for slot 0", {{'B', 1, 10, Exact, 1}, {'C', 1, 9, Exact, 2}, {'C', 11, 1, Exact, 4}}, "C:4 B:1"},
    };
    for (const auto& c : cases) {
        freshTable();
        for (const Store& s : c.stores) {
            searchAge = static_cast<std::uint16_t>(s.age);
            at(s.key);
            ttStore(probe, s.depth, s.bound, s.score, MoveA);
        }
        std::string slots[2] = {"-", "-"};
        for (char key : {'A', 'B', 'C'}) {
            at(key);
            if (const std::optional<TransEntry> e = ttFind(probe))
                slots[ttFindFirst(probe) ? 0 : 1] = key + (":" + std::to_string(e->score()));
        }
        EXPECT_EQ(slots[0] + " " + slots[1], c.bucket) << c.name;
    }
}

// The other side to move, a lock differing in its top or lowest bit, the next
// bucket: no entry. A slot whose words come from two stores (as when two
// threads write it at once) holds no entry either. A book slot is age 0,
// which no searched entry carries, however many searches ran.
TEST(TransTable, SidesLocksTornSlotsBookAndAge) {
    freshTable();
    ttStore(probe, 6, Lower, 10, MoveA);
    at('A', Black);
    EXPECT_FALSE(ttFind(probe));
    for (std::uint64_t key : {Keys[0] ^ (std::uint64_t{1} << 63), Keys[0] ^ (std::uint64_t{1} << 20), Keys[3]}) {
        at('A');
        probe.hashKey = key;
        EXPECT_FALSE(ttFind(probe)) << std::hex << key;
    }
    at('A');
    TransSlot& slot = transTable.bucket(White, Keys[0]).slot[0];
    const TransSlot first = slot;
    ttClear();
    ttStore(probe, 7, Exact, -30, MoveA + 1);
    const TransSlot second = slot;
    ASSERT_TRUE(ttFind(probe) && ttFind(probe)->depth() == 7);
    for (const TransSlot& torn : {TransSlot{first.word, second.info, second.check}, TransSlot{second.word, first.info, first.check},
                                  TransSlot{second.word, second.info, first.check}, TransSlot{first.word, first.info, second.check}}) {
        slot = torn;
        EXPECT_FALSE(ttFind(probe));
        std::int16_t alpha = -100, beta = 100;
        EXPECT_EQ(ttProbe(probe, 0, alpha, beta).hashMove, 0);
    }
    slot = first;
    EXPECT_TRUE(ttFind(probe) && ttFind(probe)->score() == 10);
    at('B');
    ttStoreBookMove(probe, MoveA);
    ASSERT_TRUE(ttFind(probe));
    EXPECT_TRUE(isBookEntry(*ttFind(probe)) && ttFind(probe)->move() == MoveA);
    for (int age : {511, 512, 513, 1024, 65535}) {
        ttClear();
        searchAge = static_cast<std::uint16_t>(age);
        ttStore(probe, 4, Exact, 0, MoveA);
        EXPECT_FALSE(isBookEntry(*ttFind(probe))) << age;
    }
}

// `memory N`: the largest power of two of buckets a half within N MiB for the
// whole table (32-byte buckets, two halves), 1 MiB at the least.
TEST(TransTable, SizeAndResize) {
    for (const auto& [mib, buckets] : {std::pair<std::uint64_t, std::size_t>{1024, 1u << 24}, {64, 1u << 20},
                                       {100, 1u << 20}, {127, 1u << 20}, {128, 1u << 21}, {3, 1u << 15}, {1, 1u << 14},
                                       {0, 1u << 14}})
        EXPECT_EQ(ttBucketsForMiB(mib), buckets) << mib;
    freshTable();
    ASSERT_TRUE(ttResize(std::size_t{1} << 14));
    EXPECT_EQ(ttBytes(), std::size_t{1} << 20);
    // keys that share their low 14 bits meet in one bucket now
    probe.hashKey = 0x1234'5678'0000'2abcULL;
    ttStore(probe, 5, Exact, 42, 0x0123);
    probe.hashKey = 0x8765'4321'0001'2abcULL;
    ttStore(probe, 4, Exact, 17, 0x0456);
    ASSERT_TRUE(ttFind(probe));
    EXPECT_TRUE(ttFind(probe)->score() == 17 && !ttFindFirst(probe));  // slot 1 of the first key's bucket
    probe.hashKey = 0x1234'5678'0000'2abcULL;
    ASSERT_TRUE(ttFindFirst(probe));
    EXPECT_EQ(ttFindFirst(probe)->move(), 0x0123);
    ASSERT_TRUE(ttResize(DefaultTransBuckets));
    EXPECT_FALSE(ttFind(probe));
    EXPECT_EQ(ttBytes(), std::size_t{64} << 20);
}

}  // namespace
