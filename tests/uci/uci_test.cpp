// The engine as a UCI engine, over pipes as a UCI interface drives it: few
// long conversations, each checking the exact lines, the legality of every
// move and line of play it writes, one `bestmove` per `go`, and the log.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>
#include <set>
#include <sstream>
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

const Lines Handshake = {"id name Drozak " DROZAK_VERSION,
                         "id author the Drozak developers",
                         "option name Hash type spin default 64 min 1 max 65536",
                         "option name Threads type spin default 1 min 1 max 256",
                         "option name MultiPV type spin default 1 min 1 max 64",
                         "option name Clear Hash type button",
                         "option name Ponder type check default false",
                         "option name OwnBook type check default true",
                         "option name Move Overhead type spin default 30 min 0 max 5000",
                         "option name UCI_Chess960 type check default false",
                         "uciok"};
const std::regex info("info depth (\\d+) seldepth \\d+( multipv \\d+)? score (cp -?\\d+|mate -?\\d+) nodes (\\d+) nps \\d+ "
                      "time \\d+ hashfull \\d+ pv( [a-h][1-8][a-h][1-8][qnrb]?)+");
// A line of several: depth, which line, score in centipawns, first move.
const std::regex multipvLine("info depth (\\d+) seldepth \\d+ multipv (\\d+) score cp (-?\\d+) .* pv ([a-h][1-8][a-h][1-8][qnrb]?).*");
const std::regex finalInfo("info nodes (\\d+) nps \\d+ time \\d+");
const std::regex bestmove("bestmove ([a-h][1-8][a-h][1-8][qnrb]?|0000)( ponder ([a-h][1-8][a-h][1-8][qnrb]?))?");

bool isBestmove(const std::string& line) { return line.rfind("bestmove", 0) == 0; }

