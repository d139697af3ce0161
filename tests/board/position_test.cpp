// Reading text: the fields of accepted FEN texts, refused texts that leave
// everything alone, and move tokens read against the game snapshot, each to
// the code of its kind or to none. (The perft walk checks make and unmake at
// every node.)
#include <gtest/gtest.h>

#include <bit>

#include "board/fen.h"
#include "support/chess.h"

using namespace testsupport;

namespace {

constexpr const char* StartFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

Position read(const char* fen, Square* ep = nullptr) {
    ensureTables();
    Position p{};
    EXPECT_TRUE(readFen(fen, p, ep)) << fen;
    return p;
}

// The game position written back as text (it reads the game snapshot).
std::string gameText() {
    char text[96];
    return positionText(text);
}

// What an accepted text sets. Rights come from the field and stay only where
// king and rook stand at home; the en-passant target is reported, not played,
// and only where a pawn of the side that moved stands in front of it. The
// placement ends at the 64th square; slashes, and blanks before fields, are
// skipped.
TEST(ReadFen, AcceptedTexts) {
    const Position p = read(StartFen);
    EXPECT_TRUE(std::popcount(p.occupied) == 32 && p.materialCount == 78 && p.castleFlags == 27);
    EXPECT_TRUE(p.sideToMove == White && p.epSquare == 0 && p.kingSquare[Black] == 4 && p.kingSquare[White] == 60);
    EXPECT_EQ(p.hashKey, startPositionKey());
    installPosition(p);
    EXPECT_TRUE(positionIsConsistent());
    EXPECT_EQ(gameText(), "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
    setUpFen("r3k2r/8/8/8/8/8/8/R3K2R b Kq - 5 40");
    EXPECT_EQ(gameText(), "r3k2r/8/8/8/8/8/8/R3K2R b Kq -");

    const char* afterE4 = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1";
    const struct {
        const char* fen;
        int flags, side, ep;
    } cases[] = {
        {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq", 27, White, 0}, {"r3k2r/8/8/8/8/8/8/R3K2R w -", 0, White, 0},
        {"r3k2r/8/8/8/8/8/8/R3K2R w", 0, White, 0}, {"r3k2r/8/8/8/8/8/8/R3K2R w Kk", 9, White, 0},
        {"r3k2r/8/8/8/8/8/8/R3K2R w Qq", 18, White, 0}, {"r3k2r/8/8/8/8/8/8/R3K2R w K-kq", 1, White, 0},
        {"r3k2r/8/8/8/8/8/8/R3K2R w qkQK", 27, White, 0}, {"r3k3/8/8/8/8/8/8/R3K2R w KQkq -", 1 + 2 + 16, White, 0},
        {"4k2r/8/8/8/8/8/8/R3K2R w KQkq -", 1 + 2 + 8, White, 0}, {"r3k2r/8/8/8/8/8/8/4K2R w KQkq -", 1 + 8 + 16, White, 0},
        {"r3k2r/8/8/8/8/8/8/R3K2N w KQkq -", 2 + 8 + 16, White, 0}, {"r3k2r/8/8/8/8/8/8/R3K2r w KQkq -", 2 + 8 + 16, White, 0},
        {"r3k2r/8/8/8/8/8/8/R4K1R w KQkq -", 8 + 16, White, 0}, {"r4k1r/8/8/8/8/8/8/R3K2R w KQkq -", 1 + 2, White, 0},
        {"Rn2k2r/8/8/8/8/8/8/rN2K2R w KQkq -", 1 + 8, White, 0}, {"4k3/8/8/8/8/8/8/4K2Rw K -", 1, White, 0},
        {"4k38888884K2R w K", 1, White, 0}, {"   4k3/8/8/8//8/8/8/4K2R   W   K", 1, White, 0},
        {"4k3/8/8/8/8/8/8/4K2RB K -", 1, Black, 0}, {afterE4, 27, Black, 44},
        {"rnbqkbnr/ppp1pppp/8/3p4/4P3/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 2", 27, White, 19},
        {"4k2r/8/8/8/4P3/8/8/4K2R b Kk e3 0 1", 9, Black, 44}, {"4k3/8/8/8/4P3/8/8/4K3 b - -", 0, Black, 0},
        {"4k3/8/8/8/4P3/8/8/4K3 w - e3", 0, White, 0},    // White to move cannot take on e3
        {"4k3/8/8/8/4P3/8/8/4K3 b - e6", 0, Black, 0},    // the wrong rank for this side
        {"4k3/8/8/8/4P3/8/8/4K3 b - d3", 0, Black, 0},    // no pawn in front of d3
        {"4k3/8/8/8/4P3/4N3/8/4K3 b - e3", 0, Black, 0},  // the target is occupied
        {"4k3/8/8/8/4P3/8/8/4K3 b - i3", 0, Black, 0}, {"4k3/8/8/8/4P3/8/8/4K3 b -", 0, Black, 0},
        {"4k3/8/8/8/P7/8/8/4K3 b - a3", 0, Black, 40}, {"4k3/8/8/7p/8/8/8/4K3 w - h6", 0, White, 23},  // edge files
    };
    for (const auto& c : cases) {
        Square ep = 99;
        const Position accepted = read(c.fen, &ep);
        EXPECT_TRUE(accepted.castleFlags == c.flags && accepted.sideToMove == c.side && ep == c.ep) << c.fen;
        EXPECT_EQ(accepted.epSquare, 0) << c.fen;
    }
    EXPECT_TRUE(samePosition(read(afterE4), read("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1")));
    EXPECT_TRUE(samePosition(read("4k38888884K2R w K"), read("4k3/8/8/8/8/8/8/4K2R w K -")));
}

TEST(ReadFen, RefusedTextsLeaveEverythingAlone) {
    // digits 0 and 9, a stray letter, a text ending early, no side, a digit past
    // the last square, kings missing or doubled, seventeen men, pawns on the
    // first or last rank, the side not to move in check
    const char* refused[] = {
        "", "4k3/8/8/8/0/8/8/8/4K3 w", "4k3/8/8/8/9/8/8/4K3 w", "4k3/8/8/x7/8/8/8/4K3 w", "4k3/8/8 w",
        "4k3/8/8/8/8/8/8/4K3", "4k3/8/8/8/8/8/8/4K3 x", "4k3/8/8/8/8/8/8/4K3 -", "4k3/8/8/8/8/8/8/4K4 w",
        "8/8/8/8/8/8/8/8 w", "8/8/8/8/8/8/8/4K3 w", "4k3/8/8/8/8/8/8/8 w", "4k3/8/8/8/8/8/8/K3K3 w",
        "k3k3/8/8/8/8/8/8/4K3 w",
        "4k3/8/8/8/8/PPPPPPPP/PPPPPPPP/4K3 w", "4k3/pppppppp/pppppppp/8/8/8/8/4K3 w", "P3k3/8/8/8/8/8/8/4K3 w",
        "4k3/8/8/8/8/8/8/P3K3 w", "p3k3/8/8/8/8/8/8/4K3 w", "4k3/8/8/8/8/8/8/p3K3 w", "4k3/8/8/8/8/8/8/4RK2 w",
        "4k3/8/8/8/B7/8/8/5K2 w", "4k3/8/8/8/Q7/8/8/5K2 w", "4k3/8/5N2/8/8/8/8/4K3 w", "4k3/3P4/8/8/8/8/8/4K3 w",
        "4k3/4K3/8/8/8/8/8/8 w", "4k3/8/8/8/8/8/3p4/4K3 b", "4k3/8/8/8/1q6/8/8/4K3 b",
    };
    const Position sentinel = read(StartFen);
    installPosition(sentinel);
    for (const char* fen : refused) {
        Position out = sentinel;
        Square ep = 77;
        EXPECT_FALSE(readFen(fen, out, &ep)) << fen;
        EXPECT_TRUE(samePosition(out, sentinel) && ep == 77) << fen;
    }
    EXPECT_TRUE(samePosition(position, sentinel));
    // near misses are accepted, and consistent
    for (const char* fen : {"4k3/8/8/8/8/8/8/4R1K1 b - -", "4k3/8/8/8/8/8/4P3/4RK2 w - -", "4k3/8/8/8/8/8/8/B4K2 w - -",
                            "4k3/8/4K3/8/8/8/8/8 w - -", "4k3/3P4/8/8/8/8/8/4K3 b - -", "4k3/P7/8/8/8/8/p7/4K3 w - -",
                            "4k3/8/8/8/8/PPPPPPPP/PPPPPPP1/4K3 w - -", "4k3/pppppppp/ppppppp1/8/8/8/8/4K3 w - -"}) {
        installPosition(read(fen));
        EXPECT_TRUE(positionIsConsistent()) << fen;
    }
}

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
