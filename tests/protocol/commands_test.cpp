// The command loop as an interface sees it: the engine program over pipes in
// a fresh directory. Handshake bytes, the log of a command sequence, exit
// codes, SIGINT, malformed and over-long input, moves before any position,
// illegal moves, prefix commands and the words of a result.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "protocol/protocol_checks.h"
#include "support/engine_process.h"

namespace {

using testsupport::EngineProcess;

const std::string Features = "\nfeature done=0\nfeature setboard=1\nfeature done=1\n";
const std::string BookError = "tellusererror BOOK ERROR!";

// Whether the engine still reads and answers: an illegal move gets its reply.
void expectAnswering(EngineProcess& engine) {
    engine.send("setboard 4k3/8/8/8/8/8/8/4K3 w - -");
    engine.send("e1e3");
    const auto lines = engine.readUntil([](const std::string& l) { return l.rfind("Illegal move", 0) == 0; });
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "Illegal move: e1e3");
}

TEST(CommandLoop, HandshakeBytes) {
    {
        EngineProcess engine({.oldLog = "a line of an earlier run\n"});
        engine.send("xboard");
        EXPECT_EQ(engine.readRawUntil("feature done=1\n"), Features);
        // the log is there, emptied, before anything is logged
        EXPECT_TRUE(std::filesystem::exists(engine.directory() / "Drozak.log"));
        EXPECT_EQ(engine.logText(), "");
        engine.send("quit");
        EXPECT_EQ(engine.waitExit(), 0);
        EXPECT_EQ(engine.readQuiet(), "");
        EXPECT_EQ(engine.logText(), "::cmd:: quit\n");  // the handshake's token is not logged
    }
    {
        EngineProcess engine;
        engine.send("uci");
        EXPECT_EQ(engine.readRawUntil("feature done=1\n"), "Engine works only with xboard protocol ver. 2\n" + Features);
        engine.send("quit");
        EXPECT_EQ(engine.waitExit(), 0);
    }
    {
        EngineProcess engine;  // only the first six characters count
        engine.send("xboardish");
        EXPECT_EQ(engine.readRawUntil("feature done=1\n"), Features);
        engine.send("quit");
        EXPECT_EQ(engine.waitExit(), 0);
    }
}

TEST(CommandLoop, LogOfACommandSequence) {
    const std::vector<std::string> keys = playInProcess(StartPositionText, {"e2e4", "e7e5", "g1f3"});
    const std::vector<std::string> castled = playInProcess("4k3/8/8/8/8/8/8/4K2R w K -", {"e1g1"});

    EngineProcess engine;
    ASSERT_TRUE(engine.handshake());
    for (const char* command : {"new", "force", "e2e4", "e7e5", "g1f3", "e2e5", "setboard 4k3/8/8/8/8/8/8/4K2R w K -",
                                "setboard 8/8/8/8/8/8/8/8 w - -", "e1g1", "quit"})
        engine.send(command);
    EXPECT_EQ(engine.waitExit(), 0);
    EXPECT_EQ(engine.readQuiet(), BookError + "\nIllegal move: e2e5\n" + BookError + "\n");
    const std::vector<std::string> expected = {
        "::cmd:: protover", "::cmd:: 2", "::cmd:: new", "-\ttellusererror BOOK ERROR!", "", "::cmd:: force",
        "::cmd:: e2e4", keys[0], "::cmd:: e7e5", keys[1], "::cmd:: g1f3", keys[2], "::cmd:: e2e5",
        "-M: Illegal move: e2e5", "::cmd:: setboard", "setboard  4k3/8/8/8/8/8/8/4K2R w K -", "",
        "-\ttellusererror BOOK ERROR!", "", "::cmd:: setboard", "setboard  8/8/8/8/8/8/8/8 w - -", "",
        "-M: tellusererror Illegal position",
        // the rejected text left the rook's position: castling is legal there
        "::cmd:: e1g1", castled[0], "::cmd:: quit"};
    EXPECT_EQ(engine.logLines(), expected);
}

