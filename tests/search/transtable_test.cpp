// The transposition table: probing by bound kind, the replacement rule, the
// score field's ends, book slots and the age that must never read as a book's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "board/position.h"
#include "board/tables.h"
#include "search/transtable.h"

namespace {

// Three positions of one bucket (same low 20 bits) and one of another.
constexpr std::uint64_t KeyA = 0x0123456789A5BCDEULL;
constexpr std::uint64_t KeyB = 0x7654321000F5BCDEULL;
constexpr std::uint64_t KeyC = 0x0F0F0F0F0F05BCDEULL;
constexpr std::uint64_t KeyD = 0x0123456789A5BCDFULL;
constexpr Move MoveA = 0x0B1C, MoveB = 0x0C24, MoveC = 0x0D2D;

class TransTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        initTables();
        ttClear();
        searchAge = 1;
        at(KeyA);
    }
    void TearDown() override { searchAge = 1; }

    static void at(std::uint64_t key, int side = White) {
        position.hashKey = key;
        position.sideToMove = side;
    }
    static TransBucket& bucketA() { return transTable.bucket(White, KeyA); }
    static std::uint64_t lockOf(const TransEntry& e) { return e.word >> 16; }

    struct Probe {
        ProbeResult result;
        int alpha, beta;
    };
    static Probe probe(int depth, int alpha, int beta) {
        std::int16_t a = static_cast<std::int16_t>(alpha), b = static_cast<std::int16_t>(beta);
        const ProbeResult r = ttProbe(depth, a, b);
        return {r, a, b};
    }
};

TEST_F(TransTableTest, EmptyTableFindsNothing) {
    EXPECT_EQ(ttFind(), nullptr);
    EXPECT_EQ(ttFindFirst(), nullptr);
    const Probe p = probe(0, -20, 40);
    EXPECT_FALSE(p.result.cutoff);
    EXPECT_EQ(p.result.hashMove, 0);
    EXPECT_EQ(p.alpha, -20);
    EXPECT_EQ(p.beta, 40);
}

TEST_F(TransTableTest, PositionsAreToldApartBySideAndLock) {
    ttStore(4, Exact, 17, MoveA);
    ASSERT_NE(ttFind(), nullptr);
    EXPECT_EQ(ttFind(), &bucketA().slot[0]);
    EXPECT_EQ(lockOf(bucketA().slot[0]), KeyA >> 16);
    at(KeyA, Black);  // the other half
    EXPECT_EQ(ttFind(), nullptr);
    at(KeyA ^ (std::uint64_t{1} << 63));  // same bucket, lock differs in the top bit
    EXPECT_EQ(ttFind(), nullptr);
    at(KeyA ^ (std::uint64_t{1} << 20));  // same bucket, the lowest lock bit past the index
    EXPECT_EQ(ttFind(), nullptr);
    at(KeyD);  // next bucket
    EXPECT_EQ(ttFind(), nullptr);
}

TEST_F(TransTableTest, ExactEntryCutsOffOnlyAtSufficientDepth) {
    ttStore(5, Exact, 123, MoveA);
    Probe p = probe(5, -100, 100);
    EXPECT_TRUE(p.result.cutoff);
    EXPECT_EQ(p.result.score, 123);  // the stored score, not a window bound
    p = probe(-3, 200, 300);  // a quiescence probe takes any entry
    EXPECT_TRUE(p.result.cutoff);
    EXPECT_EQ(p.result.score, 123);

    p = probe(6, -100, 100);
    EXPECT_FALSE(p.result.cutoff);
    EXPECT_EQ(p.result.hashMove, MoveA);
    EXPECT_EQ(p.alpha, -100);
    EXPECT_EQ(p.beta, 100);
}

TEST_F(TransTableTest, ShallowEntryGivesItsMoveEvenWhenNone) {
    ttStore(2, Lower, 500, 0);
    const Probe p = probe(3, -20, 40);
    EXPECT_FALSE(p.result.cutoff);
    EXPECT_EQ(p.result.hashMove, 0);
    EXPECT_EQ(p.alpha, -20);
    EXPECT_EQ(p.beta, 40);
}

TEST_F(TransTableTest, LowerBoundCutsOrRaisesAlpha) {
    ttStore(4, Lower, 50, MoveA);
    Probe p = probe(4, -20, 40);
    EXPECT_TRUE(p.result.cutoff);
    EXPECT_EQ(p.result.score, 50);

    p = probe(4, -20, 50);  // a bound equal to beta suffices
    EXPECT_TRUE(p.result.cutoff);
    EXPECT_EQ(p.result.score, 50);

    p = probe(3, -20, 60);
    EXPECT_FALSE(p.result.cutoff);
    EXPECT_EQ(p.result.hashMove, MoveA);
    EXPECT_EQ(p.alpha, 50);
    EXPECT_EQ(p.beta, 60);

    p = probe(3, 70, 90);  // below alpha: the window stays
    EXPECT_FALSE(p.result.cutoff);
    EXPECT_EQ(p.result.hashMove, MoveA);
    EXPECT_EQ(p.alpha, 70);
    EXPECT_EQ(p.beta, 90);
}

