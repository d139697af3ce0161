// The move cycle through the engine program: one move per turn and only on
// the engine's turn, quit at any point, mate and draw claims that are true on
// the board, time limits, and the log of a whole short game.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
#include <vector>

#include "board/fen.h"
#include "support/chess.h"
#include "search/search.h"
#include "support/engine_process.h"

namespace {
using namespace testsupport;

using testsupport::EngineProcess;
using Clock = std::chrono::steady_clock;

const std::string DrawClaim = "1/2-1/2 {Draw: repetition or statemate}";

// The text of the next "move" line (failing the test without one).
std::string nextMove(EngineProcess& engine, std::chrono::milliseconds timeout = 3000ms) {
    const auto line = engine.readLine(timeout);
    EXPECT_TRUE(line && isMoveLine(*line)) << (line ? *line : "(nothing)");
    return line && isMoveLine(*line) ? line->substr(5) : "";
}

// An engine after the handshake with a game set up by `setup` ("new" or a
// setboard line); the book report of a start position (there is no book) read.
void begin(EngineProcess& engine, const std::string& setup) {
    ASSERT_TRUE(engine.handshake());
    engine.send(setup);
    const std::vector<std::string> said = linesBeforePong(engine, 0);
    EXPECT_TRUE(said.empty() || said == std::vector<std::string>{BookError});
}

TEST(MoveCycle, GoGivesOneLegalMove) {
    playInProcess(StartPositionText, {});
    const std::set<std::string> legal = legalMoveTexts();
    EngineProcess engine;
    begin(engine, "new");
    engine.send("go");  // no time sent: the search still completes an iteration
    EXPECT_TRUE(legal.count(nextMove(engine)));
    EXPECT_EQ(engine.readQuiet(300ms), "");
    engine.send("quit");
    EXPECT_EQ(engine.waitExit(), 0);
}

TEST(MoveCycle, RepliesOnlyWhenWaiting) {
    {
        EngineProcess engine;
        begin(engine, "new");
        engine.send("e2e4");  // after new the engine waits for the opponent's move
        const std::string reply = nextMove(engine);
        playInProcess(StartPositionText, {"e2e4"});
        EXPECT_TRUE(legalMoveTexts().count(reply)) << reply;
        EXPECT_EQ(engine.readQuiet(300ms), "");
        engine.send("quit");
        EXPECT_EQ(engine.waitExit(), 0);
    }
    {
        EngineProcess engine;
        begin(engine, "new");
        engine.send("force");
        engine.send("e2e4");
        engine.send("e7e5");
        EXPECT_EQ(engine.readQuiet(300ms), "");  // in force mode moves are only made
        engine.send("go");
        const std::string reply = nextMove(engine);
        playInProcess(StartPositionText, {"e2e4", "e7e5"});
        EXPECT_TRUE(legalMoveTexts().count(reply)) << reply;
        engine.send("quit");
        EXPECT_EQ(engine.waitExit(), 0);
    }
}

TEST(MoveCycle, RepeatedGoPlaysEachTurn) {
    EngineProcess engine;
    begin(engine, "new");
    std::vector<std::string> played;
    for (int turn = 0; turn < 4; ++turn) {
        engine.send("go");
        played.push_back(nextMove(engine));
        playInProcess(StartPositionText, std::vector<std::string>(played.begin(), played.end() - 1));
        EXPECT_TRUE(legalMoveTexts().count(played.back())) << turn << ' ' << played.back();
    }
    engine.send("quit");
    EXPECT_EQ(engine.waitExit(), 0);
    EXPECT_EQ(engine.readQuiet(), "");
}

TEST(MoveCycleTiming, QuitIsPromptAnywhere) {
    const auto quitTakes = [](EngineProcess& engine) {
        const auto start = Clock::now();
        engine.send("quit");
        EXPECT_EQ(engine.waitExit(2000ms), 0);
        return Clock::now() - start;
    };
    {
        EngineProcess engine;  // right after start-up
        engine.send("xboard");
        EXPECT_LT(quitTakes(engine), 1000ms);
    }
    {
        EngineProcess engine;  // in force mode
        begin(engine, "new");
        engine.send("force");
        engine.send("d2d4");
        EXPECT_LT(quitTakes(engine), 1000ms);
    }
    {
        EngineProcess engine;  // after a search
        begin(engine, "new");
        engine.send("level 40 5 0");
        engine.send("time 1000");
        engine.send("otim 1000");
        engine.send("go");
        nextMove(engine);
        EXPECT_LT(quitTakes(engine), 1000ms);
    }
}

TEST(MoveCycle, MateInOneIsPlayedAndClaimed) {
    struct Case {
        const char* fen;
        const char* mate;
        const char* claim;
    };
    for (const Case& c : {Case{"6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - 0 1", "a1a8", "1-0 {Drozak mates 1}"},
                          Case{"r5k1/5ppp/8/8/8/8/5PPP/6K1 b - - 0 1", "a8a1", "0-1 {Drozak mates 1}"},
                          Case{"7k/8/5KQ1/8/8/8/8/8 w - -", "g6g7", "1-0 {Drozak mates 1}"}}) {
        SCOPED_TRACE(c.fen);
        EngineProcess engine;
        begin(engine, std::string("setboard ") + c.fen);
        engine.send("go");
        EXPECT_EQ(nextMove(engine), c.mate);
        EXPECT_EQ(engine.readLine(), c.claim);
        EXPECT_EQ(engine.readQuiet(300ms), "");
        engine.send("quit");
        EXPECT_EQ(engine.waitExit(), 0);
        const auto lines = engine.logLines();
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[lines.size() - 2].rfind(std::string("-M: ") + c.claim, 0), 0u) << lines[lines.size() - 2];
    }
}

