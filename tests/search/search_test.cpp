// The search: mate distances, draws, the table guess, the log lines it writes,
// and a set of tactics it must solve at a fixed depth.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <regex>
#include <string>
#include <tuple>

#include "board/fen.h"
#include "board/gamelog.h"
#include "board/movetext.h"
#include "board/tables.h"
#include "book/book.h"
#include "movegen/movegen.h"
#include "search/search.h"
#include "search/transtable.h"

namespace {

class SearchTest : public ::testing::Test {
protected:
    void SetUp() override {
        initTables();
        gamelog::capture = &log;
    }
    void TearDown() override {
        gamelog::capture = nullptr;
        maxSearchDepth = 127;
    }

    void setUp(const char* fen) {
        Position p;
        ASSERT_TRUE(readFen(fen, p)) << fen;
        installPosition(p);
        searchNewGame();
    }

    ScoredMove search(int depth) {
        maxSearchDepth = depth;
        stopSearch = false;
        stopAfterIteration = false;
        log.clear();
        rootSearch();
        return rootResultEntry();
    }

    static std::string text(Move m) {
        char buffer[8];
        moveToText(buffer, m);
        return buffer;
    }

    // Plays coordinate moves as game moves.
    static void play(std::initializer_list<const char*> moves) {
        for (const char* m : moves) {
            const Move move = textToMove(m);
            ASSERT_NE(move, 0) << m;
            ASSERT_TRUE(playGameMove(move));
        }
    }

    std::string log;
};

TEST_F(SearchTest, MatesAreScoredByTheirDistance) {
    struct Case {
        const char* fen;
        int depth;
        int score;
    };
    const Case cases[] = {
        {"k7/8/1K6/8/8/8/8/7R w - -", 4, 8099},               // mate in 1
        {"3r2k1/8/8/8/8/8/5PPP/6K1 b - -", 4, 8099},          // mate in 1 for Black
        {"3r2k1/5ppp/8/8/8/8/4RPPP/4R1K1 w - -", 5, 8097},    // mate in 2
        {"4r1k1/4rppp/8/8/8/8/5PPP/3R2K1 b - -", 5, 8097},    // the same for Black
        {"8/8/7k/8/8/8/R7/1R4K1 w - -", 6, 8095},             // mate in 3 with two rooks
    };
    for (const Case& c : cases) {
        setUp(c.fen);
        const ScoredMove result = search(c.depth);
        EXPECT_EQ(result.score, c.score) << c.fen;
        EXPECT_TRUE(mateFound) << c.fen;
        EXPECT_NE(log.find("--- MATE: " + std::to_string(c.score) + "\n"), std::string::npos) << c.fen;
    }
}

TEST_F(SearchTest, MatedAndStalematedRootsHaveNoMove) {
    // fool's mate: White is mated at the root
    setUp("rnb1kbnr/pppp1ppp/8/4p3/5PPq/8/PPPPP2P/RNBQKBNR w KQkq -");
    ScoredMove result = search(4);
    EXPECT_EQ(result.move, 0);
    EXPECT_EQ(result.score, -8100);
    EXPECT_TRUE(mateFound);

    // Black to move has no move and is not in check
    setUp("7k/5Q2/6K1/8/8/8/8/8 b - -");
    result = search(4);
    EXPECT_EQ(result.move, 0);
    EXPECT_EQ(result.score, 0);
    EXPECT_FALSE(mateFound);
    const TransEntry* entry = ttFind();
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->move(), 0);
    EXPECT_EQ(entry->score(), 0);
    EXPECT_FALSE(entry->lowerBound() || entry->upperBound());
    EXPECT_NE(log.find("NOMOVE\n"), std::string::npos);
}

TEST_F(SearchTest, StalemateInsideTheTreeIsADraw) {
    // Qf7 would stalemate Black; Qg7 and Qa8 mate.
    setUp("7k/Q7/6K1/8/8/8/8/8 w - -");
    const ScoredMove result = search(4);
    EXPECT_EQ(result.score, 8099);
    EXPECT_TRUE(text(result.move) == "a7g7" || text(result.move) == "a7a8") << text(result.move);
    // the stalemate after Qf7 is stored exact, without a move, as a draw
    currentPly = &plyStack[1];
    saveUndo(plyStack[1]);
    const Move stalemating = textToMove("a7f7");
    makeMove(stalemating);
    const TransEntry* entry = ttFind();
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->move(), 0);
    EXPECT_EQ(entry->score(), 0);
    EXPECT_FALSE(entry->lowerBound() || entry->upperBound());
    unmakeMove(stalemating);
    currentPly = &plyStack[0];
}