TEST_F(TransTableTest, UpperBoundCutsOrLowersBeta) {
    ttStore(4, Upper, -30, MoveA);
    Probe p = probe(4, -20, 40);
    EXPECT_TRUE(p.result.cutoff);
    EXPECT_EQ(p.result.score, -30);

    p = probe(4, -30, 40);  // a bound equal to alpha suffices
    EXPECT_TRUE(p.result.cutoff);
    EXPECT_EQ(p.result.score, -30);

    p = probe(4, -40, 40);
    EXPECT_FALSE(p.result.cutoff);
    EXPECT_EQ(p.result.hashMove, MoveA);
    EXPECT_EQ(p.alpha, -40);
    EXPECT_EQ(p.beta, -30);

    p = probe(4, -60, -50);  // above beta: the window stays
    EXPECT_FALSE(p.result.cutoff);
    EXPECT_EQ(p.alpha, -60);
    EXPECT_EQ(p.beta, -50);
}

TEST_F(TransTableTest, SlotWithBothBoundBitsGivesOnlyItsMove) {
    ttStore(4, Lower, 50, MoveA);
    bucketA().slot[0].info |= 256;
    const Probe p = probe(1, -20, 40);
    EXPECT_FALSE(p.result.cutoff);
    EXPECT_EQ(p.result.hashMove, MoveA);
    EXPECT_EQ(p.alpha, -20);
    EXPECT_EQ(p.beta, 40);
}

TEST_F(TransTableTest, StoreWritesEveryField) {
    searchAge = 37;
    ttStore(9, Upper, -77, MoveB);
    const TransEntry& e = bucketA().slot[0];
    EXPECT_EQ(e.move(), MoveB);
    EXPECT_EQ(lockOf(e), KeyA >> 16);
    EXPECT_EQ(e.depth(), 9);
    EXPECT_FALSE(e.lowerBound());
    EXPECT_TRUE(e.upperBound());
    EXPECT_EQ(e.age(), 37);
    EXPECT_EQ(e.score(), -77);
    EXPECT_EQ(e.info, 9u | 256u | (37u << 9) | (8113u << 18));
}

TEST_F(TransTableTest, SamePositionKeepsItsDeeperOrExactResult) {
    ttStore(6, Lower, 10, MoveA);
    ttStore(5, Exact, 20, MoveB);  // shallower: dropped
    EXPECT_EQ(ttFind()->score(), 10);
    ttStore(6, Upper, 30, MoveB);  // equal depth, a bound: dropped
    EXPECT_EQ(ttFind()->score(), 10);
    ttStore(6, Exact, 40, MoveB);  // equal depth, exact over a bound
    EXPECT_EQ(ttFind()->score(), 40);
    ttStore(6, Exact, 50, MoveC);  // equal depth, exact over exact: dropped
    EXPECT_EQ(ttFind()->score(), 40);
    ttStore(7, Lower, 60, MoveC);  // deeper
    EXPECT_EQ(ttFind()->score(), 60);
    EXPECT_EQ(ttFind()->move(), MoveC);
    EXPECT_EQ(lockOf(bucketA().slot[1]), 0u);  // never copied down
}

TEST_F(TransTableTest, DeeperSlotZeroOfThePositionDropsTheStore) {
    at(KeyB);
    ttStore(1, Exact, 5, MoveB);
    at(KeyA);
    ttStore(8, Exact, 7, MoveA);  // B moves down to slot 1
    ASSERT_EQ(lockOf(bucketA().slot[1]), KeyB >> 16);
    searchAge = 300;  // slot 1 is now very old, and still untouched
    ttStore(5, Exact, 9, MoveC);
    EXPECT_EQ(bucketA().slot[0].score(), 7);
    EXPECT_EQ(bucketA().slot[0].depth(), 8);
    EXPECT_EQ(lockOf(bucketA().slot[1]), KeyB >> 16);
    EXPECT_EQ(bucketA().slot[1].score(), 5);
}