TEST(CommandLoop, ExitsWithZeroOnQuitAndOnEndOfInput) {
    {
        EngineProcess engine;
        ASSERT_TRUE(engine.handshake());
        engine.send("new");
        engine.closeInput();
        EXPECT_EQ(engine.waitExit(), 0);
        const auto lines = engine.logLines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), "-M: end of input");
    }
    {
        EngineProcess engine;  // no input at all
        engine.closeInput();
        EXPECT_EQ(engine.waitExit(), 0);
        EXPECT_EQ(engine.readQuiet(), "Engine works only with xboard protocol ver. 2\n" + Features);
    }
    {
        EngineProcess engine;  // the last line without its newline
        engine.sendRaw("xboard\nnew\nquit");
        engine.closeInput();
        EXPECT_EQ(engine.waitExit(), 0);
        EXPECT_EQ(engine.logLines().back(), "::cmd:: quit");
    }
}

TEST(CommandLoop, SigintIsIgnored) {
    EngineProcess engine;
    ASSERT_TRUE(engine.handshake());
    engine.signal(SIGINT);
    engine.send("new");
    EXPECT_EQ(engine.readLine(), BookError);
    engine.signal(SIGINT);
    engine.send("go");  // xboard interrupts searches too
    engine.signal(SIGINT);
    const auto move = engine.readLine();
    ASSERT_TRUE(move);
    EXPECT_EQ(move->rfind("move ", 0), 0u) << *move;
    engine.signal(SIGINT);
    expectAnswering(engine);
    engine.send("quit");
    EXPECT_EQ(engine.waitExit(), 0);
}

TEST(CommandLoop, OverlongTokensAndLinesAreCutAndLogged) {
    EngineProcess engine;
    ASSERT_TRUE(engine.handshake());
    const std::string longToken(300, 'x');
    engine.send(longToken);
    engine.send("new" + std::string(400, 'w'));  // no new: a cut token is no command
    engine.send(std::string(100000, 'q'));
    // a setboard line past the buffer: rejected whole, its tail never read as commands
    const std::string fen = "4k3/8/8/8/8/8/8/4K2R w K -";
    engine.send("setboard " + fen + std::string(260, ' ') + "quit");
    engine.send("setboard " + fen);
    EXPECT_EQ(engine.readLine(), BookError);
    engine.send("e1g1");  // legal in the position the second setboard set up
    expectAnswering(engine);
    engine.send("quit");
    EXPECT_EQ(engine.waitExit(), 0);
    EXPECT_EQ(engine.readQuiet(), "");

    const auto lines = engine.logLines();
    ASSERT_GE(lines.size(), 14u);
    const std::string tooLong = "-M: token longer than 255 characters, ignored";
    EXPECT_EQ(lines[2], "::cmd:: " + std::string(255, 'x'));
    EXPECT_EQ(lines[3], tooLong);
    EXPECT_EQ(lines[4], "::cmd:: new" + std::string(252, 'w'));
    EXPECT_EQ(lines[5], tooLong);
    EXPECT_EQ(lines[6], "::cmd:: " + std::string(255, 'q'));
    EXPECT_EQ(lines[7], tooLong);
    EXPECT_EQ(lines[8], "::cmd:: setboard");
    EXPECT_EQ(lines[9], "setboard  " + fen + std::string(254 - 1 - fen.size(), ' '));
    EXPECT_EQ(lines[10], "-M: setboard line longer than 254 characters");
    EXPECT_EQ(lines[11], "-M: tellusererror Illegal position");
    EXPECT_EQ(lines[12], "::cmd:: setboard");
    EXPECT_EQ(lines[13], "setboard  " + fen);
}

