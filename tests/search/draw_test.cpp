// The look-ahead for a move not yet made. (The game tests compare every draw
// answer of a long game with the whole game's; the search tests, draws at the
// root; the soak, every claim of thousands of games with the board.)
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "search/draw.h"
#include "support/chess.h"

using namespace testsupport;

namespace {

// A game move for the draw rules: made on the one undo record, never taken back.
void advance(Move m) {
    saveUndo(*currentPly);
    makeMove(m);
}

// It sees the third time a quiet move would bring, and leaves everything alone
// for any other move: other kinds, none at all (a table slot without one), and
// quiet moves that do not fit (from an empty square, of the other side, onto a
// man).
TEST(Draw, RepetitionAfterOtherMovesLeavesEverythingAlone) {
    setUpFen("rn2k2r/8/8/8/8/8/8/RN2K2R w KQkq -");
    for (const char* m : {"b1c3", "b8c6", "c3b1", "c6b8", "b1c3", "b8c6", "c3b1"}) advance(mv(m));
    EXPECT_TRUE(repetitionAfter(mv("c6b8"), 2));  // the start a third time
    const HistoryEntry* top = historyTop;
    const std::vector<HistoryEntry> history_(history, history + HistorySize);
    const Position before = position;
    for (Move m : {mv("e8g8", CastleBlackKingSide), mv("e8c8", CastleBlackQueenSide), mv("a8a1", Capture),
                   mv("c6b4", EnPassant), mv("c6b8", PromoteKnight), mv("c6b8", CapturePromoteQueen), Move{0},
                   mv("b2b3"), mv("d5d6"), mv("a1a2"), mv("c6e8")}) {
        EXPECT_FALSE(repetitionAfter(m, 1)) << moveText(m);
        EXPECT_EQ(historyTop, top);
        EXPECT_TRUE(std::equal(history_.begin(), history_.end(), history,
                               [](const HistoryEntry& a, const HistoryEntry& b) {
                                   return a.hashKey == b.hashKey && a.move == b.move &&
                                          a.reversibleCount == b.reversibleCount;
                               }));
        EXPECT_TRUE(samePosition(position, before));
    }
}

}  // namespace
