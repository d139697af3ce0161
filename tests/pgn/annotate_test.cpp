// drozak-tools annotate and epd run as programs in a fresh directory with the
// build's book: a known blunder marked with its better line and counted in the
// summary, a broken game copied and reported, pgn-extract reading the output,
// charts that are XML whatever the names' encoding, the same text at any
// --jobs; the EPD moves are those the engine plays.
#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <thread>
#include <sstream>

#include "board/fen.h"
#include "pgn/pgn.h"
#include "board/fen.h"
#include "pgn/san.h"
#include "support/chess.h"
#include "support/engine_process.h"

using namespace testsupport;

namespace {

struct ToolRun {
    int exitCode;
    std::string out, err;
};

ToolRun runTool(const TempDir& dir, const std::string& arguments) {
    const std::string command = "cd " + dir.path().string() + " && " + DROZAK_TOOLS + " " + arguments +
                                " >out.txt 2>err.txt";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, fileText(dir.path() / "out.txt"),
            fileText(dir.path() / "err.txt")};
}

std::string flat(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

// What keeps `text` from being well-formed XML, as far as a chart can break it
// (empty: nothing): bytes that are not UTF-8 or characters XML refuses (the C
// library's UTF-8 reading is the judge), elements that do not nest, attribute
// values without quotes, a bare '&'.
std::string xmlFault(const std::string& text) {
    const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    if (!utf8) return "no C.UTF-8 locale";
    const locale_t before = uselocale(utf8);
    std::mbstate_t state{};
    std::string fault;
    for (std::size_t at = 0, n; at < text.size() && fault.empty(); at += n) {
        wchar_t c = 0;
        n = std::mbrtowc(&c, text.data() + at, text.size() - at, &state);
        if (n == 0 || n > 4) fault = "not UTF-8 at byte " + std::to_string(at);
        else if (c < 0x20 ? c != 0x9 && c != 0xA && c != 0xD : (c >= 0xD800 && c < 0xE000) || c == 0xFFFE || c == 0xFFFF)
            fault = "character " + std::to_string(c) + " at byte " + std::to_string(at);
    }
    uselocale(before);
    freelocale(utf8);
    static const std::regex token(R"(<[^>]*>|[^<]+|<)"), closing(R"(</([A-Za-z_][-\w:.]*)\s*>)"),
        element(R"(<([A-Za-z_][-\w:.]*)(\s+[A-Za-z_][-\w:.]*\s*=\s*"[^"<]*")*\s*(/?)>)"),
        bareAmpersand(R"(&(?!(amp|lt|gt|quot|apos|#\d+|#x[0-9a-fA-F]+);))");
    std::vector<std::string> open;
    int roots = 0;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), token); fault.empty() && it != std::sregex_iterator(); ++it) {
        const std::string t = it->str();
        std::smatch m;
        if (t[0] != '<') {
            if (open.empty() && t.find_first_not_of(" \t\r\n") != std::string::npos) fault = "text outside the root: " + t;
        } else if (std::regex_match(t, m, closing)) {
            if (open.empty() || open.back() != m[1]) fault = "unmatched " + t;
            else open.pop_back();
        } else if (std::regex_match(t, m, element)) {
            if (open.empty() && roots++ > 0) fault = "a second root: " + t;
            if (m[3].length() == 0) open.push_back(m[1]);
        } else {
            fault = "a malformed tag: " + t;
        }
        if (fault.empty() && std::regex_search(t, bareAmpersand)) fault = "a bare '&' in " + t;
    }
    return !fault.empty() ? fault : open.empty() && roots == 1 ? "" : "no single root closed";
}

