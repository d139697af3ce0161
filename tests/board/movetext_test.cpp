// Move text: tokens read against the game snapshot, each to the code of its
// kind or to none.
#include <gtest/gtest.h>

#include "support/chess.h"

using namespace testsupport;

namespace {

TEST(MoveText, TokensReadAgainstTheGame) {
    const char* const castling = "r3k2r/8/8/8/8/8/8/R3K2R b KQkq -";
    const char* const pawns = "rnbqkbnr/ppp1pppp/8/3pP3/8/8/PPPP1PPP/RNBQKBNR w KQkq d6";
    const char* const promotions = "1n2k3/P3P3/8/8/8/8/6p1/4K2R b K -";
    const struct {
        const char* fen;
        const char* token;
        Move move;
    } cases[] = {
        {castling, "e8g8", mv("e8g8", CastleBlackKingSide)}, {castling, "e8c8", mv("e8c8", CastleBlackQueenSide)},
        {castling, "e1c1", mv("e1c1", CastleWhiteQueenSide)}, {castling, "e8g8q", 0},
        {"4k3/8/8/8/8/8/8/4K1n1 w - -", "e1g1", mv("e1g1", Capture)},  // no rights: a king move
        {"4k3/8/8/8/8/8/8/4K2R w K -", "e1c1", mv("e1c1")},
        {pawns, "e5d6", mv("e5d6", EnPassant)}, {pawns, "e5e6", mv("e5e6")},
        {"rnbqkbnr/ppp1pppp/8/3pP3/8/8/PPPP1PPP/RNBQKBNR w KQkq -", "e5d6", mv("e5d6")},
        {"8/8/8/8/3kP3/8/8/4K3 b - e3", "d4e3", mv("d4e3")},  // a king onto the en-passant square
        {promotions, "g2h1q", mv("g2h1", CapturePromoteQueen)}, {promotions, "g2g1r", mv("g2g1", PromoteRook)},
        {promotions, "g2g1b", mv("g2g1", PromoteBishop)}, {promotions, "a7b8n", mv("a7b8", CapturePromoteKnight)},
        {promotions, "e7e8n", mv("e7e8", PromoteKnight)}, {promotions, "e7e8", mv("e7e8")},  // no default promotion
    };
    for (const auto& c : cases) {
        setUpFen(c.fen);
        EXPECT_EQ(textToMove(c.token), c.move) << c.fen << ' ' << c.token;
    }
    for (const char* token : {"go", "quit", "i9j1", "e2", "e2e", "", "e9e4", "e2e0", "E2E4", "force", "e7e8Q", "e7e8k",
                              "a7b8x", "e7e8qq", "h1h2q", "e2e4xxxxxxxxxxxxxxxxxxxxxxx"})
        EXPECT_EQ(textToMove(token), 0) << '"' << token << '"';
    // The rights decide castling, not the king: with K and no castling under way
    // e1g1 castles even without a king on e1; a castling just made freezes them.
    setUpFen("4k3/8/8/8/8/8/8/4K2R w K -");
    gameSnapshot.whiteKingSquare = A1;
    EXPECT_EQ(textToMove("e1g1"), mv("e1g1", CastleWhiteKingSide));
    gameSnapshot.castleFlags = WhiteKingSideRight | WhiteCastling;
    EXPECT_EQ(textToMove("e1g1"), mv("e1g1"));
    EXPECT_EQ(moveText(mv("b7b8", PromoteQueenAlias)), "b7b8");  // never generated: no letter
}

}  // namespace