std::vector<std::string> wordsOf(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

// Whether `line` is a sequence of legal moves from `fen` after `moves`.
bool legalLine(const char* fen, Lines moves, const Lines& line) {
    for (const std::string& move : line) {
        playInProcess(fen, moves);
        if (!legalMoveTexts().count(move)) return false;
        moves.push_back(move);
    }
    return true;
}

// The answer to a `go` up to its bestmove: every info line well formed with a
// legal line of play, the final count, then a legal move and reply. Returns
// the lines; `move` is the bestmove ("0000" for none), `took` how long it
// took to come.
Lines expectSearch(EngineProcess& engine, const char* fen, const Lines& moves, std::string& move,
                   Clock::duration* took = nullptr) {
    const auto start = Clock::now();
    Lines lines = engine.readUntil(isBestmove, 5000ms);
    if (took) *took = Clock::now() - start;
    move = "";
    EXPECT_FALSE(lines.empty());
    if (lines.empty()) return lines;
    std::smatch m;
    EXPECT_TRUE(std::regex_match(lines.back(), m, bestmove)) << lines.back();
    move = m[1];
    if (move != "0000") {
        EXPECT_TRUE(legalLine(fen, moves, m[3].matched ? Lines{move, m[3]} : Lines{move})) << lines.back();
    }
    EXPECT_TRUE(lines.size() >= 2 && std::regex_match(lines[lines.size() - 2], finalInfo)) << lines.size();
    for (std::size_t i = 0; i + 2 < lines.size(); ++i) {
        if (lines[i].rfind("info string", 0) == 0) continue;
        EXPECT_TRUE(std::regex_match(lines[i], m, info)) << lines[i];
        const Lines words = wordsOf(lines[i]);
        const auto pv = std::find(words.begin(), words.end(), "pv");
        EXPECT_TRUE(legalLine(fen, moves, Lines(pv + (pv != words.end()), words.end()))) << lines[i];
    }
    return lines;
}

// The handshake and options; positions with their moves, refused ones leaving
// no position; go with a depth, nodes, a mate, root moves, a bad number; a
// position without moves, a drawn one; the log. Started with --uci.
TEST(UciProgram, ConversationAndRefusals) {
    EngineProcess engine({.binary = {}, .withBook = false, .oldLog = {}, .args = {"--uci"}});
    engine.send("uci");
    Lines expected = Handshake;
    expected.push_back("info string no opening book: Drozak.book cannot be read");
    EXPECT_EQ(engine.readUntil([](const std::string& l) { return l.rfind("info string", 0) == 0; }), expected);
    engine.send("debug on\nregister later\nsetoption name nonsense value 3\nsetoption name hash value 0\n"
                "setoption name Hash value many\nsetoption name Move Overhead value 5001\nsetoption name ownbook value maybe\n"
                "setoption name HASH value 16\nsetoption name clear hash\nsetoption name Ponder value true\nflip\nisready");
    EXPECT_EQ(engine.readUntil([](const std::string& l) { return l == "readyok"; }),
              (Lines{"info string no option named 'nonsense'", "info string option hash: bad value '0'",
                     "info string option Hash: bad value 'many'", "info string option Move Overhead: bad value '5001'",
                     "info string option ownbook: bad value 'maybe'", "info string unknown command 'flip'", "readyok"}));

    const char* italian = "r1bqkbnr/pppp1ppp/2n5/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R b KQkq - 3 3";
    std::string move;
    struct Search {
        const char* position;
        const char* fen;
        Lines moves;
        const char* go;
        std::regex lastInfo;  // of the info lines before the final count
        std::regex best;
    };
    const Search searches[] = {
        {"position startpos moves e2e4 e7e5 g1f3 b8c6 f1c4", StartPositionText, {"e2e4", "e7e5", "g1f3", "b8c6", "f1c4"},
         "go depth 4", std::regex("info depth 4 .*"), std::regex(".+")},
        {"position fen r1bqkbnr/pppp1ppp/2n5/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R b KQkq - 3 3", italian, {},
         "go depth x movetime 300 foo", std::regex("info .*"), std::regex(".+")},
        // the table's deeper result answers, at the depth asked for and with the nodes searched
        {"position fen r1bqkbnr/pppp1ppp/2n5/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R b KQkq - 3 3", italian, {}, "go depth 3",
         std::regex("info depth 3 seldepth \\d+ score cp -?\\d+ nodes 0 .*"), std::regex(".+")},
        // a fifty-move draw two plies ahead whatever White plays: the clock of the FEN counts
        {"position fen 7k/8/8/8/8/8/8/K5Q1 w - - 99 150", "7k/8/8/8/8/8/8/K5Q1 w - -", {}, "go depth 6",
         std::regex("info depth 6 seldepth \\d+ score cp 0 .*"), std::regex(".+")},
        {"position fen 6k1/5ppp/8/8/8/8/5PPP/2R1R1K1 w - - 0 1", "6k1/5ppp/8/8/8/8/5PPP/2R1R1K1 w - -", {},
         "go mate 2 wtime 60000 btime 60000", std::regex("info depth \\d+ .* score mate 1 .*"), std::regex("c1c8|e1e8")},
        {"position fen 3r2k1/5ppp/8/8/8/8/4RPPP/4R1K1 w - -", "3r2k1/5ppp/8/8/8/8/4RPPP/4R1K1 w - -", {}, "go mate 2",
         std::regex("info .* score mate 2 .* pv e2e8 d8e8 e1e8"), std::regex("e2e8")},
        {"position startpos moves g1f3 g8f6 f3g1 f6g8 g1f3 g8f6 f3g1 f6g8", StartPositionText,
         {"g1f3", "g8f6", "f3g1", "f6g8", "g1f3", "g8f6", "f3g1", "f6g8"}, "go depth 3", std::regex("info .*"),
         std::regex(".+")},  // drawn by the engine's own rule, and still a move
        {"position fen 7k/5Q2/6K1/8/8/8/8/8 b - -", "7k/5Q2/6K1/8/8/8/8/8 b - -", {}, "go depth 3 searchmoves",
         std::regex("info string .*|info depth 3 .*"), std::regex("0000")},  // stalemate
        {"position startpos", StartPositionText, {}, "go depth 3 searchmoves a2a3 h2h3 e2e5 wtime", std::regex("info .*"),
         std::regex("a2a3|h2h3")},
    };
    for (const Search& s : searches) {
        SCOPED_TRACE(std::string(s.position) + " / " + s.go);
        engine.send(std::string(s.position) + "\n" + s.go);
        Clock::duration took;
        const Lines lines = expectSearch(engine, s.fen, s.moves, move, &took);
        EXPECT_TRUE(std::regex_match(move, s.best)) << move;
        if (lines.size() >= 3) { EXPECT_TRUE(std::regex_match(lines[lines.size() - 3], s.lastInfo)) << lines[lines.size() - 3]; }
        if (std::string(s.go).find("movetime 300") != std::string::npos) {
            EXPECT_EQ(lines.front(), "info string go: depth without a number, ignored");
            EXPECT_GE(took, 200ms);
            EXPECT_LT(took, scaled(600ms));
        }
    }
    // exactly the node count asked for, give or take the poll
    engine.send(std::string("position fen ") + italian + "\ngo nodes 5000");
    Lines lines = expectSearch(engine, italian, {}, move);
    std::smatch m;
    ASSERT_GE(lines.size(), 2u);
    ASSERT_TRUE(std::regex_match(lines[lines.size() - 2], m, finalInfo));
    EXPECT_GE(std::stol(m[1]), 5000);
    EXPECT_LT(std::stol(m[1]), 5050);

    // Limits of zero or less answer at once, as the nearest limit that does.
    for (const auto& [go, said, depth] : {std::tuple{"go depth 0", "depth 0", 2}, {"go depth -1", "depth -1", 2},
                                          {"go nodes 0", "nodes 0", 2}, {"go mate 0", "mate 0", 2},
                                          {"go mate -3", "mate -3", 2}, {"go movetime 0", "movetime 0", 0},
                                          {"go movetime -5 depth 3", "movetime -5", 0}}) {
        SCOPED_TRACE(go);
        engine.send(std::string("position fen ") + italian + "\n" + go);
        lines = expectSearch(engine, italian, {}, move);
        ASSERT_GE(lines.size(), 3u);
        EXPECT_TRUE(lines[0].rfind(std::string("info string go: ") + said + " is out of range, searching", 0) == 0) << lines[0];
        if (depth) { EXPECT_TRUE(lines[lines.size() - 3].rfind("info depth 2 ", 0) == 0) << lines[lines.size() - 3]; }
    }

    // A whole game in one line, far past the length of a buffer of old, is read
    // whole; one past the limit is refused and leaves no position.
    Lines shuffle;
    for (int i = 0; i < 1000; ++i) shuffle.insert(shuffle.end(), {"g1f3", "g8f6", "f3g1", "f6g8"});
    shuffle.push_back("e2e4");
    std::string game = "position startpos moves";
    for (const std::string& m : shuffle) game += " " + m;
    engine.send(game + "\ngo depth 3");
    expectSearch(engine, StartPositionText, shuffle, move);
    EXPECT_TRUE(legalLine(StartPositionText, shuffle, {move})) << move;  // Black's move

    std::string tooLong = "position startpos moves";
    while (tooLong.size() <= InputQueue::LineLimit) tooLong += " g1f3 g8f6 f3g1 f6g8";
    // Refused, each leaving no position: bad FENs, moves, words with a NUL byte.
    const std::string nul(1, '\0');
    for (const std::string& refused : {std::string("position fen 8/8/8/8/8/8/8/8 w - -"), std::string("position startpos moves e2e4 e2e4"),
                                       std::string("position startpos e2e4"), std::string("position"),
                                       "position startpos moves e2e4" + nul + "junk e7e5",
                                       "position fen 4k3/8/8/8/8/8/8/4K3 w - - 0 1" + nul + "x", tooLong}) {
        SCOPED_TRACE(printable(refused.substr(0, 60)));
        engine.send(refused + "\ngo depth 2");
        lines = engine.readUntil(isBestmove);
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_TRUE(std::regex_match(lines[0], std::regex("info string [ -~]*: no position"))) << printable(lines[0]);
        EXPECT_EQ(Lines(lines.begin() + 1, lines.end()), (Lines{"info string no position to search", "bestmove 0000"}));
    }
    EXPECT_EQ(lines[0], "info string line longer than 1048576 characters refused: 'position': no position");
    engine.send("position startpos\ngo depth 2 searchmoves e2e4" + nul + "x d2d4");
    lines = expectSearch(engine, StartPositionText, {}, move);
    EXPECT_EQ(lines[0], "info string searchmoves: e2e4\\x00x is not a legal move here, left out");
    EXPECT_EQ(move, "d2d4");
    engine.send("ucinewgame\ngo depth 2\nstop\nisready");  // the start position again; a late stop does nothing
    lines = engine.readUntil([](const std::string& l) { return l == "readyok"; });
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), isBestmove), 1);
    EXPECT_TRUE(legalLine(StartPositionText, {}, {lines[lines.size() - 2].substr(9, 4)})) << lines[lines.size() - 2];
    engine.send("quit");
    EXPECT_EQ(engine.waitExit(), 0);

    const Lines log = engine.logLines();
    EXPECT_EQ(*std::find_if(log.begin(), log.end(), [](const std::string& l) { return l.rfind("::cmd::", 0) == 0; }),
              "::cmd:: uci");
    EXPECT_EQ(std::count(log.begin(), log.end(), "::cmd:: isready"), 2);
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const std::string& l) { return l.rfind("-M: bestmove ", 0) == 0; }),
              std::size(searches) + 11);
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const std::string& l) { return l.rfind("-FEN:", 0) == 0; }),
              std::size(searches) + 11);
}