TEST(Annotate, BlunderBetterLineSummaryAndBrokenGame) {
    TempDir dir;
    std::filesystem::copy_file(std::string(DROZAK_BUILD_DIR) + "/Drozak.book", dir.path() / "Drozak.book");
    std::filesystem::copy_file(std::string(DROZAK_SOURCE_DIR) + "/tests/pgn/blunder-and-opera.pgn",
                               dir.path() / "games.pgn");
    // A game as old databases write them: Latin-1 names, a control character.
    const std::string latin1Tags = "[White \"M\xfcller, J\xfcrgen\"]\n[Black \"G\xf6tz\x01\"]\n";
    std::ofstream(dir.path() / "games.pgn", std::ios::app | std::ios::binary)
        << "\n[Event \"Latin-1\"]\n" << latin1Tags << "\n1. d4 d5 *\n";
    const ToolRun run = runTool(dir, "annotate --depth 3 --chart charts games.pgn");
    EXPECT_EQ(run.exitCode, 1);  // the broken game
    EXPECT_EQ(run.err, "annotate: game 2 (line 8): stopped at 2. Ke3 (not a legal move)\n");
    const std::string out = flat(run.out);
    const std::size_t second = out.find("[Event \"Illegal\"]"), third = out.find("[Event \"Opera game\"]");
    ASSERT_TRUE(out.rfind("[Event \"Scholar's mate\"]", 0) == 0 && second != std::string::npos && third > second) << out;
    const std::string scholar = out.substr(0, second), broken = out.substr(second, third - second);

    // The blunder: its NAG, the line that saves f7 from the position before
    // it, Black's summary; the book's moves, no evaluation after the mate.
    EXPECT_NE(scholar.find("[Annotator \"Drozak "), std::string::npos);
    EXPECT_TRUE(std::regex_search(scholar, std::regex(R"(1\. e4 \{book\} 1\.\.\. e5 \{book\} 2\. Qh5 (\$6 )?\{\[%eval )")));
    EXPECT_TRUE(std::regex_search(scholar, std::regex(R"(3\.\.\. Nf6 \$4 \{\[%eval #1\]\} \(3\.\.\. (g6|Qe7|Qf6) )")))
        << scholar;
    EXPECT_TRUE(std::regex_search(scholar, std::regex("Black 0 inaccuracies, 0 mistakes, 1 blunder, average centipawn loss "
                                                      "(500|[1-4][0-9][0-9]|1000)\\}")))
        << scholar;
    EXPECT_NE(scholar.find("4. Qxf7# 1-0"), std::string::npos);
    // A game's own [%eval] gives way to ours, its other commands stay; its own
    // glyph wins over our mark, but the better line is still given.
    EXPECT_TRUE(std::regex_search(scholar, std::regex(R"(2\.\.\. Nc6 \{\[%eval -?\d+\.\d\d\] \[%clk 0:01:00\]\})")));
    EXPECT_EQ(scholar.find("9.99"), std::string::npos);
    EXPECT_TRUE(std::regex_search(out, std::regex(R"(8\. Nc3 \$1 \{\[%eval [^}]*\} \(8\. )"))) << out;
    EXPECT_EQ(broken.find("%eval"), std::string::npos);
    EXPECT_NE(broken.find("{Not annotated: stopped at 2. Ke3 (not a legal move)} 1. e4 e5 2. Ke3 Nc6 *"),
              std::string::npos);

    const std::string chart = fileText(dir.path() / "charts" / "1-Hopeful_Harry-Careless_Carl.svg");
    EXPECT_NE(chart.find("Hopeful, Harry \u2013 Careless, Carl   1-0"), std::string::npos);
    EXPECT_NE(chart.find(">3... Nf6?\?</text>"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "charts" / "3-Morphy_Paul-Duke_Karl_Count_Isouard.svg"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path() / "charts"), {}), 3);
    // Every chart is XML; the Latin-1 names are written as UTF-8, the control
    // character not at all, and the annotated game keeps the bytes it was given.
    for (const auto& svg : std::filesystem::directory_iterator(dir.path() / "charts"))
        EXPECT_EQ(xmlFault(fileText(svg.path())), "") << svg.path().filename();
    EXPECT_NE(fileText(dir.path() / "charts" / "4-M_ller_J_rgen-G_tz.svg").find(">M\u00fcller, J\u00fcrgen \u2013 G\u00f6tz   *<"),
              std::string::npos);
    EXPECT_NE(run.out.find(latin1Tags), std::string::npos);

    // pgn-extract reads the annotated games without a word.
    std::ofstream(dir.path() / "annotated.pgn") << run.out.substr(0, run.out.find("[Event \"Illegal\"]"))
                                                << run.out.substr(run.out.find("[Event \"Opera game\"]"));
    const std::string check = "cd " + dir.path().string() + " && /usr/games/pgn-extract -s annotated.pgn >/dev/null 2>pe.txt";
    EXPECT_EQ(std::system(check.c_str()), 0);
    EXPECT_EQ(fileText(dir.path() / "pe.txt"), "");

    // Three workers: the same text, in the input's order; with two threads
    // each, more threads than this machine's cores are warned of.
    const ToolRun parallel = runTool(dir, "annotate --depth 3 --jobs 3 games.pgn");
    EXPECT_EQ(parallel.out, run.out);
    EXPECT_EQ(parallel.exitCode, 1);
    const ToolRun crowded = runTool(dir, "annotate --depth 2 --jobs 64 --threads 2 games.pgn");
    if (std::thread::hardware_concurrency() < 128) {
        EXPECT_NE(crowded.err.find("annotate: warning: 64 jobs of 2 threads each are 128 threads on "), std::string::npos)
            << crowded.err;
    }

    // Three lines: the blunder gets three better ones, each with its score
    // after its first move, none of them the move played.
    std::ofstream(dir.path() / "scholar.pgn") << run.out.substr(0, run.out.find("[Event \"Illegal\"]"));
    const std::string three = flat(runTool(dir, "annotate --depth 3 --lines 3 scholar.pgn").out);
    const std::size_t blunder = three.find("3... Nf6 $4 {[%eval #1]} (");
    ASSERT_NE(blunder, std::string::npos) << three;
    const std::string variations = three.substr(blunder, three.find("4. Qxf7#", blunder) - blunder);
    static const std::regex variation(R"(\(3\.\.\. ([A-Za-z][a-z1-8x=+#QRBN-]*) \{\[%eval -?\d+\.\d\d\]\}[^()]*\))");
    std::set<std::string> firsts;
    for (auto it = std::sregex_iterator(variations.begin(), variations.end(), variation); it != std::sregex_iterator(); ++it)
        firsts.insert((*it)[1]);
    EXPECT_EQ(firsts.size(), 3u) << variations;
    EXPECT_EQ(firsts.count("Nf6"), 0u);
}

