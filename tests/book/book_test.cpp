// The opening book: the loader against book files written here (sound ones
// and every kind of broken one), position setup with and without the book,
// the book maker, and the shipped book in the engine.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "board/board_checks.h"
#include "board/gamelog.h"
#include "board/movetext.h"
#include "board/position.h"
#include "book/book.h"
#include "protocol/setup.h"
#include "search/transtable.h"
#include "support/engine_process.h"

namespace {

namespace fs = std::filesystem;
using Line = std::vector<Move>;

constexpr const char* StartFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

constexpr int sq(const char* name) { return (name[0] - 'a') + 8 * ('8' - name[1]); }

// "e2e4" as a move code of the given kind.
constexpr Move mv(const char* text, int kind = Quiet) { return makeMoveCode(sq(text), sq(text + 2), kind); }

// A book file built byte by byte, so that broken files can be written too.
struct BookBytes {
    std::string bytes;

    explicit BookBytes(const std::string& header) : bytes(header) {}
    BookBytes& line(const Line& moves) { return record(moves, static_cast<unsigned char>(moves.size())); }
    // A record whose count byte need not match its moves.
    BookBytes& record(const Line& moves, unsigned char count) {
        bytes += static_cast<char>(count);
        for (Move m : moves) {
            bytes += static_cast<char>(m & 0xFF);
            bytes += static_cast<char>(m >> 8);
        }
        return *this;
    }
    BookBytes& raw(const std::string& more) {
        bytes += more;
        return *this;
    }
    void write(const fs::path& path) const {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << bytes;
    }
};

std::string header(int count) { return std::to_string(count) + "\n"; }

int chosenLine = 0;
int lastLineCount = -1;
int chooseFixed(int lineCount) {
    lastLineCount = lineCount;
    return chosenLine;
}

const Line lineA = {mv("e2e4"), mv("e7e5"), mv("g1f3")};
const Line lineB = {mv("e2e4"), mv("c7c5"), mv("g1f3")};
const Line lineC = {mv("d2d4"), mv("d7d5"), mv("c2c4")};

class BookTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureTables();
        installPosition(positionFromFen(StartFen));
        currentPly = plyStack;
        ttClear();
        before = position;
        historyBefore = historyTop;
    }

    // The book move stored for the position after `prefix`, or 0.
    Move bookMoveAfter(const Line& prefix) {
        for (Move m : prefix) {
            saveUndo(*currentPly);
            makeMove(m);
            ++currentPly;
        }
        const TransEntry* e = ttFind();
        const Move found = (e && isBookEntry(*e)) ? e->move() : 0;
        for (auto m = prefix.rbegin(); m != prefix.rend(); ++m) {
            --currentPly;
            unmakeMove(*m);
        }
        return found;
    }

    // Every move of `line` from its move `from` on is the book move of the
    // position it is played from (earlier positions may be another line's).
    void expectStored(const Line& line, std::size_t from = 0) {
        Line prefix(line.begin(), line.begin() + from);
        for (std::size_t i = from; i < line.size(); ++i) {
            EXPECT_EQ(bookMoveAfter(prefix), line[i]) << "after " << i << " moves";
            prefix.push_back(line[i]);
        }
    }

    // Whatever the load did, the board and the stacks are as before it.
    void expectBoardUntouched() {
        expectSamePosition(before, position);
        EXPECT_EQ(currentPly, plyStack);
        EXPECT_EQ(historyTop, historyBefore);
    }

    bool load(const BookBytes& book, int chosen = 0) {
        book.write(dir.path() / "test.book");
        chosenLine = chosen;
        return loadBook((dir.path() / "test.book").c_str(), chooseFixed);
    }

    testsupport::TempDir dir;
    Position before{};
    HistoryEntry* historyBefore = nullptr;
};