// Several search threads, two and then four: a search to a depth, a node
// limit counted over all threads, a stop in the middle of an iteration, a
// ponder hit and a miss, searchmoves; every answer one legal bestmove, every
// line of play legal. (Under ThreadSanitizer too.)
// Chess960 under UCI_Chess960: games from the kings of b1 and g1 with their
// rooks on a1 and h1, each side castling (the king takes its rook) on either
// wing before the engine moves; the engine's own castlings on both wings,
// each a mate; a castling onto an attacked square refused; the standard start
// with its castling written e1h1.
TEST(UciProgram, Chess960Games) {
    EngineProcess engine({.binary = {}, .withBook = false, .oldLog = {}, .args = {"--uci"}});
    engine.send("uci\nsetoption name UCI_Chess960 value true\nisready");
    engine.readUntil([](const std::string& l) { return l == "readyok"; });
    const Chess960Rules chess960;  // the in-process checks read the same rules
    const char* kingG1 = "rbbnqnkr/pppppppp/8/8/8/8/PPPPPPPP/RBBNQNKR w HAha - 0 1";
    const char* kingB1 = "rknbbqnr/pppppppp/8/8/8/8/PPPPPPPP/RKNBBQNR w KQkq - 0 1";  // X-FEN
    const char* queenSideMate = "2rkr3/2p1p3/8/8/8/8/PPP5/RK6 w A - 0 1";
    const char* kingSideMate = "4rkr1/4p1p1/8/8/8/8/6PP/6KR w K - 0 1";
    const struct {
        const char* fen;
        Lines moves;
        const char* best;
    } games[] = {
        {kingG1, {"f1e3", "f8e6", "g1h1", "g8h8"}, ".+"},
        {kingB1, {"c1d3", "c8d6", "c2c3", "c7c6", "d1c2", "d8c7", "b1a1", "b8a8"}, ".+"},
        {queenSideMate, {}, "b1a1"}, {kingSideMate, {}, "g1h1"},
        {StartPositionText, {"e2e4", "e7e5", "g1f3", "g8f6", "f1c4", "f8c5", "e1h1"}, ".+"},
    };
    std::string move;
    for (const auto& g : games) {
        SCOPED_TRACE(g.fen);
        std::string line = std::string("position fen ") + g.fen + " moves";
        for (const std::string& m : g.moves) line += " " + m;
        engine.send(line + "\ngo depth 3");
        expectSearch(engine, g.fen, g.moves, move);
        EXPECT_TRUE(std::regex_match(move, std::regex(g.best))) << move;
    }
    engine.send("position fen 2rkr3/2p1p3/8/8/8/4b3/PPP5/RK6 w A - 0 1 moves b1a1\ngo depth 2");
    EXPECT_EQ(engine.readUntil(isBestmove), (Lines{"info string illegal move b1a1 in position: no position",
                                                   "info string no position to search", "bestmove 0000"}));
}

