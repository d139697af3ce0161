// What interfaces use besides playing: analysis, take-backs, pondering and the
// table size, through the engine program over pipes.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "support/chess.h"
#include "support/engine_process.h"

namespace {
using namespace testsupport;

using testsupport::EngineProcess;
using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;

const std::regex thinkingLayout("(\\d+) (-?\\d+) (\\d+) (\\d+) ([a-h][1-8][a-h][1-8][qnrb]?)( .*)?");

bool isThinking(const std::string& line) { return std::regex_match(line, thinkingLayout); }

// The first move of every thinking line, each of which must be one.
std::set<std::string> firstMoves(const Lines& lines) {
    std::set<std::string> moves;
    for (const std::string& line : lines) {
        std::smatch m;
        EXPECT_TRUE(std::regex_match(line, m, thinkingLayout)) << line;
        if (!m.empty()) moves.insert(m[5]);
    }
    return moves;
}

// Thinking lines until one is at least `depth` deep.
Lines thinkingTo(EngineProcess& engine, int depth) {
    return engine.readUntil([depth](const std::string& l) { return isThinking(l) && std::stoi(l) >= depth; }, 5000ms);
}

std::set<std::string> legalAfter(const char* fen, const Lines& moves) {
    playInProcess(fen, moves);
    return legalMoveTexts();
}

// Analysis follows the position through moves, take-backs and setups,
// answers `.` and `ping` at once, shows its thinking without `post`, never
// moves, and leaves the engine in force mode on `exit`.
TEST(Analysis, FollowsThePositionAndNeverMoves) {
    EngineProcess engine;
    ASSERT_TRUE(engine.handshake());
    engine.send("new");
    engine.send("force");
    engine.send("e2e4");
    EXPECT_EQ(linesBeforePong(engine, 1), Lines{BookError});
    engine.send("analyze");
    Lines lines = thinkingTo(engine, 4);
    ASSERT_FALSE(lines.empty());
    for (const std::string& move : firstMoves(lines)) EXPECT_TRUE(legalAfter(StartPositionText, {"e2e4"}).count(move)) << move;

    engine.send(".");
    const auto status = engine.readUntil([](const std::string& l) { return l.rfind("stat01:", 0) == 0; });
    ASSERT_FALSE(status.empty());
    std::smatch m;
    ASSERT_TRUE(std::regex_match(status.back(), m, std::regex("stat01: (\\d+) (\\d+) (\\d+) (\\d+) (\\d+) ([a-h][1-8][a-h][1-8])")))
        << status.back();
    EXPECT_GE(std::stoi(m[3]), 4);                     // the depth it is at
    EXPECT_LE(std::stoi(m[4]), std::stoi(m[5]));       // moves left of the root's
    EXPECT_TRUE(legalAfter(StartPositionText, {"e2e4"}).count(m[6])) << m[6];
    EXPECT_TRUE(std::all_of(status.begin(), status.end() - 1, isThinking));

    engine.send("e7e5");  // a move restarts it on the new position
    engine.send("ping 2");
    lines = engine.readUntil([](const std::string& l) { return l == "pong 2"; }, 5000ms);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "pong 2");
    lines = thinkingTo(engine, 3);
    for (const std::string& move : firstMoves(lines))
        EXPECT_TRUE(legalAfter(StartPositionText, {"e2e4", "e7e5"}).count(move)) << move;

    engine.send("e2e5");  // not legal: refused, the analysis goes on
    lines = engine.readUntil([](const std::string& l) { return l.rfind("Illegal", 0) == 0; });
    EXPECT_EQ(lines.back(), "Illegal move: e2e5");
    engine.send("undo");
    linesBeforePong(engine, 3);  // what was said before the take-back
    lines = thinkingTo(engine, 3);
    for (const std::string& move : firstMoves(lines)) EXPECT_TRUE(legalAfter(StartPositionText, {"e2e4"}).count(move)) << move;