TEST_F(BookTest, StoresEveryLineAndTheChosenLineLast) {
    // Lines A and B share the start position and the position after e2e4; C
    // shares only the start. Whichever line is chosen owns every position it
    // shares; elsewhere the line later in the file wins.
    const BookBytes book = BookBytes(header(3)).line(lineA).line(lineB).line(lineC);
    for (int chosen = 0; chosen < 3; ++chosen) {
        SCOPED_TRACE("chosen line " + std::to_string(chosen));
        ttClear();
        ASSERT_TRUE(load(book, chosen));
        EXPECT_EQ(lastLineCount, 3);
        const Line& winner = chosen == 0 ? lineA : chosen == 1 ? lineB : lineC;
        EXPECT_EQ(bookMoveAfter({}), winner[0]);
        EXPECT_EQ(bookMoveAfter({mv("e2e4")}), chosen == 0 ? mv("e7e5") : mv("c7c5"));
        EXPECT_EQ(bookMoveAfter({mv("e2e4"), mv("e7e5")}), mv("g1f3"));
        EXPECT_EQ(bookMoveAfter({mv("e2e4"), mv("c7c5")}), mv("g1f3"));
        EXPECT_EQ(bookMoveAfter({mv("d2d4")}), mv("d7d5"));
        EXPECT_EQ(bookMoveAfter({mv("d2d4"), mv("d7d5")}), mv("c2c4"));
        EXPECT_EQ(bookMoveAfter({mv("a2a3")}), 0);  // not a book position
        expectBoardUntouched();
    }
}

TEST_F(BookTest, BookEntriesAreAgeZeroSlotsOfAClearedTable) {
    ASSERT_TRUE(load(BookBytes(header(1)).line(lineA)));
    const TransEntry* e = ttFind();
    ASSERT_NE(e, nullptr);
    EXPECT_TRUE(isBookEntry(*e));
    EXPECT_EQ(e->depth(), 0);
    EXPECT_FALSE(e->lowerBound() || e->upperBound());
    EXPECT_EQ(e->move(), mv("e2e4"));
}

TEST_F(BookTest, RandomChoiceIsALineOfTheBookStoredLast) {
    for (int n : {1, 2, 3, 7, 1000}) {
        const int line = randomBookLine(n);
        EXPECT_GE(line, 0) << n;
        EXPECT_LT(line, n) << n;
    }
    // The default choice is the clock-seeded one: within one second the load
    // stores the line randomBookLine names last.
    const BookBytes book = BookBytes(header(3)).line(lineA).line(lineB).line(lineC);
    book.write(dir.path() / "random.book");
    bool sameSecond = false;
    for (int attempt = 0; attempt < 3 && !sameSecond; ++attempt) {
        ttClear();
        const std::time_t start = std::time(nullptr);
        const int expected = randomBookLine(3);
        ASSERT_TRUE(loadBook((dir.path() / "random.book").c_str()));
        sameSecond = std::time(nullptr) == start;
        if (sameSecond) {
            const Line& winner = expected == 0 ? lineA : expected == 1 ? lineB : lineC;
            EXPECT_EQ(bookMoveAfter({}), winner[0]);
            EXPECT_EQ(bookMoveAfter({mv("e2e4")}), expected == 0 ? mv("e7e5") : mv("c7c5"));
        }
    }
    EXPECT_TRUE(sameSecond);
}

TEST_F(BookTest, LineCountOtherThanTheHeaderStoresEveryLineAndFails) {
    for (int headerCount : {4, 2}) {
        SCOPED_TRACE("header " + std::to_string(headerCount));
        ttClear();
        EXPECT_FALSE(load(BookBytes(header(headerCount)).line(lineA).line(lineB).line(lineC), 1));
        expectStored(lineA, 2);
        expectStored(lineC, 1);
        expectStored(lineB);  // the chosen line, stored last
        expectBoardUntouched();
    }
    // A chosen line beyond the lines present was never read: it has no moves.
    ttClear();
    EXPECT_FALSE(load(BookBytes(header(4)).line(lineA).line(lineB).line(lineC), 3));
    expectStored(lineA, 2);
    expectStored(lineB, 1);
    expectStored(lineC);
}