TEST_F(TransTableTest, NewResultDemotesSlotZeroAndLosesSlotOne) {
    at(KeyB);
    ttStore(3, Exact, 1, MoveB);
    at(KeyC);
    ttStore(4, Exact, 2, MoveC);  // D0 = 5 - 4 > 0: B to slot 1
    ASSERT_EQ(lockOf(bucketA().slot[0]), KeyC >> 16);
    ASSERT_EQ(lockOf(bucketA().slot[1]), KeyB >> 16);
    at(KeyA);
    ttStore(5, Upper, 3, MoveA);  // C to slot 1, B is gone
    EXPECT_EQ(lockOf(bucketA().slot[0]), KeyA >> 16);
    EXPECT_EQ(lockOf(bucketA().slot[1]), KeyC >> 16);
    EXPECT_EQ(bucketA().slot[1].score(), 2);
    EXPECT_EQ(bucketA().slot[1].depth(), 4);
    at(KeyB);
    EXPECT_EQ(ttFind(), nullptr);
    at(KeyC);
    EXPECT_EQ(ttFind(), &bucketA().slot[1]);
    EXPECT_EQ(ttFindFirst(), nullptr);  // the first slot only
}

TEST_F(TransTableTest, TieOnAgedDepthPrefersExactOverBound) {
    // Slot 0: another position of depth 8 stored at age 3; now age 5 and depth 6,
    // so D0 = (6 + 5) - (8 + 3) = 0.
    auto fillSlotZero = [](Bound bound) {
        ttClear();
        searchAge = 3;
        at(KeyB);
        ttStore(8, bound, 11, MoveB);
        searchAge = 5;
        at(KeyA);
    };
    fillSlotZero(Lower);
    ttStore(6, Exact, 22, MoveA);  // exact over a bound: slot 0 moves down
    EXPECT_EQ(lockOf(bucketA().slot[0]), KeyA >> 16);
    EXPECT_EQ(lockOf(bucketA().slot[1]), KeyB >> 16);
    EXPECT_TRUE(bucketA().slot[1].lowerBound());

    fillSlotZero(Lower);
    ttStore(6, Upper, 22, MoveA);  // a bound does not win the tie: into slot 1
    EXPECT_EQ(lockOf(bucketA().slot[0]), KeyB >> 16);
    EXPECT_EQ(lockOf(bucketA().slot[1]), KeyA >> 16);

    fillSlotZero(Exact);
    ttStore(6, Exact, 22, MoveA);  // exact against exact: into slot 1
    EXPECT_EQ(lockOf(bucketA().slot[0]), KeyB >> 16);
    EXPECT_EQ(lockOf(bucketA().slot[1]), KeyA >> 16);
    EXPECT_EQ(bucketA().slot[1].score(), 22);
}

TEST_F(TransTableTest, AgeingLetsOldDeepEntriesGo) {
    at(KeyB);
    ttStore(10, Exact, 1, MoveB);  // age 1: weight 11
    at(KeyC);
    ttStore(9, Exact, 2, MoveC);   // into slot 1: weight 10
    ASSERT_EQ(lockOf(bucketA().slot[1]), KeyC >> 16);

    at(KeyA);
    searchAge = 9;  // depth 1: 10 against 11 and 10, exact against exact: dropped
    ttStore(1, Exact, 3, MoveA);
    EXPECT_EQ(ttFind(), nullptr);
    ttStore(1, Lower, 3, MoveA);
    EXPECT_EQ(ttFind(), nullptr);

    searchAge = 10;  // 11 ties slot 0, beats slot 1
    ttStore(1, Exact, 3, MoveA);
    EXPECT_EQ(ttFind(), &bucketA().slot[1]);
    EXPECT_EQ(lockOf(bucketA().slot[0]), KeyB >> 16);

    searchAge = 11;  // 12 beats the old depth-10 entry
    at(KeyC);
    ttStore(1, Exact, 4, MoveC);
    EXPECT_EQ(ttFind(), &bucketA().slot[0]);
    EXPECT_EQ(lockOf(bucketA().slot[1]), KeyB >> 16);
}

TEST_F(TransTableTest, ScoreFieldEnds) {
    ttStore(3, Exact, -8190, MoveA);
    EXPECT_EQ(bucketA().slot[0].info >> 18, 0u);
    EXPECT_EQ(probe(3, 0, 1).result.score, -8190);

    ttStore(4, Exact, 8190, MoveA);
    EXPECT_EQ(bucketA().slot[0].info >> 18, 16380u);
    EXPECT_EQ(probe(3, 0, 1).result.score, 8190);

    ttStore(5, Exact, -8100 + 7, MoveA);  // mate scores are stored as they are
    EXPECT_EQ(probe(3, 0, 1).result.score, -8093);

    // Beyond the field a score would come back with the other sign; it is held at the end.
    ttStore(6, Lower, 9000, MoveA);
    EXPECT_EQ(ttFind()->score(), 8193);
    ttStore(7, Upper, -9000, MoveA);
    EXPECT_EQ(ttFind()->score(), -8190);
}

