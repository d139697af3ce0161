// The opening book: the loader against book files written here (sound ones
// and every kind of broken one), the book maker, and the shipped book in the
// engine.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "book/book.h"
#include "search/transtable.h"
#include "support/chess.h"
#include "support/engine_process.h"

using namespace testsupport;

namespace {

namespace fs = std::filesystem;
using Line = std::vector<Move>;

constexpr const char* StartFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

// A line record: a count byte (the moves' number unless given), then the
// moves as little-endian 16-bit codes.
std::string record(const Line& moves, int count = -1) {
    std::string bytes(1, static_cast<char>(count < 0 ? moves.size() : count));
    for (Move m : moves) bytes += {static_cast<char>(m & 0xFF), static_cast<char>(m >> 8)};
    return bytes;
}

std::string book(const std::string& header, const std::vector<Line>& lines) {
    std::string bytes = header;
    for (const Line& line : lines) bytes += record(line);
    return bytes;
}

// A line of `n` knight moves out and back, legal however long.
Line shuffle(int n) {
    Line line;
    for (int i = 0; i < n; ++i) line.push_back(mv(&"g1f3g8f6f3g1f6g8"[4 * (i % 4)]));
    return line;
}

const Line A = {mv("e2e4"), mv("e7e5"), mv("g1f3")};
const Line B = {mv("e2e4"), mv("c7c5"), mv("g1f3")};
const Line C = {mv("d2d4"), mv("d7d5"), mv("c2c4")};

int chosenLine = 0;
int chooseFixed(int) { return chosenLine; }

class BookTest : public ::testing::Test {
protected:
    void SetUp() override {
        setUpFen(StartFen);
        before = position();
    }

    bool load(const std::string& bytes, int chosen = 0) {
        std::ofstream(dir.path() / "test.book", std::ios::binary) << bytes;
        chosenLine = chosen;
        return loadBook(board(), (dir.path() / "test.book").c_str(), chooseFixed);
    }

    // The book move of the position after `prefix`, or 0.
    static Move bookMoveAfter(const Line& prefix) {
        for (Move m : prefix) play(m);
        const std::optional<TransEntry> e = ttFind(position());
        const Move found = e && isBookEntry(*e) ? e->move() : 0;
        for (auto m = prefix.rbegin(); m != prefix.rend(); ++m) takeBackPly(*m);
        return found;
    }

    // Every move of `line` from its move `from` on is the book move of the
    // position it is played from (the earlier positions may be another line's).
    static void expectStored(const Line& line, std::size_t from = 0) {
        for (std::size_t i = from; i < line.size(); ++i)
            EXPECT_EQ(bookMoveAfter(Line(line.begin(), line.begin() + i)), line[i]) << "after " << i << " moves";
    }

