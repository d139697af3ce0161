// The search: mate distances, positions without a move, repetitions near the
// root, the table's guess, the log lines, stopping, book slots in the tree,
// the bench signature, and the repetition look-ahead for a move not yet made.
// (The game tests compare every draw answer of a long game with the whole
// game's; the soak, every claim of thousands of games with the board.)
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "board/gamelog.h"
#include "book/book.h"
#include "search/draw.h"
#include "search/transtable.h"
#include "support/chess.h"
#include "support/engine_process.h"

using namespace testsupport;

namespace {

constexpr const char* StartFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";
constexpr const char* Italian = "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -";
const std::vector<const char*> Shuffle = {"g1f3", "g8f6", "f3g1", "f6g8", "g1f3", "g8f6"};

class SearchTest : public ::testing::Test {
protected:
    void SetUp() override { gamelog::capture = &log; }
    void TearDown() override {
        gamelog::capture = nullptr;
        searchSignals.stop = false;
    }

    // Sets up `fen` and plays `moves` as game moves.
    static void setUp(const char* fen, const std::vector<const char*>& moves = {}) {
        setUpFen(fen);
        for (const char* m : moves) {
            ASSERT_TRUE(legalMoveTexts().count(m)) << m;
            playGameMove(board(), textToMove(m));
        }
    }

    // A search of the game position by the first thread alone.
    ScoredMove search(int depth) {
        SearchRequest request;
        request.depthCap = depth;
        searchSignals.stopAfterIteration = false;
        log.clear();
        searchPool.prepare(board());
        searchPool.run(request);
        return searchPool.main().result();
    }

