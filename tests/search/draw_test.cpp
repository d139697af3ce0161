// Draw detection: material, the fifty-move rule and repetitions over real
// move sequences, and the look-ahead test for a move not yet made.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "board/fen.h"
#include "board/tables.h"
#include "search/draw.h"

namespace {

int sq(const char* text) { return (text[0] - 'a') + 8 * ('8' - text[1]); }
Move quiet(const char* from, const char* to) { return makeMoveCode(sq(from), sq(to), Quiet); }

void setUp(const std::string& fen) {
    Position p;
    ASSERT_TRUE(readFen(fen.c_str(), p)) << fen;
    installPosition(p);
}

void play(Move m) {
    saveUndo(*currentPly);
    makeMove(m);
}

// Every quiet move of the side to move: piece moves to empty squares and pawn
// pushes short of promotion. Legality does not matter for the keys.
std::vector<Move> quietMoves() {
    const Position& p = position;
    const int side = p.sideToMove;
    const Bitboard empty = ~p.occupied;
    std::vector<Move> moves;
    auto addAll = [&](int from, Bitboard targets) {
        while (targets) moves.push_back(makeMoveCode(from, popLowest(targets), Quiet));
    };
    for (int s = 0; s < 64; ++s) {
        const int piece = p.board[s];
        if (piece == Empty || (piece & 1) != side) continue;
        switch (piece) {
            case WhitePawn:
            case BlackPawn: {
                const int step = side == White ? -8 : 8, to = s + step;
                if (rowOf(to) == 0 || rowOf(to) == 7 || !(empty & bitOf(to))) break;
                moves.push_back(makeMoveCode(s, to, Quiet));
                if (rowOf(s) == (side == White ? 6 : 1) && (empty & bitOf(to + step)))
                    moves.push_back(makeMoveCode(s, to + step, Quiet));
                break;
            }
            case WhiteKnight: case BlackKnight: addAll(s, knightAttacks[s] & empty); break;
            case WhiteBishop: case BlackBishop: addAll(s, bishopAttacksFrom(s, p) & empty); break;
            case WhiteRook: case BlackRook: addAll(s, rookAttacksFrom(s, p) & empty); break;
            default: addAll(s, queenAttacksFrom(s, p) & empty); break;
        }
    }
    addAll(p.kingSquare[side], kingAttacks[p.kingSquare[side]] & empty);
    return moves;
}

class DrawTest : public ::testing::Test {
protected:
    void SetUp() override { initTables(); }
};

TEST_F(DrawTest, InsufficientMaterial) {
    struct Case {
        const char* fen;
        bool drawn;
    };
    const Case cases[] = {
        {"4k3/8/8/8/8/8/8/4K3 w - - 0 1", true},
        {"4k3/8/8/8/8/8/8/3BK3 w - - 0 1", true},
        {"4k3/8/8/8/8/8/8/3NK3 b - - 0 1", true},
        {"3nk3/8/8/8/8/8/8/4K3 w - - 0 1", true},
        {"3bk3/8/8/8/8/8/8/4K3 b - - 0 1", true},
        {"4k3/8/8/8/8/8/8/3RK3 w - - 0 1", false},   // 5
        {"4k3/8/8/8/8/8/4P3/4K3 w - - 0 1", false},  // 1, but a pawn
        {"4k3/4p3/8/8/8/8/8/4K3 w - - 0 1", false},
        {"4k3/8/8/8/8/8/8/2NNK3 w - - 0 1", false},  // 6
        {"3bk3/8/8/8/8/8/8/3BK3 w - - 0 1", false},
    };
    for (const Case& c : cases) {
        setUp(c.fen);
        EXPECT_EQ(insufficientMaterial(), c.drawn) << c.fen;
        EXPECT_EQ(isDraw(2), c.drawn) << c.fen;  // the first test isDraw makes
    }
}

TEST_F(DrawTest, FiftyMoveRuleNeeds101Plies) {
    setUp("4k3/8/8/8/8/8/8/R3K1N1 w - - 0 1");
    historyTop->reversibleCount = 100;
    EXPECT_FALSE(isDraw(1));
    EXPECT_FALSE(repetitionAfter(makeMoveCode(sq("a1"), sq("a8"), Capture), 2));
    // a quiet move makes the 101st reversible ply, a pawn would restart the count
    EXPECT_TRUE(repetitionAfter(quiet("g1", "f3"), 2));
    historyTop->reversibleCount = 101;
    EXPECT_TRUE(isDraw(1));
    EXPECT_TRUE(isDraw(2));
}

TEST_F(DrawTest, PawnMoveAfterNinetyNineMovesIsNoDraw) {
    setUp("4k3/8/8/8/8/8/4P3/R3K3 w - - 0 1");
    historyTop->reversibleCount = 100;
    const Move push = quiet("e2", "e4");
    EXPECT_FALSE(repetitionAfter(push, 2));
    play(push);
    EXPECT_EQ(historyTop->reversibleCount, 0);
    EXPECT_FALSE(isDraw(2));
}

TEST_F(DrawTest, KnightShuffleRepetitions) {
    setUp("4k1n1/8/8/8/8/8/8/1N2K3 w - - 0 1");
    const Move line[] = {quiet("e1", "d1"), quiet("g8", "f6"), quiet("b1", "c3"), quiet("f6", "g8"),
                         quiet("c3", "b1"), quiet("g8", "f6"), quiet("b1", "c3"), quiet("f6", "g8"),
                         quiet("c3", "b1")};
    // After each move: isDraw(1), isDraw(2). Ply 5 repeats ply 1 four plies back
    // but the scan starts only at six reversible plies; ply 9 is the third time.
    const bool once[] = {false, false, false, false, false, true, true, true, true};
    const bool twice[] = {false, false, false, false, false, false, false, false, true};
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(repetitionAfter(line[i], 1), once[i]) << "move " << i + 1;
        EXPECT_EQ(repetitionAfter(line[i], 2), twice[i]) << "move " << i + 1;
        play(line[i]);
        ASSERT_EQ(historyTop->reversibleCount, i + 1);
        EXPECT_EQ(isDraw(1), once[i]) << "move " << i + 1;
        EXPECT_EQ(isDraw(2), twice[i]) << "move " << i + 1;
    }
    EXPECT_EQ(historyTop->hashKey, history[5].hashKey);
    EXPECT_EQ(historyTop->hashKey, history[1].hashKey);
}