TEST(UciProgram, SearchThreads) {
    EngineProcess engine({.binary = DROZAK_UCI_BINARY, .withBook = false, .oldLog = {}, .args = {"--threads", "2"}});
    engine.send("uci");
    ASSERT_FALSE(engine.readUntil([](const std::string& l) { return l == "uciok"; }).empty());
    const char* fen = "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N2N2/PP2BPPP/R1BQ1RK1 w - - 0 1";
    std::string move;
    std::smatch m;
    for (const char* threads : {"", "4"}) {
        SCOPED_TRACE(*threads ? threads : "2 from the command line");
        if (*threads) engine.send(std::string("setoption name Threads value ") + threads);
        engine.send(std::string("position fen ") + fen + "\ngo depth 5");
        Lines lines = expectSearch(engine, fen, {}, move);
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ(lines[lines.size() - 3].rfind("info depth 5 ", 0), 0u) << lines[lines.size() - 3];

        engine.send("ucinewgame\nposition fen " + std::string(fen) + "\ngo nodes 30000");
        lines = expectSearch(engine, fen, {}, move);
        ASSERT_TRUE(lines.size() >= 2 && std::regex_match(lines[lines.size() - 2], m, finalInfo));
        EXPECT_GE(std::stol(m[1]), 30000);
        EXPECT_LT(std::stol(m[1]), 31000) << "nodes over the limit, counted over every thread";

        engine.send(std::string("position fen ") + fen + "\ngo infinite");
        std::this_thread::sleep_for(scaled(150ms));
        engine.send("stop");
        expectSearch(engine, fen, {}, move);

        // the reply the engine expects, played: a hit; another: a miss, stopped
        engine.send(std::string("position fen ") + fen + "\ngo depth 5");
        lines = expectSearch(engine, fen, {}, move);
        ASSERT_TRUE(std::regex_match(lines.back(), m, bestmove) && m[3].matched) << lines.back();
        const Lines hit = {m[1], m[3]};
        engine.send(std::string("position fen ") + fen + " moves " + hit[0] + " " + hit[1] + "\ngo ponder wtime 3000 btime 3000");
        std::this_thread::sleep_for(scaled(100ms));
        engine.send("ponderhit");
        expectSearch(engine, fen, hit, move);
        playInProcess(fen, {hit[0]});
        std::set<std::string> others = legalMoveTexts();
        others.erase(hit[1]);
        const Lines miss = {hit[0], *others.begin()};
        engine.send(std::string("position fen ") + fen + " moves " + hit[0] + " " + hit[1] + "\ngo ponder wtime 3000 btime 3000");
        std::this_thread::sleep_for(scaled(100ms));
        engine.send("stop");
        expectSearch(engine, fen, hit, move);
        engine.send(std::string("position fen ") + fen + " moves " + miss[0] + " " + miss[1] + "\ngo wtime 2000 btime 2000");
        expectSearch(engine, fen, miss, move);

        engine.send(std::string("position fen ") + fen + "\ngo depth 5 searchmoves a2a3 h2h3");
        expectSearch(engine, fen, {}, move);
        EXPECT_TRUE(move == "a2a3" || move == "h2h3") << move;
    }

    // Several lines (with the four threads still): every completed depth
    // shows them all, best first, with distinct first moves, and the move
    // played is the first line's; root moves limit the lines too.
    engine.send("setoption name MultiPV value 3");
    for (const auto& [go, lines, among] : {std::tuple{"go depth 5", 3u, std::set<std::string>{}},
                                           {"go depth 5 searchmoves a2a3 h2h3", 2u, std::set<std::string>{"a2a3", "h2h3"}}}) {
        SCOPED_TRACE(go);
        engine.send(std::string("position fen ") + fen + "\n" + go);
        const Lines answer = expectSearch(engine, fen, {}, move);
        std::map<int, std::vector<std::pair<int, std::string>>> byDepth;  // the last report of each line of each depth
        for (const std::string& line : answer) {
            if (!std::regex_match(line, m, multipvLine)) continue;
            auto& depthLines = byDepth[std::stoi(m[1])];
            const std::size_t k = std::stoul(m[2]);
            if (depthLines.size() < k) depthLines.resize(k);
            depthLines[k - 1] = {std::stoi(m[3]), m[4]};
        }
        ASSERT_FALSE(byDepth.empty());
        for (const auto& [depth, found] : byDepth) {
            SCOPED_TRACE(depth);
            EXPECT_EQ(found.size(), lines);
            std::set<std::string> firsts;
            for (std::size_t k = 0; k < found.size(); ++k) {
                firsts.insert(found[k].second);
                if (k) { EXPECT_LE(found[k].first, found[k - 1].first); }
                if (!among.empty()) { EXPECT_TRUE(among.count(found[k].second)) << found[k].second; }
            }
            EXPECT_EQ(firsts.size(), found.size());
        }
        EXPECT_EQ(move, byDepth.rbegin()->second[0].second);
    }
    engine.send("quit");
    EXPECT_EQ(engine.waitExit(), 0);
}