    TempDir dir;
    Position before{};
};

// Whichever line is chosen is stored last and owns every position it shares;
// elsewhere the line later in the file wins. A fault ends the load with false,
// the lines stored before it staying in the table. The random choice is one
// of the lines.
TEST_F(BookTest, LoaderCases) {
    Line castles = {mv("e2e4"), mv("e7e5"), mv("g1f3"), mv("b8c6"), mv("f1c4"), mv("g8f6"),
                    mv("e1g1", CastleWhiteKingSide), mv("f6e4", Capture)};
    struct Case {
        std::string name, bytes;
        int chosen;
        bool loads;
        std::vector<std::pair<Line, std::size_t>> stored;  // lines stored from their move `second` on
        std::vector<Line> notStored;                        // positions without a book move
    };
    std::vector<Case> cases = {
        {"chosen first", book("3\n", {A, B, C}), 0, true, {{A, 0}, {B, 2}, {C, 1}}, {{mv("a2a3")}}},
        {"chosen second", book("3\n", {A, B, C}), 1, true, {{A, 2}, {B, 0}, {C, 1}}, {}},
        {"chosen last", book("3\n", {A, B, C}), 2, true, {{A, 2}, {B, 1}, {C, 0}}, {}},
        {"a castling line", book("1\n", {castles}), 0, true, {{castles, 0}}, {}},
        {"a line of one move, chosen", book("2\n", {A, {mv("d2d4")}}), 1, true, {{{mv("d2d4")}, 0}, {A, 1}}, {}},
        {"a line of 64 moves", book("2\n", {A, shuffle(64)}), 1, true, {{shuffle(64), 0}, {A, 1}}, {}},
        {"header over the lines", book("4\n", {A, B, C}), 1, false, {{A, 2}, {C, 1}, {B, 0}}, {}},
        {"header under the lines", book("2\n", {A, B, C}), 1, false, {{A, 2}, {C, 1}, {B, 0}}, {}},
        {"chosen line never read", book("4\n", {A, B, C}), 3, false, {{A, 2}, {B, 1}, {C, 0}}, {}},
        {"any header text", book("  2 lines of the book\n", {A, C}), 1, true, {{A, 1}, {C, 0}}, {}},
        {"a header longer than any buffer", book("1" + std::string(2'000'000, 'x') + "\n", {C}), 0, true, {{C, 0}}, {}},
        {"a line of 65 moves", book("3\n", {A, shuffle(65), C}), 0, false, {{A, 0}}, {{mv("d2d4")}}},
        {"count 255, few bytes", book("3\n", {A}) + record(B, 255) + record(C), 0, false, {{A, 0}}, {{mv("d2d4")}}},
        {"record cut inside its moves", book("2\n", {A}) + record({mv("d2d4")}, 3), 0, false, {{A, 0}}, {{mv("d2d4")}}},
        {"record cut inside a move", book("2\n", {A}) + std::string("\x02\x24", 2), 0, false, {{A, 0}}, {}},
        {"bytes after the last record", book("1\n", {A}) + "\x05", 0, false, {{A, 0}}, {}},
    };
    for (const char* header : {"0\n", "-3\n", "book\n", "", "99999999999999999999\n"})
        cases.push_back({std::string("header ") + header, book(header, {A}), 0, false, {}, {{}}});
    // Not generated (a pawn jump, a quiet move of a capture's kind, the wrong
    // side, no move at all), or generated but illegal as the line's last move:
    // the king left in check, castling through f1 attacked by the a6 bishop.
    const Line bad[] = {
        {mv("d2d4"), mv("e7e4")}, {mv("d2d4"), mv("e7e5", Capture)}, {mv("d2d4"), mv("e2e4")}, {mv("d2d4"), 0xFFFF},
        {mv("e2e4"), mv("e7e5"), mv("d1h5"), mv("f7f6")},
        {mv("e2e4"), mv("b7b6"), mv("g1f3"), mv("c8a6"), mv("g2g3"), mv("e7e6"), mv("f1h3"), mv("d7d6"),
         mv("e1g1", CastleWhiteKingSide)},
    };
    const Line first = {mv("c2c4"), mv("e7e5")};
    for (const Line& line : bad) {
        Case c{"illegal " + moveText(line.back()), book("3\n", {first, line, {mv("g1f3"), mv("d7d5")}}), 2, false,
               {{first, 0}}, {{mv("g1f3")}}};
        for (std::size_t k = 1; k < line.size(); ++k) c.notStored.push_back(Line(line.begin(), line.begin() + k));
        cases.push_back(c);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ttClear();
        EXPECT_EQ(load(c.bytes, c.chosen), c.loads);
        for (const auto& [line, from] : c.stored) expectStored(line, from);
        for (const Line& prefix : c.notStored) EXPECT_EQ(bookMoveAfter(prefix), 0);
        EXPECT_TRUE(samePosition(position(), before));
        EXPECT_EQ(board().currentPly, board().plyStack);
        EXPECT_EQ(board().historyTop, board().history);
    }
    EXPECT_FALSE(loadBook(board(), (dir.path() / "missing.book").c_str(), chooseFixed));
    for (int n : {1, 2, 3, 7, 1000}) EXPECT_LT(static_cast<unsigned>(randomBookLine(n)), static_cast<unsigned>(n)) << n;
    // storing a line checks its length itself, before any move is made
    const Line tooLong = shuffle(MaxBookLineMoves + 1), longest = shuffle(MaxBookLineMoves);
    ttClear();
    EXPECT_FALSE(storeBookLine(board(), tooLong.data(), static_cast<std::uint8_t>(tooLong.size())));
    EXPECT_EQ(bookMoveAfter({}), 0);
    EXPECT_TRUE(storeBookLine(board(), longest.data(), static_cast<std::uint8_t>(longest.size())));
    EXPECT_TRUE(samePosition(position(), before) && board().currentPly == board().plyStack);
}

// The start placement with Black to move, or without all rights, has the
// start position's key but is not the start position.
TEST_F(BookTest, OnlyTheStartPositionHasABook) {
    for (const char* fen : {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq -",
                            "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w - -",
                            "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w Kq -",
                            "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3"}) {
        setUpFen(fen);
        EXPECT_FALSE(load(book("1\n", {A}))) << fen;
        EXPECT_FALSE(ttFind(position())) << fen;
    }
}

// Runs the book maker on `lines`; returns its exit code and output, and the book it wrote.
struct MadeBook {
    int code;
    std::string output, bytes;
};
MadeBook makeBook(const std::string& lines) {
    TempDir dir;
    MadeBook made{-1, "", ""};
    const fs::path text = dir.path() / "lines.txt", book = dir.path() / "out.book";
    std::ofstream(text) << lines;
    made.output = toolOutput("makebook " + text.string() + " " + book.string(), &made.code);
    made.bytes = fileText(book);
    return made;
}

// Lines with comments, blank lines, castling as the king's move, captures and
// a promotion come out as the loader reads them; a line with an illegal move
// (named by its line number) or too many moves makes no book.
TEST(MakeBook, WritesTheLinesAsTheLoaderReadsThem) {
    const MadeBook made = makeBook("# three lines\n\ne2e4 e7e5 g1f3 b8c6 f1c4 g8f6 e1g1   # castling\n"
                                   "   d2d4 d7d5\tc2c4 d5c4\ne2e4 d7d5 e4d5 e7e6 d5e6 f8c5 e6f7 e8f8 f7g8q\n");
    ASSERT_EQ(made.code, 0) << made.output;
    EXPECT_NE(made.output.find("3 lines, 20 moves, 17 positions (2 with more than one book move)"), std::string::npos)
        << made.output;
    EXPECT_EQ(made.bytes, book("3\n", {{mv("e2e4"), mv("e7e5"), mv("g1f3"), mv("b8c6"), mv("f1c4"), mv("g8f6"),
                                        mv("e1g1", CastleWhiteKingSide)},
                                       {mv("d2d4"), mv("d7d5"), mv("c2c4"), mv("d5c4", Capture)},
                                       {mv("e2e4"), mv("d7d5"), mv("e4d5", Capture), mv("e7e6"), mv("d5e6", Capture),
                                        mv("f8c5"), mv("e6f7", Capture), mv("e8f8"),
                                        mv("f7g8", CapturePromoteQueen)}}));
    std::string longLine;
    for (Move m : shuffle(MaxBookLineMoves + 1)) longLine += moveText(m) + " ";
    const std::pair<std::string, std::string> refusals[] = {
        {"e2e4\n# c\n\ne2e4 f7f6 d1h5 e8f7\n", "lines.txt:4: illegal move e8f7"},
        {"d2d4 d7d5 c2c4 d5c4 e2e4 e7e5 g1f3 e5d4 f1c4 f8b4 e1g1\n", "illegal move e1g1"},  // through f1
        {"e2e4 e7e5 g1f3q\n", "illegal move g1f3q"}, {longLine + "\n", "lines.txt:1: 65 moves"},
        {"# no lines\n", "holds no lines"}};
    for (const auto& [text, message] : refusals) {
        const MadeBook refused = makeBook(text);
        EXPECT_NE(refused.code, 0) << message;
        EXPECT_NE(refused.output.find(message), std::string::npos) << refused.output;
        EXPECT_EQ(refused.bytes, "") << message;
    }
}

// The shipped lines make the book the build made, which loads; the engine
// plays from it at once, as White and as Black.
TEST(MakeBook, ShippedBookLoadsAndTheEnginePlaysFromIt) {
    const MadeBook made = makeBook(fileText(fs::path(DROZAK_SOURCE_DIR) / "book" / "lines.txt"));
    EXPECT_EQ(made.code, 0) << made.output;
    const std::string shipped = std::string(DROZAK_BUILD_DIR) + "/Drozak.book";
    EXPECT_EQ(made.bytes, fileText(shipped));
    setUpFen(StartFen);
    EXPECT_TRUE(loadBook(board(), shipped.c_str()));

    EngineProcess::Options options;
    options.withBook = true;
    EngineProcess engine(options);
    ASSERT_TRUE(engine.handshake());
    std::vector<std::string> played;
    for (const char* commands : {"new\ngo", "new\ne2e4"}) {
        engine.send(commands);
        const auto start = std::chrono::steady_clock::now();
        const auto reply = engine.readLine(2000ms);  // a searched move would wait for the clock
        ASSERT_TRUE(reply.has_value());
        EXPECT_LT(std::chrono::steady_clock::now() - start, scaled(1000ms));
        ASSERT_TRUE(isMoveLine(*reply)) << *reply;
        played.push_back(reply->substr(5));
    }
    engine.send("quit");
    engine.waitExit();
    const std::string log = engine.logText();
    for (const std::string& move : played)
        EXPECT_NE(log.find("-M: move(book): " + move + "\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("BOOK ERROR"), std::string::npos) << log;
}

}  // namespace