TEST_F(BookTest, IllegalMoveStopsTheLoadKeepingEarlierLines) {
    // Not generated at all: a pawn jump, a quiet move with a capture's kind, a
    // move of the wrong side, a code that names no move.
    const Line notGenerated[] = {
        {mv("d2d4"), mv("e7e4")},
        {mv("d2d4"), mv("e7e5", Capture)},
        {mv("d2d4"), mv("e2e4")},
        {mv("d2d4"), 0xFFFF},
    };
    // Generated but illegal: the king left in check (f7f6 opens h5-e8), and
    // castling through f1, which the bishop on a6 attacks. Each is the line's
    // last move, which no later move of the line would test.
    const Line leavesKingInCheck[] = {
        {mv("e2e4"), mv("e7e5"), mv("d1h5"), mv("f7f6")},
        {mv("e2e4"), mv("b7b6"), mv("g1f3"), mv("c8a6"), mv("g2g3"), mv("e7e6"), mv("f1h3"), mv("d7d6"),
         makeMoveCode(sq("e1"), sq("g1"), CastleWhiteKingSide)},
    };
    std::vector<Line> bad(std::begin(notGenerated), std::end(notGenerated));
    bad.insert(bad.end(), std::begin(leavesKingInCheck), std::end(leavesKingInCheck));
    const Line first = {mv("c2c4"), mv("e7e5")};
    const Line after = {mv("g1f3"), mv("d7d5")};
    for (std::size_t i = 0; i < bad.size(); ++i) {
        SCOPED_TRACE("bad line " + std::to_string(i));
        ttClear();
        // The chosen line comes after the bad one and is never stored.
        EXPECT_FALSE(load(BookBytes(header(3)).line(first).line(bad[i]).line(after), 2));
        expectStored(first);
        Line prefix;
        for (std::size_t k = 1; k < bad[i].size(); ++k) {
            prefix.push_back(bad[i][k - 1]);
            EXPECT_EQ(bookMoveAfter(prefix), 0) << "nothing of the bad line, move " << k;
        }
        EXPECT_EQ(bookMoveAfter({mv("g1f3")}), 0);
        expectBoardUntouched();
    }
}

TEST_F(BookTest, StoreBookLineTakesBackWhatItMade) {
    const Line castles = {mv("e2e4"), mv("e7e5"), mv("g1f3"), mv("b8c6"), mv("f1c4"), mv("g8f6"),
                          makeMoveCode(sq("e1"), sq("g1"), CastleWhiteKingSide), mv("f6e4", Capture)};
    ASSERT_TRUE(storeBookLine(castles.data(), static_cast<std::uint8_t>(castles.size())));
    expectStored(castles);
    expectBoardUntouched();

    // A line failing at its fifth move: the four made are taken back.
    ttClear();
    const Line failing = {mv("e2e4"), mv("e7e5"), mv("g1f3"), mv("b8c6"), mv("f3e6")};
    EXPECT_FALSE(storeBookLine(failing.data(), static_cast<std::uint8_t>(failing.size())));
    EXPECT_EQ(bookMoveAfter({}), 0);
    expectBoardUntouched();

    EXPECT_TRUE(storeBookLine(nullptr, 0));
    EXPECT_EQ(bookMoveAfter({}), 0);

    // More moves than a line holds are refused before any is read.
    Line tooLong;
    for (int i = 0; i <= MaxBookLineMoves; ++i) tooLong.push_back(mv(i % 2 ? "g8f6" : "g1f3"));
    EXPECT_FALSE(storeBookLine(tooLong.data(), static_cast<std::uint8_t>(tooLong.size())));
    expectBoardUntouched();
}

TEST_F(BookTest, UnreadableFilesAreBookErrors) {
    EXPECT_FALSE(loadBook((dir.path() / "missing.book").c_str(), chooseFixed));

    // Headers that leave no line to choose, or are no number at all.
    for (const char* bad : {"0\n", "-3\n", "book\n", "", "99999999999999999999\n"}) {
        SCOPED_TRACE(std::string("header '") + bad + "'");
        ttClear();
        EXPECT_FALSE(load(BookBytes(bad).line(lineA)));
        EXPECT_EQ(bookMoveAfter({}), 0);
        expectBoardUntouched();
    }
}

