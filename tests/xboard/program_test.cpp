// The engine program as interfaces drive it, over pipes in a fresh directory:
// few long conversations, each checking what the engine answers and logs.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "session/input.h"
#include "support/chess.h"
#include "support/engine_process.h"

namespace {

using namespace testsupport;
using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;

const Lines Features = {"", "feature done=0", "feature setboard=1", "feature ping=1",
                        "feature myname=\"Drozak " DROZAK_VERSION "\"", "feature sigint=0", "feature sigterm=0",
                        "feature analyze=1", "feature memory=1", "feature smp=1", "feature exclude=1",
                        "feature option=\"MultiPV -spin 1 1 64\"", "feature variants=\"normal,fischerandom\"",
                        "feature done=1"};
const std::string Draw = "1/2-1/2 {Draw: repetition or statemate}";
const std::regex thinking("(\\d+) (-?\\d+) (\\d+) (\\d+) ([a-h][1-8][a-h][1-8][qnrb]?)( [a-h][1-8][a-h][1-8][qnrb]?)*");

bool isThinking(const std::string& line) { return std::regex_match(line, thinking); }
bool isFeatureDone(const std::string& line) { return line == "feature done=1"; }

// The log lines that start with one of `prefixes`.
Lines logged(const EngineProcess& engine, std::initializer_list<const char*> prefixes) {
    Lines out;
    for (const std::string& line : engine.logLines())
        if (std::any_of(prefixes.begin(), prefixes.end(), [&](const char* p) { return line.rfind(p, 0) == 0; }))
            out.push_back(line);
    return out;
}

// Whether `move` (or the move of a "move ..." line) is legal after `moves` from `fen`.
bool legalAfter(const char* fen, const Lines& moves, const std::string& move) {
    playInProcess(fen, moves);
    return legalMoveTexts().count(isMoveLine(move) ? move.substr(5) : move) > 0;
}

// Thinking lines, each with a first move legal after `moves` from `fen`.
void expectLegalThinking(const Lines& lines, const char* fen, const Lines& moves) {
    for (const std::string& line : lines) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, thinking)) << line;
        EXPECT_TRUE(legalAfter(fen, moves, m[5])) << line;
    }
}

