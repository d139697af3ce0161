// The command loop as an interface sees it: the engine program over pipes in
// a fresh directory. The handshake, one command per line, what the engine
// answers and logs, moves before any position and illegal moves, thinking
// output, and lines that arrive while the engine thinks.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <filesystem>
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

const std::string Features = "\nfeature done=0\nfeature setboard=1\nfeature ping=1\nfeature myname=\"Drozak " DROZAK_VERSION
                             "\"\nfeature sigint=0\nfeature sigterm=0\nfeature analyze=1\nfeature memory=1\nfeature done=1\n";

// The log's lines of the kinds given by their prefixes.
Lines logLinesStarting(const EngineProcess& engine, std::initializer_list<const char*> prefixes) {
    Lines out;
    for (const std::string& line : engine.logLines())
        for (const char* prefix : prefixes)
            if (line.rfind(prefix, 0) == 0) {
                out.push_back(line);
                break;
            }
    return out;
}

TEST(CommandLoop, HandshakeAndExit) {
    {
        EngineProcess engine({.oldLog = "a line of an earlier run\n"});
        engine.send("xboard");
        EXPECT_EQ(engine.readRawUntil("feature done=1\n"), Features);
        EXPECT_EQ(engine.logText(), "");  // emptied before anything is logged
        engine.send("quit");
        EXPECT_EQ(engine.waitExit(), 0);
        EXPECT_EQ(engine.readQuiet(), "");
        EXPECT_EQ(engine.logText(), "::cmd:: quit\n");  // the handshake's line is not logged
    }
    for (const char* first : {"uci", "xboardish"}) {  // only the first six characters count
        EngineProcess engine;
        engine.send(first);
        const std::string notXboard = first == std::string("uci") ? "Engine works only with xboard protocol ver. 2\n" : "";
        EXPECT_EQ(engine.readRawUntil("feature done=1\n"), notXboard + Features);
        engine.send("new");
        engine.closeInput();  // the interface is gone: ends as on quit
        EXPECT_EQ(engine.waitExit(), 0);
        EXPECT_EQ(engine.logLines().back(), "-M: end of input");
    }
    {
        EngineProcess engine;  // no input at all
        engine.closeInput();
        EXPECT_EQ(engine.waitExit(), 0);
        EXPECT_EQ(engine.readQuiet(), "Engine works only with xboard protocol ver. 2\n" + Features);
    }
    {
        EngineProcess engine;  // the last line without its end
        engine.sendRaw("xboard\r\nnew\r\nquit");
        engine.closeInput();
        EXPECT_EQ(engine.waitExit(), 0);
        EXPECT_EQ(engine.logLines().back(), "::cmd:: quit");
    }
}

