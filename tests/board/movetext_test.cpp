// Move text: the coordinate text of every kind, and the parser's reading of
// tokens against the game snapshot (castling, en passant, promotions, the
// tokens that are no move), checked against the generators' own codes.
#include <gtest/gtest.h>

#include <string>

#include "board/fen.h"
#include "board/movetext.h"
#include "board/position.h"
#include "board/tables.h"
#include "movegen/movegen.h"

namespace {

// Makes `fen` the game position, with its en-passant target when it has one.
void setGame(const char* fen) {
    initTables();
    Position p{};
    Square ep = 0;
    ASSERT_TRUE(readFen(fen, p, &ep)) << fen;
    if (ep) {
        p.epSquare = ep;
        p.hashKey ^= zobristKeys[0][ep];
    }
    installPosition(p);
}

std::string text(Move m) {
    char buffer[8];
    moveToText(buffer, m);
    return buffer;
}

constexpr int sq(const char* s) { return (s[0] - 'a') + 8 * ('8' - s[1]); }

Move code(const char* from, const char* to, int kind) { return makeMoveCode(sq(from), sq(to), kind); }

TEST(MoveText, WritesEveryKind) {
    EXPECT_EQ(text(code("e2", "e4", Quiet)), "e2e4");
    EXPECT_EQ(text(code("d4", "e5", Capture)), "d4e5");
    EXPECT_EQ(text(code("e5", "d6", EnPassant)), "e5d6");
    EXPECT_EQ(text(code("b7", "b8", PromoteQueenAlias)), "b7b8");  // never produced, no letter
    const char* letters = "qnrbqnrb";
    for (int kind = PromoteQueen; kind <= CapturePromoteBishop; ++kind)
        EXPECT_EQ(text(code("a7", "a8", kind)), std::string("a7a8") + letters[kind - PromoteQueen]) << kind;
    EXPECT_EQ(text(0x5304), "e7e8n");
    EXPECT_EQ(text(0x8DBF), "g2h1q");
    // castling texts do not depend on the stored squares
    EXPECT_EQ(text(makeMoveCode(0, 0, CastleBlackKingSide)), "e8g8");
    EXPECT_EQ(text(makeMoveCode(12, 40, CastleWhiteKingSide)), "e1g1");
    EXPECT_EQ(text(0xC106 | (CastleBlackQueenSide << 12)), "e8c8");
    EXPECT_EQ(text(0xE102 | (CastleWhiteQueenSide << 12)), "e1c1");
}

TEST(MoveText, ReturnsTheTerminatorForAppending) {
    char buffer[16] = "xxxxxxxxxxxxxxx";
    char* end = moveToText(buffer, code("e7", "e8", PromoteKnight));
    EXPECT_EQ(end - buffer, 5);
    EXPECT_EQ(*end, 0);
    end = moveToText(end, makeMoveCode(0, 0, CastleWhiteQueenSide));
    EXPECT_EQ(end - buffer, 9);
    EXPECT_STREQ(buffer, "e7e8ne1c1");
}

TEST(TextToMove, CastlingFollowsTheRightsNotTheKing) {
    // K right and no transient bit: castling even with no king on e1
    setGame("4k3/8/8/8/8/8/8/4K2R w K -");
    gameSnapshot.board[E1] = Empty;
    gameSnapshot.whiteKingSquare = A1;
    EXPECT_EQ(textToMove("e1g1"), 0xDF3E);
    EXPECT_EQ(textToMove("e1c1"), code("e1", "c1", Quiet));  // no Q right: a king step
    // the transient bit of a castling just made freezes the rights
    gameSnapshot.castleFlags = WhiteKingSideRight | WhiteCastling;
    EXPECT_EQ(textToMove("e1g1"), code("e1", "g1", Quiet));

    setGame("r3k2r/8/8/8/8/8/8/R3K2R b KQkq -");
    EXPECT_EQ(textToMove("e8g8"), 0xC106);
    EXPECT_EQ(textToMove("e8c8"), 0xE102);
    EXPECT_EQ(textToMove("e1c1"), 0xFF3A);
    // a castling token with a fifth character is no move
    EXPECT_EQ(textToMove("e8g8q"), 0);

    // with every castling bit clear e1g1 is an ordinary king move, by the target square
    setGame("4k3/8/8/8/8/8/8/4K1n1 w - -");
    EXPECT_EQ(textToMove("e1g1"), code("e1", "g1", Capture));
    EXPECT_EQ(textToMove("e1f1"), code("e1", "f1", Quiet));
}

TEST(TextToMove, PawnKinds) {
    setGame("rnbqkbnr/ppp1pppp/8/3pP3/8/8/PPPP1PPP/RNBQKBNR w KQkq d6");
    ASSERT_EQ(gameSnapshot.epSquare, sq("d6"));
    EXPECT_EQ(textToMove("e5d6"), code("e5", "d6", EnPassant));
    EXPECT_EQ(textToMove("e5e6"), code("e5", "e6", Quiet));
    setGame("rnbqkbnr/ppp1pppp/8/3pP3/8/8/PPPP1PPP/RNBQKBNR w KQkq -");
    EXPECT_EQ(textToMove("e5d6"), code("e5", "d6", Quiet));

    // a king stepping onto the en-passant square is an ordinary move
    setGame("8/8/8/8/3kP3/8/8/4K3 b - e3");
    ASSERT_EQ(gameSnapshot.epSquare, sq("e3"));
    EXPECT_EQ(textToMove("d4e3"), code("d4", "e3", Quiet));

    setGame("1n2k3/P3P3/8/8/8/8/6p1/4K2R b K -");
    EXPECT_EQ(textToMove("g2h1q"), 0x8DBF);
    EXPECT_EQ(textToMove("g2g1r"), code("g2", "g1", PromoteRook));
    EXPECT_EQ(textToMove("g2g1b"), code("g2", "g1", PromoteBishop));
    EXPECT_EQ(textToMove("a7b8n"), code("a7", "b8", CapturePromoteKnight));
    EXPECT_EQ(textToMove("a7b8b"), code("a7", "b8", CapturePromoteBishop));
    EXPECT_EQ(textToMove("e7e8n"), 0x5304);
    // no default promotion
    EXPECT_EQ(textToMove("e7e8"), code("e7", "e8", Quiet));
}

TEST(TextToMove, TokensThatAreNoMove) {
    setGame("1n2k3/P3P3/8/8/8/8/6p1/4K2R w K -");
    for (const char* token : {"go", "quit", "i9j1", "e2", "e2e", "", "a8a8", "e9e4", "e2e0", "E2E4", "force",
                              "e7e8Q",    // upper-case promotion letter
                              "e7e8k",    // no such promotion
                              "a7b8x",    // a capture written with a stray letter
                              "e7e8qq",   // six characters
                              "h1h2q",    // a rook does not promote
                              "e2e4xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"})
        EXPECT_EQ(textToMove(token), 0) << '"' << token << '"';
}

// Every generated move reads back from its own text as the same 16-bit code,
// in positions with castling both ways, en passant and promotions.
TEST(TextToMove, ReadsBackEveryGeneratedMove) {
    for (const char* fen : {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq -", "r3k2r/8/8/8/8/8/8/R3K2R b KQkq -",
                            "rnbqkbnr/ppp1pppp/8/3pP3/8/8/PPPP1PPP/RNBQKBNR w KQkq d6",
                            "rnbqkbnr/pppp1ppp/8/8/3Pp3/8/PPP1PPPP/RNBQKBNR b KQkq d3",
                            "1n2k2r/P1P1P3/8/8/8/8/1p4p1/R1N1K2R w Kk -", "1n2k2r/P1P1P3/8/8/8/8/1p4p1/R1N1K2R b Kk -",
                            "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq -"}) {
        setGame(fen);
        ScoredMove list[MoveListSize];
        ScoredMove* end = generateMoves(AllMoves, list);
        ASSERT_NE(end, nullptr) << fen;
        ASSERT_GT(end - list, 0) << fen;
        for (const ScoredMove* m = list; m < end; ++m) EXPECT_EQ(textToMove(text(m->move).c_str()), m->move) << fen << ' ' << text(m->move);
    }
}

}  // namespace
