// The PGN reader, replay and writer over files made to be hard (tests/pgn),
// Debian's eco.pgn (2,014 opening lines as pgn-extract writes them), and a
// stream of 100,000 games; pgn-extract reads what the writer writes.
#include <gtest/gtest.h>
#include <malloc.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <streambuf>

#include "pgn/pgn.h"
#include "support/chess.h"
#include "support/engine_process.h"

using namespace testsupport;

namespace {

const std::string DataDir = std::string(DROZAK_SOURCE_DIR) + "/tests/pgn/";
constexpr const char* PgnExtract = "/usr/games/pgn-extract";

std::vector<pgn::Game> readAll(std::istream& in, std::vector<std::string>* errors = nullptr) {
    pgn::Reader reader(in);
    std::vector<pgn::Game> games;
    pgn::Game game;
    std::string message;
    for (pgn::Reader::Status s; (s = reader.next(game, message)) != pgn::Reader::Status::End;) {
        if (s == pgn::Reader::Status::Game) games.push_back(game);
        if (errors) errors->push_back(s == pgn::Reader::Status::Game ? "" : message);
    }
    return games;
}

std::vector<pgn::Game> readText(const std::string& text, std::vector<std::string>* errors = nullptr) {
    std::istringstream in(text);
    return readAll(in, errors);
}

// A line's moves, glyphs, comments (spaces folded) and variations as one text.
std::string shape(const pgn::Line& line) {
    std::string out;
    for (const std::string& c : line.comments) out += "{" + std::regex_replace(c, std::regex(R"(\s+)"), " ") + "}";
    for (const pgn::MoveNode& m : line.moves) {
        out += " " + m.san;
        for (int nag : m.nags) out += " $" + std::to_string(nag);
        for (const std::string& c : m.comments)
            out += " {" + std::regex_replace(std::regex_replace(c, std::regex(R"(^\s+|\s+$)"), ""), std::regex(R"(\s+)"), " ") + "}";
        for (const pgn::Line& v : m.variations) out += " (" + shape(v) + ")";
    }
    return out;
}

// The move tokens of a PGN text, variations' parentheses included: no tags,
// comments, numbers, glyphs or results.
std::vector<std::string> moveTokens(const std::string& text) {
    const std::string bare = std::regex_replace(text, std::regex(R"(\{[^}]*\}|;[^\n]*|\[[^\]\n]*\]|\$\d+)"), " ");
    std::vector<std::string> tokens;
    static const std::regex token(R"(\(|\)|[^\s()]+)");
    for (auto it = std::sregex_iterator(bare.begin(), bare.end(), token); it != std::sregex_iterator(); ++it) {
        const std::string t = std::regex_replace(it->str(), std::regex(R"(^\d+\.+)"), "");
        if (!t.empty() && t != "1-0" && t != "0-1" && t != "1/2-1/2" && t != "*") tokens.push_back(t);
    }
    return tokens;
}

// The reading of every game: its plies, result, first and last move as
// standard SAN, variations and NAGs in all, and the tags kept.
TEST(Pgn, TrickyGamesReadReplayAndWriteBack) {
    ensureTables();
    std::ifstream in(DataDir + "tricky.pgn", std::ios::binary);
    std::vector<std::string> errors;
    std::vector<pgn::Game> games = readAll(in, &errors);
    EXPECT_EQ(errors, std::vector<std::string>(games.size(), ""));
    const struct {
        std::size_t plies;
        const char* result;
        const char* first;
        const char* last;
        int variations, nags;
        const char* tag;
    } expected[] = {
        {41, "1-0", "e4", "Ra3", 2, 5, "Weiß, Jürgen"},
        {16, "1-0", "Kg8", "Qcg5#", 0, 0, "7k/3P4/8/Q1Q5/4p3/Q7/5P2/R3K2R b KQ - 4 23"},
        {4, "0-1", "f3", "Qh4#", 0, 0, "A"},
        {6, "1/2-1/2", "d4", "Nf6", 0, 2, "?"},
        {3, "*", "e4", "Nf3", 2, 0, "?"},
        {2, "*", "Kd7", "e4", 0, 0, "?"},  // its FEN written with counters
    };
    ASSERT_EQ(games.size(), std::size(expected));
    std::string exported;
    for (std::size_t i = 0; i < games.size(); ++i) {
        SCOPED_TRACE("game " + std::to_string(i + 1));
        pgn::Game& game = games[i];
        pgn::ReplayError error;
        ASSERT_TRUE(pgn::replay(board(), game, error)) << error.where();
        const auto& e = expected[i];
        EXPECT_EQ(game.main.moves.size(), e.plies);
        EXPECT_EQ(game.result, e.result);
        EXPECT_EQ(game.main.moves.front().san, e.first);
        EXPECT_EQ(game.main.moves.back().san, e.last);
        int variations = 0, nags = 0;
        std::function<void(const pgn::Line&)> count = [&](const pgn::Line& line) {
            for (const pgn::MoveNode& m : line.moves) {
                variations += static_cast<int>(m.variations.size());
                nags += static_cast<int>(m.nags.size());
                for (const pgn::Line& v : m.variations) count(v);
            }
        };
        count(game.main);
        EXPECT_EQ(variations, e.variations);
        EXPECT_EQ(nags, e.nags);
        const std::string* tag = game.tag(i == 1 ? "FEN" : "White");
        EXPECT_EQ(tag ? *tag : "?", e.tag);

        // Export format: roster first, lines of 79 at most; read back, it is
        // the same game, and written again the same text.
        const std::string text = pgn::exportText(game);
        EXPECT_EQ(text.rfind("[Event ", 0), 0u);
        EXPECT_NE(text.find("[Result \"" + std::string(e.result) + "\"]\n"), std::string::npos);
        std::istringstream lines(text);
        bool tags = true;  // a tag line may be longer
        for (std::string l; std::getline(lines, l);) {
            tags = tags && !l.empty();
            EXPECT_TRUE(l.size() <= 79 || tags) << l;
        }
        std::vector<pgn::Game> again = readText(text);
        ASSERT_EQ(again.size(), 1u);
        ASSERT_TRUE(pgn::replay(board(), again[0], error)) << error.where();
        EXPECT_EQ(shape(again[0].main), shape(game.main));
        EXPECT_EQ(pgn::exportText(again[0]), text);
        exported += text;
    }
    std::string flat = exported;
    std::replace(flat.begin(), flat.end(), '\n', ' ');
    EXPECT_NE(flat.find("2. Nf3 {[%clk 0:05:00] develops} 2... Nc6"), std::string::npos);
    EXPECT_NE(flat.find("23... Kg8 24. f4 exf3 25. O-O f2+ 26. Rxf2 Kh7 27. Q3a4"), std::string::npos);
    EXPECT_NE(flat.find("28. Qa5b4 Kh7 29. d8=Q Kg6 30. Qg8+ Kh6 31. Qcg5# 1-0"), std::string::npos);
    EXPECT_NE(flat.find("[FEN \"4k3/8/8/8/8/8/4P3/4K3 b - - 0 1\"]  1... Kd7 2. e4 *"), std::string::npos);
    EXPECT_NE(flat.find("1. e4 {White opens} 1... c5 (1... e5 (1... e6 2. d4) 2. Nf3) 2. Nf3 *"),
              std::string::npos);

    // pgn-extract, which checks every move itself and writes its own SAN,
    // finds nothing to say and writes the same moves.
    TempDir dir;
    std::ofstream(dir.path() / "ours.pgn") << exported;
    const std::string command = std::string(PgnExtract) + " -s -o " + (dir.path() / "theirs.pgn").string() + " " +
                                (dir.path() / "ours.pgn").string() + " 2>" + (dir.path() / "err").string();
    ASSERT_EQ(std::system(command.c_str()), 0) << "pgn-extract missing? (.ci/deps installs it)";
    EXPECT_EQ(fileText(dir.path() / "err"), "");
    EXPECT_EQ(moveTokens(fileText(dir.path() / "theirs.pgn")), moveTokens(exported));
}

// Each broken game costs only itself: what is wrong and where, and the games
// after it are read.
TEST(Pgn, BrokenGamesAreReportedOneByOne) {
    ensureTables();
    std::ifstream in(DataDir + "bad.pgn", std::ios::binary);
    std::vector<std::string> errors;
    std::vector<pgn::Game> games = readAll(in, &errors);
    const std::vector<std::string> readerErrors = {
        "malformed tag at line 2", "", "", "", "", "the result * inside a variation at line 28",
        "the result 1-0 inside a variation at line 32", "", "unexpected '<' at line 41", "", "",
        "unterminated comment from line 55"};
    ASSERT_EQ(errors.size(), readerErrors.size());
    for (std::size_t i = 0; i < errors.size(); ++i)
        EXPECT_EQ(errors[i].substr(0, readerErrors[i].size()), readerErrors[i]) << "game " << i + 1 << ": " << errors[i];
    const std::vector<std::string> replayErrors = {
        "2. Ke3 (not a legal move)", "1... xyz (not a move)", "1... -- (a null move)",
        "the variant Crazyhouse is not standard chess", "", "", "31... Kxe2 (not a legal move)"};
    ASSERT_EQ(games.size(), replayErrors.size());
    for (std::size_t i = 0; i < games.size(); ++i) {
        pgn::ReplayError error;
        EXPECT_EQ(pgn::replay(board(), games[i], error), replayErrors[i].empty()) << i;
        EXPECT_EQ(error.where(), replayErrors[i]);
    }
    EXPECT_EQ(*games[4].tag("White"), "Good");

    std::string deep = "[Event \"Deep\"]\n\n1. e4 ";
    for (int i = 0; i < 65; ++i) deep += "(1. e4 ";
    readText(deep + "*\n", &errors);
    EXPECT_EQ(errors.back().substr(0, 31), "variations nested too deep at l");

    // Inputs with no game: empty, only text, and bytes that are no text.
    for (const std::string& text : {std::string(), std::string("{a comment}\n% escaped\n"), std::string("\x00\x01\x02zz\n", 6)}) {
        errors.clear();
        EXPECT_TRUE(readText(text, &errors).empty());
        EXPECT_EQ(errors.size(), text.size() == 6 ? 1u : 0u);
        if (!errors.empty()) {
            EXPECT_NE(errors[0].find("not a PGN text"), std::string::npos) << errors[0];
        }
    }
}

// Every line of Debian's eco.pgn: each move replays, and its standard SAN is
// the token as pgn-extract wrote it; written and read again, the same moves.
TEST(Pgn, EcoFileRoundTrips) {
    ensureTables();
    std::ifstream in("/usr/share/pgn-extract/eco.pgn");
    ASSERT_TRUE(in) << "/usr/share/pgn-extract/eco.pgn missing (.ci/deps installs pgn-extract)";
    std::vector<pgn::Game> games = readAll(in);
    EXPECT_EQ(games.size(), 2014u);
    int plies = 0;
    for (std::size_t i = 0; i < games.size() && !HasFailure(); ++i) {
        pgn::Game& game = games[i];
        std::vector<std::string> written;
        for (const pgn::MoveNode& m : game.main.moves) written.push_back(m.san);
        pgn::ReplayError error;
        ASSERT_TRUE(pgn::replay(board(), game, error)) << i << ": " << error.where();
        std::vector<std::string> standard;
        for (const pgn::MoveNode& m : game.main.moves) standard.push_back(m.san);
        EXPECT_EQ(standard, written) << "game " << i + 1;
        std::vector<pgn::Game> again = readText(pgn::exportText(game));
        ASSERT_EQ(again.size(), 1u);
        ASSERT_TRUE(pgn::replay(board(), again[0], error));
        EXPECT_EQ(shape(again[0].main), shape(game.main));
        plies += static_cast<int>(standard.size());
    }
    EXPECT_GT(plies, 20000);
}

// 100,000 games streamed through the reader alone: the heap in use after the
// last is what it was after the first thousand, as one game is held at a time.
TEST(Pgn, ReaderStreamsWithoutGrowing) {
    class Games : public std::streambuf {
    public:
        explicit Games(int count) : left_(count) {}
        int underflow() override {
            if (left_-- == 0) return traits_type::eof();
            game_ = "[Event \"Game " + std::to_string(left_) +
                    "\"]\n[White \"A\"]\n\n1. e4 {[%clk 0:03:00]} e5 2. Nf3 Nc6 (2... d6 3. d4) 3. Bb5 a6 4. Ba4 Nf6 1-0\n\n";
            setg(game_.data(), game_.data(), game_.data() + game_.size());
            return traits_type::to_int_type(*gptr());
        }
        int left_;
        std::string game_;
    };
    const auto heapInUse = [] {
        const struct mallinfo2 heap = mallinfo2();
        return static_cast<long>(heap.uordblks + heap.hblkhd);  // small blocks and mapped ones
    };
    Games source(100000);
    std::istream in(&source);
    pgn::Reader reader(in);
    pgn::Game game;
    std::string message;
    long read = 0, heapAfterFirst = 0, moves = 0;
    for (pgn::Reader::Status s; (s = reader.next(game, message)) == pgn::Reader::Status::Game;) {
        moves += static_cast<long>(game.main.moves.size());
        if (++read == 1000) heapAfterFirst = heapInUse();
    }
    EXPECT_EQ(read, 100000);
    EXPECT_EQ(moves, 800000);
    EXPECT_LT(heapInUse() - heapAfterFirst, 4096) << "bytes grown over 99,000 games";
}

}  // namespace