// The first word of a line is the command; the rest is its own and never acts.
// Document commands match by prefix, the others as whole words; commands of
// the protocol the engine does not act on are taken silently, other words get
// one error line each.
TEST(CommandLoop, OneCommandPerLine) {
    EngineProcess engine;
    ASSERT_TRUE(engine.handshake());
    // Before any position: moves and go are logged and ignored.
    for (const char* line : {"e2e4", "go", "black", "e7e5", "gonzo"}) engine.send(line);
    EXPECT_EQ(linesBeforePong(engine, 1), Lines{});

    engine.send("new");  // no book here: said once a run
    EXPECT_EQ(linesBeforePong(engine, 2), Lines{BookError});
    for (const char* line : {"name gobbler", "rating 2100 1800", "result 1-0 {go quit: White forfeits on time}",
                             "newton", "name timelord", "ics -", "accepted ping", "rejected usermove", "protover 2",
                             "xboard", "hard", "easy", "random", "computer", "?", ".", "exit", "draw", "hint", "bk",
                             "otim 100", "post", "nopost", "   ", ""})
        engine.send(line);
    EXPECT_EQ(linesBeforePong(engine, 3), Lines{});
    engine.send("foo bar");
    engine.send("stop");  // not st
    engine.send("pingpong");
    EXPECT_EQ(linesBeforePong(engine, 4),
              (Lines{"Error (unknown command): foo", "Error (unknown command): stop",
                     "Error (unknown command): pingpong"}));
    engine.send("ping");
    EXPECT_EQ(engine.readLine(), "pong");

    // Prefixes: blackboard is black, gonzo is go, whitewash white, forceful
    // force, newgame new, quitting quit.
    engine.send("setboard 4k3/pppp4/8/8/8/8/PPPP4/4K3 w - -");  // not the start: no book, nothing said
    engine.send("blackboard");
    engine.send("gonzo");
    Lines lines = linesBeforePong(engine, 5);
    ASSERT_EQ(lines.size(), 1u);
    playInProcess("4k3/pppp4/8/8/8/8/PPPP4/4K3 b - -", {});
    EXPECT_TRUE(isMoveLine(lines[0]) && legalMoveTexts().count(lines[0].substr(5))) << lines[0];
    engine.send("setboard 4k3/pppp4/8/8/8/8/PPPP4/4K3 w - -");
    engine.send("whitewash");
    engine.send("go");
    lines = linesBeforePong(engine, 6);
    playInProcess("4k3/pppp4/8/8/8/8/PPPP4/4K3 w - -", {});
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(isMoveLine(lines[0]) && legalMoveTexts().count(lines[0].substr(5))) << lines[0];
    engine.send("forceful");
    engine.send("a7a6");  // force: made, not answered
    engine.send("newgame");
    EXPECT_EQ(linesBeforePong(engine, 7), Lines{});
    engine.send("quitting");
    EXPECT_EQ(engine.waitExit(), 0);

    // Nothing of the arguments ran: the only searches are gonzo's and go's.
    EXPECT_EQ(logLinesStarting(engine, {"-FEN:"}).size(), 2u);
    const Lines commands = logLinesStarting(engine, {"::cmd:: name", "::cmd:: rating", "::cmd:: result", "-M: no position"});
    EXPECT_EQ(commands, (Lines{"-M: no position yet, move ignored", "-M: no position yet, go ignored",
                               "-M: no position yet, move ignored", "-M: no position yet, go ignored",
                               "::cmd:: name gobbler", "::cmd:: rating 2100 1800",
                               "::cmd:: result 1-0 {go quit: White forfeits on time}", "::cmd:: name timelord"}));
}

// Numbers the engine cannot use are logged and change nothing; long lines are
// ignored whole; a rejected position is said so and leaves the game as it was.
TEST(CommandLoop, BadArgumentsAndLongLines) {
    EngineProcess engine;
    ASSERT_TRUE(engine.handshake());
    engine.send("setboard 4k3/8/8/8/8/8/8/4K2R w K -");
    for (const char* line : {"time", "time abc", "otim", "level", "level 40 x 0", "level 0 0:30", "st 0", "st -1",
                             "st x", "sd -2", "sd x"})
        engine.send(line);
    engine.send(std::string(5000, 'q'));
    engine.send("new" + std::string(5000, 'w'));
    engine.send("setboard " + std::string(5000, '8'));
    engine.send("setboard 8/8/8/8/8/8/8/8 w - -");
    EXPECT_EQ(linesBeforePong(engine, 1), Lines{"tellusererror Illegal position"});
    engine.send("e1g1");  // legal in the position the first setboard set up
    engine.send("e1e3");
    EXPECT_EQ(linesBeforePong(engine, 2), Lines{"Illegal move: e1e3"});
    engine.send("quit");
    EXPECT_EQ(engine.waitExit(), 0);

    const std::string tooLong = "-M: line longer than 4096 characters, ignored";
    EXPECT_EQ(logLinesStarting(engine, {"-M:"}),
              (Lines{"-M: not the start position, no book", "-M: time without a clock value, ignored",
                     "-M: time without a clock value, ignored", "-M: otim without a clock value, ignored",
                     "-M: level without MOVES BASE INC, ignored", "-M: level without MOVES BASE INC, ignored",
                     "-M: level without MOVES BASE INC, ignored", "-M: st without a positive time, ignored",
                     "-M: st without a positive time, ignored", "-M: st without a positive time, ignored",
                     "-M: sd without a depth, ignored", "-M: sd without a depth, ignored", tooLong, tooLong, tooLong,
                     "-M: tellusererror Illegal position", "-M: Illegal move: e1e3"}));
}

