// Check analysis: direct checks by every kind of piece, checks uncovered by
// every kind of move (promotions and en passant, which open lines that the new
// piece's own lines do not show, included), double checks, castling checks and
// the board's edges.
#include <gtest/gtest.h>

#include <initializer_list>

#include "board/fen.h"
#include "movegen_support.h"

using namespace movegen_test;

namespace {

Bitboard squares(std::initializer_list<const char*> names) {
    Bitboard b = 0;
    for (const char* n : names) b |= bitOf(sq(n));
    return b;
}

// The analysis after `move` from `fen`; it must match the look from scratch.
CheckInfo analyseAfter(const char* fen, Move move) {
    setUpFen(fen);
    play(move);
    CheckInfo info{}, fromScratch{};
    analyseCheck(info, move);
    analyseCheckFromScratch(fromScratch);
    EXPECT_EQ(info.checkers, fromScratch.checkers);
    EXPECT_EQ(info.checkerSquare, fromScratch.checkerSquare);
    EXPECT_EQ(info.checkKind, fromScratch.checkKind);
    return info;
}

void expectSingle(const CheckInfo& info, const char* checker, int kind) {
    EXPECT_EQ(info.checkers, bitOf(sq(checker)));
    EXPECT_EQ(info.checkerSquare, sq(checker));
    EXPECT_EQ(info.checkKind, kind);
}

void expectDouble(const CheckInfo& info, const char* first, const char* second, int kinds) {
    EXPECT_EQ(info.checkers, bitOf(sq(first)) | bitOf(sq(second)));
    EXPECT_EQ(info.checkerSquare, DoubleCheck);
    EXPECT_EQ(info.checkKind, kinds);
    EXPECT_EQ(info.lineMask, 0u);
}

void expectNoCheck(const CheckInfo& info) {
    EXPECT_EQ(info.checkers, 0u);
    EXPECT_EQ(info.checkerSquare, NoSquare);
    EXPECT_EQ(info.checkKind, 0);
}

TEST(AnalyseCheck, DirectChecksOfEveryPiece) {
    {
        SCOPED_TRACE("1. e4 f6 2. Qh5+");
        setUpFen(StartFen);
        for (Move m : {mv("e2", "e4"), mv("f7", "f6")}) play(m);
        const Move queen = mv("d1", "h5");
        play(queen);
        CheckInfo info{};
        analyseCheck(info, queen);
        expectSingle(info, "h5", 3);
        EXPECT_EQ(info.lineMask, squares({"g6", "f7", "e8", "g4", "f3", "e2", "d1"}));
    }
    {
        SCOPED_TRACE("a pawn checks forwards");
        const CheckInfo info = analyseAfter("6k1/8/7P/8/8/8/8/4K3 w - -", mv("h6", "h7"));
        expectSingle(info, "h7", 1);
        EXPECT_EQ(info.lineMask, 0u);
    }
    {
        SCOPED_TRACE("a promotion to a knight checks as a knight");
        const CheckInfo info = analyseAfter("8/4P3/5k2/8/8/8/8/4K3 w - -", mv("e7", "e8", PromoteKnight));
        expectSingle(info, "e8", 2);
    }
    {
        SCOPED_TRACE("a queen along a file");
        const CheckInfo info = analyseAfter("4k3/8/8/8/8/8/8/K2Q4 w - -", mv("d1", "e2"));
        expectSingle(info, "e2", 4);
        EXPECT_EQ(info.lineMask, squares({"e3", "e4", "e5", "e6", "e7", "e8", "e1", "d2", "c2", "b2", "a2", "f2",
                                          "g2", "h2"}));
    }
    {
        SCOPED_TRACE("a blocked queen line is no check");
        expectNoCheck(analyseAfter("4k3/4p3/8/8/8/8/8/K2Q4 w - -", mv("d1", "e2")));
    }
}

TEST(AnalyseCheck, PawnAttacksStopAtTheEdge) {
    {
        SCOPED_TRACE("a black pawn on h2 checks g1");
        expectSingle(analyseAfter("8/8/8/8/8/7p/8/4k1K1 b - -", mv("h3", "h2")), "h2", 1);
    }
    {
        SCOPED_TRACE("a black pawn on h2 and a king on a1");
        expectNoCheck(analyseAfter("8/8/8/8/8/7p/8/K3k3 b - -", mv("h3", "h2")));
    }
    {
        SCOPED_TRACE("a black pawn on a3 and a king on h3");
        expectNoCheck(analyseAfter("8/8/8/8/p7/7K/8/4k3 b - -", mv("a4", "a3")));
    }
    {
        SCOPED_TRACE("a white pawn on h7 and a king on a7");
        expectNoCheck(analyseAfter("8/k7/7P/8/8/8/8/4K3 w - -", mv("h6", "h7")));
    }
}

TEST(AnalyseCheck, ChecksUncoveredByEveryKindOfMove) {
    {
        SCOPED_TRACE("a knight checks and uncovers a rook");
        expectDouble(analyseAfter("4k3/8/8/8/4N3/8/8/K3R3 w - -", mv("e4", "f6")), "f6", "e1", 2 + 4);
    }
    {
        SCOPED_TRACE("a bishop uncovers a rook");
        const CheckInfo info = analyseAfter("4k3/8/8/8/4B3/8/8/K3R3 w - -", mv("e4", "h1"));
        expectSingle(info, "e1", 4);
        EXPECT_EQ(info.lineMask, squares({"e2", "e3", "e4", "e5", "e6", "e7", "e8", "d1", "c1", "b1", "a1", "f1",
                                          "g1", "h1"}));
    }
    {
        SCOPED_TRACE("a bishop checks and uncovers a rook");
        expectDouble(analyseAfter("4k3/8/8/8/4B3/8/8/K3R3 w - -", mv("e4", "c6")), "c6", "e1", 3 + 4);
    }
    {
        SCOPED_TRACE("a rook uncovers a bishop");
        expectSingle(analyseAfter("7k/8/8/8/3R4/8/8/B3K3 w - -", mv("d4", "d2")), "a1", 3);
    }
    {
        SCOPED_TRACE("a rook checks and uncovers a queen on a diagonal");
        expectDouble(analyseAfter("7k/8/8/8/3R4/8/8/Q3K3 w - -", mv("d4", "d8")), "d8", "a1", 4 + 3);
    }
    {
        SCOPED_TRACE("a king steps off a rook's rank");
        const CheckInfo info = analyseAfter("8/8/8/8/R2K3k/8/8/8 w - -", mv("d4", "d5"));
        expectSingle(info, "a4", 4);
        EXPECT_EQ(info.lineMask, squares({"b4", "c4", "d4", "e4", "f4", "g4", "h4", "a5", "a6", "a7", "a8", "a3",
                                          "a2", "a1"}));
    }
    {
        SCOPED_TRACE("en passant empties both squares of a rank");
        expectSingle(analyseAfter("8/8/8/RPp4k/8/8/8/K7 w - c6 0 1", mv("b5", "c6", EnPassant)), "a5", 4);
    }
}

// Promotions and en passant open lines that a look at the new piece's own
// lines would miss.
TEST(AnalyseCheck, PromotionsAndEnPassantUncoverEverything) {
    for (int kind : {PromoteQueen, PromoteKnight, PromoteRook, PromoteBishop}) {
        SCOPED_TRACE(::testing::Message() << "a promotion of kind " << kind
                                          << " away from the king's lines uncovers a rook");
        expectSingle(analyseAfter("8/R3P2k/8/8/8/8/8/4K3 w - -", mv("e7", "e8", kind)), "a7", 4);
    }
    {
        SCOPED_TRACE("a new queen checks and uncovers a rook");
        expectDouble(analyseAfter("8/R3Pk2/8/8/8/8/8/4K3 w - -", mv("e7", "e8", PromoteQueen)), "e8", "a7", 3 + 4);
    }
    {
        SCOPED_TRACE("a new black queen takes, checks and uncovers a rook");
        expectDouble(analyseAfter("4k3/8/8/8/8/8/r4pK1/6N1 b - -", mv("f2", "g1", CapturePromoteQueen)), "g1", "a2",
                     4 + 4);
    }
    {
        SCOPED_TRACE("en passant uncovers a rook through the capturer's square and a bishop through the victim's");
        expectDouble(analyseAfter("8/8/4k3/4Pp2/8/7B/8/4R1K1 w - f6 0 1", mv("e5", "f6", EnPassant)), "e1", "h3",
                     4 + 3);
    }
}

// Why a bishop, rook or queen move needs no test of its own line kind: a
// slider that alone shields a line of its kind from the king already gives
// check, and such a position is never reached (setup refuses it).
TEST(AnalyseCheck, ShieldingSlidersAlreadyGiveCheck) {
    ensureTables();
    for (const char* fen : {"4k3/8/8/8/4R3/8/8/K3Q3 w - -", "3k4/8/1B6/Q7/8/8/8/K7 w - -",
                            "3k4/8/8/8/3Q4/8/8/K2R4 w - -", "3k4/8/1Q6/B7/8/8/8/K7 w - -"}) {
        Position p{};
        EXPECT_FALSE(readFen(fen, p)) << fen;
    }
}

TEST(AnalyseCheck, CastlingChecksOnlyWithTheRook) {
    {
        SCOPED_TRACE("black castles king side onto the open f-file");
        const CheckInfo info = analyseAfter("4k2r/8/8/8/8/8/5K2/8 b k - 0 1", makeMoveCode(E8, G8, CastleBlackKingSide));
        expectSingle(info, "f8", 4);
        EXPECT_EQ(info.lineMask, squares({"e8", "d8", "c8", "b8", "a8", "g8", "f7", "f6", "f5", "f4", "f3", "f2"}));
    }
    {
        SCOPED_TRACE("the rook checks through the square the king left");
        expectSingle(analyseAfter("8/8/8/8/8/8/8/R3K2k w Q - 0 1", makeMoveCode(E1, C1, CastleWhiteQueenSide)), "d1",
                     4);
    }
    {
        SCOPED_TRACE("no check");
        expectNoCheck(analyseAfter("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", makeMoveCode(E1, G1, CastleWhiteKingSide)));
    }
}

TEST(AnalyseCheck, FromScratchFindsEveryChecker) {
    setUpFen("4r1k1/8/8/8/8/3n4/8/4K3 w - -");
    CheckInfo info{};
    analyseCheckFromScratch(info);
    expectDouble(info, "d3", "e8", 2 + 4);

    setUpFen("4k3/8/8/b7/8/8/8/4K3 w - -");
    analyseCheckFromScratch(info);
    expectSingle(info, "a5", 3);
    EXPECT_EQ(info.lineMask, squares({"b6", "c7", "d8", "b4", "c3", "d2", "e1"}));

    setUpFen(StartFen);
    analyseCheckFromScratch(info);
    expectNoCheck(info);
}

}  // namespace