TEST_F(BookTest, HeaderLineMayCarryAnyTextOfAnyLength) {
    EXPECT_TRUE(load(BookBytes("  2 lines of the book\n").line(lineA).line(lineC), 1));
    expectStored(lineA, 1);
    expectStored(lineC);
    ttClear();
    // Far longer than any fixed header buffer would hold.
    EXPECT_TRUE(load(BookBytes("1" + std::string(2'000'000, 'x') + "\n").line(lineC)));
    expectStored(lineC);
    expectBoardUntouched();
}

TEST_F(BookTest, BrokenRecordsEndTheLoad) {
    Line shuffle;  // 65 legal knight moves: only the count is wrong
    for (int i = 0; i <= MaxBookLineMoves; ++i) shuffle.push_back(mv(i % 4 == 0 ? "g1f3" : i % 4 == 1 ? "g8f6" : i % 4 == 2 ? "f3g1" : "f6g8"));
    struct Case {
        const char* name;
        BookBytes book;
    };
    const Case cases[] = {
        {"line of 65 moves", BookBytes(header(3)).line(lineA).line(shuffle).line(lineC)},
        {"count 255, few bytes", BookBytes(header(3)).line(lineA).record(lineB, 255).line(lineC)},
        {"record cut inside its moves", BookBytes(header(2)).line(lineA).record({mv("d2d4")}, 3)},
        {"record cut inside a move", BookBytes(header(2)).line(lineA).raw(std::string("\x02\x24", 2))},
        {"bytes after the last record", BookBytes(header(1)).line(lineA).raw("\x05")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ttClear();
        EXPECT_FALSE(load(c.book, 0));
        expectStored(lineA);  // the chosen line, read before the fault
        EXPECT_EQ(bookMoveAfter({mv("d2d4")}), 0);
        expectBoardUntouched();
    }
}

TEST_F(BookTest, OnlyTheStartPositionHasABook) {
    const BookBytes book = BookBytes(header(1)).line(lineA);
    // The start placement with Black to move, or without castling rights, has
    // the start position's key but is not the start position.
    for (const char* fen : {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1",
                            "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1",
                            "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w - - 0 1",
                            "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w Kq - 0 1"}) {
        SCOPED_TRACE(fen);
        installPosition(positionFromFen(fen));
        ttClear();
        before = position;
        EXPECT_FALSE(load(book));
        EXPECT_EQ(ttFind(), nullptr);
        expectBoardUntouched();
    }
}

// setupPosition as `new`, `result` and `setboard` use it, in a directory
// holding a Drozak.book of one line.
class BookSetupTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureTables();
        currentPly = plyStack;
        gamelog::capture = &log;
    }
    void TearDown() override { gamelog::capture = nullptr; }

    // What setupPosition prints.
    std::string setUp(const char* text) {
        testing::internal::CaptureStdout();
        EXPECT_TRUE(setupPosition(text, true)) << text;
        std::fflush(stdout);
        return testing::internal::GetCapturedStdout();
    }

    testsupport::ScopedWorkingDir dir;
    std::string log;
};

TEST_F(BookSetupTest, StartPositionLoadsTheBookAndOthersGoWithoutIt) {
    BookBytes(header(1)).line(lineC).write("Drozak.book");

    EXPECT_EQ(setUp(StartPositionText), "");
    const TransEntry* e = ttFind();
    ASSERT_NE(e, nullptr);
    EXPECT_TRUE(isBookEntry(*e));
    EXPECT_EQ(e->move(), mv("d2d4"));
    EXPECT_EQ(log, "");

    // setboard of another position: no book, which is no error.
    EXPECT_EQ(setUp("rnbqkbnr/pppppppp/8/8/3P4/8/PPP1PPPP/RNBQKBNR b KQkq d3 0 1"), "");
    EXPECT_EQ(log, "-M: not the start position, no book\n");
    EXPECT_EQ(ttFind(), nullptr);  // the table was cleared, the book not loaded

    // setboard of the start position text with its counters: as after new.
    log.clear();
    EXPECT_EQ(setUp(StartFen), "");
    e = ttFind();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->move(), mv("d2d4"));
    EXPECT_EQ(log, "");
}