TEST(CommandLoop, LogOfACommandSequence) {
    const Lines keys = playInProcess(StartPositionText, {"e2e4", "e7e5", "g1f3"});
    const Lines castled = playInProcess("4k3/8/8/8/8/8/8/4K2R w K -", {"e1g1"});
    EngineProcess engine;
    ASSERT_TRUE(engine.handshake());
    for (const char* command : {"new", "force", "e2e4", "e7e5", "g1f3", "e2e5", "setboard 4k3/8/8/8/8/8/8/4K2R w K -",
                                "new", "setboard 4k3/8/8/8/8/8/8/4K2R w K -", "e1g1", "quit"})
        engine.send(command);
    EXPECT_EQ(engine.waitExit(), 0);
    EXPECT_EQ(engine.readQuiet(), BookError + "\nIllegal move: e2e5\n");
    const Lines expected = {
        "::cmd:: protover 2", "::cmd:: new", "-\ttellusererror BOOK ERROR!", "", "::cmd:: force", "::cmd:: e2e4",
        keys[0], "::cmd:: e7e5", keys[1], "::cmd:: g1f3", keys[2], "::cmd:: e2e5", "-M: Illegal move: e2e5",
        "::cmd:: setboard 4k3/8/8/8/8/8/8/4K2R w K -", "setboard 4k3/8/8/8/8/8/8/4K2R w K -", "",
        "-M: not the start position, no book", "::cmd:: new", "-\ttellusererror BOOK ERROR!", "",
        "::cmd:: setboard 4k3/8/8/8/8/8/8/4K2R w K -", "setboard 4k3/8/8/8/8/8/8/4K2R w K -", "",
        "-M: not the start position, no book", "::cmd:: e1g1", castled[0], "::cmd:: quit"};
    EXPECT_EQ(engine.logLines(), expected);
}

TEST(CommandLoop, IllegalMovesAreRefused) {
    struct Case {
        const char* fen;
        Lines illegal;
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
    Lines expectedKeys;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fen);
        playInProcess(c.fen, {});  // the texts' codes as this position reads them
        engine.send(std::string("setboard ") + c.fen);
        Lines expected;
        if (c.fen == StartPositionText) expected.push_back(BookError);
        for (const std::string& move : c.illegal) {
            engine.send(move);
            if (textToMove(move.c_str())) expected.push_back("Illegal move: " + move);  // no move at all: an error
            else expected.push_back("Error (unknown command): " + move);
        }
        engine.send(c.legal);
        EXPECT_EQ(linesBeforePong(engine, 1), expected);
        expectedKeys.push_back(playInProcess(c.fen, {c.legal})[0]);
    }
    engine.send("quit");
    EXPECT_EQ(engine.waitExit(), 0);
    // each legal move was made on the untouched position
    Lines keys;
    const Lines lines = engine.logLines();
    for (std::size_t i = 0; i + 1 < lines.size(); ++i)
        for (const Case& c : cases)
            if (lines[i] == std::string("::cmd:: ") + c.legal && lines[i + 1].rfind("-M: ", 0) != 0)
                keys.push_back(lines[i + 1]);
    EXPECT_EQ(keys, expectedKeys);
}

TEST(CommandLoop, SigintIsIgnored) {
    EngineProcess engine;
    ASSERT_TRUE(engine.handshake());
    engine.signal(SIGINT);
    engine.send("new");
    engine.signal(SIGINT);
    engine.send("go");  // xboard interrupts searches too
    engine.signal(SIGINT);
    const Lines lines = linesBeforePong(engine, 1);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(isMoveLine(lines[1])) << lines[1];
    engine.send("quit");
    EXPECT_EQ(engine.waitExit(), 0);
}

// `post` thinking lines: depth, score from the engine's side, centiseconds,
// nodes, the principal variation; one per iteration, none past `sd`, mates
// as 100000 + moves; none after `nopost`.
TEST(CommandLoop, ThinkingOutput) {
    const std::regex layout("(\\d+) (-?\\d+) (\\d+) (\\d+) ([a-h][1-8][a-h][1-8][qnrb]?( [a-h][1-8][a-h][1-8][qnrb]?)*)");
    EngineProcess engine;
    ASSERT_TRUE(engine.handshake());
    engine.send("setboard r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -");
    engine.send("post");
    engine.send("st 30");  // the depth ends the search
    engine.send("sd 3");
    engine.send("go");
    Lines lines = linesBeforePong(engine, 1);
    ASSERT_EQ(lines.size(), 3u);
    int depth = 1;
    long nodes = 0;
    for (std::size_t i = 0; i < 2; ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i], m, layout)) << lines[i];
        EXPECT_EQ(std::stoi(m[1]), ++depth);
        EXPECT_LT(std::abs(std::stoi(m[2])), 300);
        EXPECT_GT(std::stol(m[4]), nodes);
        nodes = std::stol(m[4]);
    }
    EXPECT_TRUE(isMoveLine(lines[2]));

    // White mates in two (Re8+ Rxe8, Rxe8#) whatever Black does.
    engine.send("sd 0");
    engine.send("setboard 3r2k1/5ppp/8/8/8/8/4RPPP/4R1K1 w - -");
    engine.send("go");
    lines = linesBeforePong(engine, 2);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_TRUE(std::regex_match(lines[lines.size() - 2], std::regex("\\d+ 100002 \\d+ \\d+ e2e8 d8e8 e1e8")))
        << lines[lines.size() - 2];
    EXPECT_EQ(lines.back(), "move e2e8");

    engine.send("nopost");
    engine.send("setboard r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -");
    engine.send("sd 4");
    engine.send("go");
    lines = linesBeforePong(engine, 3);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(isMoveLine(lines[0]));
    engine.send("quit");
    EXPECT_EQ(engine.waitExit(), 0);
}

