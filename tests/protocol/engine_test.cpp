// The events and the engine thread: reset behaviour and timed waits, and the
// hand-shakes of a search, of the return to the park and of the shut-down.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "board/gamelog.h"
#include "board/tables.h"
#include "protocol/engine.h"
#include "protocol/game.h"
#include "protocol/setup.h"
#include "protocol/timecontrol.h"
#include "search/search.h"
#include "search/transtable.h"
#include "support/engine_process.h"

namespace {

using Clock = std::chrono::steady_clock;

TEST(EventTest, AutomaticResetLetsOneWaitThrough) {
    Event e(Event::Reset::Automatic);
    EXPECT_FALSE(e.waitFor(0));
    e.set();
    e.set();  // a second set before any wait changes nothing
    EXPECT_TRUE(e.isSet());
    EXPECT_TRUE(e.waitFor(0));
    EXPECT_FALSE(e.isSet());
    EXPECT_FALSE(e.waitFor(0));
    e.set();
    e.wait();
    EXPECT_FALSE(e.isSet());
}

TEST(EventTest, ManualResetStaysSetUntilReset) {
    Event e(Event::Reset::Manual);
    e.set();
    EXPECT_TRUE(e.waitFor(0));
    EXPECT_TRUE(e.waitFor(10));
    e.wait();
    EXPECT_TRUE(e.isSet());
    e.reset();
    EXPECT_FALSE(e.waitFor(0));
}

TEST(EventTest, TimedWaitsKeepTheirLimit) {
    Event e(Event::Reset::Manual);
    const auto start = Clock::now();
    EXPECT_FALSE(e.waitFor(60));
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(60));
    EXPECT_LT(waited, std::chrono::milliseconds(1000));
}

TEST(EventTest, ASetFromAnotherThreadWakesTheWaiter) {
    for (Event::Reset reset : {Event::Reset::Automatic, Event::Reset::Manual}) {
        Event e(reset);
        std::thread setter([&e] {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            e.set();
        });
        const auto start = Clock::now();
        EXPECT_TRUE(e.waitFor(5000));
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2000));
        setter.join();
    }
}

// Each test starts the engine thread as the handshake does and ends it as quit does.
class EngineThreadTest : public ::testing::Test {
protected:
    void SetUp() override {
        initTables();
        initSearchState();
        gamelog::capture = &log;
        EngineState = Waiting;
        launchEngineThread();
        stopEngine();  // returns once the thread is parked
    }
    void TearDown() override {
        stopEngine();
        startEngine(Quitting);
        joinEngineThread();
        gamelog::capture = nullptr;
    }

    bool setUpPosition(const char* fen) { return setupPosition(fen, false); }

    std::string log;
    testsupport::ScopedWorkingDir dir;
};

TEST_F(EngineThreadTest, ParksAtStartAndOnEveryStop) {
    EXPECT_TRUE(stoppedSignal.isSet());
    EXPECT_EQ(EngineState, Idle);
    // stopping a parked engine returns at once
    const auto start = Clock::now();
    for (int i = 0; i < 3; ++i) stopEngine();
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(100));
    EXPECT_TRUE(stoppedSignal.isSet());
}

TEST_F(EngineThreadTest, SearchHandOffAndReturn) {
    ASSERT_TRUE(setUpPosition("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3"));
    startEngine(Thinking);
    // the search runs: it has left the park, and does not end by itself soon
    EXPECT_FALSE(stoppedSignal.isSet());
    EXPECT_FALSE(stoppedSignal.waitFor(50));

    // stopped at once, it still completes its first iteration
    finishSearch();
    EXPECT_TRUE(stoppedSignal.isSet());
    EXPECT_EQ(EngineState, Idle);
    EXPECT_GE(completedDepth, 2);
    EXPECT_TRUE(isLegalMove(rootResultEntry().move));

    // back to the loop's park through the think handler's acknowledgement
    startEngine(Waiting);
    stopEngine();
    EXPECT_TRUE(stoppedSignal.isSet());
}

TEST_F(EngineThreadTest, ImmediateStopStillYieldsAMove) {
    ASSERT_TRUE(setUpPosition(StartPositionText));
    for (int i = 0; i < 3; ++i) {
        ttClear();  // no table move: the first iteration must complete
        startEngine(Thinking);
        finishSearch();
        EXPECT_GE(completedDepth, 2) << i;
        EXPECT_TRUE(isLegalMove(rootResultEntry().move)) << i;
        startEngine(Waiting);
    }
    // With the table's move for the root the search holds a move from its
    // start and may stop at once, however deep its first iteration.
    const TransEntry* slot = ttFind();
    ASSERT_NE(slot, nullptr);
    ASSERT_NE(slot->move(), 0);
    startEngine(Thinking);
    const auto start = Clock::now();
    finishSearch();
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_TRUE(isLegalMove(rootResultEntry().move));
    startEngine(Waiting);
}

TEST_F(EngineThreadTest, ASearchThatEndsByItselfReleasesTheWait) {
    // mate in one: the search ends as soon as it sees it
    ASSERT_TRUE(setUpPosition("6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - 0 1"));
    startEngine(Thinking);
    const auto start = Clock::now();
    EXPECT_TRUE(stoppedSignal.waitFor(10000));
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2000));
    finishSearch();  // returns at once: the engine is parked already
    EXPECT_EQ(rootResultEntry().move, makeMoveCode(56, 0, Quiet));  // a1a8
    EXPECT_TRUE(mateFound);
    startEngine(Waiting);
}

TEST_F(EngineThreadTest, PonderHandlerLogsItsMoveThenSearches) {
    ASSERT_TRUE(setUpPosition(StartPositionText));
    log.clear();
    startEngine(Pondering);
    finishSearch();
    EXPECT_EQ(log.rfind("-E: PONDERING MOVE: a8a8\n", 0), 0u) << log;  // ponderMove is 0
    EXPECT_NE(log.find("-FEN:\t"), std::string::npos);
    EXPECT_TRUE(isLegalMove(rootResultEntry().move));
    startEngine(Waiting);
}

// The thread ends whenever quit comes: here with nothing ever searched.
TEST(EngineShutDown, QuitRightAfterStartUp) {
    initTables();
    EngineState = Waiting;
    launchEngineThread();
    auto done = std::async(std::launch::async, [] {
        stopEngine();
        startEngine(Quitting);
        joinEngineThread();
    });
    EXPECT_EQ(done.wait_for(std::chrono::seconds(5)), std::future_status::ready);
}

}  // namespace