// A book that is not there is told to the interface once a run, logged every time.
TEST_F(BookSetupTest, MissingBookIsReportedOnceARun) {
    for (const char* printed : {"tellusererror BOOK ERROR!\n", ""}) {
        log.clear();
        EXPECT_EQ(setUp(StartPositionText), printed);
        EXPECT_EQ(log, "-\ttellusererror BOOK ERROR!\n\n");
        EXPECT_EQ(ttFind(), nullptr);
    }
}

// The book maker, run as the build runs it.
struct ToolRun {
    int exitCode;
    std::string output;  // standard output and error together
};

ToolRun runTool(const std::string& arguments) {
    const std::string command = std::string(DROZAK_TOOLS) + " " + arguments + " 2>&1";
    ToolRun run{-1, ""};
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.output.append(buffer, n);
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(MakeBook, WritesTheLinesAsTheLoaderReadsThem) {
    testsupport::TempDir dir;
    const fs::path text = dir.path() / "lines.txt";
    const fs::path book = dir.path() / "out.book";
    std::ofstream(text) << "# three lines\n"
                           "\n"
                           "e2e4 e7e5 g1f3 b8c6 f1c4 g8f6 e1g1   # castling as the king's move\n"
                           "   d2d4 d7d5\tc2c4 d5c4\n"
                           "e2e4 d7d5 e4d5 e7e6 d5e6 f8c5 e6f7 e8f8 f7g8q\n";
    const ToolRun run = runTool("makebook " + text.string() + " " + book.string());
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("3 lines, 20 moves, 17 positions (2 with more than one book move)"), std::string::npos) << run.output;

    const std::string expected =
        BookBytes(header(3))
            .line({mv("e2e4"), mv("e7e5"), mv("g1f3"), mv("b8c6"), mv("f1c4"), mv("g8f6"), 0xDF3E})
            .line({mv("d2d4"), mv("d7d5"), mv("c2c4"), mv("d5c4", Capture)})
            .line({mv("e2e4"), mv("d7d5"), mv("e4d5", Capture), mv("e7e6"), mv("d5e6", Capture), mv("f8c5"),
                   mv("e6f7", Capture), mv("e8f8"), mv("f7g8", CapturePromoteQueen)})
            .bytes;
    EXPECT_EQ(readBytes(book), expected);
}