// Lines that arrive while the engine thinks: `?` makes it move at once, and
// the lines before it wait their turn; force, new, setboard, result, white,
// black give the move up; quit and the end of the input end the program.
TEST(CommandLoopTiming, InputWhileThinking) {
    const char* middlegame = "setboard r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N2N2/PP2BPPP/R1BQ1RK1 w - -";
    EngineProcess engine;
    ASSERT_TRUE(engine.handshake());
    engine.send("new");
    EXPECT_EQ(linesBeforePong(engine, 0), Lines{BookError});
    engine.send(middlegame);
    engine.send("st 60");
    engine.send("go");
    engine.send("ping 1");
    engine.send("post");  // waits too: no thinking lines for this search
    engine.send("ping 2");
    engine.send("?");
    auto start = Clock::now();
    Lines lines = engine.readUntil([](const std::string& l) { return l == "pong 2"; }, 5000ms);
    EXPECT_LT(Clock::now() - start, 1000ms);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(isMoveLine(lines[0])) << lines[0];
    EXPECT_EQ(lines[1], "pong 1");
    EXPECT_EQ(lines[2], "pong 2");

    engine.send("nopost");
    for (const char* abandon : {"force", "new", "result 1/2-1/2 {agreed}", middlegame, "white", "black"}) {
        SCOPED_TRACE(abandon);
        engine.send(middlegame);
        engine.send("go");
        engine.send(abandon);
        start = Clock::now();
        EXPECT_EQ(linesBeforePong(engine, 3), Lines{});  // no move for a position the interface has left
        EXPECT_LT(Clock::now() - start, 1000ms);
    }
    // The next go searches and moves as usual: a short fixed time, every line
    // of its thinking, and the move well inside the time.
    engine.send(middlegame);
    engine.send("post");
    engine.send("st 0.5");
    start = Clock::now();
    engine.send("go");
    const auto move = engine.readUntil(isMoveLine, 3000ms);
    const auto took = Clock::now() - start;
    EXPECT_GT(took, 300ms);
    EXPECT_LT(took, 1200ms);
    ASSERT_FALSE(move.empty());
    EXPECT_TRUE(isMoveLine(move.back()));
    EXPECT_GE(move.size(), 4u);  // thinking lines from depth 2 on
    // A clock shorter than st: the clock wins.
    engine.send(middlegame);
    engine.send("st 2");
    engine.send("time 100");
    start = Clock::now();
    engine.send("go");
    EXPECT_FALSE(engine.readUntil(isMoveLine, 3000ms).empty());
    EXPECT_LT(Clock::now() - start, 1000ms);

    // quit in the middle of a long search
    engine.send("nopost");
    engine.send("st 60");
    engine.send("go");
    std::this_thread::sleep_for(300ms);
    start = Clock::now();
    engine.send("quit");
    EXPECT_EQ(engine.waitExit(2000ms), 0);
    EXPECT_LT(Clock::now() - start, 2000ms);
    EXPECT_EQ(engine.readQuiet(), "");  // and no move

    EngineProcess gone;  // the end of the input in the middle of a long search
    ASSERT_TRUE(gone.handshake());
    gone.send(middlegame);
    gone.send("st 60");
    gone.send("go");
    std::this_thread::sleep_for(300ms);
    start = Clock::now();
    gone.closeInput();
    EXPECT_EQ(gone.waitExit(2000ms), 0);
    EXPECT_LT(Clock::now() - start, 2000ms);
    EXPECT_EQ(gone.readQuiet(), "");
}

}  // namespace