// The handshake; one command a line, the first word (the rest is its own and
// never acts): the protocol's commands by prefix, the others as whole words,
// those the engine does not act on taken silently, other words an error each;
// lines ending in CR LF; SIGINT changing nothing; numbers the engine cannot
// use logged and ignored, long lines ignored whole, moves that are not legal
// refused; a refused position said so, the game left as it was.
TEST(Program, CommandsAndBadInput) {
    for (const std::string first : {"uci", "xboardish"}) {  // only the first six characters count
        EngineProcess engine;
        engine.send(first);
        Lines expected = Features;
        if (first == "uci") expected.insert(expected.begin(), "Engine works only with xboard protocol ver. 2");
        EXPECT_EQ(engine.readUntil(isFeatureDone), expected);
        engine.send("new");
        engine.closeInput();  // the interface is gone: ends as on quit
        EXPECT_EQ(engine.waitExit(), 0);
        EXPECT_EQ(engine.logLines().front(), "::cmd:: " + first);  // the handshake's line is logged too
        EXPECT_EQ(engine.logLines().back(), "-M: end of input");
    }
    EngineProcess engine({.binary = {}, .withBook = false, .oldLog = "a line of an earlier run\n"});
    const auto sendCrLf = [&](std::initializer_list<const char*> lines) {
        for (const char* line : lines) engine.sendRaw(std::string(line) + "\r\n");
    };
    sendCrLf({"xboard"});
    EXPECT_EQ(engine.readUntil(isFeatureDone), Features);
    EXPECT_EQ(engine.logText().find("earlier run"), std::string::npos);  // emptied at the start
    sendCrLf({"protover 2"});  // the start position, set up quietly
    EXPECT_EQ(linesBeforePong(engine, 1), Lines{});
    engine.send("new");  // no book here: said once a run
    EXPECT_EQ(linesBeforePong(engine, 2), Lines{BookError});
    engine.signal(SIGINT);
    sendCrLf({"name gobbler", "rating 2100 1800", "result 1-0 {go quit: White forfeits on time}", "newton",
              "name timelord", "ics -", "accepted ping", "rejected usermove", "protover 2", "xboard", "hard", "easy",
              "random", "computer", "?", ".", "exit", "draw", "hint", "bk", "otim 100", "post", "nopost", "   ", ""});
    EXPECT_EQ(linesBeforePong(engine, 3), Lines{});
    sendCrLf({"foo bar", "stop", "pingpong"});
    const char controlBytes[] = "\x01\x02" "abc\n\0\0x y\ne2e4\0\n\x7f\xc3\xa9\n";
    engine.sendRaw(std::string(controlBytes, sizeof controlBytes - 1));
    EXPECT_EQ(linesBeforePong(engine, 4),
              (Lines{"Error (unknown command): foo", "Error (unknown command): stop", "Error (unknown command): pingpong",
                     "Error (unknown command): \\x01\\x02abc", "Error (unknown command): \\x00\\x00x",
                     "Error (unknown command): e2e4\\x00", "Error (unknown command): \\x7f\\xc3\\xa9"}));
    engine.send("ping");
    EXPECT_EQ(engine.readLine(), "pong");

    // blackboard is black, gonzo go, whitewash white, forceful force, newgame
    // new, quitting quit; a position that is not the start has no book.
    for (auto [lines, fen, moves] : {std::tuple{"setboard 4k3/pppp4/8/8/8/8/PPPP4/4K3 w - -\nblackboard\ngonzo",
                                                "4k3/pppp4/8/8/8/8/PPPP4/4K3 b - -", Lines{}},
                                     {"setboard 4k3/pppp4/8/8/8/8/PPPP4/4K3 w - -\nwhitewash\ngonzo",
                                      "4k3/pppp4/8/8/8/8/PPPP4/4K3 w - -", Lines{}},
                                     // a7a6 made, not answered; after new the engine plays Black
                                     {"forceful\na7a6\nnewgame\ne2e4", StartPositionText, Lines{"e2e4"}}}) {
        engine.send(lines);
        engine.signal(SIGINT);
        const Lines reply = linesBeforePong(engine, 5);
        ASSERT_EQ(reply.size(), 1u) << lines;
        EXPECT_TRUE(isMoveLine(reply[0]) && legalAfter(fen, moves, reply[0])) << lines << ": " << reply[0];
    }

    struct Case {
        const char* fen;
        Lines illegal;
        std::string legal;
    };
    const Case cases[] = {
        {StartPositionText, {"e7e5", "e2e5", "e3e4", "e1e2", "e1g1", "g1g3", "b1d2", "a1a1"}, "b1c3"},
        {"4k3/8/8/8/8/8/4r3/4K3 w - -", {"e1d2", "e1f2", "e1e1"}, "e1e2"},     // in check
        {"4k3/8/8/8/8/8/5r2/4K2R w K -", {"e1g1", "e1f1"}, "h1h8"},           // castling across f1
        {"4k3/4r3/8/8/8/8/4N3/4K3 w - -", {"e2c3", "e2g1", "e2d4"}, "e1d1"},  // a pinned knight
        {"4k3/P7/8/8/8/8/8/4K3 w - -", {"a7a8", "a7b8q", "a7a8k"}, "a7a8n"},  // no promotion letter
    };
    engine.send("force");
    Lines expectedKeys;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fen);
        playInProcess(c.fen, {});
        engine.send(std::string("setboard ") + c.fen);
        Lines expected;
        for (const std::string& move : c.illegal) {
            engine.send(move);
            expected.push_back(textToMove(move.c_str()) ? "Illegal move: " + move : "Error (unknown command): " + move);
        }
        engine.send("setboard 8/8/8/8/8/8/8/8 w - -\n" + c.legal);  // refused: the game stays
        expected.push_back("tellusererror Illegal position");
        EXPECT_EQ(linesBeforePong(engine, 7), expected);
        expectedKeys.push_back(playInProcess(c.fen, {c.legal})[0]);
    }
    engine.send("time\ntime abc\notim\nlevel\nlevel 40 x 0\nlevel 0 0:30\nlevel x 5 0\nlevel 40 5 0.0x\nst 0\nst -1\n"
                "st x\nsd -2\nsd x\nmemory x\n" + std::string(5000, 'q') + "\n" + std::string(InputQueue::LineLimit + 1, 'q') +
                "\nnew" + std::string(InputQueue::LineLimit, 'w'));
    // a long line is read whole; a longer one is refused by its first word, and no `new` comes of it
    const std::string tooLong = "Error (line longer than 1048576 characters): ";
    EXPECT_EQ(linesBeforePong(engine, 8), (Lines{"Error (unknown command): " + std::string(5000, 'q'), tooLong + std::string(64, 'q'),
                                                  tooLong + "new" + std::string(61, 'w')}));
    engine.sendRaw("quitting");  // the last line without its end
    engine.closeInput();
    EXPECT_EQ(engine.waitExit(), 0);
    EXPECT_EQ(engine.readLine(), std::nullopt);

    const Lines log = engine.logLines();
    ASSERT_FALSE(log.empty());
    const auto firstCommand = std::find_if(log.begin(), log.end(), [](const std::string& l) { return l.rfind("::cmd::", 0) == 0; });
    ASSERT_NE(firstCommand, log.end());
    EXPECT_EQ(*firstCommand, "::cmd:: xboard");
    EXPECT_EQ(log.back(), "::cmd:: quitting");
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const std::string& l) { return l.find('\r') != l.npos; }), 0);
    EXPECT_EQ(logged(engine, {"-FEN:"}),  // gonzo, gonzo, e2e4; no pondering after easy
              (Lines{"-FEN:\t4k3/pppp4/8/8/8/8/PPPP4/4K3 b - -", "-FEN:\t4k3/pppp4/8/8/8/8/PPPP4/4K3 w - -",
                     "-FEN:\trnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3"}));
    EXPECT_EQ(logged(engine, {"::cmd:: name", "::cmd:: rating", "::cmd:: result"}),
              (Lines{"::cmd:: name gobbler", "::cmd:: rating 2100 1800",
                     "::cmd:: result 1-0 {go quit: White forfeits on time}", "::cmd:: name timelord"}));
    Lines keys;  // each legal move was made on the position its setboard left
    for (std::size_t i = 0; i + 1 < log.size(); ++i)
        for (const Case& c : cases)
            if (log[i] == "::cmd:: " + c.legal && log[i + 1].rfind("-M: ", 0) != 0) keys.push_back(log[i + 1]);
    EXPECT_EQ(keys, expectedKeys);
    Lines notes;
    for (auto [note, times] : {std::pair{"time without a clock value", 2}, {"otim without a clock value", 1},
                               {"level without MOVES BASE INC", 5}, {"st without a positive time", 3},
                               {"sd without a depth", 2}, {"memory without a size", 1}})
        notes.insert(notes.end(), times, "-M: " + std::string(note) + ", ignored");
    notes.insert(notes.end(), 2, "-M: line longer than 1048576 characters, refused");
    EXPECT_EQ(logged(engine, {"-M: time", "-M: otim", "-M: level", "-M: st", "-M: sd", "-M: memory", "-M: line"}), notes);
}