    engine.send("setboard 7k/5Q2/6K1/8/8/8/8/8 b - -");  // stalemate: nothing to show
    linesBeforePong(engine, 4);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(linesBeforePong(engine, 5), Lines{});
    engine.send("setboard 6k1/5ppp/8/8/8/8/8/K2R4 w - -");  // mate in one: found, and no move played
    lines = engine.readUntil([](const std::string& l) { return isThinking(l) && l.find(" 100001 ") != std::string::npos; });
    EXPECT_EQ(firstMoves({lines.back()}), std::set<std::string>{"d1d8"});
    std::this_thread::sleep_for(200ms);
    engine.send("exit");  // force mode: a move is made, not answered
    engine.send("d1d7");
    lines = linesBeforePong(engine, 6);
    EXPECT_TRUE(std::all_of(lines.begin(), lines.end(), isThinking));
    engine.send("quit");
    EXPECT_EQ(engine.waitExit(), 0);
    for (const std::string& line : engine.logLines()) EXPECT_NE(line.rfind("move ", 0), 0u) << line;
    EXPECT_NE(std::find(engine.logLines().begin(), engine.logLines().end(), "::cmd:: d1d7"), engine.logLines().end());
}

// undo and remove give back the exact position of before: its key (in the
// log when the game goes on) and its claims; never more plies than the game
// holds, and none from before a change of the side to move.
TEST(TakeBack, UndoAndRemoveGiveBackThePositionAndItsClaims) {
    const char* mateInOne = "6k1/5ppp/8/8/8/8/8/K2R4 w - -";
    EngineProcess engine;
    ASSERT_TRUE(engine.handshake());
    engine.send(std::string("setboard ") + mateInOne);
    engine.send("undo");  // nothing to take back
    engine.send("st 5");
    engine.send("go");
    EXPECT_EQ(linesBeforePong(engine, 1), (Lines{"move d1d8", "1-0 {Drozak mates 1}"}));
    engine.send("force");
    engine.send("undo");  // the mating move taken back
    engine.send("a1b1");
    engine.send("g8h8");
    engine.send("remove");  // both again: the mate is there once more
    engine.send("go");
    EXPECT_EQ(linesBeforePong(engine, 2), (Lines{"move d1d8", "1-0 {Drozak mates 1}"}));

    // Black's king shuffles in the corner: after c3b1 the position stands
    // there a third time, which Black claims instead of moving; taken back and
    // replaced, the game goes on; back again, the claim with it.
    const char* shuffle = "7k/R7/8/8/8/N7/8/3K1R2 w - - 0 1";
    const std::string draw = "1/2-1/2 {Draw: repetition or statemate}";
    engine.send(std::string("setboard ") + shuffle);
    for (const char* m : {"a3b1", "h8g8", "b1c3", "g8h8", "c3b1", "h8g8", "b1c3", "g8h8", "c3b1"}) engine.send(m);
    engine.send("go");
    EXPECT_EQ(linesBeforePong(engine, 3), Lines{draw});
    engine.send("force");
    engine.send("undo");
    engine.send("c3e4");
    engine.send("go");
    EXPECT_EQ(linesBeforePong(engine, 4), Lines{"move h8g8"});
    engine.send("force");
    engine.send("remove");
    engine.send("c3b1");
    engine.send("go");
    EXPECT_EQ(linesBeforePong(engine, 5), Lines{draw});
    engine.send("force");
    engine.send("white");  // the record starts again here
    engine.send("undo");
    EXPECT_EQ(linesBeforePong(engine, 6), Lines{});
    engine.send("quit");
    EXPECT_EQ(engine.waitExit(), 0);

    Lines takeBacks;
    const Lines log = engine.logLines();
    for (const std::string& l : log)
        if (l.rfind("-M: took back", 0) == 0 || l.rfind("-M: cannot take back", 0) == 0) takeBacks.push_back(l);
    EXPECT_EQ(takeBacks, (Lines{"-M: cannot take back 1 ply: the game holds 0", "-M: took back 1 ply",
                                "-M: took back 2 plies", "-M: took back 1 ply", "-M: took back 2 plies",
                                "-M: cannot take back 1 ply: the game holds 0"}));
    // after the first take-back, a1b1 and g8h8 were made on the exact position before the mate
    const Lines keys = playInProcess(mateInOne, {"a1b1", "g8h8"});
    const auto at = std::find(log.begin(), log.end(), "::cmd:: a1b1");
    ASSERT_LT(at + 3, log.end());
    EXPECT_EQ(*(at + 1), keys[0]);
    EXPECT_EQ(*(at + 3), keys[1]);
}

