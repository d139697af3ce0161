// Check analysis in the cases a perft tree seldom holds (checks uncovered by
// promotions, en passant and castling, the board's edges), and the generators'
// lists: their order and scores, castling and its completion, evasions.
#include <gtest/gtest.h>

#include <initializer_list>

#include "support/chess.h"

using namespace testsupport;

namespace {

// Checks a perft tree seldom holds, after each move: analyseCheck and the look
// from scratch give the checkers, the sum of their kinds (1 pawn, 2 knight, 3
// diagonal, 4 straight) and a single slider's lines of its kind.
TEST(AnalyseCheck, AfterEveryKindOfMove) {
    const struct {
        const char* fen;
        Move move;
        std::initializer_list<const char*> checkers;
        int kind;
        std::initializer_list<const char*> line;
    } cases[] = {
        {"rnbqkbnr/ppppp1pp/5p2/8/4P3/8/PPPP1PPP/RNBQKBNR w KQkq -", mv("d1h5"), {"h5"}, 3,
         {"g6", "f7", "e8", "g4", "f3", "e2", "d1"}},
        {"8/8/8/8/8/7p/8/4k1K1 b - -", mv("h3h2"), {"h2"}, 1, {}},
        {"8/8/8/8/p7/7K/8/4k3 b - -", mv("a4a3"), {}, 0, {}},  // pawn attacks stop at the edge
        {"8/k7/7P/8/8/8/8/4K3 w - -", mv("h6h7"), {}, 0, {}},
        {"8/4P3/5k2/8/8/8/8/4K3 w - -", mv("e7e8", PromoteKnight), {"e8"}, 2, {}},
        {"4k3/8/8/8/4N3/8/8/K3R3 w - -", mv("e4f6"), {"f6", "e1"}, 2 + 4, {}},
        {"4k3/8/8/8/4B3/8/8/K3R3 w - -", mv("e4c6"), {"c6", "e1"}, 3 + 4, {}},
        {"7k/8/8/8/3R4/8/8/B3K3 w - -", mv("d4d2"), {"a1"}, 3, {}},
        {"7k/8/8/8/3R4/8/8/Q3K3 w - -", mv("d4d8"), {"d8", "a1"}, 4 + 3, {}},
        {"8/8/8/RPp4k/8/8/8/K7 w - c6", mv("b5c6", EnPassant), {"a5"}, 4,
         {"b5", "c5", "d5", "e5", "f5", "g5", "h5", "a6", "a7", "a8", "a4", "a3", "a2", "a1"}},
        {"8/8/4k3/4Pp2/8/7B/8/4R1K1 w - f6", mv("e5f6", EnPassant), {"e1", "h3"}, 4 + 3, {}},
        {"8/R3P2k/8/8/8/8/8/4K3 w - -", mv("e7e8", PromoteKnight), {"a7"}, 4, {}},
        {"8/R3Pk2/8/8/8/8/8/4K3 w - -", mv("e7e8", PromoteQueen), {"e8", "a7"}, 3 + 4, {}},
        {"4k3/8/8/8/8/8/r4pK1/6N1 b - -", mv("f2g1", CapturePromoteQueen), {"g1", "a2"}, 4 + 4, {}},
        {"4k2r/8/8/8/8/8/5K2/8 b k -", mv("e8g8", CastleBlackKingSide), {"f8"}, 4,
         {"e8", "d8", "c8", "b8", "a8", "g8", "f7", "f6", "f5", "f4", "f3", "f2"}},
        {"8/8/8/8/8/8/8/R3K2k w Q -", mv("e1c1", CastleWhiteQueenSide), {"d1"}, 4, {}},
        {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq -", mv("e1g1", CastleWhiteKingSide), {}, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.fen) + " " + moveText(c.move));
        setUpFen(c.fen);
        play(c.move);
        CheckInfo info{}, fromScratch{};
        analyseCheck(info, c.move);
        analyseCheckFromScratch(fromScratch);
        Bitboard checkers = 0, line = 0;
        for (const char* s : c.checkers) checkers |= bitOf(sq(s));
        for (const char* s : c.line) line |= bitOf(sq(s));
        const int count = static_cast<int>(c.checkers.size());
        for (const CheckInfo& i : {info, fromScratch}) {
            EXPECT_EQ(i.checkers, checkers);
            EXPECT_EQ(i.checkKind, c.kind);
            EXPECT_EQ(i.checkerSquare, count == 0 ? NoSquare : count == 1 ? lowestSquare(checkers) : DoubleCheck);
            if (line || count == 2) { EXPECT_EQ(i.lineMask, line); }
        }
    }
}

// "move:score" of each entry, in list order.
std::string listed(GeneratorKind kind) {
    CheckInfo info{};
    analyseCheckFromScratch(info);
    std::string out;
    for (const ScoredMove& e : generate(kind, &info).moves)
        out += moveText(e.move) + ":" + std::to_string(e.score) + " ";
    return out;
}

// Knights from the h-side on, then double steps and single steps from the
// h-file on, scored by the table gain (Black reads the tables turned round).
// En passant leads its direction, then capture-promotions, captures, quiet
// promotions, which the captures generator lists too. In double check only
// the king moves.
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
        {"4k3/8/8/6p1/2Pp1N2/8/1p6/R3K3 b - c3", Captures,
         "d4c3:-19950 b2a1q:-18650 b2a1n:-19500 b2a1r:-19530 b2a1b:-19540 g5f4:-19740 b2b1q:-19200 b2b1n:-20050 "
         "b2b1r:-20080 b2b1b:-20090 "},
        {"4r1k1/8/8/1Q6/8/3n4/R7/4K3 w - -", Evasions, "e1f1:-21002 e1d1:-21000 e1f2:-21000 e1e2:-20998 e1d2:-20998 "},
    };
    for (const auto& c : cases) {
        setUpFen(c.fen);
        EXPECT_EQ(listed(c.kind), c.list) << c.fen;
    }
}

