// The game as the command thread keeps it: which moves are legal, and a
// history stack that never overflows in a long game while every draw answer
// stays what the whole game gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "board/movetext.h"
#include "board/position.h"
#include "protocol/game.h"
#include "support/chess.h"
#include "search/draw.h"

namespace {
using namespace testsupport;

TEST(GameMoves, LegalityOnTheBoard) {
    playInProcess(StartPositionText, {});
    EXPECT_EQ(legalMoveTexts().size(), 20u);

    // in check from a rook: only the king's steps off the line and the capture
    playInProcess("4k3/8/8/8/8/8/4r3/R3K3 w Q -", {});
    EXPECT_EQ(legalMoveTexts(), (std::set<std::string>{"e1d1", "e1e2", "e1f1"}));
    EXPECT_TRUE(sideToMoveInCheck());

    // castling through or out of an attacked square, or into one
    playInProcess("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -", {});
    EXPECT_TRUE(isLegalMove(textToMove("e1g1")));
    EXPECT_TRUE(isLegalMove(textToMove("e1c1")));
    playInProcess("r3k2r/8/8/8/8/8/5q2/R3K2R w KQkq -", {});  // f2 queen: e1 in check
    EXPECT_FALSE(isLegalMove(textToMove("e1g1")));
    EXPECT_FALSE(isLegalMove(textToMove("e1c1")));
    playInProcess("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -", {"a1a2", "h8h2"});  // h2 rook eyes nothing on rank 1
    EXPECT_TRUE(isLegalMove(textToMove("e1g1")));
    playInProcess("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -", {"a1a2", "a8d8"});  // d8 rook covers d1
    EXPECT_FALSE(isLegalMove(textToMove("e1c1")));
    EXPECT_TRUE(isLegalMove(textToMove("e1g1")));

    // en passant only right after the double step
    playInProcess(StartPositionText, {"e2e4", "a7a6", "e4e5", "d7d5"});
    EXPECT_TRUE(isLegalMove(textToMove("e5d6")));
    playInProcess(StartPositionText, {"e2e4", "d7d5", "e4e5", "a7a6"});
    EXPECT_FALSE(isLegalMove(textToMove("e5d6")));

    EXPECT_FALSE(isLegalMove(0));
}

TEST(GameMoves, NoMoveInMateAndStalemate) {
    playInProcess("R5k1/5ppp/8/8/8/8/8/6K1 b - -", {});
    EXPECT_EQ(firstLegalMove(), 0);
    EXPECT_TRUE(sideToMoveInCheck());
    playInProcess("k7/8/1Q6/8/8/8/8/7K b - -", {});
    EXPECT_EQ(firstLegalMove(), 0);
    EXPECT_FALSE(sideToMoveInCheck());
    playInProcess("k7/8/1Q6/8/8/8/8/7K w - -", {});
    EXPECT_TRUE(isLegalMove(firstLegalMove()));
}

TEST(GameMoves, SideToMoveChangeStartsAFreshRecord) {
    playInProcess(StartPositionText, {"g1f3", "g8f6", "e2e4"});
    ASSERT_EQ(position.epSquare, 44);
    const std::uint64_t keyWithoutEp = position.hashKey ^ zobristKeys[0][44];
    setSideToMove(White);
    EXPECT_EQ(position.sideToMove, White);
    EXPECT_EQ(gameSnapshot.sideToMove, White);
    EXPECT_EQ(position.epSquare, 0);
    EXPECT_EQ(gameSnapshot.epSquare, 0);
    EXPECT_EQ(position.hashKey, keyWithoutEp);
    EXPECT_EQ(historyTop, history);
    EXPECT_EQ(history[0].hashKey, keyWithoutEp);
    EXPECT_EQ(history[1].hashKey, 0u);
    // the same side again changes nothing
    playInProcess(StartPositionText, {"g1f3"});
    const HistoryEntry* top = historyTop;
    setSideToMove(Black);
    EXPECT_EQ(historyTop, top);
}

// The stack is compacted once it reaches the mark, keeping exactly the newest
// entries; a repetition a hundred plies back is still found.
TEST(GameHistory, CompactionKeepsTheNewestEntries) {
    playInProcess(StartPositionText, {});
    const int mark = HistorySize - SearchRoom;
    const std::uint64_t repeated = 0xD00DFEEDCAFEBEEFULL;
    auto fill = [&](int top) {
        for (int i = 0; i <= top; ++i) {
            const int back = top - i;
            history[i].hashKey = back == 0 || back == 96 || back == 100 ? repeated : 0x1000u + i;
            history[i].reversibleCount = static_cast<std::uint16_t>(back <= 100 ? 100 - back : 0);
            history[i].move = static_cast<Move>(i);
        }
        historyTop = history + top;
    };

    fill(mark - 1);  // below the mark nothing moves
    compactHistory();
    EXPECT_EQ(historyTop, history + mark - 1);

    fill(mark);
    ASSERT_TRUE(isDraw(2));
    static HistoryEntry before[HistorySize];
    std::copy(history, history + HistorySize, before);
    compactHistory();
    ASSERT_EQ(historyTop, history + KeptHistory - 1);
    for (int i = 0; i < KeptHistory; ++i) {
        const HistoryEntry& expected = before[mark - (KeptHistory - 1) + i];
        EXPECT_EQ(history[i].hashKey, expected.hashKey) << i;
        EXPECT_EQ(history[i].reversibleCount, expected.reversibleCount) << i;
        EXPECT_EQ(history[i].move, expected.move) << i;
    }
    for (int i = KeptHistory; i <= mark; ++i) ASSERT_EQ(history[i].hashKey, 0u) << i;
    EXPECT_TRUE(isDraw(2));
    EXPECT_TRUE(isDraw(1));
    playInProcess(StartPositionText, {});  // leave a sound history behind
}

// A draw test over the whole game, kept in a vector: the third occurrence of
// a position since the last irreversible move (same side to move), or more
// than a hundred reversible plies.
bool drawnInWholeGame(const std::vector<std::uint64_t>& keys, const std::vector<int>& reversible, int count) {
    const std::size_t top = keys.size() - 1;
    const int r = reversible[top];
    if (r < 6) return false;
    if (r > 100) return true;
    int seen = 0;
    for (std::size_t back = 4; back <= static_cast<std::size_t>(r); back += 2)
        if (keys[top - back] == keys[top]) ++seen;
    return seen >= count;
}

TEST(GameHistory, LongGameKeepsRoomAndEveryDrawAnswer) {
    playInProcess(StartPositionText, {});
    const std::vector<std::string> pawnMoves = {"a2a3", "a7a6", "a3a4", "a6a5", "b2b3", "b7b6", "b3b4", "b6b5",
                                                "c2c3", "c7c6", "c3c4", "c6c5", "d2d3", "d7d6", "d3d4", "d6d5",
                                                "e2e3", "e7e6", "e3e4", "e6e5", "h2h3", "h7h6", "h3h4", "h6h5"};
    const std::vector<std::string> knightCycle = {"g1f3", "g8f6", "f3g1", "f6g8"};
    // Knight shuffles between pawn moves, some gaps short enough for three
    // occurrences only, some past the fifty-move limit.
    std::vector<std::string> game;
    for (std::size_t pair = 0; pair < pawnMoves.size(); pair += 2) {
        const int gap = pair % 4 == 0 ? 104 : 60;
        for (int i = 0; i < gap; ++i) game.push_back(knightCycle[i % 4]);
        game.push_back(pawnMoves[pair]);
        game.push_back(pawnMoves[pair + 1]);
    }
    for (int i = 0; i < 700; ++i) game.push_back(knightCycle[i % 4]);
    ASSERT_GT(game.size(), 1700u);

    std::vector<std::uint64_t> keys = {position.hashKey};
    std::vector<int> reversible = {0};
    int compactions = 0, draws = 0, fiftyMoveDraws = 0;
    Move last = 0;
    for (std::size_t ply = 0; ply < game.size(); ++ply) {
        const Move m = textToMove(game[ply].c_str());
        ASSERT_TRUE(isLegalMove(m)) << ply << ' ' << game[ply];
        const HistoryEntry* before = historyTop;
        playMove(m);
        last = m;
        compactions += historyTop <= before;
        keys.push_back(position.hashKey);
        reversible.push_back(game[ply][0] == 'g' || game[ply][0] == 'f' ? reversible.back() + 1 : 0);

        ASSERT_LE(historyTop - history, HistorySize - SearchRoom) << ply;
        EXPECT_EQ(historyTop->hashKey, position.hashKey) << ply;
        EXPECT_EQ(historyTop->reversibleCount, reversible.back()) << ply;
        for (int count : {1, 2}) ASSERT_EQ(isDraw(count), drawnInWholeGame(keys, reversible, count)) << ply << " count " << count;
        draws += isDraw(2);
        fiftyMoveDraws += reversible.back() > 100;
    }
    // the stack was compacted again and again, and both kinds of draw came up
    EXPECT_EQ(compactions, 2);
    EXPECT_GT(draws, fiftyMoveDraws);
    EXPECT_GT(fiftyMoveDraws, 0);
    // the last move is kept for the search's mate test
    EXPECT_EQ((historyTop - 1)->move, last);

    // Taking back, one ply or two at a time, through every compaction to the
    // start: each point of the game is as it was, every draw answer too.
    const Position whole = position;
    EXPECT_FALSE(takeBack(static_cast<int>(game.size()) + 1));
    EXPECT_EQ(std::memcmp(&whole, &position, sizeof position), 0);
    for (std::size_t ply = game.size(); ply > 0;) {
        const int plies = ply % 3 == 0 || ply == 1 ? 1 : 2;
        ASSERT_TRUE(takeBack(plies)) << ply;
        ply -= static_cast<std::size_t>(plies);
        keys.resize(ply + 1);
        reversible.resize(ply + 1);
        ASSERT_EQ(position.hashKey, keys.back()) << ply;
        ASSERT_EQ(historyTop->hashKey, keys.back()) << ply;
        ASSERT_EQ(historyTop->reversibleCount, reversible.back()) << ply;
        ASSERT_EQ(gameSnapshot.sideToMove, ply % 2 == 0 ? White : Black) << ply;
        ASSERT_LE(historyTop - history, HistorySize - SearchRoom) << ply;
        for (int count : {1, 2}) ASSERT_EQ(isDraw(count), drawnInWholeGame(keys, reversible, count)) << ply << " count " << count;
        if (ply % 97 == 0) EXPECT_TRUE(positionIsConsistent()) << ply;
    }
    EXPECT_EQ(gamePlies(), 0);
    EXPECT_FALSE(takeBack(1));
    EXPECT_EQ(legalMoveTexts().size(), 20u);
}

}  // namespace