// Pondering: after its move the engine plays the reply it expects and thinks
// on; the expected move continues that one search, another move ends it.
TEST(PonderingTiming, HitMissPingAndQuit) {
    const char* fen = "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4";
    EngineProcess engine;
    ASSERT_TRUE(engine.handshake());
    engine.send(std::string("setboard ") + fen);
    engine.send("hard");
    engine.send("st 1");
    engine.send("go");
    Lines lines = engine.readUntil(isMoveLine, 3000ms);
    ASSERT_FALSE(lines.empty());
    std::this_thread::sleep_for(200ms);
    auto ponderMove = [&] {
        std::string move;
        for (const std::string& l : engine.logLines())
            if (l.rfind("-E: PONDERING MOVE: ", 0) == 0) move = l.substr(20);
        return move;
    };
    const std::string expected = ponderMove();
    ASSERT_FALSE(expected.empty());
    auto start = Clock::now();
    EXPECT_EQ(linesBeforePong(engine, 1), Lines{});  // answered while pondering
    EXPECT_LT(Clock::now() - start, 500ms);

    // A hit: the reply within the allotment (0.9 s) and half a second, from
    // the search that ran already.
    std::this_thread::sleep_for(300ms);
    int searches = 0;
    for (const std::string& l : engine.logLines()) searches += l.rfind("-FEN:", 0) == 0;
    start = Clock::now();
    engine.send(expected);
    lines = engine.readUntil(isMoveLine, 3000ms);
    EXPECT_LT(Clock::now() - start, 1400ms);
    ASSERT_FALSE(lines.empty());
    std::this_thread::sleep_for(200ms);
    Lines log = engine.logLines();
    int searchesAfter = 0;
    for (const std::string& l : log) searchesAfter += l.rfind("-FEN:", 0) == 0;
    EXPECT_EQ(searchesAfter, searches + 1);  // only the next ponder search
    EXPECT_NE(std::find(log.begin(), log.end(), "-GOOD PONDER"), log.end());

    // A miss: the expected move is taken back, the real one played and answered.
    const std::string second = ponderMove();
    ASSERT_FALSE(second.empty());
    ASSERT_NE(second, expected);
    // the game so far, from the log: the engine's moves and the interface's
    Lines played;
    for (const std::string& l : log)
        if (l.rfind("move ", 0) == 0 || (l.rfind("::cmd:: ", 0) == 0 && looksLikeMove(l.substr(8).c_str())))
            played.push_back(l.rfind("move ", 0) == 0 ? l.substr(5) : l.substr(8));
    const std::set<std::string> replies = legalAfter(fen, played);
    std::string other;
    for (const std::string& r : replies)
        if (r != second) other = r;
    ASSERT_FALSE(other.empty());
    engine.send(other);
    lines = engine.readUntil(isMoveLine, 3000ms);
    ASSERT_FALSE(lines.empty());
    played.push_back(other);
    EXPECT_TRUE(legalAfter(fen, played).count(lines.back().substr(5))) << lines.back();
    log = engine.logLines();
    EXPECT_NE(std::find(log.begin(), log.end(), "-BAD PONDER"), log.end());

    std::this_thread::sleep_for(200ms);  // pondering again, on the next reply
    start = Clock::now();
    engine.send("quit");
    EXPECT_EQ(engine.waitExit(2000ms), 0);
    EXPECT_LT(Clock::now() - start, 1000ms);
}

// memory N: the table's size in the log, and the engine plays on with it.
TEST(Memory, TableSizeFromTheInterface) {
    EngineProcess engine;
    ASSERT_TRUE(engine.handshake());
    engine.send("setboard r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4");
    engine.send("sd 4");
    engine.send("st 10");
    for (const char* size : {"memory 1", "memory 16", "memory x"}) {
        engine.send(size);
        engine.send("go");
        const Lines lines = linesBeforePong(engine, 1);
        engine.send("force");
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_TRUE(isMoveLine(lines[0]));
    }
    engine.send("quit");
    EXPECT_EQ(engine.waitExit(), 0);
    Lines sizes;
    for (const std::string& l : engine.logLines())
        if (l.rfind("-M: table", 0) == 0 || l.rfind("-M: memory", 0) == 0) sizes.push_back(l);
    EXPECT_EQ(sizes, (Lines{"-M: table 1 MiB, 16384 buckets a side", "-M: table 16 MiB, 262144 buckets a side",
                            "-M: memory without a size, ignored"}));
}

}  // namespace
