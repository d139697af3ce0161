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

// The time control as pure functions (no thread, no clock read), as
// properties over a grid of clocks, increments and moves to go: the clock is
// shared out over the control's moves, a second kept in reserve; nothing
// waits into the clock's margin; a fail low, however often, takes no move
// past a fifth of the clock beyond the increment.
TEST(TimeControl, AllotmentsClocksAndFixedTimes) {
    const std::int64_t clocks[] = {-500, 0, 5, 150, 199, 200, 1000, 6000, 30000, 100000, 360000, 4000000000,
                                   std::int64_t{1} << 50};  // centiseconds, in order
    for (std::int64_t moves : {-5, 0, 1, 2, 5, 20, 40})
        for (std::int64_t increment : {-3000, 0, 1000, 3000, 10000}) {
            std::uint32_t lastAllotment = 0;
            std::int64_t lastMs = 0;
            for (std::int64_t clock : clocks) {
                SCOPED_TRACE(::testing::Message() << "level " << moves << " inc " << increment << " clock " << clock);
                if (HasFailure()) return;  // one failing point says enough
                TimeControl tc;
                applyLevel(tc, moves, increment);
                applyClock(tc, clock);
                const std::uint32_t perControl = tc.movesPerControl, inc = tc.incrementMs, allotment = tc.moveTimeMs;
                const std::int64_t ms = tc.clockMs, margin = clockMarginMs(ms);
                EXPECT_EQ(perControl, moves >= 1 ? moves : 40);
                EXPECT_EQ(inc, std::max<std::int64_t>(increment, 0));
                EXPECT_EQ(ms, std::clamp<std::int64_t>(clock, 0, std::int64_t{1} << 40) * 10);  // negative: empty
                if ((ms >= 2000) == (lastMs >= 2000)) {  // more clock, never less time, the reserve aside
                    EXPECT_GE(allotment, lastAllotment);
                }
                lastAllotment = allotment;
                lastMs = ms;
                if (allotment < MaxMs) {  // whole centiseconds lose under 10 ms a move
                    const std::int64_t shared = std::int64_t{perControl} * (allotment - inc);
                    const std::int64_t kept = ms >= 2000 ? 1000 : 0;
                    EXPECT_LE(shared, ms - kept);
                    EXPECT_GT(shared, ms - kept - 10 * std::int64_t{perControl});
                }
                // The first search after the book: at most three allotments and
                // a tenth of the control's time; a stretch when there is room.
                const std::uint32_t stretched = stretchedAfterBook(allotment, perControl);
                EXPECT_LE(stretched, 3 * std::uint64_t{allotment});
                EXPECT_LE(stretched, std::uint64_t{perControl} * allotment / 10);
                if (perControl >= 10) {
                    EXPECT_GE(stretched, allotment);
                }
                if (perControl >= 30) {
                    EXPECT_EQ(stretched, std::min<std::uint64_t>(3 * std::uint64_t{allotment}, MaxMs));
                }

                // The margin, max(50 ms, 5%), is never waited into; what fits is not cut.
                EXPECT_GE(margin, 50);
                EXPECT_TRUE(margin == MaxMs || 20 * margin > ms - 20) << margin;
                const std::uint32_t wait = allotmentWaitMs(tc, 0);
                EXPECT_LE(wait, allotment);
                EXPECT_TRUE(wait == 0 || wait + margin <= ms) << wait;
                if (allotment + margin <= ms) {
                    EXPECT_EQ(wait, allotment);
                }
                for (std::int64_t used : {std::int64_t{0}, std::int64_t{100}}) {
                    const std::uint64_t wanted = std::min<std::int64_t>(ms, MaxMs) / 2;
                    const std::uint32_t capped = cappedToClock(tc, wanted, used);
                    EXPECT_LE(capped, wanted);
                    EXPECT_TRUE(capped == 0 || used + capped + margin <= ms) << capped;
                    if (used + static_cast<std::int64_t>(wanted) + margin <= ms) {
                        EXPECT_EQ(capped, wanted);
                    }
                }

                // A fail low at the deadline, or found late: extra time when the
                // allotment is over two seconds and the share leaves room.
                const std::int64_t share = inc + ms / 5;
                for (std::int64_t used : {std::int64_t{wait}, std::int64_t{wait} + 1500}) {
                    const std::int64_t extra = failLowExtraMs(tc, true, used);
                    EXPECT_EQ(failLowExtraMs(tc, false, used), 0u);
                    EXPECT_LE(used + extra, std::max(used, share)) << extra;
                    EXPECT_LE(used + extra, std::max(used, ms - margin)) << extra;
                    EXPECT_EQ(extra > 0, allotment > 2000 && used < std::min(share, ms - margin)) << extra;
                }
                // A run of moves that all fail low, each from what the last one left.
                std::int64_t left = ms;
                for (int failing = 1; failing <= 20 && left > 0; ++failing) {
                    TimeControl next = tc;
                    applyClock(next, left / 10);
                    const std::int64_t waited = allotmentWaitMs(next, 0);
                    const std::int64_t used = waited + failLowExtraMs(next, true, waited);
                    EXPECT_LE(used, std::max(waited, inc + next.clockMs / 5)) << failing;
                    EXPECT_TRUE(used == 0 || used < next.clockMs) << failing << ": " << used;
                    left = next.clockMs - used + inc;
                }
            }
        }

    // A fixed time: less a tenth (at most 100 ms), capped only by a clock sent
    // for its move; no extra time; level and st replace each other.
    TimeControl tc;
    EXPECT_FALSE(applyMoveTime(tc, 0));
    EXPECT_FALSE(applyMoveTime(tc, -500));
    for (std::int64_t st : {1, 50, 500, 1500, 30000, 100000000}) {
        SCOPED_TRACE(st);
        ASSERT_TRUE(applyMoveTime(tc, st));
        const std::int64_t wait = allotmentWaitMs(tc, 0);
        EXPECT_LE(wait, st);
        EXPECT_GE(wait, std::max(st - 100, st * 9 / 10));
        EXPECT_EQ(failLowExtraMs(tc, true, wait), 0u);
        applyClock(tc, 100);
        EXPECT_EQ(allotmentWaitMs(tc, 0), std::min<std::uint32_t>(wait, 1000 - clockMarginMs(1000)));
        tc.clockForMove = false;  // that clock was for the last move
        EXPECT_EQ(allotmentWaitMs(tc, 0), wait);
    }
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
    Board& b = board();
    searchPool.main().mateFound = true;
    ASSERT_TRUE(setupPosition(StartPositionText, false));
    EXPECT_EQ(b.historyTop, b.history);
    EXPECT_EQ(0, std::memcmp(b.snapshot.board, b.position.board, 64));
    EXPECT_FALSE(searchPool.main().mateFound);

    for (const char* m : {"e2e4", "c7c5", "g1f3"}) playMove(textToMove(m));
    ttStore(b.position, 6, Lower, 25, textToMove("d7d6"));
    const Position positionBefore = b.position;
    const GameSnapshot snapshotBefore = b.snapshot;
    const HistoryEntry* const top = b.historyTop;
    const std::vector<HistoryEntry> historyBefore(static_cast<const HistoryEntry*>(b.history), top + 1);
    for (const char* bad : {"", "rnbqkbnr/pppppppp/0/8/8/8/PPPPPPPP/RNBQKBNR w - -",
                            "4k3/4Q3/8/8/8/8/8/4K3 w - -"}) {  // the side that just moved in check
        SCOPED_TRACE(bad);
        EXPECT_FALSE(setupPosition(bad, false));
        EXPECT_EQ(0, std::memcmp(&b.position, &positionBefore, sizeof b.position));
        EXPECT_EQ(0, std::memcmp(&b.snapshot, &snapshotBefore, sizeof b.snapshot));
        ASSERT_EQ(b.historyTop - b.history + 1, static_cast<long>(historyBefore.size()));
        EXPECT_EQ(0, std::memcmp(b.history, historyBefore.data(), historyBefore.size() * sizeof(HistoryEntry)));
        ASSERT_TRUE(ttFind(b.position));
        EXPECT_EQ(ttFind(b.position)->score(), 25);
        EXPECT_EQ(gamePlies(), 3);
    }

    ASSERT_TRUE(setupPosition("rnbqkbnr/ppp1pppp/8/8/3pP3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 3", false));
    EXPECT_EQ(b.position.epSquare, 44);
    EXPECT_EQ(b.position.hashKey, computeHashKey(b.position, 27));
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
        EXPECT_EQ(gameInCheck(), inCheck) << fen;
    }
    // a change of the side to move drops the en-passant square and starts a fresh record
    playInProcess(StartPositionText, {"g1f3", "g8f6", "e2e4"});
    const std::uint64_t keyWithoutEp = b.position.hashKey ^ zobristKeys[0][44];
    setSideToMove(White);
    EXPECT_EQ(b.snapshot.sideToMove, White);
    EXPECT_EQ(b.position.epSquare, 0);
    EXPECT_EQ(b.position.hashKey, keyWithoutEp);
    EXPECT_EQ(b.historyTop, b.history);
    EXPECT_EQ(b.history[0].hashKey, keyWithoutEp);
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
    Board& b = board();
    std::vector<std::uint64_t> keys = {b.position.hashKey};
    std::vector<int> reversible = {0};
    std::vector<std::set<std::string>> legal = {legalMoveTexts()};
    const auto expectAsPlayed = [&](std::size_t ply) {
        ASSERT_EQ(b.position.hashKey, keys[ply]) << ply;
        ASSERT_EQ(b.historyTop->hashKey, keys[ply]) << ply;
        ASSERT_EQ(b.historyTop->reversibleCount, reversible[ply]) << ply;
        ASSERT_LE(b.historyTop - b.history, HistorySize - SearchRoom) << ply;
        ASSERT_EQ(legalMoveTexts(), legal[ply]) << ply;
        for (int count : {1, 2}) ASSERT_EQ(isDraw(b, count), drawnInWholeGame(keys, reversible, ply, count)) << ply << " " << count;
    };
    int compactions = 0, draws = 0, fiftyMoveDraws = 0;
    Move last = 0;
    for (std::size_t ply = 0; ply < game.size(); ++ply) {
        ASSERT_TRUE(legal.back().count(game[ply])) << ply << ' ' << game[ply];
        const HistoryEntry* before = b.historyTop;
        playMove(last = textToMove(game[ply]));
        compactions += b.historyTop <= before;
        keys.push_back(b.position.hashKey);
        reversible.push_back(game[ply][0] == 'g' || game[ply][0] == 'f' ? reversible.back() + 1 : 0);
        legal.push_back(legalMoveTexts());
        ASSERT_NO_FATAL_FAILURE(expectAsPlayed(ply + 1));
        draws += isDraw(b, 2);
        fiftyMoveDraws += reversible.back() > 100;
    }
    EXPECT_EQ(compactions, 2);
    EXPECT_GT(draws, fiftyMoveDraws);
    EXPECT_GT(fiftyMoveDraws, 0);
    EXPECT_EQ((b.historyTop - 1)->move, last);  // kept for the search's mate test

    const Position whole = b.position;
    EXPECT_FALSE(takeBack(static_cast<int>(game.size()) + 1));
    EXPECT_EQ(std::memcmp(&whole, &b.position, sizeof b.position), 0);
    for (std::size_t ply = game.size(); ply > 0;) {
        const int plies = ply % 3 == 0 || ply == 1 ? 1 : 2;
        ASSERT_TRUE(takeBack(plies)) << ply;
        ply -= static_cast<std::size_t>(plies);
        ASSERT_NO_FATAL_FAILURE(expectAsPlayed(ply));
        ASSERT_EQ(b.snapshot.sideToMove, ply % 2 == 0 ? White : Black) << ply;
        if (ply % 97 == 0) { EXPECT_TRUE(positionIsConsistent(b)) << ply; }
    }
    EXPECT_FALSE(takeBack(1));
}

}  // namespace
