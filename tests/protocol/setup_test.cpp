// Position setup: what a good text installs, that a rejected text leaves the
// game exactly as it was, the book report, and the en-passant target a text
// names.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "board/gamelog.h"
#include "board/movetext.h"
#include "board/position.h"
#include "board/tables.h"
#include "protocol/game.h"
#include "protocol/setup.h"
#include "search/search.h"
#include "search/transtable.h"
#include "support/engine_process.h"

namespace {

class SetupTest : public ::testing::Test {
protected:
    void SetUp() override {
        initTables();
        initSearchState();
        gamelog::capture = &log;
    }
    void TearDown() override { gamelog::capture = nullptr; }

    // setupPosition with the interface's output captured.
    bool setup(const char* text, bool withBook = true) {
        ::testing::internal::CaptureStdout();
        const bool accepted = setupPosition(text, withBook);
        printed = ::testing::internal::GetCapturedStdout();
        return accepted;
    }

    std::string log;
    std::string printed;
    testsupport::ScopedWorkingDir dir;  // no Drozak.book here
};

TEST_F(SetupTest, StartPosition) {
    mateFound = true;
    searchAge = 9;
    ASSERT_TRUE(setup(StartPositionText));
    EXPECT_EQ(std::popcount(position.occupied), 32);
    EXPECT_EQ(position.materialCount, 78);
    EXPECT_EQ(position.castleFlags, 27);
    EXPECT_EQ(position.sideToMove, White);
    EXPECT_EQ(position.epSquare, 0);
    EXPECT_EQ(position.kingSquare[Black], 4);
    EXPECT_EQ(position.kingSquare[White], 60);
    EXPECT_EQ(position.hashKey, startPositionKey());
    EXPECT_EQ(historyTop, history);
    EXPECT_EQ(history[0].hashKey, startPositionKey());
    EXPECT_EQ(history[0].reversibleCount, 0);
    EXPECT_EQ(gameSnapshot.sideToMove, White);
    EXPECT_EQ(gameSnapshot.castleFlags, 27);
    EXPECT_EQ(gameSnapshot.whiteKingSquare, 60);
    EXPECT_EQ(gameSnapshot.blackKingSquare, 4);
    EXPECT_EQ(0, std::memcmp(gameSnapshot.board, position.board, 64));
    EXPECT_FALSE(mateFound);
    EXPECT_EQ(searchAge, 1);
}

TEST_F(SetupTest, ClearsTheHistoryAndTheTable) {
    ASSERT_TRUE(setup(StartPositionText));
    for (const char* m : {"g1f3", "g8f6", "f3g1"}) playMove(textToMove(m));
    ttStore(5, Exact, 40, textToMove("f6g8"));
    ASSERT_NE(ttFind(), nullptr);
    ASSERT_TRUE(setup("4k3/8/8/8/8/8/8/4K2R b K -"));
    EXPECT_EQ(historyTop, history);
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(history[i].hashKey, 0u) << i;
    EXPECT_EQ(position.sideToMove, Black);
    EXPECT_EQ(gameSnapshot.sideToMove, Black);
    EXPECT_EQ(position.castleFlags, WhiteKingSideRight);
    // the knight position's slot is gone with the clear
    ASSERT_TRUE(setup(StartPositionText));
    for (const char* m : {"g1f3", "g8f6", "f3g1"}) playMove(textToMove(m));
    EXPECT_EQ(ttFind(), nullptr);
}

TEST_F(SetupTest, RejectedTextsLeaveTheGameAlone) {
    ASSERT_TRUE(setup(StartPositionText));
    for (const char* m : {"e2e4", "c7c5", "g1f3"}) playMove(textToMove(m));
    ttStore(6, Lower, 25, textToMove("d7d6"));
    mateFound = true;
    searchAge = 7;

    const Position positionBefore = position;
    const GameSnapshot snapshotBefore = gameSnapshot;
    static HistoryEntry historyBefore[HistorySize];
    std::memcpy(historyBefore, history, sizeof history);
    const HistoryEntry* topBefore = historyTop;
    const TransEntry slotBefore = *ttFind();
    log.clear();

    for (const char* bad : {"", "   ", "bad", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR x KQkq -",
                            "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR", "rnbqkbnr/pppppppp/0/8/8/8/PPPPPPPP/RNBQKBNR w - -",
                            "rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR w - -", "8/8/8/8/8/8/8/8 w - -",
                            "4k3/8/8/8/8/8/8/4KK2 w - -", "4k2P/8/8/8/8/8/8/4K3 w - -",
                            "4k3/4Q3/8/8/8/8/8/4K3 w - -"}) {  // the side that just moved is in check
        SCOPED_TRACE(std::string("\"") + bad + "\"");
        EXPECT_FALSE(setup(bad));
        EXPECT_EQ(printed, "");
        EXPECT_EQ(0, std::memcmp(&position, &positionBefore, sizeof position));
        EXPECT_EQ(0, std::memcmp(&gameSnapshot, &snapshotBefore, sizeof gameSnapshot));
        EXPECT_EQ(historyTop, topBefore);
        EXPECT_EQ(0, std::memcmp(history, historyBefore, sizeof history));
        const TransEntry* slot = ttFind();
        ASSERT_NE(slot, nullptr);
        EXPECT_EQ(slot->word, slotBefore.word);
        EXPECT_EQ(slot->info, slotBefore.info);
        EXPECT_TRUE(mateFound);
        EXPECT_EQ(searchAge, 7);
    }
    EXPECT_EQ(log, "");  // a rejected text is the caller's to report
}

// The en-passant target of the text is kept, so that the capture it allows is
// legal on the first move; its key is in the hash key as if the double step
// had just been made.
TEST_F(SetupTest, EnPassantTargetOfTheText) {
    ASSERT_TRUE(setup("rnbqkbnr/ppp1pppp/8/8/3pP3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 3", false));
    EXPECT_EQ(position.epSquare, 44);
    EXPECT_EQ(gameSnapshot.epSquare, 44);
    EXPECT_EQ(position.hashKey, computeHashKey(27));
    EXPECT_EQ(history[0].hashKey, position.hashKey);
    const Move capture = textToMove("d4e3");
    EXPECT_EQ(moveKind(capture), EnPassant);
    EXPECT_TRUE(isLegalMove(capture));
    playMove(capture);
    EXPECT_EQ(position.board[44], BlackPawn);
    EXPECT_EQ(position.board[36], Empty);  // the e4 pawn is gone
    EXPECT_EQ(position.hashKey, computeHashKey(27));

    // the same text with a dash: no capture
    ASSERT_TRUE(setup("rnbqkbnr/ppp1pppp/8/8/3pP3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 3", false));
    EXPECT_EQ(position.epSquare, 0);
    EXPECT_FALSE(isLegalMove(textToMove("d4e3")));
}

}  // namespace