    std::string log;
};

// Each position searched to a depth: the move (a pattern, "" for none), the
// score where it is fixed, whether a mate was found, a pattern the log must
// hold and one it must not (mates end the search at once).
TEST_F(SearchTest, RootResultsAndLog) {
    constexpr int Any = 99999;
    const struct {
        const char* fen;
        std::vector<const char*> moves;
        int preset;  // the depth of an exact table entry for the root (score 40, f1b5); 0 none
        bool stop;   // stopped before it starts
        int depth;
        const char* move;
        int score;
        bool mate;
        const char *logged, *notLogged;
    } cases[] = {
        {"k7/8/1K6/8/8/8/8/7R w - -", {}, 0, false, 4, "h1h8", 8099, true, "--- MATE: 8099\n", "NOMOVE"},
        {"3r2k1/8/8/8/8/8/5PPP/6K1 b - -", {}, 0, false, 4, "d8d1", 8099, true, "--- MATE: 8099\n", "NOMOVE"},
        {"3r2k1/5ppp/8/8/8/8/4RPPP/4R1K1 w - -", {}, 0, false, 5, "e2e8", 8097, true, "--- MATE: 8097\n", "\t5:"},
        {"4r1k1/4rppp/8/8/8/8/5PPP/3R2K1 b - -", {}, 0, false, 5, "e7e1", 8097, true, "--- MATE: 8097\n", "\t5:"},
        {"8/8/7k/8/8/8/R7/1R4K1 w - -", {}, 0, false, 6, ".+", 8095, true, "--- MATE: 8095\n", "\t6:"},
        // fool's mate: White is mated at the root; a stalemated root; Qf7 would stalemate, Qg7 and Qa8 mate
        {"rnb1kbnr/pppp1ppp/8/4p3/5PPq/8/PPPPP2P/RNBQKBNR w KQkq -", {}, 0, false, 4, "", -8100, true, "", ""},
        {"7k/5Q2/6K1/8/8/8/8/8 b - -", {}, 0, false, 4, "", 0, false, "NOMOVE\n", "MATE"},
        {"7k/Q7/6K1/8/8/8/8/8 w - -", {}, 0, false, 4, "a7g7|a7a8", 8099, true, "", ""},
        // the game position occurred once before: the root searches; a third time: drawn
        {StartFen, Shuffle, 0, false, 3, ".+", Any, false, "", "NOMOVE"},
        {StartFen, {"g1f3", "g8f6", "f3g1", "f6g8", "g1f3", "g8f6", "f3g1", "f6g8"}, 0, false, 4, "", 0, false, "", ""},
        // a queen down, Black saves the game by going back to a position seen
        // once: one earlier time is enough right below the root
        {"7k/8/8/8/8/8/8/3Q2K1 w - -", {"d1d2", "h8g8", "d2d1", "g8h8", "d1d2"}, 0, false, 4, "h8g8", 0, false, "", ""},
        // an exact entry of depth 6 starts the search at depth 7; of depth 127 it is the result
        {Italian, {}, 6, false, 7, ".+", Any, false, "\t7:\t", "\t[56]:\t"},
        {Italian, {}, 127, false, 127, "f1b5", 40, false, "", "-E:N= "},
        // one move, into a dead draw: iterations are cheap up to the last the ply stack holds
        {"k7/8/8/8/8/8/1r6/K7 w - -", {}, 0, false, 127, "a1b2", 0, false, "\t125:\t", "\t126:\t"},
        // the position, each iteration from depth 5 (nodes, depth, score, line), the final node count
        {StartFen, {}, 0, false, 5, ".+", Any, false,
         "^-FEN:\trnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -\n(.|\n)*"
         "-E:N= [0-9]+\t5:\t-?[0-9]+\t([a-h][1-8][a-h][1-8][qnrb]? ){5}\n(.|\n)*-E:NF= [0-9]+\n", "\t4:\t"},
        {Italian, {}, 0, true, 10, "", -8190, false, "NOMOVE\n", "-E:N= "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fen);
        setUp(c.fen, c.moves);
        if (c.preset) ttStore(position(), c.preset, Exact, 40, mv("f1b5"));
        searchSignals.stop = c.stop;
        const ScoredMove result = search(c.depth);
        const SearchThread& main = searchPool.main();
        const std::string move = result.move ? moveText(result.move) : "";
        EXPECT_TRUE(std::regex_match(move, std::regex(c.move))) << move;
        if (c.score != Any) { EXPECT_EQ(result.score, c.score); }
        EXPECT_EQ(main.mateFound, c.mate);
        EXPECT_TRUE(std::regex_search(log, std::regex(c.logged))) << log;
        EXPECT_FALSE(*c.notLogged && std::regex_search(log, std::regex(c.notLogged))) << log;
        if (c.stop) { EXPECT_EQ(main.completedDepth, 0); }
        // what `.` reports in analysis: the last iteration took up every root move
        if (!c.stop && !main.mateFound) { EXPECT_EQ(main.rootProgress.started.load(), main.rootProgress.moves.load()); }
    }
}

// The line of play follows the table only along moves the position has: a
// stale or colliding slot (here e4e7, from an empty square) ends it untouched.
TEST_F(SearchTest, PrincipalVariationTakesOnlyMovesOfThePosition) {
    setUp(StartFen);
    ttStore(position(), 5, Exact, 0, mv("e4e7"));
    searchPool.prepare(board());
    SearchThread& main = searchPool.main();
    const Position before = main.board.position;
    char text[256] = "x";
    main.pvText(text, 3);
    EXPECT_STREQ(text, "");
    EXPECT_TRUE(samePosition(main.board.position, before));
}

// Book slots are never searched: out of the book by a few plies, a book
// position met in the tree scores as any other. No root move scores as a king
// capture, and the result at depths 2-5 is the same with the shipped book in
// the table as without it. (A book move still orders the moves of its
// position, so the bounds of other root moves may differ; not after 1.e4 e5
// 2.Bc4 Nc6, where the book once made g1f3 score -8190.)
TEST_F(SearchTest, BookPositionsInTheTreeScoreAsAnyOther) {
    const std::vector<std::vector<const char*>> lines = {
        {"e2e4", "e7e5", "f1c4", "b8c6"},
        {"d2d4", "g8f6", "c2c4", "e7e6", "b1c3"},
        {"e2e4", "c7c5", "g1f3", "d7d6", "d2d4", "c5d4"},
        {"c2c4", "e7e5", "b1c3"},
    };
    const std::string book = std::string(DROZAK_BUILD_DIR) + "/Drozak.book";
    auto rootAfter = [&](const std::vector<const char*>& line, bool withBook, int depth) {
        setUp(StartFen);
        if (withBook) { EXPECT_TRUE(loadBook(board(), book.c_str(), [](int) { return 0; })); }
        for (const char* m : line) playGameMove(board(), textToMove(m));
        const ScoredMove result = search(depth);
        std::map<std::string, int> scores;
        const PlyRecord& root = searchPool.main().board.plyStack[1];
        for (const ScoredMove* e = root.moves; e < root.listEnd; ++e)
            scores[moveText(e->move)] = e->score;
        return std::make_tuple(moveText(result.move), result.score, scores);
    };
    for (const auto& line : lines) {
        for (int depth = 2; depth <= 5; ++depth) {
            SCOPED_TRACE(::testing::Message() << line.size() << " plies, depth " << depth);
            const auto [bookMove, bookScore, bookList] = rootAfter(line, true, depth);
            const auto [move, score, list] = rootAfter(line, false, depth);
            EXPECT_EQ(bookMove, move);
            EXPECT_EQ(bookScore, score);
            for (const auto& [m, s] : bookList) EXPECT_GT(s, -8000) << m;
            if (depth == 2 && line.size() == 4) { EXPECT_EQ(bookList, list); }
        }
    }
}

// The node total of a fixed bench depth is the search's signature: anything
// that changes the search shows here. The UCI engine's `bench` prints the same
// lines (the speeds and times aside), after other searches too, and is
// afterwards as after `ucinewgame`: the start position with its book, the
// table back to its size.
TEST(BenchSignature, NodeTotalAtDepthFour) {
    int code = -1;
    const std::string output = toolOutput("bench 4", &code);
    EXPECT_EQ(code, 0) << output;
    std::smatch match;
    ASSERT_TRUE(std::regex_search(output, match, std::regex("total ([0-9]+) nodes"))) << output;
    EXPECT_EQ(match[1].str(), "555002") << output;

    EngineProcess engine({.binary = DROZAK_UCI_BINARY, .withBook = true, .oldLog = {}, .args = {}});
    const auto isBestmove = [](const std::string& l) { return l.rfind("bestmove", 0) == 0; };
    engine.send("setoption name Hash value 2\nsetoption name OwnBook value false\nposition startpos\ngo depth 8");
    engine.readUntil(isBestmove, scaled(10000ms));
    engine.send("setoption name OwnBook value true\nbench 4\ngo depth 3");
    const auto lines = engine.readUntil(isBestmove, scaled(10000ms));
    std::string benchLines;
    for (const std::string& line : lines)
        if (line.rfind("info", 0) != 0 && line.rfind("bestmove", 0) != 0) benchLines += line + "\n";
    const auto withoutSpeed = [](const std::string& text) {
        return std::regex_replace(text, std::regex("seconds [0-9.]+|[0-9]+ nps| +[0-9]+\\.[0-9]{3} s "), "");
    };
    EXPECT_EQ(withoutSpeed(benchLines), withoutSpeed(output));
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(std::regex_search(lines.back(), std::regex("^bestmove [a-h][1-8][a-h][1-8] ponder "))) << lines.back();
    EXPECT_TRUE(std::find(lines.begin(), lines.end(), "info nodes 0 nps 0 time 0") != lines.end());  // from the book
    engine.send("bench 1\nisready");
    EXPECT_EQ(engine.readLine(), "info string bench: depth '1' is not a number from 2 to 127");
    EXPECT_EQ(engine.readLine(), "readyok");
}

// The search tool takes a FEN quoted or as separate words alike.
TEST(SearchTool, TakesTheFenInWords) {
    const std::string quoted = toolOutput("search 4 '8/8/8/4k3/8/8/4P3/4K3 w - -'");
    EXPECT_NE(quoted.find("bestmove "), std::string::npos) << quoted;
    EXPECT_EQ(toolOutput("search 4 8/8/8/4k3/8/8/4P3/4K3 w - -"), quoted);
    EXPECT_NE(toolOutput("search 4 8/8/8/4k3/8/8/4P3/4K3 b - -"), quoted);
}

// A game move for the draw rules: made on the one undo record, never taken back.
void advance(Move m) {
    saveUndo(board());
    makeMove(board(), m);
}

// It sees the third time a quiet move would bring, and leaves everything alone
// for any other move: other kinds, none at all (a table slot without one), and
// quiet moves that do not fit (from an empty square, of the other side, onto a
// man).
TEST(Draw, RepetitionAfterOtherMovesLeavesEverythingAlone) {
    setUpFen("rn2k2r/8/8/8/8/8/8/RN2K2R w KQkq -");
    for (const char* m : {"b1c3", "b8c6", "c3b1", "c6b8", "b1c3", "b8c6", "c3b1"}) advance(mv(m));
    Board& b = board();
    EXPECT_TRUE(repetitionAfter(b, mv("c6b8"), 2));  // the start a third time
    const HistoryEntry* top = b.historyTop;
    const std::vector<HistoryEntry> history_(b.history, b.history + HistorySize);
    const Position before = b.position;
    for (Move m : {mv("e8g8", CastleBlackKingSide), mv("e8c8", CastleBlackQueenSide), mv("a8a1", Capture),
                   mv("c6b4", EnPassant), mv("c6b8", PromoteKnight), mv("c6b8", CapturePromoteQueen), Move{0},
                   mv("b2b3"), mv("d5d6"), mv("a1a2"), mv("c6e8")}) {
        EXPECT_FALSE(repetitionAfter(b, m, 1)) << moveText(m);
        EXPECT_EQ(b.historyTop, top);
        EXPECT_TRUE(std::equal(history_.begin(), history_.end(), b.history,
                               [](const HistoryEntry& a, const HistoryEntry& b) {
                                   return a.hashKey == b.hashKey && a.move == b.move &&
                                          a.reversibleCount == b.reversibleCount;
                               }));
        EXPECT_TRUE(samePosition(b.position, before));
    }
}

}  // namespace