TEST(Annotate, InputsWithoutGames) {
    TempDir dir;
    const struct {
        std::string content;
        int exitCode;
        const char* err;
    } cases[] = {
        {"", 1, "annotate: no game in in.pgn\n"},
        {std::string("\x7f" "ELF\x02\x01\x01\x00\x00\x00", 10), 1, "annotate: game 1: byte 0x7F at line 1: not a PGN text; skipped\n"},
        {"[Event \"x\"]\n\n1. e4 {open\n", 1, "annotate: game 1: unterminated comment from line 3; skipped\n"},
        {"[Event \"x\"\n[White \"y\"]\n\n1. e4 *\n\n[Event \"z\"]\n\n1. d4 *\n", 1,
         "annotate: game 1: malformed tag at line 1: no closing ']'; skipped\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.err);
        std::ofstream(dir.path() / "in.pgn", std::ios::binary) << c.content;
        const ToolRun run = runTool(dir, "annotate --depth 2 in.pgn");
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.err.substr(0, std::strlen(c.err)), c.err);
    }
    EXPECT_EQ(runTool(dir, "annotate --depth 2 missing.pgn").exitCode, 2);
    EXPECT_EQ(runTool(dir, "annotate --depth 0 in.pgn").exitCode, 2);
}

// Each position's move at --depth 4 is the move the engine plays under sd 4
// (with time enough to reach it)
// after setboard, in the same order in one process; bad lines are skipped.
TEST(Epd, DepthFindsTheEnginesMoveAndCountsSolved) {
    TempDir dir;
    const std::vector<std::string> fens = {
        "r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq -",
        "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - -",
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
        "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6",
    };
    // Four FEN fields or six; the counters set up come from hmvc and fmvn
    // first, then the fields, then 0 and 1 (a bad FEN shows them).
    std::ofstream(dir.path() / "suite.epd") << fens[0] << " bm Qxf7#; id \"mate\";\n"
                                            << fens[1] << " 12 31 bm Rd8#; id \"back rank\";\n"
                                            << fens[2] << " am Qxf6; id \"kiwipete\";\n"
                                            << "# a comment line\n"
                                            << "8/8/8/8/8/8/8/8 w - - bm Ke2; id \"no kings\"; hmvc 7;\n"
                                            << "8/8/8/8/8/8/8/8 b - - 5 40 bm Ke2; fmvn 41;\n"
                                            << fens[3] << " bm Qz9; id \"bad move\";\n"
                                            << fens[3] << " bm exf6; id \"en passant\";\n";
    const ToolRun run = runTool(dir, "epd --depth 4 suite.epd");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "epd: line 5 skipped: a bad FEN (no white king): 8/8/8/8/8/8/8/8 w - - 7 1\n"
                       "epd: line 6 skipped: a bad FEN (no white king): 8/8/8/8/8/8/8/8 b - - 5 41\n"
                       "epd: line 7 skipped: the move Qz9 is not a move\n");
    std::istringstream lines(run.out);
    std::string header, line;
    std::getline(lines, header);
    EngineProcess engine;
    ASSERT_TRUE(engine.handshake());
    int solved = 0;
    for (std::size_t i = 0; i < fens.size(); ++i) {
        SCOPED_TRACE(fens[i]);
        ASSERT_TRUE(std::getline(lines, line));
        std::istringstream fields(line);
        std::string id, word, found, yes;
        while (fields >> word && word != "bm" && word != "am") id += word;
        std::string expected;
        fields >> expected >> found >> yes;
        engine.send("force\nsetboard " + fens[i] + "\nsd 4\nst 60\ngo");
        const auto replies = engine.readUntil(isMoveLine, 60000ms);  // a claim after a mate may come first
        ASSERT_FALSE(replies.empty() || !isMoveLine(replies.back()));
        ensureTables();
        ASSERT_TRUE(setUpBoard(board(), fens[i]));
        EXPECT_EQ("move " + moveText(pgn::readSan(board(), found).move), replies.back());
        EXPECT_EQ(yes, (word == "bm") == (found == expected) ? "yes" : "no");
        solved += yes == "yes";
    }
    EXPECT_EQ(lines.str().substr(lines.str().rfind("solved")), "solved " + std::to_string(solved) + "/4\n");
}