// Mates and draws are claimed when the board shows them, and only then. undo
// and remove give back the exact position of before (its key in the log, its
// claims), never more plies than the game holds, none from before a change
// of the side to move.
TEST(Program, ClaimsAndTakeBacks) {
    struct Case {
        const char* fen;
        Lines moves;  // played before `go`
        Lines said;
    };
    const Case cases[] = {
        {"6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - 0 1", {}, {"move a1a8", "1-0 {Drozak mates 1}"}},
        {"r5k1/5ppp/8/8/8/8/5PPP/6K1 b - - 0 1", {}, {"move a8a1", "0-1 {Drozak mates 1}"}},
        {"R5k1/5ppp/8/8/8/8/5PPP/6K1 b - -", {}, {"1-0 {White mates 0}"}},   // mated: no move
        {"6k1/5ppp/8/8/8/8/5PPP/r5K1 w - -", {}, {"0-1 {Black mates 0}"}},
        {"k7/8/1Q6/8/8/8/8/7K b - -", {}, {Draw}},                          // stalemate
        {"k7/8/8/8/8/8/8/6BK w - -", {}, {Draw}},                           // too little to mate
        {"7k/8/8/8/8/8/2Q5/K7 w - -", {}, {}},  // winning, but no mate in one: the move alone
        // Black's only move repeats the position a third time: moved and claimed
        {"7k/R7/8/8/8/8/8/1N1K1R2 w - - 0 1", {"b1c3", "h8g8", "c3b1", "g8h8", "b1c3", "h8g8", "c3b1"}, {"move g8h8", Draw}},
        // the opponent's c3b1 brings the position after a3b1 a third time
        {"7k/R7/8/8/8/N7/8/3K1R2 w - - 0 1", {"a3b1", "h8g8", "b1c3", "g8h8", "c3b1", "h8g8", "b1c3", "g8h8", "c3b1"}, {Draw}},
    };
    EngineProcess engine;
    ASSERT_TRUE(engine.handshake());
    engine.send("st 1");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fen);
        engine.send(std::string("setboard ") + c.fen);
        for (const std::string& m : c.moves) engine.send(m);
        engine.send("go");
        const Lines said = linesBeforePong(engine, 1);
        if (c.said.empty()) {
            ASSERT_EQ(said.size(), 1u);
            EXPECT_TRUE(isMoveLine(said[0])) << said[0];
        } else {
            EXPECT_EQ(said, c.said);
        }
    }
    // the repetition taken back and replaced: the game goes on; back again, the claim too
    engine.send("force\nundo\nc3e4\ngo");
    EXPECT_EQ(linesBeforePong(engine, 2), Lines{"move h8g8"});
    engine.send("force\nremove\nc3b1\ngo");
    EXPECT_EQ(linesBeforePong(engine, 3), Lines{Draw});
    const char* mateInOne = "6k1/5ppp/8/8/8/8/8/K2R4 w - -";
    engine.send(std::string("setboard ") + mateInOne + "\nundo\ngo");  // nothing to take back
    EXPECT_EQ(linesBeforePong(engine, 4), (Lines{"move d1d8", "1-0 {Drozak mates 1}"}));
    engine.send("force\nundo\na1b1\ng8h8\nremove\ngo");
    EXPECT_EQ(linesBeforePong(engine, 5), (Lines{"move d1d8", "1-0 {Drozak mates 1}"}));
    engine.send("force\nwhite\nundo");  // the record starts again at white
    EXPECT_EQ(linesBeforePong(engine, 6), Lines{});

    engine.send("quit");
    EXPECT_EQ(engine.waitExit(), 0);

    EXPECT_EQ(logged(engine, {"-M: took back", "-M: cannot take back"}),
              (Lines{"-M: took back 1 ply", "-M: took back 2 plies", "-M: cannot take back 1 ply: the game holds 0",
                     "-M: took back 1 ply", "-M: took back 2 plies", "-M: cannot take back 1 ply: the game holds 0"}));
    EXPECT_EQ(logged(engine, {"-M: Illegal"}), Lines{});
    const Lines keys = playInProcess(mateInOne, {"a1b1", "g8h8"});  // made on the exact position before the mate
    const Lines log = engine.logLines();
    const auto at = std::find(log.begin(), log.end(), "::cmd:: a1b1");
    ASSERT_LT(at + 3, log.end());
    EXPECT_EQ(*(at + 1), keys[0]);
    EXPECT_EQ(*(at + 3), keys[1]);
}