TEST(MoveCycle, NoClaimWithoutMateOrDraw) {
    // a won position with no mate in one: the move comes alone
    EngineProcess engine;
    begin(engine, "setboard 7k/8/8/8/8/8/2Q5/K7 w - -");
    engine.send("level 40 5 0");
    engine.send("time 1000");
    engine.send("otim 1000");
    engine.send("go");
    nextMove(engine);
    EXPECT_EQ(engine.readQuiet(300ms), "");
    engine.send("quit");
    EXPECT_EQ(engine.waitExit(), 0);
}

TEST(MoveCycle, ClaimsWhenTheEngineHasNoMove) {
    struct Case {
        const char* fen;
        std::string claim;
    };
    for (const Case& c : {Case{"R5k1/5ppp/8/8/8/8/5PPP/6K1 b - -", "1-0 {White mates 0}"},
                          Case{"6k1/5ppp/8/8/8/8/5PPP/r5K1 w - -", "0-1 {Black mates 0}"},
                          Case{"k7/8/1Q6/8/8/8/8/7K b - -", DrawClaim},   // stalemate
                          Case{"k7/8/8/8/8/8/8/6BK w - -", DrawClaim}}) {  // too little to mate
        SCOPED_TRACE(c.fen);
        EngineProcess engine;
        begin(engine, std::string("setboard ") + c.fen);
        engine.send("go");
        EXPECT_EQ(engine.readLine(), c.claim);
        EXPECT_EQ(engine.readQuiet(300ms), "");
        engine.send("quit");
        EXPECT_EQ(engine.waitExit(), 0);
    }
}

// White shuffles a knight; the lone black king has one legal move each turn.
// Third occurrences: the engine's own move makes one here, the opponent's move
// in the next test.
TEST(MoveCycle, EngineMoveRepeatingThriceIsClaimed) {
    EngineProcess engine;
    begin(engine, "setboard 7k/R7/8/8/8/8/8/1N1K1R2 w - - 0 1");
    engine.send("b1c3");
    engine.send("go");
    EXPECT_EQ(nextMove(engine), "h8g8");
    const std::vector<std::string> white = {"c3b1", "b1c3", "c3b1"};
    const std::vector<std::string> black = {"g8h8", "h8g8", "g8h8"};
    for (std::size_t i = 0; i < white.size(); ++i) {
        engine.send(white[i]);
        EXPECT_EQ(nextMove(engine), black[i]) << i;
    }
    // the last reply repeated the set-up position for the third time
    EXPECT_EQ(engine.readLine(), DrawClaim);
    EXPECT_EQ(engine.readQuiet(300ms), "");
    engine.send("quit");
    EXPECT_EQ(engine.waitExit(), 0);
    const auto lines = engine.logLines();
    EXPECT_EQ(lines[lines.size() - 2], "-M: 1/2-1/2 {Draw: repetition} (case 4)");
}

TEST(MoveCycle, OpponentMoveRepeatingThriceIsClaimed) {
    EngineProcess engine;
    begin(engine, "setboard 7k/R7/8/8/8/N7/8/3K1R2 w - - 0 1");
    engine.send("a3b1");
    engine.send("go");
    EXPECT_EQ(nextMove(engine), "h8g8");
    const std::vector<std::string> white = {"b1c3", "c3b1", "b1c3"};
    const std::vector<std::string> black = {"g8h8", "h8g8", "g8h8"};
    for (std::size_t i = 0; i < white.size(); ++i) {
        engine.send(white[i]);
        EXPECT_EQ(nextMove(engine), black[i]) << i;
    }
    EXPECT_EQ(engine.readQuiet(200ms), "");  // no repetition claimed yet
    engine.send("c3b1");  // the position after a3b1, a third time
    EXPECT_EQ(engine.readLine(), DrawClaim);
    EXPECT_EQ(engine.readQuiet(300ms), "");  // and no move with it
    engine.send("quit");
    EXPECT_EQ(engine.waitExit(), 0);
    const auto lines = engine.logLines();
    EXPECT_EQ(lines[lines.size() - 2], "-M: 1/2-1/2 {Draw: repetition or statemate} (case 1)");
}