TEST_F(SearchTest, RepetitionCountsOnceNearTheRoot) {
    setUp("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
    play({"g1f3", "g8f6", "f3g1", "f6g8", "g1f3", "g8f6"});
    // the game position occurred once before: the root still searches
    const ScoredMove result = search(3);
    EXPECT_NE(result.move, 0);
    // the child f3g1 repeats a position once: scored 0 without search
    const PlyRecord& root = plyStack[1];
    bool found = false;
    for (const ScoredMove* entry = root.moves; entry < root.listEnd; ++entry) {
        if (text(entry->move) == "f3g1") {
            found = true;
            EXPECT_EQ(entry->score, 0);
        }
    }
    EXPECT_TRUE(found);
}

TEST_F(SearchTest, ThirdOccurrenceAtTheRootIsClaimedAsDraw) {
    setUp("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
    play({"g1f3", "g8f6", "f3g1", "f6g8", "g1f3", "g8f6", "f3g1", "f6g8"});
    const ScoredMove result = search(4);
    EXPECT_EQ(result.move, 0);
    EXPECT_EQ(result.score, 0);
}

TEST_F(SearchTest, ExactTableEntryStartsTheSearchDeeper) {
    setUp("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -");
    const Move guess = textToMove("f1b5");
    ttStore(6, Exact, 40, guess);
    search(7);
    // no iteration below 7 is logged; the first one is depth 7
    EXPECT_EQ(log.find("\t5:\t"), std::string::npos);
    EXPECT_EQ(log.find("\t6:\t"), std::string::npos);
    EXPECT_NE(log.find("\t7:\t"), std::string::npos);

    // a stored depth of 127 leaves no iteration to run: the guess is the result
    setUp("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -");
    ttStore(127, Exact, 40, guess);
    const ScoredMove result = search(127);
    EXPECT_EQ(result.move, guess);
    EXPECT_EQ(result.score, 40);
    EXPECT_EQ(log.find("-E:N= "), std::string::npos);
}

TEST_F(SearchTest, LogLinesHaveTheirLayout) {
    setUp("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
    char buffer[128];
    EXPECT_STREQ(positionText(buffer), "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
    search(5);
    EXPECT_EQ(log.rfind("-FEN:\trnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -\n", 0), 0u) << log;
    // "-E:N= nodes\tdepth:\tscore\tpv" with five moves in the principal variation
    const std::regex iteration("-E:N= [0-9]+\t5:\t-?[0-9]+\t([a-h][1-8][a-h][1-8][qnrb]? ){5}\n");
    EXPECT_TRUE(std::regex_search(log, iteration)) << log;
    EXPECT_TRUE(std::regex_search(log, std::regex("-E:NF= [0-9]+\n"))) << log;

    setUp("r3k2r/8/8/8/8/8/8/4K3 b kq -");
    EXPECT_STREQ(positionText(buffer), "r3k2r/8/8/8/8/8/8/4K3 b kq -");
}

TEST_F(SearchTest, StopBeforeTheFirstIterationLeavesNoMove) {
    setUp("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -");
    maxSearchDepth = 10;
    stopSearch = true;
    log.clear();
    rootSearch();
    EXPECT_EQ(rootResultEntry().move, 0);
    EXPECT_EQ(rootResultEntry().score, -8190);
    EXPECT_NE(log.find("NOMOVE\n"), std::string::npos);
    EXPECT_EQ(completedDepth, 0);
    stopSearch = false;
}

// Book slots are never searched: once the game has left the book, a book
// position met in the tree must score as any other. Out of the book by a few
// plies, no root move scores as a king capture, and the moves and scores at
// depths 2-5 are the same with the shipped book in the table as without it.
// (A book move still orders the moves of its position, so the bounds of the
// other root moves may differ; not after 1.e4 e5 2.Bc4 Nc6, where the book
// made g1f3 score -8190.)
TEST_F(SearchTest, BookPositionsInTheTreeScoreAsAnyOther) {
    const std::vector<std::vector<const char*>> lines = {
        {"e2e4", "e7e5", "f1c4", "b8c6"},
        {"d2d4", "g8f6", "c2c4", "e7e6", "b1c3"},
        {"e2e4", "c7c5", "g1f3", "d7d6", "d2d4", "c5d4"},
        {"c2c4", "e7e5", "b1c3"},
    };
    const std::string book = std::string(DROZAK_BUILD_DIR) + "/Drozak.book";
    auto rootAfter = [&](const std::vector<const char*>& line, bool withBook, int depth) {
        setUp("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
        if (withBook) EXPECT_TRUE(loadBook(book.c_str(), [](int) { return 0; }));
        for (const char* m : line) {
            ScoredMove list[MoveListSize];
            ScoredMove* end = generateMoves(AllMoves, list);
            const Move move = textToMove(m);
            EXPECT_TRUE(std::any_of(list, end, [move](const ScoredMove& e) { return e.move == move; })) << m;
            playGameMove(move);
        }
        const ScoredMove result = search(depth);
        std::map<std::string, int> scores;
        for (const ScoredMove* e = plyStack[1].moves; e < plyStack[1].listEnd; ++e) scores[text(e->move)] = e->score;
        return std::make_tuple(text(result.move), result.score, scores);
    };
    for (const auto& line : lines) {
        SCOPED_TRACE(line.size());
        for (int depth = 2; depth <= 5; ++depth) {
            const auto [bookMove, bookScore, bookList] = rootAfter(line, true, depth);
            const auto [move, score, list] = rootAfter(line, false, depth);
            EXPECT_EQ(bookMove, move) << "depth " << depth;
            EXPECT_EQ(bookScore, score) << "depth " << depth;
            for (const auto& [m, s] : bookList) EXPECT_GT(s, -8000) << m << " depth " << depth;
            if (depth == 2 && line.size() == 4) EXPECT_EQ(bookList, list);
        }
    }
}

// Positions with one clearly winning move, each solved at a fixed depth.
TEST_F(SearchTest, FindsTheWinningMove) {
    struct Tactic {
        const char* fen;
        const char* move;
    };
    const Tactic tactics[] = {
        {"k7/8/1K6/8/8/8/8/7R w - -", "h1h8"},                                            // mate on the edge
        {"7k/8/5KQ1/8/8/8/8/8 w - -", "g6g7"},                                            // guarded queen mate
        {"r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq -", "h5f7"},      // scholar's mate
        {"6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - -", "d1d8"},                                    // back rank
        {"3r2k1/8/8/8/8/8/5PPP/6K1 b - -", "d8d1"},                                       // back rank, Black
        {"6rk/6pp/8/6N1/8/8/8/6K1 w - -", "g5f7"},                                        // smothered mate
        {"r5k1/8/8/8/8/8/5PPP/6K1 b - -", "a8a1"},                                        // back rank along the rank
        {"6k1/5ppp/8/8/8/1B6/8/3Q2K1 w - -", "d1d8"},                                     // queen mate
        {"6k1/5ppp/8/8/8/8/q4PPP/3Q2K1 w - -", "d1d8"},                                   // mate before being mated
        {"3r2k1/5ppp/8/8/8/8/4RPPP/4R1K1 w - -", "e2e8"},                                 // mate in 2 by doubled rooks
        {"4r1k1/4rppp/8/8/8/8/5PPP/3R2K1 b - -", "e7e1"},                                 // the same for Black
        {"r3k3/7p/8/1N6/8/8/7P/4K3 w - -", "b5c7"},                                       // knight forks king and rook
        {"3q3k/6pp/8/4N3/8/8/6PP/6K1 w - -", "e5f7"},                                     // knight forks king and queen
        {"6k1/6pp/8/8/4n3/8/6PP/3Q3K b - -", "e4f2"},                                     // the same fork for Black
        {"4k3/8/8/8/1b6/8/5K2/3Q4 w - -", "d1a4"},                                        // queen forks king and bishop
        {"3q4/5k2/8/1B6/8/8/8/4K3 b - -", "d8a5"},                                        // the same for Black
        {"8/8/3k4/8/2n1b3/8/3PK3/8 w - -", "d2d3"},                                       // pawn forks knight and bishop
        {"4k3/8/1q6/8/8/4B3/8/4R1K1 w - -", "e3b6"},                                      // capture with discovered check
        {"4k3/8/8/3q4/8/8/3R4/4K3 w - -", "d2d5"},                                        // a queen left hanging
        {"1r5k/P7/8/8/8/8/8/K7 w - -", "a7b8q"},                                          // promote by capturing
        {"8/5P1k/8/8/8/8/8/K7 w - -", "f7f8q"},                                           // promote to a queen
    };
    for (const Tactic& t : tactics) {
        setUp(t.fen);
        const ScoredMove result = search(5);
        EXPECT_EQ(text(result.move), t.move) << t.fen << " score " << result.score;
    }
}

std::string toolOutput(const std::string& arguments) {
    const std::string command = std::string(DROZAK_TOOLS) + " " + arguments;
    FILE* pipe = popen(command.c_str(), "r");
    EXPECT_NE(pipe, nullptr);
    if (!pipe) return "";
    std::string output;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
    EXPECT_EQ(pclose(pipe), 0) << output;
    return output;
}

// The node total of a fixed bench depth is the search's signature: anything
// that changes the search shows here.
TEST(BenchSignature, NodeTotalAtDepthFour) {
    const std::string output = toolOutput("bench 4");
    std::smatch match;
    ASSERT_TRUE(std::regex_search(output, match, std::regex("total ([0-9]+) nodes"))) << output;
    EXPECT_EQ(match[1].str(), "555002") << output;
}

// The search tool takes a FEN quoted or as separate words alike.
TEST(SearchTool, TakesTheFenInWords) {
    const std::string quoted = toolOutput("search 4 '8/8/8/4k3/8/8/4P3/4K3 w - -'");
    EXPECT_NE(quoted.find("bestmove "), std::string::npos) << quoted;
    EXPECT_EQ(toolOutput("search 4 8/8/8/4k3/8/8/4P3/4K3 w - -"), quoted);
    EXPECT_NE(toolOutput("search 4 8/8/8/4k3/8/8/4P3/4K3 b - -"), quoted);
}

}  // namespace