// GNOME Chess never sends `new` (nor `protover`): the engine starts with the
// start position in force mode, plays White on `go` and Black after `force`
// and the person's move. `memory` in mid-game keeps the book. A take-back
// keeps the engine's mode: after `remove` (xboard's Retract Move) the next
// move is answered, after `undo` the engine waits for `go`.
TEST(Program, InterfacesWithoutNewAndTakeBacks) {
    const auto moveAfter = [](EngineProcess& e, const Lines& game, int ping) {
        const Lines lines = linesBeforePong(e, ping);
        EXPECT_EQ(lines.size(), 1u);
        const std::string move = lines.empty() ? "" : lines[0];
        EXPECT_TRUE(isMoveLine(move) && legalAfter(StartPositionText, game, move)) << move;
        return isMoveLine(move) ? move.substr(5) : "none";
    };
    EngineProcess white({.binary = {}, .withBook = true, .oldLog = {}});
    white.send("xboard\nrandom\nsd 3\ngo");
    EXPECT_EQ(white.readUntil(isFeatureDone), Features);
    Lines game = {moveAfter(white, {}, 1)};
    playInProcess(StartPositionText, game);
    game.push_back(*legalMoveTexts().begin());
    white.send("force\n" + game.back() + "\nst 1\ngo");  // newer versions send st
    moveAfter(white, game, 2);

    EngineProcess black({.binary = {}, .withBook = true, .oldLog = {}});
    black.send("xboard\nrandom\nforce\ne2e4\ngo");
    EXPECT_EQ(black.readUntil(isFeatureDone), Features);
    game = {"e2e4", moveAfter(black, {"e2e4"}, 1)};
    black.send("memory 1\nforce\nundo\ngo");  // the book still answers 1.e4
    game = {"e2e4", moveAfter(black, {"e2e4"}, 2)};
    black.send("d2d4");
    game.push_back("d2d4");
    game.push_back(moveAfter(black, game, 3));
    black.send("remove\ng1f3");
    game.resize(2);
    game.push_back("g1f3");
    game.push_back(moveAfter(black, game, 4));
    black.send("undo");
    EXPECT_EQ(linesBeforePong(black, 5), Lines{});
    game.pop_back();
    black.send("go");
    moveAfter(black, game, 6);
    const Lines replies = logged(black, {"move ", "-M: move(book)"});  // to 1.e4 both times from the book
    ASSERT_EQ(replies.size(), 5u);
    EXPECT_TRUE(replies[0].rfind("-M: move(book)", 0) == 0 && replies[1].rfind("-M: move(book)", 0) == 0) << replies[1];
    EXPECT_EQ(logged(black, {"-M: took back"}), (Lines{"-M: took back 1 ply", "-M: took back 2 plies", "-M: took back 1 ply"}));
}

