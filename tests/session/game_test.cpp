// The command side in this process: time management, position setup, and
// the game as the session keeps it (legality, a history that never
// overflows, take-backs to any earlier point).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <tuple>

#include "board/gamelog.h"
#include "session/timing.h"
#include "search/draw.h"
#include "search/transtable.h"
#include "support/chess.h"

namespace {

using namespace testsupport;

constexpr std::uint32_t MaxMs = std::numeric_limits<std::uint32_t>::max();

// The time control as pure functions: no thread, no clock read.
TEST(TimeControl, AllotmentsClocksAndFixedTimes) {
    struct Case {
        std::int64_t moves, incrementMs, clock;
        std::uint32_t movesPerControl, allotment;
    };
    for (const Case& c : {Case{40, 0, 30000, 40, 7470}, Case{40, 0, 150, 40, 30},  // no reserve below 2 s
                          Case{40, 0, 199, 40, 40}, Case{40, 0, 200, 40, 20}, Case{40, 0, 100000, 40, 24970},
                          Case{0, 2000, 6000, 40, 3470}, Case{20, 0, 0, 20, 0}, Case{-5, -3000, 4000, 40, 970},
                          Case{40, 0, -500, 40, 0}, Case{40, 1000, -1, 40, 1000},  // a negative clock is empty
                          Case{1, 0, std::int64_t{1} << 50, 1, MaxMs}, Case{40, 0, 4000000000, 40, 999999970}}) {
        SCOPED_TRACE(c.clock);
        TimeControl tc;
        applyLevel(tc, c.moves, c.incrementMs);
        applyClock(tc, c.clock);
        EXPECT_EQ(tc.movesPerControl, c.movesPerControl);
        EXPECT_EQ(tc.moveTimeMs, c.allotment);
        EXPECT_EQ(tc.clockMs, std::clamp<std::int64_t>(c.clock, 0, std::int64_t{1} << 40) * 10);
    }
    // the first search after the book: three times, or moves/10 times
    for (auto [allotment, moves, stretched] : {std::tuple{1000u, 40u, 3000u}, {1000u, 20u, 2000u}, {1000u, 1u, 100u},
                                               {200000000u, 40u, 600000000u}, {MaxMs, 40u, MaxMs}})
        EXPECT_EQ(stretchedAfterBook(allotment, moves), stretched) << allotment << " " << moves;

    // Extra time when failing low: over two seconds only, half the allotment
    // times the moves, never past the margin of the clock (max(50 ms, 5%)).
    TimeControl tc;
    applyClock(tc, 10000000);
    for (auto [allotment, failing, extra] : {std::tuple{2001u, true, 40020u}, {2001u, false, 0u}, {2000u, true, 0u}}) {
        tc.moveTimeMs = allotment;
        EXPECT_EQ(failLowExtraMs(tc, failing, 0), extra) << allotment;
    }
    for (auto [clock, margin] : {std::pair{0, 50u}, {1000, 50u}, {10000, 500u}, {300000, 15000u}})
        EXPECT_EQ(clockMarginMs(clock), margin);
    tc = TimeControl{};
    applyClock(tc, 150);
    EXPECT_EQ(cappedToClock(tc, 20, 0), 20u);
    EXPECT_EQ(cappedToClock(tc, 100000, 0), 1425u);
    EXPECT_EQ(cappedToClock(tc, 100000, 100), 1325u);  // the time the move took comes off
    applyClock(tc, 5);
    EXPECT_EQ(cappedToClock(tc, 1000, 0), 0u);  // 50 ms: all of it margin
    applyLevel(tc, 0, 3000);
    applyClock(tc, 100);  // 3 s increment, 1 s on the clock: the extra time stops at the margin
    EXPECT_EQ(tc.moveTimeMs, 3020u);
    EXPECT_EQ(failLowExtraMs(tc, true, 0), 950u);
    EXPECT_EQ(allotmentWaitMs(tc, 0), 950u);

    // A fixed time: less a tenth (at most 100 ms), capped only by a clock sent
    // for its move; level and st replace each other.
    EXPECT_FALSE(applyMoveTime(tc, 0));
    EXPECT_FALSE(applyMoveTime(tc, -500));
    tc.clockForMove = false;
    for (auto [st, allotment] : {std::pair{500, 450u}, {30000, 29900u}, {50, 45u}, {1500, 1400u}}) {
        ASSERT_TRUE(applyMoveTime(tc, st));
        EXPECT_EQ(allotmentWaitMs(tc, 0), allotment) << st;
    }
    EXPECT_EQ(failLowExtraMs(tc, true, 0), 0u);
    applyClock(tc, 100);
    EXPECT_EQ(allotmentWaitMs(tc, 0), 950u);
    tc.clockForMove = false;
    EXPECT_EQ(allotmentWaitMs(tc, 0), 1400u);  // that clock was for the last move
    applyLevel(tc, 40, 0);
    EXPECT_EQ(tc.fixedMoveMs, 0u);

    // A depth cap with no clock in the game and no fixed time: no deadline;
    // a clock since the game started, or a fixed time, keeps the deadline.
    struct Untimed {
        std::int64_t depth, st, clock;
        bool newGame, untimed;
    };
    for (const Untimed& u : {Untimed{6, 0, -1, false, true}, {0, 0, -1, false, false}, {6, 1000, -1, false, false},
                             {6, 0, 3000, false, false}, {6, 0, 3000, true, true}, {-1, 0, -1, false, false}}) {
        SCOPED_TRACE(::testing::Message() << u.depth << " " << u.st << " " << u.clock << " " << u.newGame);
        TimeControl t;
        EXPECT_EQ(applyDepth(t, u.depth), u.depth >= 0);
        if (u.st) applyMoveTime(t, u.st);
        if (u.clock >= 0) applyClock(t, u.clock);
        if (u.newGame) newGameClock(t);
        EXPECT_EQ(untimed(t), u.untimed);
        EXPECT_EQ(allotmentWaitMs(t, 0) == MaxMs, u.untimed);
    }
    TimeControl d;
    for (auto [depth, cap] : {std::pair{1, 2}, {5, 5}, {0, MaxSearchDepth}, {500, MaxSearchDepth}}) {
        applyDepth(d, depth);
        EXPECT_EQ(d.depthCap, cap) << depth;
    }
}

// A good text sets up everything; a refused one leaves the game exactly as it
// was; the en-passant target of a text is playable on the first move. Legal
// moves are the generated ones that leave the king safe.
TEST(Game, SetupAndLegalMoves) {
    ensureTables();
    initSearchState();
    mateFound = true;
    ASSERT_TRUE(setupPosition(StartPositionText, false));
    EXPECT_EQ(historyTop, history);
    EXPECT_EQ(0, std::memcmp(gameSnapshot.board, position.board, 64));
    EXPECT_FALSE(mateFound);

    for (const char* m : {"e2e4", "c7c5", "g1f3"}) playMove(textToMove(m));
    ttStore(6, Lower, 25, textToMove("d7d6"));
    const Position positionBefore = position;
    const GameSnapshot snapshotBefore = gameSnapshot;
    const std::vector<HistoryEntry> historyBefore(history, historyTop + 1);
    for (const char* bad : {"", "rnbqkbnr/pppppppp/0/8/8/8/PPPPPPPP/RNBQKBNR w - -",
                            "4k3/4Q3/8/8/8/8/8/4K3 w - -"}) {  // the side that just moved in check
        SCOPED_TRACE(bad);
        EXPECT_FALSE(setupPosition(bad, false));
        EXPECT_EQ(0, std::memcmp(&position, &positionBefore, sizeof position));
        EXPECT_EQ(0, std::memcmp(&gameSnapshot, &snapshotBefore, sizeof gameSnapshot));
        ASSERT_EQ(historyTop - history + 1, static_cast<long>(historyBefore.size()));
        EXPECT_EQ(0, std::memcmp(history, historyBefore.data(), historyBefore.size() * sizeof(HistoryEntry)));
        ASSERT_NE(ttFind(), nullptr);
        EXPECT_EQ(ttFind()->score(), 25);
        EXPECT_EQ(gamePlies(), 3);
    }

    ASSERT_TRUE(setupPosition("rnbqkbnr/ppp1pppp/8/8/3pP3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 3", false));
    EXPECT_EQ(position.epSquare, 44);
    EXPECT_EQ(position.hashKey, computeHashKey(27));
    EXPECT_EQ(moveKind(textToMove("d4e3")), EnPassant);
    EXPECT_TRUE(isLegalMove(textToMove("d4e3")));
    ASSERT_TRUE(setupPosition("rnbqkbnr/ppp1pppp/8/8/3pP3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 3", false));
    EXPECT_FALSE(isLegalMove(textToMove("d4e3")));

    // en passant right after the double step only; in check, the moves that end it
    playInProcess(StartPositionText, {"e2e4", "a7a6", "e4e5", "d7d5"});
    EXPECT_TRUE(isLegalMove(textToMove("e5d6")));
    playInProcess(StartPositionText, {"e2e4", "d7d5", "e4e5", "a7a6"});
    EXPECT_FALSE(isLegalMove(textToMove("e5d6")));
    playInProcess("4k3/8/8/8/8/8/4r3/R3K3 w Q -", {});
    EXPECT_EQ(legalMoveTexts(), (std::set<std::string>{"e1d1", "e1e2", "e1f1"}));
    EXPECT_FALSE(isLegalMove(0));
    for (auto [fen, inCheck] : {std::pair{"R5k1/5ppp/8/8/8/8/8/6K1 b - -", true}, {"k7/8/1Q6/8/8/8/8/7K b - -", false}}) {
        playInProcess(fen, {});
        EXPECT_EQ(firstLegalMove(), 0) << fen;
        EXPECT_EQ(sideToMoveInCheck(), inCheck) << fen;
    }
    // a change of the side to move drops the en-passant square and starts a fresh record
    playInProcess(StartPositionText, {"g1f3", "g8f6", "e2e4"});
    const std::uint64_t keyWithoutEp = position.hashKey ^ zobristKeys[0][44];
    setSideToMove(White);
    EXPECT_EQ(gameSnapshot.sideToMove, White);
    EXPECT_EQ(position.epSquare, 0);
    EXPECT_EQ(position.hashKey, keyWithoutEp);
    EXPECT_EQ(historyTop, history);
    EXPECT_EQ(history[0].hashKey, keyWithoutEp);
    EXPECT_EQ(gamePlies(), 0);
}

// The draw rule over the game up to `top`: the third occurrence of a position
// since the last irreversible move, or over 100 reversible plies.
bool drawnInWholeGame(const std::vector<std::uint64_t>& keys, const std::vector<int>& reversible, std::size_t top,
                      int count) {
    const int r = reversible[top];
    int seen = 0;
    for (int back = 4; back <= r; back += 2) seen += keys[top - back] == keys[top];
    return r > 100 || (r >= 6 && seen >= count);
}

// A game of 1,700 plies: the history is compacted again and again, and every
// draw answer is the whole game's; then taken back, one ply or two at a time,
// through every compaction to the start: each point (key, history, legal
// moves, draw answers) exactly as it was when played.
TEST(GameHistory, LongGameKeepsEveryAnswerBothWays) {
    const std::string pawns = "a2a3a7a6a3a4a6a5b2b3b7b6b3b4b6b5c2c3c7c6c3c4c6c5d2d3d7d6d3d4d6d5e2e3e7e6e3e4e6e5h2h3h7h6h3h4h6h5";
    const char* knights[] = {"g1f3", "g8f6", "f3g1", "f6g8"};
    std::vector<std::string> game;  // knight moves (104 plies: a fifty-move draw, or 60) between pawn moves
    for (std::size_t pair = 0; pair <= 12; ++pair) {
        for (int i = 0; i < (pair == 12 ? 700 : pair % 2 == 0 ? 104 : 60); ++i) game.push_back(knights[i % 4]);
        for (std::size_t k = 0; pair < 12 && k < 8; k += 4) game.push_back(pawns.substr(8 * pair + k, 4));
    }
    playInProcess(StartPositionText, {});
    std::vector<std::uint64_t> keys = {position.hashKey};
    std::vector<int> reversible = {0};
    std::vector<std::set<std::string>> legal = {legalMoveTexts()};
    const auto expectAsPlayed = [&](std::size_t ply) {
        ASSERT_EQ(position.hashKey, keys[ply]) << ply;
        ASSERT_EQ(historyTop->hashKey, keys[ply]) << ply;
        ASSERT_EQ(historyTop->reversibleCount, reversible[ply]) << ply;
        ASSERT_LE(historyTop - history, HistorySize - SearchRoom) << ply;
        ASSERT_EQ(legalMoveTexts(), legal[ply]) << ply;
        for (int count : {1, 2}) ASSERT_EQ(isDraw(count), drawnInWholeGame(keys, reversible, ply, count)) << ply << " " << count;
    };
    int compactions = 0, draws = 0, fiftyMoveDraws = 0;
    Move last = 0;
    for (std::size_t ply = 0; ply < game.size(); ++ply) {
        ASSERT_TRUE(legal.back().count(game[ply])) << ply << ' ' << game[ply];
        const HistoryEntry* before = historyTop;
        playMove(last = textToMove(game[ply].c_str()));
        compactions += historyTop <= before;
        keys.push_back(position.hashKey);
        reversible.push_back(game[ply][0] == 'g' || game[ply][0] == 'f' ? reversible.back() + 1 : 0);
        legal.push_back(legalMoveTexts());
        ASSERT_NO_FATAL_FAILURE(expectAsPlayed(ply + 1));
        draws += isDraw(2);
        fiftyMoveDraws += reversible.back() > 100;
    }
    EXPECT_EQ(compactions, 2);
    EXPECT_GT(draws, fiftyMoveDraws);
    EXPECT_GT(fiftyMoveDraws, 0);
    EXPECT_EQ((historyTop - 1)->move, last);  // kept for the search's mate test

    const Position whole = position;
    EXPECT_FALSE(takeBack(static_cast<int>(game.size()) + 1));
    EXPECT_EQ(std::memcmp(&whole, &position, sizeof position), 0);
    for (std::size_t ply = game.size(); ply > 0;) {
        const int plies = ply % 3 == 0 || ply == 1 ? 1 : 2;
        ASSERT_TRUE(takeBack(plies)) << ply;
        ply -= static_cast<std::size_t>(plies);
        ASSERT_NO_FATAL_FAILURE(expectAsPlayed(ply));
        ASSERT_EQ(gameSnapshot.sideToMove, ply % 2 == 0 ? White : Black) << ply;
        if (ply % 97 == 0) { EXPECT_TRUE(positionIsConsistent()) << ply; }
    }
    EXPECT_FALSE(takeBack(1));
}

}  // namespace
