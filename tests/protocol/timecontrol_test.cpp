// Time management: the allotment rules of `time` and `level`, the reading of
// their numbers, the stretch after the book, and the clock's safety margin.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <limits>
#include <thread>

#include "protocol/timecontrol.h"

namespace {

constexpr std::uint32_t MaxMs = std::numeric_limits<std::uint32_t>::max();

class TimeControlTest : public ::testing::Test {
protected:
    void SetUp() override { applyLevel(40, 0); }
    void TearDown() override { applyLevel(40, 0); }
};

TEST_F(TimeControlTest, AllotmentFromTheClock) {
    applyTime(30000);
    EXPECT_EQ(moveTimeMs, 7470u);  // (29900 / 40) * 10
    applyTime(150);
    EXPECT_EQ(moveTimeMs, 30u);  // no reserve below two seconds
    applyTime(199);
    EXPECT_EQ(moveTimeMs, 40u);
    applyTime(200);
    EXPECT_EQ(moveTimeMs, 20u);
    applyTime(0);
    EXPECT_EQ(moveTimeMs, 0u);

    applyLevel(40, 0);
    applyTime(100000);
    EXPECT_EQ(moveTimeMs, 24970u);

    applyLevel(0, 2000);  // level 0 1 2
    EXPECT_EQ(movesPerControl, 40u);
    EXPECT_EQ(incrementMs, 2000u);
    applyTime(6000);
    EXPECT_EQ(moveTimeMs, 3470u);
}

// `st`: the fixed time less a tenth (at most 100 ms); a clock sent for the
// move caps it; `level` and `st` replace each other.
TEST_F(TimeControlTest, FixedTimeAMove) {
    EXPECT_FALSE(applyMoveTime(0));
    EXPECT_FALSE(applyMoveTime(-500));
    EXPECT_EQ(fixedMoveMs, 0u);
    applyTime(30000);
    endMoveClock();
    EXPECT_EQ(searchAllotmentMs(), 7470u);  // level rules
    struct Case {
        std::int64_t st;
        std::uint32_t allotment;
    };
    for (const Case c : {Case{500, 450}, Case{30000, 29900}, Case{50, 45}, Case{1500, 1400}}) {
        SCOPED_TRACE(c.st);
        ASSERT_TRUE(applyMoveTime(c.st));
        EXPECT_EQ(searchAllotmentMs(), c.allotment);
    }
    EXPECT_EQ(extraTimeAfterFailLow(true), 0u);
    startMoveClock();
    applyTime(100);  // a second on the clock for this move: its margin rules
    EXPECT_LE(searchAllotmentMs(), 950u);
    EXPECT_GE(searchAllotmentMs(), 900u);
    endMoveClock();
    EXPECT_EQ(searchAllotmentMs(), 1400u);  // that clock was for the last move
    applyLevel(40, 0);
    EXPECT_EQ(fixedMoveMs, 0u);
}

TEST_F(TimeControlTest, LevelValues) {
    applyLevel(0, 3000);  // level 0 5 3
    EXPECT_EQ(movesPerControl, 40u);
    EXPECT_EQ(incrementMs, 3000u);
    applyLevel(20, 0);
    EXPECT_EQ(movesPerControl, 20u);
    EXPECT_EQ(incrementMs, 0u);
    applyLevel(1, 500);  // a fractional increment keeps its milliseconds
    EXPECT_EQ(movesPerControl, 1u);
    EXPECT_EQ(incrementMs, 500u);
    // negative values are no huge unsigned ones
    applyLevel(-5, -3000);
    EXPECT_EQ(movesPerControl, 40u);
    EXPECT_EQ(incrementMs, 0u);
}

TEST_F(TimeControlTest, OutOfRangeClocks) {
    // a negative clock is an empty one, not four billion milliseconds
    applyTime(-500);
    EXPECT_EQ(moveTimeMs, 0u);
    applyLevel(40, 1000);
    applyTime(-1);
    EXPECT_EQ(moveTimeMs, 1000u);
    // a clock past any real game does not wrap
    applyLevel(1, 0);
    applyTime(std::int64_t{1} << 50);
    EXPECT_EQ(moveTimeMs, MaxMs);
    applyLevel(40, 0);
    applyTime(4000000000);
    EXPECT_EQ(moveTimeMs, 999999970u);
}

TEST_F(TimeControlTest, ParsesTheInterfacesNumbers) {
    using Parser = bool (*)(const char*, std::int64_t&);
    struct Case {
        Parser parse;
        const char* text;
        bool accepted;
        std::int64_t value;
    };
    const Case cases[] = {
        {parseWhole, "40", true, 40}, {parseWhole, "-3", true, -3}, {parseWhole, "+7", true, 7},
        {parseWhole, "99999999999999999999999999", true, std::int64_t{1} << 40},  // held, not wrapped
        {parseWhole, "", false, 0}, {parseWhole, "-", false, 0}, {parseWhole, "4x", false, 0},
        {parseWhole, "otim", false, 0}, {parseWhole, "1.5", false, 0}, {parseWhole, " 4", false, 0},
        {parseSecondsAsMs, "3", true, 3000}, {parseSecondsAsMs, "0.5", true, 500}, {parseSecondsAsMs, "1.25", true, 1250},
        {parseSecondsAsMs, "-2", true, -2000}, {parseSecondsAsMs, "x", false, 0}, {parseSecondsAsMs, "1.5s", false, 0},
        {parseSecondsAsMs, "1:30", false, 0}, {parseSecondsAsMs, ".", false, 0},
        {parseBaseSeconds, "5", true, 300}, {parseBaseSeconds, "0:30", true, 30}, {parseBaseSeconds, "2:05", true, 125},
        {parseBaseSeconds, "1.5", true, 90}, {parseBaseSeconds, "0:", false, 0}, {parseBaseSeconds, ":30", false, 0},
        {parseBaseSeconds, "0:-5", false, 0}, {parseBaseSeconds, "0:+5", false, 0}, {parseBaseSeconds, "0:30:1", false, 0},
    };
    for (const Case& c : cases) {
        std::int64_t value = 12345;
        EXPECT_EQ(c.parse(c.text, value), c.accepted) << '"' << c.text << '"';
        EXPECT_EQ(value, c.accepted ? c.value : 12345) << '"' << c.text << '"';
    }
}

TEST_F(TimeControlTest, FirstSearchAfterTheBook) {
    EXPECT_EQ(stretchedAfterBook(1000, 40), 3000u);
    EXPECT_EQ(stretchedAfterBook(1000, 20), 2000u);
    EXPECT_EQ(stretchedAfterBook(1000, 1), 100u);
    EXPECT_EQ(stretchedAfterBook(0, 40), 0u);
    // products past 32 bits are not wrapped into short allotments
    EXPECT_EQ(stretchedAfterBook(200000000, 40), 600000000u);
    EXPECT_EQ(stretchedAfterBook(MaxMs, 40), MaxMs);
}

TEST_F(TimeControlTest, SafetyMarginOfTheClock) {
    EXPECT_EQ(clockMarginMs(0), 50u);
    EXPECT_EQ(clockMarginMs(1000), 50u);
    EXPECT_EQ(clockMarginMs(10000), 500u);
    EXPECT_EQ(clockMarginMs(300000), 15000u);

    applyTime(150);  // 1.5 s on the clock: at most 1425 ms of it may go
    startMoveClock();
    EXPECT_EQ(cappedWait(20), 20u);
    const std::uint32_t capped = cappedWait(100000);
    EXPECT_LE(capped, 1425u);
    EXPECT_GE(capped, 1400u);
    // time spent in the cycle comes off what is left
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_LE(cappedWait(100000), 1325u);

    applyTime(-20);
    startMoveClock();
    EXPECT_EQ(cappedWait(1000), 0u);
    applyTime(5);  // 50 ms: all of it is margin
    EXPECT_EQ(cappedWait(1000), 0u);
}

TEST_F(TimeControlTest, ExtraTimeAfterAFailLow) {
    applyTime(10000000);  // a clock long enough not to matter
    startMoveClock();
    moveTimeMs = 2001;
    EXPECT_EQ(extraTimeAfterFailLow(true), 40020u);
    EXPECT_EQ(extraTimeAfterFailLow(false), 0u);
    moveTimeMs = 2000;  // more than two seconds are needed
    EXPECT_EQ(extraTimeAfterFailLow(true), 0u);
    applyLevel(20, 0);
    moveTimeMs = 3000;
    EXPECT_EQ(extraTimeAfterFailLow(true), 30000u);

    // 3 s increment and 1 s on the clock: 3020 ms allotted, but the extra
    // time stops short of the clock's margin
    applyLevel(0, 3000);
    applyTime(100);
    EXPECT_EQ(moveTimeMs, 3020u);
    startMoveClock();
    const std::uint32_t extra = extraTimeAfterFailLow(true);
    EXPECT_LE(extra, 950u);
    EXPECT_GE(extra, 900u);
}

}  // namespace