// Analysis follows the position through moves, take-backs and setups, answers
// `.` and `ping` at once, shows its thinking without `post` (mates as 100000
// + moves, being mated as -100000 - moves), never moves, and leaves for force
// mode on `exit`. `post` thinking: one line per iteration from depth 2, none
// past `sd` (0 for no limit); none after `nopost`. `memory` sizes the table.
TEST(Program, AnalysisThinkingAndMemory) {
    EngineProcess engine;
    ASSERT_TRUE(engine.handshake());
    engine.send("new\nforce\ne2e4\nanalyze");
    const auto deepTo = [&](int depth) {
        return engine.readUntil([depth](const std::string& l) { return isThinking(l) && std::stoi(l) >= depth; }, 5000ms);
    };
    Lines lines = deepTo(4);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], BookError);
    expectLegalThinking(Lines(lines.begin() + 1, lines.end()), StartPositionText, {"e2e4"});
    engine.send(".");
    lines = engine.readUntil([](const std::string& l) { return l.rfind("stat01:", 0) == 0; });
    ASSERT_FALSE(lines.empty());
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines.back(), m, std::regex("stat01: \\d+ \\d+ (\\d+) (\\d+) (\\d+) ([a-h1-8]{4})")))
        << lines.back();
    EXPECT_GE(std::stoi(m[1]), 4);
    EXPECT_LE(std::stoi(m[2]), std::stoi(m[3]));
    EXPECT_TRUE(legalAfter(StartPositionText, {"e2e4"}, m[4])) << lines.back();
    struct Step {
        const char* line;
        Lines game;  // the moves of the position analysed after it
    };
    for (const Step& s : {Step{"e7e5", {"e2e4", "e7e5"}}, Step{"e2e5", {"e2e4", "e7e5"}}, Step{"undo", {"e2e4"}}}) {
        SCOPED_TRACE(s.line);
        engine.send(s.line);
        lines = linesBeforePong(engine, 3);  // from before the change
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "Illegal move: e2e5"), std::string(s.line) == "e2e5");
        lines = deepTo(3);
        ASSERT_FALSE(lines.empty());
        EXPECT_TRUE(isThinking(lines.back())) << lines.back();
        expectLegalThinking(lines, StartPositionText, s.game);
    }
    engine.send("setboard 7k/5Q2/6K1/8/8/8/8/8 b - -");  // stalemate: nothing to show
    linesBeforePong(engine, 4);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(linesBeforePong(engine, 5), Lines{});
    for (auto [fen, score] : {std::pair{"k7/8/1K6/8/8/8/8/7R b - -", "-100001 \\d+ \\d+ a8b8 h1h8"},
                              {"6k1/5ppp/8/8/8/8/8/K2R4 w - -", "100001 \\d+ \\d+ d1d8"}}) {
        engine.send(std::string("setboard ") + fen);  // mated and mating in one: shown, not played
        const std::regex mate(std::string("\\d+ ") + score);
        lines = engine.readUntil([&](const std::string& l) { return std::regex_match(l, mate); });
        ASSERT_FALSE(lines.empty());
        EXPECT_TRUE(std::regex_match(lines.back(), mate)) << lines.back();
    }
    // Several lines in analysis: each completed depth shows three, best
    // first, with distinct first moves; `exclude` leaves a move out of them,
    // `exclude all` and `include` leave one move alone, `include all` brings
    // every move back.
    const char* middle = "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N2N2/PP2BPPP/R1BQ1RK1 w - -";
    const auto linesOf = [&](int depth) {  // the last lines of `depth`, once a deeper one shows
        const Lines read = engine.readUntil([&](const std::string& l) { return isThinking(l) && std::stoi(l) > depth; }, 20000ms);
        expectLegalThinking(read, middle, {});
        Lines of;
        for (const std::string& l : read)
            if (isThinking(l) && std::stoi(l) == depth) of.push_back(l);
        return of;
    };
    const auto firstMove = [](const std::string& line) { return line.substr(line.find_first_of("abcdefgh"), 4); };
    engine.send(std::string("option MultiPV=3\nsetboard ") + middle);
    linesBeforePong(engine, 10);  // the last position's, and perhaps the first of this one
    lines = linesOf(5);
    ASSERT_GE(lines.size(), 3u);
    lines.erase(lines.begin(), lines.end() - 3);
    std::set<std::string> firsts;
    for (std::size_t k = 0; k < 3; ++k) {
        firsts.insert(firstMove(lines[k]));
        std::smatch a, b;
        if (k && std::regex_match(lines[k], a, thinking) && std::regex_match(lines[k - 1], b, thinking)) {
            EXPECT_LE(std::stoi(a[2]), std::stoi(b[2])) << lines[k];
        }
    }
    EXPECT_EQ(firsts.size(), 3u);
    const std::string best = firstMove(lines[0]);
    engine.send("exclude " + best);
    linesBeforePong(engine, 11);
    lines = linesOf(5);
    EXPECT_EQ(lines.size() >= 3 ? 3u : lines.size(), 3u);
    for (const std::string& l : lines) EXPECT_NE(firstMove(l), best) << l;
    engine.send("exclude all\ninclude " + best);
    linesBeforePong(engine, 12);
    lines = engine.readUntil([](const std::string& l) { return isThinking(l) && std::stoi(l) >= 7; }, 20000ms);
    ASSERT_FALSE(lines.empty());
    for (const std::string& l : lines) EXPECT_EQ(firstMove(l), best) << l;
    engine.send("include all\noption MultiPV=1\nsetboard 6k1/5ppp/8/8/8/8/8/K2R4 w - -");
    linesBeforePong(engine, 13);
    engine.send("exit\nd1d7");  // force mode: made, not answered
    lines = linesBeforePong(engine, 6);
    EXPECT_TRUE(std::all_of(lines.begin(), lines.end(), isThinking));
    EXPECT_EQ(logged(engine, {"move"}), Lines{});
    const Lines log = engine.logLines();
    const auto made = std::find(log.begin(), log.end(), "::cmd:: d1d7");
    ASSERT_LT(made + 1, log.end());
    EXPECT_EQ(*(made + 1), playInProcess("6k1/5ppp/8/8/8/8/8/K2R4 w - -", {"d1d7"})[0]);

    // sd with no clock since `new` and no st: the search runs to its depth;
    // with st, as far as it gets; iterations start at 2.
    const char* fen = "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -";
    engine.send("post");
    for (auto [sd, depth] : {std::pair{"sd 5", 5}, {"st 30\nsd 3", 3}, {"sd 1", 2}}) {
        engine.send(std::string("setboard ") + fen + "\n" + sd + "\ngo");
        lines = linesBeforePong(engine, 1);
        ASSERT_EQ(lines.size(), depth) << sd;
        EXPECT_TRUE(isMoveLine(lines.back())) << sd;
        lines.pop_back();
        expectLegalThinking(lines, fen, {});
        for (int d = 2; d <= depth; ++d) EXPECT_EQ(std::stoi(lines[d - 2]), d) << sd;
        std::smatch first, last;  // a deeper iteration searches more nodes
        if (std::regex_match(lines[0], first, thinking) && std::regex_match(lines.back(), last, thinking) && depth > 2) {
            EXPECT_LT(std::stol(first[4]), std::stol(last[4]));
        }
    }
    // The same position analysed with the table already at the depth cap:
    // its result is shown as the search's, not nothing (a client waits for it).
    engine.send("force\nundo\nanalyze");
    lines = engine.readUntil(isThinking);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(std::stoi(lines.back()), 2) << lines.back();
    expectLegalThinking(lines, fen, {});
    engine.send("exit");

    engine.send("sd 0\nsetboard 3r2k1/5ppp/8/8/8/8/4RPPP/4R1K1 w - -\ngo");  // White mates in two: Re8+ Rxe8, Rxe8#
    lines = linesBeforePong(engine, 3);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_TRUE(std::regex_match(lines[lines.size() - 2], std::regex("\\d+ 100002 \\d+ \\d+ e2e8 d8e8 e1e8")))
        << lines[lines.size() - 2];
    EXPECT_EQ(lines.back(), "move e2e8");

    // A deeper result in the table answers a shallower search, shown at the
    // depth asked for with the nodes searched (none); analysis does not show
    // it as the iteration it begins.
    engine.send(std::string("setboard ") + fen + "\nsd 6\ngo");
    lines = linesBeforePong(engine, 6);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(std::stoi(lines[4]), 6);
    engine.send("force\nundo\nsd 3\ngo");
    lines = linesBeforePong(engine, 7);
    ASSERT_EQ(lines.size(), 2u);
    std::smatch found;
    ASSERT_TRUE(std::regex_match(lines[0], found, thinking)) << lines[0];
    EXPECT_TRUE(found[1] == "3" && found[4] == "0") << lines[0];
    engine.send("force\nundo\nsd 0\nanalyze");
    lines = engine.readUntil(isThinking);
    ASSERT_FALSE(lines.empty());
    EXPECT_LE(std::stoi(lines.back()), 6) << lines.back();
    expectLegalThinking(lines, fen, {});
    engine.send("exit");

    engine.send(std::string("nopost\nsetboard ") + fen + "\nsd 4");
    for (const char* size : {"memory 1", "memory 16"}) {
        engine.send(std::string(size) + "\ngo");
        EXPECT_EQ(linesBeforePong(engine, 4).size(), 1u);
        engine.send("force");
    }
    engine.send("quit");
    EXPECT_EQ(engine.waitExit(), 0);
    const Lines moves = logged(engine, {"move"});
    EXPECT_EQ(moves.size(), 8u);
    EXPECT_TRUE(std::all_of(moves.begin(), moves.end(), isMoveLine));
    EXPECT_EQ(logged(engine, {"-M: table"}),
              (Lines{"-M: table 1 MiB, 16384 buckets a side", "-M: table 16 MiB, 262144 buckets a side"}));
}