TEST(MakeBook, RefusesABadLineNamingItAndWritesNothing) {
    testsupport::TempDir dir;
    const fs::path book = dir.path() / "out.book";
    std::string longLine;
    for (int i = 0; i <= MaxBookLineMoves; ++i) longLine += i % 4 == 0 ? "g1f3 " : i % 4 == 1 ? "g8f6 " : i % 4 == 2 ? "f3g1 " : "f6g8 ";
    struct Case {
        std::string text;
        std::string message;
    };
    const Case cases[] = {
        {"e2e4 e7e5\n# comment\n\ng1f3 b8c6 e1e2\n", "bad.txt:4: illegal move e1e2"},
        {"e2e4 e7e5 d1h5 f7f6\n", "bad.txt:1: illegal move f7f6"},
        {"e2e4\ne2e4 f7f6 d1h5 e8f7\n", "bad.txt:2: illegal move e8f7"},
        {"d2d4 d7d5 c2c4 d5c4 e2e4 e7e5 g1f3 e5d4 f1c4 f8b4 e1g1x\n", "bad.txt:1: illegal move e1g1x"},
        {"d2d4 d7d5 c2c4 d5c4 e2e4 e7e5 g1f3 e5d4 f1c4 f8b4 e1g1\n", "bad.txt:1: illegal move e1g1"},
        {"e7e5\n", "bad.txt:1: illegal move e7e5"},
        {"e2e4 e7e5 g1f3q\n", "bad.txt:1: illegal move g1f3q"},
        {longLine + "\n", "bad.txt:1: 65 moves"},
        {"# nothing but comments\n\n", "holds no lines"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        std::ofstream(dir.path() / "bad.txt") << c.text;
        const ToolRun run = runTool("makebook " + (dir.path() / "bad.txt").string() + " " + book.string());
        EXPECT_NE(run.exitCode, 0);
        EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
        EXPECT_FALSE(fs::exists(book));
    }
    const ToolRun missing = runTool("makebook " + (dir.path() / "none.txt").string() + " " + book.string());
    EXPECT_NE(missing.exitCode, 0);
    EXPECT_FALSE(fs::exists(book));
}

// The text lines the engine ships, each as its list of move texts.
std::vector<std::vector<std::string>> shippedLines() {
    std::ifstream in(fs::path(DROZAK_SOURCE_DIR) / "book" / "lines.txt");
    std::vector<std::vector<std::string>> lines;
    for (std::string text; std::getline(in, text);) {
        std::istringstream words(text.substr(0, text.find('#')));
        std::vector<std::string> line;
        for (std::string word; words >> word;) line.push_back(word);
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

TEST(ShippedBook, EveryLineIsSoundAndLoads) {
    const auto lines = shippedLines();
    ASSERT_GE(lines.size(), 150u);
    for (const auto& line : lines) {
        EXPECT_GE(line.size(), 8u) << line[0];
        EXPECT_LE(line.size(), 16u) << line[0];
    }
    testsupport::TempDir dir;
    const fs::path book = dir.path() / "Drozak.book";
    const ToolRun run =
        runTool("makebook " + (fs::path(DROZAK_SOURCE_DIR) / "book" / "lines.txt").string() + " " + book.string());
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find(std::to_string(lines.size()) + " lines"), std::string::npos) << run.output;

    ensureTables();
    installPosition(positionFromFen(StartFen));
    currentPly = plyStack;
    ttClear();
    EXPECT_TRUE(loadBook(book.c_str()));
    EXPECT_EQ(currentPly, plyStack);
    // The chosen line decides the start position, so the first move played
    // comes from the first moves of the lines.
    std::set<std::string> firstMoves;
    for (const auto& line : lines) firstMoves.insert(line[0]);
    const TransEntry* e = ttFind();
    ASSERT_NE(e, nullptr);
    char text[8];
    moveToText(text, e->move());
    EXPECT_TRUE(firstMoves.count(text)) << text;
}

// The engine over pipes with the shipped book, as an interface runs it.
TEST(ShippedBook, EngineAnswersFromTheBookAtOnce) {
    const auto lines = shippedLines();
    std::set<std::string> firstMoves, repliesToE4;
    for (const auto& line : lines) {
        firstMoves.insert(line[0]);
        if (line[0] == "e2e4") repliesToE4.insert(line[1]);
    }

    testsupport::EngineProcess::Options options;
    options.withBook = true;
    testsupport::EngineProcess engine(options);
    ASSERT_TRUE(engine.handshake());
    engine.send("new");
    engine.send("go");
    // A searched move would wait for the clock; a book move comes at once.
    const auto start = std::chrono::steady_clock::now();
    const auto reply = engine.readLine(2000ms);
    ASSERT_TRUE(reply.has_value());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1000ms);
    ASSERT_EQ(reply->rfind("move ", 0), 0u) << *reply;
    const std::string move = reply->substr(5);
    EXPECT_TRUE(firstMoves.count(move)) << move;

    // As Black after 1.e4: a book reply too.
    engine.send("new");
    engine.send("e2e4");
    const auto answer = engine.readLine(2000ms);
    ASSERT_TRUE(answer.has_value());
    ASSERT_EQ(answer->rfind("move ", 0), 0u) << *answer;
    EXPECT_TRUE(repliesToE4.count(answer->substr(5))) << *answer;
    engine.send("quit");
    engine.waitExit();

    const std::string log = engine.logText();
    EXPECT_NE(log.find("-M: move(book): " + move + "\n"), std::string::npos) << log;
    EXPECT_NE(log.find("-M: move(book): " + answer->substr(5) + "\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("BOOK ERROR"), std::string::npos) << log;
}

TEST(ShippedBook, EngineWithoutABookReportsIt) {
    testsupport::EngineProcess engine;
    ASSERT_TRUE(engine.handshake());
    engine.send("new");
    const auto line = engine.readLine(2000ms);
    ASSERT_TRUE(line.has_value());
    EXPECT_EQ(*line, "tellusererror BOOK ERROR!");
    engine.send("quit");
    engine.waitExit();
}

}  // namespace