TEST_F(DrawTest, LostCastlingRightsMakeADifferentPosition) {
    setUp("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    const Move walk[] = {quiet("e1", "f1"), quiet("e8", "f8"), quiet("f1", "e1"), quiet("f8", "e8")};
    for (int round = 0; round < 2; ++round)
        for (Move m : walk) play(m);
    // Ply 8 stands where ply 4 did, and on the squares of the start, which had rights.
    ASSERT_EQ(historyTop->reversibleCount, 8);
    EXPECT_NE(history[0].hashKey, history[4].hashKey);
    EXPECT_EQ(history[8].hashKey, history[4].hashKey);
    EXPECT_TRUE(isDraw(1));
    EXPECT_FALSE(isDraw(2));
}

TEST_F(DrawTest, RepetitionAfterOtherMovesLeavesEverythingAlone) {
    setUp("rn2k2r/8/8/8/8/8/8/RN2K2R w KQkq - 0 1");
    for (const char* m : {"b1c3", "b8c6", "c3b1", "c6b8", "b1c3", "b8c6", "c3b1"})
        play(quiet(m, m + 2));
    ASSERT_EQ(position.sideToMove, Black);
    ASSERT_EQ(historyTop->reversibleCount, 7);
    // Going back to b8 repeats the start a third time.
    EXPECT_TRUE(repetitionAfter(quiet("c6", "b8"), 2));

    const HistoryEntry* top = historyTop;
    std::vector<HistoryEntry> before(std::begin(history), std::end(history));
    const Move others[] = {
        makeMoveCode(sq("e8"), sq("g8"), CastleBlackKingSide), makeMoveCode(sq("e8"), sq("c8"), CastleBlackQueenSide),
        makeMoveCode(sq("a8"), sq("a1"), Capture), makeMoveCode(sq("c6"), sq("b4"), EnPassant),
        makeMoveCode(sq("c6"), sq("b8"), PromoteKnight), makeMoveCode(sq("c6"), sq("b8"), CapturePromoteQueen),
        // no move (a table slot without one), and quiet moves this position
        // does not have: from an empty square, of the other side
        0, quiet("b2", "b3"), quiet("d5", "d6"), quiet("a1", "a2"),
    };
    const Position positionBefore = position;
    for (Move m : others) {
        SCOPED_TRACE(m);
        EXPECT_FALSE(repetitionAfter(m, 1));
        EXPECT_EQ(historyTop, top);
        EXPECT_EQ(std::memcmp(before.data(), history, sizeof history), 0);
        EXPECT_EQ(std::memcmp(&positionBefore, &position, sizeof position), 0);
    }
}

TEST_F(DrawTest, ScanStopsAtTheBottomOfTheHistory) {
    // Counts that claim more plies than the history holds must not read below it.
    setUp("4k3/8/8/8/8/8/8/R3K1N1 w - - 0 1");
    historyTop->reversibleCount = 60;
    EXPECT_FALSE(isDraw(1));
    EXPECT_FALSE(repetitionAfter(quiet("g1", "f3"), 1));
    for (const char* m : {"g1f3", "e8d8", "f3g1", "d8e8", "g1f3"}) play(quiet(m, m + 2));
    // Five entries above a count of 60 at the bottom: the scan sees entries 1 and 0 alone.
    history[1].hashKey = historyTop->hashKey;
    EXPECT_TRUE(isDraw(1));
    EXPECT_FALSE(isDraw(2));
    history[1].hashKey ^= 1;
    EXPECT_FALSE(isDraw(1));
    // Two plies back each side has moved once since: that entry is never compared.
    history[3].hashKey = historyTop->hashKey;
    EXPECT_FALSE(isDraw(1));
}

// Random quiet games from positions with castling rights and double steps: at
// every ply, for every quiet move, the look-ahead agrees with the real thing,
// key and verdict; and cutting the history down to its last 102 entries, as a
// long game may, changes no answer.
TEST_F(DrawTest, LookAheadAgreesWithMakingTheMove) {
    const char* starts[] = {
        "r3k2r/pppn1ppp/8/8/8/8/PPPN1PPP/R3K2R w KQkq - 0 1",
        "rn2k2r/p6p/8/8/8/8/P6P/RN2K2R b KQkq - 0 1",
        "4k3/1pp5/8/8/8/8/5PP1/4K1N1 w - - 0 1",
        "r3k3/8/2b5/8/8/5B2/8/4K2R w Kq - 0 1",
    };
    std::mt19937 rng(7);
    int repeats = 0, thirdTimes = 0, checked = 0, compactions = 0;
    for (const char* fen : starts) {
        setUp(fen);
        Move last[2] = {0, 0};
        for (int ply = 0; ply < 320; ++ply) {
            const std::vector<Move> moves = quietMoves();
            ASSERT_FALSE(moves.empty());
            for (Move m : moves) {
                const bool once = repetitionAfter(m, 1), twice = repetitionAfter(m, 2);
                play(m);
                EXPECT_EQ(once, isDraw(1)) << fen << " ply " << ply;
                EXPECT_EQ(twice, isDraw(2)) << fen << " ply " << ply;
                unmakeMove(m);
                if (historyTop->reversibleCount < 100) {  // repetitions, not the fifty-move rule
                    repeats += once;
                    thirdTimes += twice;
                }
                ++checked;
            }

            const std::ptrdiff_t top = historyTop - history;
            if (top >= 102 && ply % 7 == 0) {
                const bool once = isDraw(1), twice = isDraw(2);
                const bool afterOnce = repetitionAfter(moves[0], 1), afterTwice = repetitionAfter(moves[0], 2);
                std::vector<HistoryEntry> saved(std::begin(history), std::end(history));
                std::copy(historyTop - 101, historyTop + 1, history);
                std::fill(history + 102, history + top + 1, HistoryEntry{});
                historyTop = history + 101;
                EXPECT_EQ(isDraw(1), once);
                EXPECT_EQ(isDraw(2), twice);
                EXPECT_EQ(repetitionAfter(moves[0], 1), afterOnce);
                EXPECT_EQ(repetitionAfter(moves[0], 2), afterTwice);
                std::copy(saved.begin(), saved.end(), history);
                historyTop = history + top;
                ++compactions;
            }

            // Mostly step back to where the side's piece came from, so that
            // positions repeat; now and then anything, pawns included.
            const int side = position.sideToMove;
            const Move back = last[side] ? makeMoveCode(moveTo(last[side]), moveFrom(last[side]), Quiet) : 0;
            Move next = moves[rng() % moves.size()];
            if (back && rng() % 100 < 60 && std::find(moves.begin(), moves.end(), back) != moves.end()) next = back;
            last[side] = next;
            play(next);
        }
    }
    EXPECT_GT(checked, 20000);
    EXPECT_GT(repeats, 200);
    EXPECT_GT(thirdTimes, 50);
    EXPECT_GT(compactions, 40);
}

}  // namespace