// Several search threads, two and then four (`cores`): a search to a depth
// with its thinking, analysis with its status, `?` in the middle of an
// iteration, and pondering with a hit and a miss; every move and line of play
// legal. (Under ThreadSanitizer too.)
// Chess960 after `variant fischerandom`: games set up from both FEN forms with
// the kings of g1 and b1 and their rooks on h1 and a1, castlings received on
// both wings as O-O, O-O-O and the king taking its rook; the engine's own
// castlings on both wings sent as O-O and O-O-O, each a mate it claims; a
// castling onto an attacked square refused in both forms; another variant
// refused, changing nothing; `new` back to standard chess.
TEST(Program, Chess960Games) {
    EngineProcess engine;
    ASSERT_TRUE(engine.handshake());
    const Chess960Rules chess960(CastlingText::Letters);  // the in-process checks read the same rules
    const struct {
        const char* fen;
        Lines moves;
        Lines reply;  // empty: any legal move
    } games[] = {
        {"rbbnqnkr/pppppppp/8/8/8/8/PPPPPPPP/RBBNQNKR w KQkq - 0 1", {"f1e3", "f8e6", "O-O", "O-O"}, {}},
        {"rknbbqnr/pppppppp/8/8/8/8/PPPPPPPP/RKNBBQNR w HAha - 0 1",
         {"c1d3", "c8d6", "c2c3", "c7c6", "d1c2", "d8c7", "b1a1", "O-O-O"}, {}},
        {"2rkr3/2p1p3/8/8/8/8/PPP5/RK6 w A - 0 1", {}, {"move O-O-O", "1-0 {Drozak mates 1}"}},
        {"4rkr1/4p1p1/8/8/8/8/6PP/6KR w K - 0 1", {}, {"move O-O", "1-0 {Drozak mates 1}"}},
    };
    int ping = 1;
    engine.send("new");  // no book here: said once a run
    EXPECT_EQ(linesBeforePong(engine, ping++), Lines{BookError});
    for (const auto& g : games) {
        SCOPED_TRACE(g.fen);
        engine.send(std::string("new\nvariant fischerandom\nforce\nsetboard ") + g.fen);
        for (const std::string& m : g.moves) engine.send(m);
        engine.send("variant crazyhouse\nsd 3\ngo");
        const Lines lines = linesBeforePong(engine, ping++);
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[0], "Error (variant not supported): crazyhouse");
        EXPECT_TRUE(legalAfter(g.fen, g.moves, lines[1])) << lines[1];
        if (!g.reply.empty()) { EXPECT_EQ(Lines(lines.begin() + 1, lines.end()), g.reply); }
    }
    engine.send("new\nvariant fischerandom\nforce\nsetboard 2rkr3/2p1p3/8/8/8/4b3/PPP5/RK6 w A - 0 1\nO-O-O\nb1a1\nnew\nO-O");
    EXPECT_EQ(linesBeforePong(engine, ping++),
              (Lines{"Illegal move: O-O-O", "Illegal move: b1a1", "Error (unknown command): O-O"}));
}

