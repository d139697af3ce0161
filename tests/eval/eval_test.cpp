// The static evaluation: exact scores of hand-checked positions for both sides
// to move, and colour symmetry over many positions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "board/fen.h"
#include "board/pst.h"
#include "board/tables.h"
#include "eval/eval.h"

namespace {

class Evaluation : public ::testing::Test {
protected:
    void SetUp() override { initTables(); }

    // The score of a FEN position; fails the test when the text is refused.
    static int scoreOf(const std::string& fen) {
        Position p;
        EXPECT_TRUE(readFen(fen.c_str(), p)) << fen;
        installPosition(p);
        return evaluate();
    }

    // White to move gets `whiteView`, Black to move its negation.
    static void expectBothSides(const std::string& placement, int whiteView) {
        EXPECT_EQ(scoreOf(placement + " w - - 0 1"), whiteView) << placement << " w";
        EXPECT_EQ(scoreOf(placement + " b - - 0 1"), -whiteView) << placement << " b";
    }
};

TEST_F(Evaluation, OpeningPositions) {
    expectBothSides("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR", 0);
    // e2 reads -9 and e4 12 in the opening pawn table
    expectBothSides("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR", 21);
    EXPECT_EQ(scoreOf("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1"), -21);
}

TEST_F(Evaluation, BareMinorsAreZeroButTwoMinorsCount) {
    expectBothSides("4k3/8/8/8/8/8/8/4K3", 0);
    expectBothSides("4k3/8/8/8/8/8/8/3NK3", 0);
    expectBothSides("4k3/8/8/8/8/8/8/3BK3", 0);
    expectBothSides("3bk3/8/8/8/8/8/8/4K3", 0);
    // m = 6: king table 4 (a1 and h1 both -16), bishop b1 -4 and knight c1 -8 in table 2
    expectBothSides("8/8/8/8/8/8/8/KBN4k", 613);
}

TEST_F(Evaluation, PawnStructure) {
    // 100 - 9 (e2, pawn table 4) - 20 isolated + 8 passed
    expectBothSides("8/8/8/8/8/8/4P3/K6k", 79);
    // both pay -20 isolated and -8 doubled; only e3 (+4) is passed, for 16
    expectBothSides("8/8/8/8/8/4P3/4P3/K6k", 155);
    // -100, -46 (table 4 read at g7), +20 isolated, -48 passed on the second rank;
    // with Black to move White's king would stand in check, which setup refuses
    EXPECT_EQ(scoreOf("8/8/8/8/8/8/1p6/K6k w - - 0 1"), -174);
    // Black doubled on c5 and c4 with a rook behind them (m = 7):
    // c5: -(100 + 12) + 20 isolated + 8 doubled, not the leading pawn, so not passed
    // c4: -(100 + 24) + 20 + 8 - 32 passed on row 4; the rook behind doubled pawns earns nothing
    // rook c8: -(500 + 0), its file holds own pawns
    expectBothSides("2r1k3/8/8/2p5/2p5/8/8/4K3", -712);
}

TEST_F(Evaluation, RookFiles) {
    // 500 - 8 (a1, rook table 2) + 16 on a file without pawns
    expectBothSides("4k3/8/8/8/8/8/8/R3K3", 508);
    // the rook keeps +8 only; the a7 pawn: -100 - 0 + 20 isolated - 8 passed
    expectBothSides("4k3/p7/8/8/8/8/8/R3K3", 412);
    // no file bonus; the a2 pawn: 100 + 0 - 20 + 8 passed + 15 for the rook behind it
    expectBothSides("4k3/8/8/8/8/8/P7/R3K3", 595);
}

TEST_F(Evaluation, BishopPairNeedsBothColours) {
    expectBothSides("4k3/8/8/8/8/8/8/2B1KB2", 634);  // c1 dark, f1 light: 630 - 8 + 12
    expectBothSides("4k3/8/8/8/8/8/8/2B1K1B1", 622);  // c1 and g1 both dark
}

TEST_F(Evaluation, KingShelter) {
    // Symmetric, m = 38: both kings get the full 14.
    expectBothSides("3rr1k1/ppp2ppp/2n5/8/8/2N5/PPP2PPP/3RR1K1", 0);
    // The e1 rook on f1 instead: rook table 2 f1 0 against e1 1 (-1), the f-file
    // holds a white pawn (-16), and the rook switches White's shelter off (-14).
    expectBothSides("3rr1k1/ppp2ppp/2n5/8/8/2N5/PPP2PPP/3R1RK1", -31);
    // Queen-side shelter with the b-pawn gone, m = 39 (king table 3, pawn table 3):
    // kings b1 and g8 both -6; White's shelter a2, c2 = 8 + 2 extra for a2, Black's
    // f7, g7, h7 = 12 + 2; White's pawns 100 - 20 isolated + 8 passed each (176),
    // Black's 100 + 8 passed each (-324); knights, rooks and queens cancel.
    expectBothSides("r2q2k1/5ppp/2n5/8/8/2N5/P1P5/1K1Q3R", -152);
}

TEST_F(Evaluation, ShelterNeedsMaterial36) {
    // King g1 behind f2 g2 h2 against a king on e8: kings -6 against -2, the
    // rest mirrored; the shelter (14) counts from m = 36 on.
    expectBothSides("rn1qk3/5ppp/8/8/8/8/5PPP/RN1Q2K1", 10);    // m = 40
    expectBothSides("r2qk3/p4ppp/8/8/8/8/P4PPP/R2Q2K1", 10);   // m = 36
    expectBothSides("r2qk3/5ppp/8/8/8/8/5PPP/R2Q2K1", -4);     // m = 34
    // m = 35, still no shelter: the black a7 pawn (-100 + 20 isolated - 8 passed
    // - 15 for the a8 rook behind it), the a1 rook's lost half file bonus (-8) and
    // the a8 rook's lost full one (+16)
    expectBothSides("r2qk3/p4ppp/8/8/8/8/5PPP/R2Q2K1", -99);
}

TEST_F(Evaluation, KingOnACastlingPathCountsAsCastled) {
    // Right after castling in a search the king stands on a path square (65 or
    // 64); it must score as on g1 or c1, rook on f1 or d1 and all.
    struct Case {
        Move castling;
        const char* after;
    };
    const Case cases[] = {
        {makeMoveCode(E1, G1, CastleWhiteKingSide), "r3k2r/pppq1ppp/2n5/8/8/2N5/PPPQ1PPP/R4RK1 b kq - 0 1"},
        {makeMoveCode(E1, C1, CastleWhiteQueenSide), "r3k2r/pppq1ppp/2n5/8/8/2N5/PPPQ1PPP/2KR3R b kq - 0 1"},
    };
    for (const Case& c : cases) {
        const int expected = scoreOf(c.after);
        scoreOf("r3k2r/pppq1ppp/2n5/8/8/2N5/PPPQ1PPP/R3K2R w KQkq - 0 1");
        saveUndo(*currentPly);
        makeMove(c.castling);
        ASSERT_GE(position.kingSquare[White], 64);
        EXPECT_EQ(evaluate(), expected) << c.after;
    }
}

TEST_F(Evaluation, MaterialPastTheTablesUsesTheLastPhase) {
    // m = 149: mirrored queens and pawns cancel; the d4 queen reads queen table 1 (1).
    const char* fen = "kqqqqqqq/1ppppppp/8/8/3Q4/8/PPPPPPP1/QQQQQQQK";
    Position p;
    ASSERT_TRUE(readFen((std::string(fen) + " w - - 0 1").c_str(), p));
    ASSERT_GT(p.materialCount, 127);
    expectBothSides(fen, 920 + queenTable1[35]);
    EXPECT_EQ(queenTable1[35], 1);
}

// ---- colour symmetry ------------------------------------------------------

// The position turned top to bottom with the colours and the side to move swapped.
std::string flipFen(const std::string& fen) {
    const std::size_t space = fen.find(' ');
    std::string placement = fen.substr(0, space);
    std::string ranks[8];
    int r = 0;
    for (char c : placement) {
        if (c == '/') ++r;
        else ranks[r] += std::isalpha(static_cast<unsigned char>(c)) ? static_cast<char>(c ^ 0x20) : c;
    }
    std::string flipped;
    for (int i = 7; i >= 0; --i) flipped += ranks[i] + (i ? "/" : "");
    const char side = fen[space + 1] == 'w' ? 'b' : 'w';
    return flipped + ' ' + side + " - - 0 1";
}

// Random legal-looking placements, with kings often on a castled wing and
// pawns often at home, so that every phase and the shelter cases turn up.
std::string randomFen(std::mt19937& rng) {
    char board[64];
    std::fill(std::begin(board), std::end(board), '.');
    auto chance = [&](int percent) { return static_cast<int>(rng() % 100) < percent; };
    auto place = [&](char piece, int lowRow, int highRow) {
        for (int tries = 0; tries < 100; ++tries) {
            const int s = lowRow * 8 + static_cast<int>(rng() % ((highRow - lowRow + 1) * 8));
            if (board[s] == '.') {
                board[s] = piece;
                return;
            }
        }
    };
    constexpr int wingSquares[2][6] = {{0, 1, 2, 5, 6, 7}, {56, 57, 58, 61, 62, 63}};
    for (int side : {White, Black}) {
        const char king = side == White ? 'K' : 'k';
        if (chance(50)) board[wingSquares[side][rng() % 6]] = king;
        else place(king, 0, 7);
        const bool rich = chance(60);  // near-full armies reach the opening tables
        const int keep = rich ? 90 : 45;
        const char* pieces = side == White ? "QRRBBNN" : "qrrbbnn";
        for (const char* c = pieces; *c; ++c)
            if (chance(keep)) place(*c, 0, 7);
        const char pawn = side == White ? 'P' : 'p';
        const int home = side == White ? 6 : 1;
        for (int i = 0; i < 8; ++i) {
            if (!chance(keep)) continue;
            if (chance(50)) place(pawn, home, home);
            else place(pawn, 1, 6);
        }
        if (chance(20)) place(side == White ? 'Q' : 'q', 0, 7);  // a promoted extra
    }
    std::string fen;
    for (int row = 0; row < 8; ++row) {
        int empty = 0;
        for (int file = 0; file < 8; ++file) {
            const char c = board[row * 8 + file];
            if (c == '.') {
                ++empty;
                continue;
            }
            if (empty) fen += static_cast<char>('0' + empty);
            empty = 0;
            fen += c;
        }
        if (empty) fen += static_cast<char>('0' + empty);
        if (row < 7) fen += '/';
    }
    return fen + (chance(50) ? " w - - 0 1" : " b - - 0 1");
}

// Opening pawn table 1 reads 1 on c3 but -1 on f3; turning the board makes a
// pawn read the other square, so that is the one difference a flip may show.
int openingPawnAsymmetry(const Position& p) {
    if (pawnTableByPhase[phaseIndex(p.materialCount)] != pawnTable1) return 0;
    const int d = pawnTable1[42] - pawnTable1[45];  // c3 - f3
    int diff = 0;
    for (int side : {White, Black}) {
        const int sign = side == p.sideToMove ? 1 : -1;
        for (Bitboard b = p.pieceBoards[side == White ? WhitePawn : BlackPawn]; b;) {
            const int s = popLowest(b);
            const int read = side == White ? s : 63 - s;
            if (read == 42) diff += sign * d;
            if (read == 45) diff -= sign * d;
        }
    }
    return diff;
}

TEST_F(Evaluation, ColourFlipGivesTheSameScore) {
    std::vector<std::string> fens = {
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1",
        "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4",
        "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP3PPP/R2QKB1R w KQ - 0 8",
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "rnbqkb1r/pp1p1ppp/2p2n2/4p3/2P5/2N2P2/PP1PP1PP/R1BQKBNR w KQkq - 0 4",
        "rnbqkbnr/ppp2ppp/3p4/4p3/4P3/2P2P2/PP1P2PP/RNBQKBNR w KQkq - 0 3",
        "2rq1rk1/pp1bppbp/3p1np1/4n3/3NP3/1BN1BP2/PPPQ2PP/2KR3R w - - 5 13",
        "r1b2rk1/2q1bppp/p2ppn2/1p6/3NP3/1BN1B3/PPP1QPPP/R4RK1 w - - 0 12",
        "3r1rk1/pp3ppp/2n1b3/2p5/4P3/2N1BP2/PP4PP/2KR1B1R b - - 2 16",
        "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
        "4rrk1/pp1n3p/3q2pQ/2p1pb2/2PP4/2P3N1/P2B2PP/4RRK1 b - - 7 19",
        "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1",
        "8/8/4kpp1/3p1b2/p6P/2B5/6P1/6K1 b - - 0 47",
        "8/5pk1/6p1/7p/P6P/6P1/5PK1/8 w - - 0 40",
        "2r3k1/1q1nbppp/r3p3/3pP3/pPpP4/P1Q2N2/2RN1PPP/2R4K b - - 0 22",
        "r1bbk1nr/pp3p1p/2n5/1N4p1/2Np1B2/8/PPP2PPP/2KR1B1R w kq - 0 13",
        "1k6/1p1r4/p1p5/P1P5/1P6/3R4/6K1/8 w - - 0 50",
        "rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3",
        "3rr1k1/ppp2ppp/2n5/8/8/2N5/PPP2PPP/3R1RK1 w - - 0 1",
        "r2q2k1/5ppp/2n5/8/8/2N5/P1P5/1K1Q3R w - - 0 1",
        "2kr3r/ppp2ppp/2n5/8/8/2N5/PP3PPP/2KR3R b - - 0 1",
        "1k1r3r/pp3ppp/8/8/8/8/PP3PPP/1K1R3R w - - 0 1",
        "r5k1/5ppp/8/8/8/8/5PPP/R5K1 b - - 0 1",
        "8/P7/8/8/8/8/p7/K6k w - - 0 1",
        "4k3/2p5/2p5/8/8/2P5/2P5/4K3 w - - 0 1",
        "4k3/8/8/8/3Pp3/8/8/4K3 b - - 0 1",
        "r3k3/1p6/8/8/8/8/6P1/4K2R w - - 0 1",
        "2b1k1b1/8/8/8/8/8/8/2B1KB2 w - - 0 1",
        "4k3/pppppppp/8/8/8/8/PPPPPPPP/4K3 w - - 0 1",
        "rnbqkbnr/pppppppp/8/8/8/2P2P2/PP1PP1PP/RNBQKBNR b KQkq - 0 1",
        "rnbqkbnr/pp1pp1pp/2p2p2/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "kqqqqqqq/1ppppppp/8/8/3Q4/8/PPPPPPP1/QQQQQQQK w - - 0 1",
    };
    std::mt19937 rng(20240611);
    while (fens.size() < 3000) {
        std::string fen = randomFen(rng);
        Position p;
        if (readFen(fen.c_str(), p)) fens.push_back(fen);
    }

    int openingTable = 0, asymmetric = 0, sheltered = 0;
    for (const std::string& fen : fens) {
        Position p, q;
        ASSERT_TRUE(readFen(fen.c_str(), p)) << fen;
        const std::string flipped = flipFen(fen);
        ASSERT_TRUE(readFen(flipped.c_str(), q)) << flipped;
        installPosition(p);
        const int original = evaluate();
        const int expected = openingPawnAsymmetry(p);
        installPosition(q);
        EXPECT_EQ(original - evaluate(), expected) << fen << "  /  " << flipped;

        openingTable += pawnTableByPhase[phaseIndex(p.materialCount)] == pawnTable1;
        asymmetric += expected != 0;
        sheltered += p.materialCount >= 36 && (squareBit[p.kingSquare[White]] & 0xE7ULL);
    }
    // The run must reach the cases it is about.
    EXPECT_GT(openingTable, 300);
    EXPECT_GT(asymmetric, 100);
    EXPECT_GT(sheltered, 300);
}

}  // namespace
