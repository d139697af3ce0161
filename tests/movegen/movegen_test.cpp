// The generators' lists in the order the search takes them, with their
// scores: what the perft walk cannot see, since it counts sets of moves.
#include <gtest/gtest.h>

#include "support/chess.h"

using namespace testsupport;

namespace {

// Knights from the h-side on, then double steps and single steps from the
// h-file on, scored by the table gain (Black reads the tables turned round).
// Rooks, the king, then castling. En passant leads its direction, then
// capture-promotions, captures, quiet promotions, which the captures
// generator lists too. In double check only the king moves.
TEST(Generators, OrderAndScores) {
    const struct {
        const char* fen;
        GeneratorKind kind;
        const char* list;
    } cases[] = {
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", AllMoves,
         "g1h3:-27986 g1f3:-27972 b1c3:-27972 b1a3:-27986 h2h4:-28000 g2g4:-28000 f2f4:-27997 e2e4:-27979 d2d4:-27979 "
         "c2c4:-27997 b2b4:-28000 a2a4:-28000 h2h3:-28000 g2g3:-28001 f2f3:-28001 e2e3:-27989 d2d3:-27989 c2c3:-27999 "
         "b2b3:-28001 a2a3:-28000 "},
        {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq -", AllMoves,
         "g8h6:-27986 g8f6:-27972 b8c6:-27972 b8a6:-27986 h7h5:-28000 g7g5:-28000 f7f5:-27997 e7e5:-27979 d7d5:-27979 "
         "c7c5:-27997 b7b5:-28000 a7a5:-28000 h7h6:-28000 g7g6:-28001 f7f6:-27999 e7e6:-27989 d7d6:-27989 c7c6:-28001 "
         "b7b6:-28001 a7a6:-28000 "},
        {"4k3/8/8/8/8/p1p4p/P1P4P/R3K2R w KQ -", AllMoves,
         "h1g1:-27998 h1f1:-27992 a1d1:-27991 a1c1:-27992 a1b1:-27998 e1f1:-28002 e1d1:-28000 e1f2:-28000 e1e2:-27998 "
         "e1d2:-27998 e1g1:-27980 e1c1:-27990 "},
        {"4k3/8/8/6p1/2Pp1N2/8/1p6/R3K3 b - c3", Captures,
         "d4c3:-19950 b2a1q:-18650 b2a1n:-19500 b2a1r:-19530 b2a1b:-19540 g5f4:-19740 b2b1q:-19200 b2b1n:-20050 "
         "b2b1r:-20080 b2b1b:-20090 "},
        {"4r1k1/8/8/1Q6/8/3n4/R7/4K3 w - -", Evasions, "e1f1:-21002 e1d1:-21000 e1f2:-21000 e1e2:-20998 e1d2:-20998 "},
    };
    for (const auto& c : cases) {
        setUpFen(c.fen);
        CheckInfo info{};
        analyseCheckFromScratch(info);
        std::string listed;
        for (const ScoredMove& e : generate(c.kind, &info).moves)
            listed += moveText(e.move) + ":" + std::to_string(e.score) + " ";
        EXPECT_EQ(listed, c.list) << c.fen;
    }
}

}  // namespace