TEST(Program, SearchThreads) {
    EngineProcess engine({.binary = {}, .withBook = false, .oldLog = {}, .args = {"--threads", "2"}});
    ASSERT_TRUE(engine.handshake());
    const char* fen = "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N2N2/PP2BPPP/R1BQ1RK1 w - - 0 1";
    for (const char* cores : {"", "cores 4\n"}) {
        SCOPED_TRACE(*cores ? cores : "2 from the command line");
        // level without a clock: sd alone limits the search
        engine.send(std::string(cores) + "new\nforce\neasy\npost\nlevel 40 5 0\nsetboard " + fen + "\nsd 5\ngo");
        Lines lines = linesBeforePong(engine, 1, 20000ms);
        ASSERT_GE(lines.size(), 2u);
        EXPECT_TRUE(isMoveLine(lines.back())) << lines.back();
        lines.pop_back();
        if (lines.front() == BookError) lines.erase(lines.begin());
        expectLegalThinking(lines, fen, {});
        EXPECT_EQ(std::stoi(lines.back()), 5) << lines.back();

        engine.send(std::string("force\nundo\nsd 0\nanalyze"));
        lines = engine.readUntil([](const std::string& l) { return isThinking(l) && std::stoi(l) >= 4; }, 10000ms);
        ASSERT_FALSE(lines.empty());
        expectLegalThinking(lines, fen, {});
        engine.send(".");
        lines = engine.readUntil([](const std::string& l) { return l.rfind("stat01:", 0) == 0; });
        ASSERT_FALSE(lines.empty());
        std::smatch status;
        EXPECT_TRUE(std::regex_match(lines.back(), status, std::regex("stat01: \\d+ (\\d+) \\d+ \\d+ \\d+ [a-h1-8]{4}"))) << lines.back();
        engine.send("exit\nhard\nst 30\ngo");
        std::this_thread::sleep_for(scaled(200ms));
        engine.send("?");
        lines = engine.readUntil(isMoveLine, 5000ms);
        ASSERT_FALSE(lines.empty());
        EXPECT_TRUE(isMoveLine(lines.back()) && legalAfter(fen, {}, lines.back())) << lines.back();

        // pondering after a move: the expected reply (a hit), then another (a miss)
        Lines game = {lines.back().substr(5)};
        engine.send("st 1");
        for (const bool hit : {true, false}) {
            SCOPED_TRACE(hit ? "a hit" : "a miss");
            std::this_thread::sleep_for(scaled(100ms));
            const Lines pondering = logged(engine, {"-E: PONDERING MOVE: "});
            ASSERT_FALSE(pondering.empty());
            std::string reply = pondering.back().substr(20);
            playInProcess(fen, game);
            std::set<std::string> replies = legalMoveTexts();
            ASSERT_TRUE(replies.count(reply)) << reply;
            if (!hit) {
                replies.erase(reply);
                reply = *replies.begin();
            }
            engine.send(reply);
            game.push_back(reply);
            lines = engine.readUntil(isMoveLine, 5000ms);
            ASSERT_FALSE(lines.empty());
            EXPECT_TRUE(isMoveLine(lines.back()) && legalAfter(fen, game, lines.back())) << lines.back();
            game.push_back(lines.back().substr(5));
        }
        // `easy` ends the pondering; what it still prints belongs to this
        // game, not to the next one's thinking
        engine.send("easy");
        const Lines drained = linesBeforePong(engine, 2);
        EXPECT_TRUE(drained.empty() || drained.back() != "(no pong 2)");
    }
    engine.send("quit");
    EXPECT_EQ(engine.waitExit(), 0);
    EXPECT_EQ(logged(engine, {"-GOOD PONDER"}).size(), 2u);
    EXPECT_EQ(logged(engine, {"-BAD PONDER"}).size(), 2u);
}

// Lines that arrive while the engine thinks: `?` makes it move at once and the
// lines before it wait their turn, `exit` among them (it does not apply);
// force, new, setboard, result, white, black give the move up; quit ends the
// program; the end of the input acts as `?` and then quit, however long the
// clock; fixed times and short clocks are kept. Bounds on how long things
// take are stretched by DROZAK_TIME_SCALE for instrumented builds.
TEST(ProgramTiming, InputWhileThinking) {
    const std::string middlegame = "setboard r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N2N2/PP2BPPP/R1BQ1RK1 w - -";
    EngineProcess engine;
    ASSERT_TRUE(engine.handshake());
    engine.send("new");
    EXPECT_EQ(linesBeforePong(engine, 0), Lines{BookError});
    engine.send(middlegame + "\nst 60\ngo\nping 1\nexit\npost\nping 2\n?");
    auto start = Clock::now();
    Lines lines = engine.readUntil([](const std::string& l) { return l == "pong 2"; }, 5000ms);
    EXPECT_LT(Clock::now() - start, scaled(1000ms));
    EXPECT_EQ(lines.size(), 3u);
    EXPECT_TRUE(isMoveLine(lines[0])) << lines[0];
    EXPECT_EQ(Lines(lines.begin() + 1, lines.end()), (Lines{"pong 1", "pong 2"}));

    engine.send("nopost");
    for (const std::string abandon : {"force", "new", "result 1/2-1/2 {agreed}", middlegame.c_str(), "white", "black"}) {
        SCOPED_TRACE(abandon);
        engine.send(middlegame + "\ngo\n" + abandon);
        start = Clock::now();
        EXPECT_EQ(linesBeforePong(engine, 3), Lines{});  // no move for a position the interface has left
        EXPECT_LT(Clock::now() - start, scaled(1000ms));
    }
    struct Clocks {
        const char* lines;
        std::chrono::milliseconds atLeast, atMost;  // atLeast 0: as fast as it can
    };
    for (const Clocks& c : {Clocks{"post\nst 0.5", 300ms, 1200ms}, Clocks{"nopost\nst 2\ntime 100", 0ms, 1000ms},
                            Clocks{"level 40 0:30 0\ntime 150\notim 150", 0ms, 1000ms},
                            Clocks{"time 5\notim 5", 0ms, 1000ms}, Clocks{"time -100", 0ms, 1000ms}}) {
        SCOPED_TRACE(c.lines);
        engine.send(middlegame + "\n" + c.lines);
        start = Clock::now();
        engine.send("go");
        lines = engine.readUntil(isMoveLine, 3000ms);
        const auto took = Clock::now() - start;
        if (c.atLeast > 0ms) { EXPECT_GE(took, c.atLeast); }
        EXPECT_LT(took, scaled(c.atMost));
        ASSERT_FALSE(lines.empty());
        EXPECT_TRUE(isMoveLine(lines.back()));
        if (c.atLeast > 0ms) {  // thinking from depth 2 on
            EXPECT_GE(lines.size(), 2u);
            EXPECT_TRUE(std::all_of(lines.begin(), lines.end() - 1, isThinking));
            if (lines.size() >= 2) { EXPECT_EQ(std::stoi(lines[0]), 2); }
        }
    }
    for (const bool quit : {true, false}) {  // in the middle of a long search
        EngineProcess other;
        EngineProcess& e = quit ? engine : other;
        ASSERT_TRUE(quit || e.handshake());
        e.send(middlegame + (quit ? "\nst 60\ngo" : "\nlevel 40 5 0\ntime 1000000000000\ngo\nping 5"));
        std::this_thread::sleep_for(300ms);
        start = Clock::now();
        if (quit) e.send("quit");
        else e.closeInput();
        EXPECT_EQ(e.waitExit(2000ms), 0);
        EXPECT_LT(Clock::now() - start, scaled(2000ms));
        lines = e.readUntil([](const std::string&) { return false; }, 500ms);
        if (quit) {
            EXPECT_EQ(lines, Lines{});  // no move
        } else {  // the best move so far, then what came before the end
            ASSERT_EQ(lines.size(), 2u);
            EXPECT_TRUE(isMoveLine(lines[0])) << lines[0];
            EXPECT_EQ(lines[1], "pong 5");
        }
    }
}