// A search that runs until the interface says: isready answered at once,
// stop within 50 ms; go ponder until ponderhit (then the clock) or stop;
// bestmove held under infinite even when the search is over; clocks and
// negative clocks; the end of the input as stop and quit; drozak-uci
// without arguments.
TEST(UciProgramTiming, InfinitePonderAndClocks) {
    const char* middlegame = "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N2N2/PP2BPPP/R1BQ1RK1 w - - 0 1";
    EngineProcess engine({.binary = DROZAK_UCI_BINARY, .withBook = true, .oldLog = {}, .args = {}});
    engine.send("uci");
    EXPECT_EQ(engine.readUntil([](const std::string& l) { return l == "uciok"; }), Handshake);
    std::string move;
    const auto silentFor = [&](std::chrono::milliseconds ms) {
        const Lines lines = engine.readUntil([](const std::string&) { return false; }, ms);
        return std::none_of(lines.begin(), lines.end(), isBestmove);
    };
    struct Held {
        const char* go;
        const char* release;
    };
    for (const Held& h : {Held{"go infinite", "stop"}, {"go infinite wtime 2000 btime 2000", "stop"},
                          {"go infinite movetime 300", "stop"}, {"go ponder wtime 10000 btime 10000", "stop"},
                          {"go ponder movetime 250", "stop"}, {"go ponder wtime 2000 btime 2000 movestogo 10", "ponderhit"}}) {
        SCOPED_TRACE(h.go);
        engine.send(std::string("position fen ") + middlegame + "\n" + h.go);
        EXPECT_TRUE(silentFor(300ms));
        auto start = Clock::now();
        engine.send("isready");
        EXPECT_FALSE(engine.readUntil([](const std::string& l) { return l == "readyok"; }).empty());
        EXPECT_LT(Clock::now() - start, scaled(50ms));
        engine.send(h.release);
        Clock::duration took;
        expectSearch(engine, middlegame, {}, move, &took);
        EXPECT_LT(took, scaled(std::string(h.release) == "stop" ? 50ms : 400ms));
    }
    // over by itself (a mate in one), and still held until stop, once
    engine.send("position fen 6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - 0 1\ngo infinite");
    EXPECT_TRUE(silentFor(300ms));
    engine.send("stop\nstop");
    expectSearch(engine, "6k1/5ppp/8/8/8/8/5PPP/R5K1 w - -", {}, move);
    EXPECT_EQ(move, "a1a8");
    EXPECT_TRUE(silentFor(200ms));
    struct Clocked {
        const char* go;
        std::chrono::milliseconds atMost;
    };
    for (const Clocked& c : {Clocked{"go wtime -200 btime 5000", 200ms}, {"go wtime 1000 btime 1000 winc 0", 300ms},
                             {"go movetime 250", 400ms}, {"go btime 300000 wtime 100", 300ms}}) {
        SCOPED_TRACE(c.go);
        engine.send(std::string("position fen ") + middlegame + "\n" + c.go);
        Clock::duration took;
        expectSearch(engine, middlegame, {}, move, &took);
        EXPECT_LT(took, scaled(c.atMost));
    }
    // the book, from the start position, at once and from the book's lines
    engine.send("position startpos\ngo wtime 60000 btime 60000");
    Clock::duration took;
    expectSearch(engine, StartPositionText, {}, move, &took);
    EXPECT_LT(took, scaled(200ms));
    engine.send("position startpos moves e2e4 e7e5\ngo infinite");
    EXPECT_TRUE(silentFor(200ms));
    engine.closeInput();
    expectSearch(engine, StartPositionText, {"e2e4", "e7e5"}, move);
    EXPECT_EQ(engine.waitExit(), 0);
    const Lines book = [&] {
        Lines l;
        for (const std::string& line : engine.logLines())
            if (line.rfind("-M: move(book): ", 0) == 0) l.push_back(line);
        return l;
    }();
    EXPECT_EQ(book.size(), 1u);
}

}  // namespace
