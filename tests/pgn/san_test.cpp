// SAN over the perft walk: at every node each legal move's text reads back
// to that move, no shorter disambiguation would, and the texts at the last
// ply carry as many '+' and '#' as the published counts of checks and mates.
// Then the forms that files in the wild hold.
#include <gtest/gtest.h>

#include <cstring>
#include <regex>

#include "board/fen.h"
#include "pgn/san.h"
#include "support/chess.h"

using namespace testsupport;

namespace {

class SanChecker {
public:
    static constexpr bool expandLeaves = false;
    explicit SanChecker(int depth) : depth_(depth) {}
    std::uint64_t checks = 0, mates = 0, legal = 0;

    void node(Move, const ScoredMove*, const ScoredMove*) {
        if (::testing::Test::HasFailure()) return;
        const pgn::LegalMoves moves = pgn::legalMoves(board());
        if (ply_ == depth_ - 1) legal += static_cast<std::uint64_t>(moves.count);
        for (Move m : moves) {
            const std::string san = pgn::sanText(board(), m, moves);
            SCOPED_TRACE(san + " (" + moveText(m) + ")");
            static const std::regex form(R"(([NBRQK][a-h]?[1-8]?x?[a-h][1-8]|[a-h](x[a-h])?[1-8](=[QRBN])?|O-O(-O)?)[+#]?)");
            EXPECT_TRUE(std::regex_match(san, form));
            EXPECT_EQ(pgn::readSan(position(), san, moves).move, m);
            if (ply_ == depth_ - 1) {
                checks += san.back() == '+' || san.back() == '#';
                mates += san.back() == '#';
            }
            notShorter(san, m, moves);
        }
    }
    void beforeMake(Move) { ++ply_; }
    void afterUnmake(Move) { --ply_; }

private:
    // A piece move's disambiguation is the first of none, file, rank, both
    // that names the move alone: no earlier one may read back to it.
    static void notShorter(const std::string& san, Move m, const pgn::LegalMoves& moves) {
        if (!std::strchr("NBRQK", san[0]) || san.rfind("O-O", 0) == 0) return;
        const std::string core = san.substr(0, san.find_first_of("+#"));
        const std::size_t to = core.size() - 2;
        const std::string given = core.substr(1, to - 1 - (core[to - 1] == 'x'));
        const std::string rest = core.substr(1 + given.size());
        const char file = static_cast<char>('a' + fileOf(moveFrom(m))), rank = static_cast<char>('8' - rowOf(moveFrom(m)));
        const std::string forms[] = {"", std::string(1, file), std::string(1, rank), std::string{file, rank}};
        for (const std::string& form : forms) {
            if (form == given) break;
            EXPECT_NE(pgn::readSan(position(), san.substr(0, 1) + form + rest, moves).move, m) << "shorter: " << form;
        }
    }

    int depth_, ply_ = 0;
};

// Checks and mates at the last ply: the published perft tables (start,
// Kiwipete, the rook endgame, the promotions position) and python-chess's
// counts for the fifth position, where the tables give none.
TEST(San, PerftWalkRoundTripsWithPublishedChecksAndMates) {
#ifdef __SANITIZE_ADDRESS__
    constexpr int shallower = 1;
#else
    constexpr int shallower = 0;
#endif
    const struct {
        const char* fen;
        int depth;
        std::uint64_t checks, mates;
    } roots[] = {
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", 4, 469, 8},
        {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -", 3, 993, 1},
        {"8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -", 4, 1680, 17},
        {"r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq -", 3, 38, 22},
        {"rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ -", 3, 1201, 44},
        // disambiguation by rank and by both, promotions giving mate, en passant
        {"1k6/8/8/Q1Q5/8/Q7/8/1K1R3R w - -", 2, 0, 0},
        {"4k3/1P6/8/8/4Pp2/8/8/R3K2R b KQ e3", 3, 0, 0},
    };
    ensureTables();
    for (const auto& r : roots) {
        SCOPED_TRACE(r.fen);
        const bool published = r.checks > 0;
        const int depth = published ? r.depth - shallower : r.depth;
        ASSERT_TRUE(setUpBoard(board(), r.fen));
        SanChecker checker(depth);
        perftRoot(board(), depth, checker, NoReport{});
        EXPECT_EQ(checker.legal, perft(board(), depth));  // the module's legal moves are the walk's
        if (published && shallower == 0) {
            EXPECT_EQ(checker.checks, r.checks);
            EXPECT_EQ(checker.mates, r.mates);
        }
    }
}

// What files in the wild write, read in positions where it matters.
TEST(San, ReadsTheFormsOfRealFiles) {
    const struct {
        const char* fen;
        const char* text;
        const char* move;  // coordinates, or the error
    } cases[] = {
        {"4k3/1P6/8/8/8/8/8/4K3 w - -", "b8=Q+", "b7b8q"},
        {"4k3/1P6/8/8/8/8/8/4K3 w - -", "b8Q", "b7b8q"},
        {"4k3/1P6/8/8/8/8/8/4K3 w - -", "b8n", "b7b8n"},
        {"4k3/1P6/8/8/8/8/8/4K3 w - -", "b8", "illegal"},
        {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq -", "0-0", "e1g1"},
        {"r3k2r/8/8/8/8/8/8/R3K2R b KQkq -", "O-O-O", "e8c8"},
        {"r3k2r/8/8/8/8/8/8/R3K2R b KQkq -", "e8c8", "e8c8"},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", "Ng1-f3!?", "g1f3"},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", "Ngf3", "g1f3"},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", "Pe4", "e2e4"},
        {"4k3/8/8/8/8/8/8/2N1K1N1 w - -", "Ne2", "ambiguous"},
        {"4k3/8/8/8/8/8/8/N3K1N1 w - -", "Nz9", "unreadable"},
        {"4k3/8/8/8/8/8/8/N3K1N1 w - -", "--", "null"},
        {"4k3/8/8/8/8/8/4r3/N3K1N1 w - -", "Kd2", "illegal"},
        {"4k3/8/8/3pP3/8/8/8/4K3 w - d6", "exd6", "e5d6"},
        {"4k3/8/8/8/8/8/8/4K2R w K -", "O-O-O", "illegal"},
    };
    ensureTables();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.fen) + " " + c.text);
        ASSERT_TRUE(setUpBoard(board(), c.fen));
        const pgn::SanReading reading = pgn::readSan(board(), c.text);
        const std::string got = reading.error == pgn::SanError::None ? moveText(reading.move)
                                : reading.error == pgn::SanError::Illegal   ? "illegal"
                                : reading.error == pgn::SanError::Ambiguous ? "ambiguous"
                                : reading.error == pgn::SanError::NullMove  ? "null"
                                                                            : "unreadable";
        EXPECT_EQ(got, c.move);
    }
}

}  // namespace