// Pondering: after its move the engine plays the reply it expects and thinks
// on; the expected move continues that one search, another move ends it; a
// take-back ends it and leaves the engine playing.
TEST(ProgramTiming, Pondering) {
    const char* fen = "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4";
    EngineProcess engine;
    ASSERT_TRUE(engine.handshake());
    engine.send(std::string("setboard ") + fen + "\nhard\nst 1\ngo");
    ASSERT_FALSE(engine.readUntil(isMoveLine, 3000ms).empty());
    std::this_thread::sleep_for(scaled(200ms));
    const auto ponderMove = [&] {
        const Lines lines = logged(engine, {"-E: PONDERING MOVE: "});
        return lines.empty() ? std::string() : lines.back().substr(20);
    };
    const std::string expected = ponderMove();
    ASSERT_FALSE(expected.empty());
    auto start = Clock::now();
    EXPECT_EQ(linesBeforePong(engine, 1), Lines{});  // answered while pondering
    EXPECT_LT(Clock::now() - start, scaled(500ms));

    // A hit: the reply within the allotment (0.9 s) and half a second, from
    // the search that ran already (`exit` changes nothing outside analysis).
    std::this_thread::sleep_for(300ms);
    const std::size_t searches = logged(engine, {"-FEN:"}).size();
    start = Clock::now();
    engine.send("exit\n" + expected);
    ASSERT_FALSE(engine.readUntil(isMoveLine, 3000ms).empty());
    EXPECT_LT(Clock::now() - start, scaled(1400ms));
    std::this_thread::sleep_for(scaled(200ms));
    EXPECT_EQ(logged(engine, {"-FEN:"}).size(), searches + 1);  // only the next ponder search
    EXPECT_EQ(logged(engine, {"-GOOD PONDER"}).size(), 1u);

    // A miss: the expected move is taken back, the real one played and
    // answered; then `remove` while pondering, and another move answered.
    Lines game;  // the engine's moves and the interface's, from the log
    for (const std::string& l : logged(engine, {"move ", "::cmd:: "}))
        if (isMoveLine(l) || looksLikeMove(l.substr(8).c_str())) game.push_back(l.substr(isMoveLine(l) ? 5 : 8));
    for (const bool takeBack : {false, true}) {
        SCOPED_TRACE(takeBack ? "after remove" : "a miss");
        const std::string expecting = ponderMove();
        ASSERT_FALSE(expecting.empty());
        if (takeBack) {
            engine.send("remove");
            game.resize(game.size() - 2);
        }
        playInProcess(fen, game);
        std::set<std::string> replies = legalMoveTexts();
        replies.erase(expecting);
        ASSERT_FALSE(replies.empty());
        engine.send(*replies.begin());
        const Lines lines = engine.readUntil(isMoveLine, 3000ms);
        ASSERT_FALSE(lines.empty());
        game.push_back(*replies.begin());
        EXPECT_TRUE(legalAfter(fen, game, lines.back())) << lines.back();
        game.push_back(lines.back().substr(5));
        std::this_thread::sleep_for(scaled(200ms));  // pondering again, on the next reply
    }
    EXPECT_EQ(logged(engine, {"-BAD PONDER"}).size(), 1u);
    start = Clock::now();
    engine.send("quit");
    EXPECT_EQ(engine.waitExit(2000ms), 0);
    EXPECT_LT(Clock::now() - start, scaled(1000ms));
}

}  // namespace