TEST(MoveCycleTiming, ShortClocksGiveQuickMoves) {
    EngineProcess engine;
    begin(engine, "new");
    engine.send("level 40 0:30 0");
    for (const char* clock : {"150", "5", "-100"}) {
        SCOPED_TRACE(clock);
        engine.send(std::string("time ") + clock);
        engine.send(std::string("otim ") + clock);
        const auto start = Clock::now();
        engine.send("go");
        nextMove(engine);
        // 1.5 s on the clock: 30 ms allotted, and never more than the clock less its margin
        EXPECT_LT(Clock::now() - start, 1000ms);
    }
    engine.send("quit");
    EXPECT_EQ(engine.waitExit(), 0);
}

TEST(MoveCycle, LogOfAWholeShortGame) {
    EngineProcess engine;
    begin(engine, "new");
    engine.send("level 40 1 0");
    engine.send("time 200");
    engine.send("otim 200");
    engine.send("e2e4");
    const std::string first = nextMove(engine);
    engine.send("time 190");
    engine.send("otim 190");
    engine.send("g1f3");
    const std::string second = nextMove(engine);
    engine.send("force");
    engine.send("quit");
    EXPECT_EQ(engine.waitExit(), 0);

    const std::vector<std::string> game = {"e2e4", first, "g1f3", second};
    const std::vector<std::string> keys = playInProcess(StartPositionText, game);
    char fen[128];
    playInProcess(StartPositionText, {"e2e4", first, "g1f3"});
    positionText(fen);
    // the search's own lines vary with its timing; every other line is fixed
    std::vector<std::string> lines;
    for (const std::string& line : engine.logLines())
        if (line.rfind("-E:", 0) != 0 && line.rfind("--- MATE", 0) != 0) lines.push_back(line);
    const std::vector<std::string> expected = {
        "::cmd:: protover 2", "::cmd:: new", "-\ttellusererror BOOK ERROR!", "", "::cmd:: ping 0",
        "::cmd:: level 40 1 0", "::cmd:: time 200", "::cmd:: otim 200", "::cmd:: e2e4", keys[0],
        "-FEN:\trnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3", keys[1], "move " + first,
        "::cmd:: time 190", "::cmd:: otim 190", "::cmd:: g1f3", keys[2], std::string("-FEN:\t") + fen, keys[3],
        "move " + second, "::cmd:: force", "::cmd:: quit"};
    EXPECT_EQ(lines, expected);
}

// More than a thousand plies through the protocol: the history never runs out
// and the engine still plays at the end.
TEST(MoveCycle, GameOfMoreThanAThousandPlies) {
    EngineProcess engine;
    begin(engine, "new");
    engine.send("force");
    const std::vector<std::string> pawns = {"a2a3", "a7a6", "b2b3", "b7b6", "c2c3", "c7c6", "d2d3", "d7d6",
                                            "e2e3", "e7e6", "h2h3", "h7h6"};
    const std::vector<std::string> knights = {"g1f3", "g8f6", "f3g1", "f6g8"};
    std::string input;
    int plies = 0;
    for (std::size_t p = 0; p < pawns.size(); p += 2) {
        for (int i = 0; i < 96; ++i, ++plies) input += knights[i % 4] + "\n";
        input += pawns[p] + "\n" + pawns[p + 1] + "\n";
        plies += 2;
    }
    for (int i = 0; i < 600; ++i, ++plies) input += knights[i % 4] + "\n";
    input += "g2g3\n";  // past the fifty-move limit a pawn move makes the game go on
    ++plies;
    ASSERT_GT(plies, 1100);
    engine.sendRaw(input);
    engine.send("go");
    const std::string reply = nextMove(engine, 10000ms);
    EXPECT_FALSE(reply.empty());
    engine.send("quit");
    EXPECT_EQ(engine.waitExit(), 0);
    const std::regex keyLine("[0-9a-f]{1,8} [0-9a-f]{1,8}");
    int keyLines = 0, illegal = 0;
    for (const std::string& line : engine.logLines()) {
        keyLines += std::regex_match(line, keyLine);
        illegal += line.rfind("-M: Illegal", 0) == 0;
    }
    EXPECT_EQ(illegal, 0);
    EXPECT_EQ(keyLines, plies + 1);  // the engine's move too
}

}  // namespace
