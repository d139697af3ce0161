// Draw detection: material, the fifty-move rule, and the look-ahead for a move
// not yet made against making it, over random games. (The game tests compare
// every draw answer of a long game with the whole game's.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
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

TEST(Draw, InsufficientMaterial) {
    const struct {
        const char* fen;
        bool drawn;
    } cases[] = {
        {"4k3/8/8/8/8/8/8/4K3 w - -", true},   {"4k3/8/8/8/8/8/8/3BK3 w - -", true},
        {"4k3/8/8/8/8/8/8/3NK3 b - -", true},  {"3nk3/8/8/8/8/8/8/4K3 w - -", true},
        {"3bk3/8/8/8/8/8/8/4K3 b - -", true},  {"4k3/8/8/8/8/8/8/3RK3 w - -", false},
        {"4k3/8/8/8/8/8/4P3/4K3 w - -", false},  // 1, but a pawn
        {"4k3/4p3/8/8/8/8/8/4K3 w - -", false}, {"4k3/8/8/8/8/8/8/2NNK3 w - -", false},
        {"3bk3/8/8/8/8/8/8/3BK3 w - -", false},
    };
    for (const auto& c : cases) {
        setUpFen(c.fen);
        EXPECT_EQ(insufficientMaterial(), c.drawn) << c.fen;
        EXPECT_EQ(isDraw(2), c.drawn) << c.fen;
    }
}

TEST(Draw, FiftyMoveRuleNeeds101Plies) {
    setUpFen("r3k3/8/8/8/8/8/4P3/R3K1N1 w - -");
    historyTop->reversibleCount = 100;
    EXPECT_FALSE(isDraw(1));
    EXPECT_TRUE(repetitionAfter(mv("g1f3"), 2));  // the 101st reversible ply
    EXPECT_FALSE(repetitionAfter(mv("e2e4"), 2));  // a pawn restarts the count
    EXPECT_FALSE(repetitionAfter(mv("a1a8", Capture), 2));
    historyTop->reversibleCount = 101;
    EXPECT_TRUE(isDraw(1));
    EXPECT_TRUE(isDraw(2));
}

TEST(Draw, RepetitionAfterOtherMovesLeavesEverythingAlone) {
    setUpFen("rn2k2r/8/8/8/8/8/8/RN2K2R w KQkq -");
    for (const char* m : {"b1c3", "b8c6", "c3b1", "c6b8", "b1c3", "b8c6", "c3b1"}) advance(mv(m));
    EXPECT_TRUE(repetitionAfter(mv("c6b8"), 2));  // the start a third time
    const HistoryEntry* top = historyTop;
    const std::vector<HistoryEntry> history_(history, history + HistorySize);
    const Position before = position;
    // other kinds, no move at all (a table slot without one), and quiet moves
    // that do not fit: from an empty square, of the other side, onto a man
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

// Random games of quiet moves, mostly stepping back where the piece came from:
// at every ply, for every quiet move, the look-ahead agrees with making it.
TEST(Draw, LookAheadAgreesWithMakingTheMove) {
    std::mt19937 rng(7);
    int repeats = 0, thirdTimes = 0, checked = 0;
    for (const char* fen : {"r3k2r/pppn1ppp/8/8/8/8/PPPN1PPP/R3K2R w KQkq -", "rn2k2r/p6p/8/8/8/8/P6P/RN2K2R b KQkq -",
                            "4k3/1pp5/8/8/8/8/5PP1/4K1N1 w - -", "r3k3/8/2b5/8/8/5B2/8/4K2R w Kq -"}) {
        setUpFen(fen);
        Move last[2] = {0, 0};
        for (int ply = 0; ply < 320; ++ply) {
            std::vector<Move> legal;
            for (const ScoredMove& e : generate(AllMoves).moves) {
                if (moveKind(e.move) != Quiet) continue;
                const bool once = repetitionAfter(e.move, 1), twice = repetitionAfter(e.move, 2);
                saveUndo(*currentPly);
                makeMove(e.move);
                EXPECT_EQ(once, isDraw(1)) << fen << " ply " << ply;
                EXPECT_EQ(twice, isDraw(2)) << fen << " ply " << ply;
                if (!generate(Captures).illegal) legal.push_back(e.move);
                const bool counted = historyTop->reversibleCount <= 100;  // repetitions, not the fifty-move rule
                unmakeMove(e.move);
                repeats += once && counted;
                thirdTimes += twice && counted;
                ++checked;
            }
            ASSERT_FALSE(legal.empty()) << fen;
            const int side = position.sideToMove;
            const Move back = last[side] ? makeMoveCode(moveTo(last[side]), moveFrom(last[side]), Quiet) : 0;
            Move next = legal[rng() % legal.size()];
            if (back && rng() % 100 < 60 && std::find(legal.begin(), legal.end(), back) != legal.end()) next = back;
            last[side] = next;
            advance(next);
        }
    }
    EXPECT_GT(checked, 20000);
    EXPECT_GT(repeats, 200);
    EXPECT_GT(thirdTimes, 50);
}

}  // namespace