// Castling needs its right and empty squares between king and rook, not an
// unattacked king: the next ply rejects a castling out of, through or into
// check. The captures generator lists none. (Ranks 2 and 1 below r3k2r.)
TEST(Generators, CastlingNeedsTheRightAndEmptySquares) {
    const struct {
        const char* ranks;
        const char* castlings;
    } cases[] = {
        {"8/R3K2R w KQkq", "e1g1:-27980 e1c1:-27990 "}, {"8/R3K2R b KQkq", "e8g8:-27980 e8c8:-27990 "},
        {"8/R3KB1R w KQkq", "e1c1:-27990 "}, {"8/R3K1NR w KQkq", "e1c1:-27990 "},
        {"8/RN2K2R w KQkq", "e1g1:-27980 "}, {"8/R2QK2R w KQkq", "e1g1:-27980 "},
        {"8/R3K2R w Kkq", "e1g1:-27980 "}, {"8/R3K2R w Qkq", "e1c1:-27990 "},
        {"4r3/R3K2R w KQkq", "e1g1:-27980 e1c1:-27990 "}, {"8/R3K2R w kq", ""},
    };
    for (const auto& c : cases) {
        setUpFen(("r3k2r/8/8/8/8/8/" + std::string(c.ranks)).c_str());
        std::string found;
        for (const ScoredMove& e : generate(AllMoves).moves)
            if (moveKind(e.move) >= CastleBlackKingSide)
                found += moveText(e.move) + ":" + std::to_string(e.score) + " ";
        EXPECT_EQ(found, c.castlings) << c.ranks;
        for (const ScoredMove& e : generate(Captures).moves)
            EXPECT_LT(moveKind(e.move), CastleBlackKingSide) << c.ranks;
    }
}

// After a castling in the search every generator of the opponent returns null
// when the king's start, crossed or landing square is attacked (a pawn on d7
// attacks the emptied e8; b8 may be attacked), and otherwise puts the king on
// its square and ends the castling. (Ranks 7 to 1 below r3k2r.)
TEST(Generators, CastlingIsCheckedAndCompletedByTheNextPly) {
    const struct {
        const char* ranks;
        const char* castling;
        bool illegal;
    } cases[] = {
        {"3P4/8/8/8/8/8/4K3 b kq", "e8g8", true}, {"3P4/8/8/8/8/8/4K3 b kq", "e8c8", true},
        {"5P2/8/8/8/8/8/4K3 b kq", "e8g8", true}, {"7P/8/8/8/8/8/4K3 b kq", "e8g8", true},
        {"8/4N3/8/8/8/8/4K3 b kq", "e8g8", true}, {"8/4N3/8/8/8/8/4K3 b kq", "e8c8", true},
        {"8/8/8/8/B7/8/4K3 b kq", "e8g8", true}, {"8/8/8/8/B7/8/4K3 b kq", "e8c8", false},
        {"8/8/8/8/8/8/4K1R1 b kq", "e8g8", true}, {"8/8/8/8/8/8/1R2K3 b kq", "e8c8", false},
        {"8/8/8/8/8/8/2Q1K3 b kq", "e8c8", true}, {"6K1/8/8/8/8/8/8 b kq", "e8g8", true},
        {"8/8/8/8/8/8/4K3 b kq", "e8g8", false}, {"8/8/8/8/8/8/R3K2R w KQkq", "e1g1", false},
        {"8/8/8/8/8/8/R3K2R w KQkq", "e1c1", false},
    };
    for (const auto& c : cases) {
        for (GeneratorKind kind : {AllMoves, Captures, Evasions}) {
            SCOPED_TRACE(::testing::Message() << c.ranks << " " << c.castling << " generator " << kind);
            setUpFen(("r3k2r/" + std::string(c.ranks)).c_str());
            const int side = position.sideToMove;
            const Move castling = textToMove(c.castling);
            play(castling);
            CheckInfo info{};
            analyseCheck(info, castling);
            EXPECT_EQ(generate(kind, &info).illegal, c.illegal);
            if (c.illegal) continue;
            EXPECT_EQ(position.kingSquare[side], moveTo(castling));
            EXPECT_EQ(position.castleFlags & (side == White ? 7 : 56), 0);
            EXPECT_TRUE(positionIsConsistent());
        }
    }
}

}  // namespace