TEST(CommandLoop, TimeAndLevelWithMissingOrOddNumbers) {
    EngineProcess engine;
    ASSERT_TRUE(engine.handshake());
    engine.send("time");  // no value: the next command is not swallowed
    engine.send("new");
    EXPECT_EQ(engine.readLine(), BookError);
    engine.send("time abc");
    engine.send("level");
    engine.send("force");
    engine.send("level 0 0:30 0");  // read whole: nothing of it is left over
    engine.send("level 40 x 0");
    engine.send("time -500");  // an empty clock: the engine moves at once
    engine.send("otim -20");
    engine.send("go");
    const auto move = engine.readLine(2000ms);
    ASSERT_TRUE(move);
    EXPECT_EQ(move->rfind("move ", 0), 0u) << *move;
    engine.send("quit");
    EXPECT_EQ(engine.waitExit(), 0);

    std::vector<std::string> commands;
    for (const std::string& line : engine.logLines())
        if (line.rfind("::cmd:: ", 0) == 0 || line.rfind("-M: ", 0) == 0) commands.push_back(line);
    const std::vector<std::string> expected = {
        "::cmd:: protover", "::cmd:: 2", "::cmd:: time", "-M: time without a clock value, ignored", "::cmd:: new",
        "::cmd:: time", "-M: time without a clock value, ignored", "::cmd:: abc", "::cmd:: level",
        "-M: level without MOVES BASE INC, ignored", "::cmd:: force", "::cmd:: level", "::cmd:: level",
        "-M: level without MOVES BASE INC, ignored", "::cmd:: x", "::cmd:: 0", "::cmd:: time", "::cmd:: go",
        "::cmd:: quit"};
    EXPECT_EQ(commands, expected);
}

TEST(CommandLoop, NothingIsPlayedBeforeAPositionExists) {
    EngineProcess engine;
    ASSERT_TRUE(engine.handshake());
    for (const char* command : {"e2e4", "go", "black", "e7e5", "gonzo"}) engine.send(command);
    EXPECT_EQ(engine.readQuiet(300ms), "");
    engine.send("new");
    engine.send("force");
    engine.send("e2e4");
    engine.send("quit");
    EXPECT_EQ(engine.waitExit(), 0);
    EXPECT_EQ(engine.readQuiet(), BookError + "\n");
    const std::vector<std::string> keys = playInProcess(StartPositionText, {"e2e4"});
    const std::vector<std::string> expected = {
        "::cmd:: protover", "::cmd:: 2", "::cmd:: e2e4", "-M: no position yet, move ignored", "::cmd:: go",
        "-M: no position yet, go ignored", "::cmd:: black", "::cmd:: e7e5", "-M: no position yet, move ignored",
        "::cmd:: gonzo", "-M: no position yet, go ignored", "::cmd:: new", "-\ttellusererror BOOK ERROR!", "",
        "::cmd:: force", "::cmd:: e2e4", keys[0], "::cmd:: quit"};
    EXPECT_EQ(engine.logLines(), expected);
}

TEST(CommandLoop, IllegalMovesAreRefused) {
    struct Case {
        const char* fen;
        std::vector<std::string> illegal;
        const char* legal;
    };
    const Case cases[] = {
        {StartPositionText, {"e7e5", "e2e5", "e3e4", "e1e2", "e1g1", "g1g3", "a1a1", "b1d2"}, "b1c3"},
        {"4k3/8/8/8/8/8/4r3/4K3 w - -", {"e1d2", "e1f2", "e1e1"}, "e1e2"},     // in check
        {"4k3/8/8/8/8/8/5r2/4K2R w K -", {"e1g1", "e1f1"}, "h1h8"},           // castling across f1
        {"4k3/4r3/8/8/8/8/4N3/4K3 w - -", {"e2c3", "e2g1", "e2d4"}, "e1d1"},  // a pinned knight
        {"4k3/P7/8/8/8/8/8/4K3 w - -", {"a7a8", "a7b8q", "a7a8k"}, "a7a8n"},  // no promotion letter
    };
    EngineProcess engine;
    ASSERT_TRUE(engine.handshake());
    std::string expectedOutput;
    std::vector<std::string> expectedKeys;
    for (const Case& c : cases) {
        playInProcess(c.fen, {});  // the tokens' codes as this position reads them
        engine.send(std::string("setboard ") + c.fen);
        expectedOutput += BookError + "\n";
        for (const std::string& move : c.illegal) {
            engine.send(move);
            if (textToMove(move.c_str()))  // tokens that are no move at all get no reply
                expectedOutput += "Illegal move: " + move + "\n";
        }
        engine.send(c.legal);
        expectedKeys.push_back(playInProcess(c.fen, {c.legal})[0]);
    }
    engine.send("quit");
    EXPECT_EQ(engine.waitExit(), 0);
    EXPECT_EQ(engine.readQuiet(), expectedOutput);
    // each legal move was made on the untouched position
    std::vector<std::string> keys;
    const auto lines = engine.logLines();
    for (std::size_t i = 0; i + 1 < lines.size(); ++i)
        for (const Case& c : cases)
            if (lines[i] == std::string("::cmd:: ") + c.legal && lines[i + 1].rfind("-M: ", 0) != 0)
                keys.push_back(lines[i + 1]);
    EXPECT_EQ(keys, expectedKeys);
}