// Chess960 through the tools: games tagged Chess960 and Fischerandom, from a
// Shredder-FEN and an X-FEN, castling on both wings (zeros read as letters),
// annotated with O-O and O-O-O; EPD lines whose castling field names files,
// or all lines under --chess960, each a mate by castling.
TEST(Annotate, Chess960GamesAndPositions) {
    TempDir dir;
    std::ofstream(dir.path() / "games.pgn")
        << "[Variant \"Chess960\"]\n[FEN \"rbbnqnkr/pppppppp/8/8/8/8/PPPPPPPP/RBBNQNKR w HAha - 0 1\"]\n\n"
        << "1. Nfe3 Nfe6 2. 0-0 O-O *\n\n"
        << "[Variant \"Fischerandom\"]\n[SetUp \"1\"]\n[FEN \"rknbbqnr/pppppppp/8/8/8/8/PPPPPPPP/RKNBBQNR w KQkq - 0 1\"]\n\n"
        << "1. Nd3 Nd6 2. c3 c6 3. Bc2 Bc7 4. O-O-O 0-0-0 *\n";
    const ToolRun annotated = runTool(dir, "annotate --depth 2 games.pgn");
    EXPECT_EQ(annotated.exitCode, 0) << annotated.err;
    const std::string out = flat(annotated.out);
    EXPECT_TRUE(std::regex_search(out, std::regex(R"(2\. O-O \{[^}]*\} (\([^)]*\) )?2\.\.\. O-O \{)"))) << out;
    EXPECT_TRUE(std::regex_search(out, std::regex(R"(4\. O-O-O \{[^}]*\} (\([^)]*\) )?4\.\.\. O-O-O \{)"))) << out;

    std::ofstream(dir.path() / "suite.epd") << "2rkr3/2p1p3/8/8/8/8/PPP5/RK6 w A - bm O-O-O; id \"files\";\n"
                                            << "4rkr1/4p1p1/8/8/8/8/6PP/6KR w K - bm O-O; id \"letters\";\n";
    const ToolRun byField = runTool(dir, "epd --depth 2 suite.epd");  // K is standard chess's: no right at g1
    EXPECT_EQ(byField.err, "epd: line 2 skipped: the move O-O is not a legal move\n");
    EXPECT_TRUE(flat(byField.out).find("solved 1/1") != std::string::npos);
    EXPECT_TRUE(flat(runTool(dir, "epd --depth 2 --chess960 suite.epd").out).find("solved 2/2") != std::string::npos);
}

}  // namespace