TEST_F(TransTableTest, BookSlotGivesOnlyItsMove) {
    ttStoreBookMove(MoveA);
    const TransEntry* e = ttFind();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->move(), MoveA);
    EXPECT_TRUE(isBookEntry(*e));
    // Neither an alpha-beta nor a quiescence probe takes the never-searched
    // score (-8190, exact, depth 0) of a book slot.
    for (int depth : {1, 0, -3}) {
        SCOPED_TRACE(depth);
        const Probe p = probe(depth, -20, 40);
        EXPECT_FALSE(p.result.cutoff);
        EXPECT_EQ(p.result.hashMove, MoveA);
        EXPECT_EQ(p.alpha, -20);
        EXPECT_EQ(p.beta, 40);
    }
}

TEST_F(TransTableTest, BookStoreTakesSlotZeroKeepingItsOtherFields) {
    at(KeyB);
    ttStore(3, Exact, 1, MoveB);
    at(KeyC);
    ttStore(6, Lower, 44, MoveC);  // B down to slot 1
    at(KeyA);
    ttStoreBookMove(MoveA);  // no replacement test, slot 1 untouched
    const TransEntry& e = bucketA().slot[0];
    EXPECT_EQ(lockOf(e), KeyA >> 16);
    EXPECT_EQ(e.move(), MoveA);
    EXPECT_EQ(e.age(), 0);
    EXPECT_EQ(e.depth(), 6);
    EXPECT_TRUE(e.lowerBound());
    EXPECT_EQ(e.score(), 44);
    EXPECT_EQ(lockOf(bucketA().slot[1]), KeyB >> 16);
}

TEST_F(TransTableTest, SearchedEntriesNeverCarryTheBookAge) {
    const std::uint16_t ages[] = {511, 512, 513, 1024, 0};
    const int expected[] = {511, 1, 1, 1, 1};
    for (int i = 0; i < 5; ++i) {
        ttClear();
        searchAge = ages[i];
        ttStore(4, Exact, 0, MoveA);
        const TransEntry* e = ttFind();
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->age(), expected[i]) << "searchAge " << ages[i];
        EXPECT_FALSE(e->age() == 0 && e->move() != 0);  // not taken for a book move
    }
    searchAge = 514;
    ttStore(5, Exact, 0, MoveA);
    EXPECT_EQ(ttFind()->age(), 2);
}

TEST_F(TransTableTest, ClearEmptiesBothHalves) {
    ttStore(4, Exact, 1, MoveA);
    at(KeyA, Black);
    ttStore(4, Exact, 1, MoveA);
    ttClear();
    EXPECT_EQ(ttFind(), nullptr);
    at(KeyA, White);
    EXPECT_EQ(ttFind(), nullptr);
    EXPECT_EQ(bucketA().slot[0].word, 0u);
    EXPECT_EQ(bucketA().slot[0].info, 0u);
}

// `memory N`: the largest power of two of buckets a half that fits N MiB for
// the whole table (32-byte buckets, two halves), 1 MiB at the least.
TEST(TableSize, BucketsForTheMemoryGiven) {
    struct Case {
        std::uint64_t mib;
        std::size_t buckets;
    };
    for (const Case c : {Case{1024, std::size_t{1} << 24}, Case{64, DefaultTransBuckets}, Case{100, std::size_t{1} << 20},
                         Case{127, std::size_t{1} << 20}, Case{128, std::size_t{1} << 21}, Case{1, std::size_t{1} << 14},
                         Case{0, std::size_t{1} << 14}, Case{3, std::size_t{1} << 15}}) {
        SCOPED_TRACE(c.mib);
        EXPECT_EQ(ttBucketsForMiB(c.mib), c.buckets);
        EXPECT_LE(2 * c.buckets * sizeof(TransBucket), std::max<std::uint64_t>(c.mib, 1) << 20);
    }
}

TEST(TableSize, ResizedTableIsClearedAndIndexedByItsSize) {
    initTables();
    ASSERT_TRUE(ttResize(std::size_t{1} << 14));
    EXPECT_EQ(ttBytes(), std::size_t{1} << 20);
    // keys that share their low 14 bits meet in one bucket now
    position = Position{};
    position.sideToMove = White;
    position.hashKey = 0x1234'5678'0000'2abcULL;
    ttStore(5, Exact, 42, 0x0123);
    position.hashKey = 0x8765'4321'0001'2abcULL;
    ttStore(4, Exact, 17, 0x0456);
    EXPECT_EQ(&transTable.bucket(White, 0x2abc), &transTable.bucket(White, 0x12abc));
    ASSERT_NE(ttFind(), nullptr);
    EXPECT_EQ(ttFind()->score(), 17);
    position.hashKey = 0x1234'5678'0000'2abcULL;
    ASSERT_NE(ttFind(), nullptr);
    EXPECT_EQ(ttFind()->move(), 0x0123);
    ASSERT_TRUE(ttResize(DefaultTransBuckets));
    EXPECT_EQ(ttFind(), nullptr);
    EXPECT_EQ(ttBytes(), std::size_t{64} << 20);
}

}  // namespace