TEST(CommandLoop, KeywordsArePrefixes) {
    const char* fen = "4k3/pppp4/8/8/8/8/PPPP4/4K3 w - -";
    playInProcess(fen, {});
    const std::set<std::string> whiteMoves = legalMoveTexts();
    playInProcess("4k3/pppp4/8/8/8/8/PPPP4/4K3 b - -", {});
    const std::set<std::string> blackMoves = legalMoveTexts();

    EngineProcess engine;
    ASSERT_TRUE(engine.handshake());
    engine.send(std::string("setboard ") + fen);
    EXPECT_EQ(engine.readLine(), BookError);
    engine.send("blackboard");  // black: Black to move
    engine.send("gonzo");       // go
    auto line = engine.readLine();
    ASSERT_TRUE(line);
    ASSERT_EQ(line->rfind("move ", 0), 0u) << *line;
    EXPECT_TRUE(blackMoves.count(line->substr(5))) << *line;

    engine.send(std::string("setboard ") + fen);
    EXPECT_EQ(engine.readLine(), BookError);
    engine.send("blacken");
    engine.send("whitewash");  // white again
    engine.send("go");
    line = engine.readLine();
    ASSERT_TRUE(line);
    ASSERT_EQ(line->rfind("move ", 0), 0u) << *line;
    EXPECT_TRUE(whiteMoves.count(line->substr(5))) << *line;

    engine.send("forceful");  // force: the reply below is not answered
    engine.send("a7a6");
    engine.send("newgame");  // new
    EXPECT_EQ(engine.readLine(), BookError);
    engine.send("quitting");
    EXPECT_EQ(engine.waitExit(), 0);
    EXPECT_EQ(engine.readQuiet(), "");
}

TEST(CommandLoop, WordsOfAResultAreNotCommands) {
    EngineProcess engine;
    ASSERT_TRUE(engine.handshake());
    engine.send("new");
    EXPECT_EQ(engine.readLine(), BookError);
    engine.send("result 1-0 {go quit: White forfeits on time}");
    EXPECT_EQ(engine.readLine(), BookError);  // result sets up a new game
    EXPECT_EQ(engine.readQuiet(300ms), "");   // and nothing of its reason runs
    engine.send("go");
    const auto move = engine.readLine();
    ASSERT_TRUE(move);
    EXPECT_EQ(move->rfind("move ", 0), 0u) << *move;
    engine.send("quit");
    EXPECT_EQ(engine.waitExit(), 0);
    const auto lines = engine.logLines();
    const std::vector<std::string> reason = {"::cmd:: result", "::cmd:: 1-0", "::cmd:: {go", "::cmd:: quit:",
                                             "::cmd:: White", "::cmd:: forfeits", "::cmd:: on", "::cmd:: time}",
                                             "-\ttellusererror BOOK ERROR!", ""};
    auto at = std::search(lines.begin(), lines.end(), reason.begin(), reason.end());
    EXPECT_NE(at, lines.end());
}

}  // namespace
