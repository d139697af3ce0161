// Reading FEN text: what a position set up from text holds, which texts are
// refused, and installing a position as the game position.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <string>

#include "board/fen.h"
#include "board/position.h"
#include "board/types.h"
#include "board/zobrist.h"
#include "board_checks.h"

namespace {

constexpr const char* startFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

// The key of a placement: every piece and king keyed on its square, read
// straight from the ranks given as 64 characters.
std::uint64_t placementKey(const char* squares) {
    std::uint64_t key = 0;
    for (int s = 0; s < 64; ++s) {
        const char* found = std::strchr(".PpNnBbRrQqKk", squares[s]);
        if (found && squares[s] != '.') key ^= zobristKeys[found - ".PpNnBbRrQqKk"][s];
    }
    return key;
}

TEST(ReadFen, StartPosition) {
    ensureTables();
    Position p{};
    ASSERT_TRUE(readFen(startFen, p));
    EXPECT_EQ(std::popcount(p.occupied), 32);
    EXPECT_EQ(p.materialCount, 78);
    EXPECT_EQ(p.castleFlags, 27);
    EXPECT_EQ(p.sideToMove, White);
    EXPECT_EQ(p.epSquare, 0);
    EXPECT_EQ(p.kingSquare[Black], 4);
    EXPECT_EQ(p.kingSquare[White], 60);
    EXPECT_EQ(p.board[E8], Empty);
    EXPECT_EQ(p.board[E1], Empty);
    EXPECT_EQ(p.board[D1], WhiteQueen);
    EXPECT_EQ(p.board[A8], BlackRook);
    EXPECT_EQ(p.pieceBoards[WhitePawn], 0x000000000000FF00ULL);
    EXPECT_EQ(p.pieceBoards[BlackPawn], 0x00FF000000000000ULL);
    EXPECT_EQ(p.pieceBoards[WhiteRook], 0x81ULL);
    EXPECT_EQ(p.pieceBoards[BlackKnight], 0x4200000000000000ULL);
    EXPECT_EQ(p.pieceBoards[WhiteQueen], 0x10ULL);
    EXPECT_EQ(p.colourBoards[White], 0xFFFFULL);
    EXPECT_EQ(p.colourBoards[Black], 0xFFFF000000000000ULL);
    expectConsistent(p);
    const char* squares =
        "rnbqkbnr" "pppppppp" "........" "........" "........" "........" "PPPPPPPP" "RNBQKBNR";
    EXPECT_EQ(p.hashKey, placementKey(squares));
    EXPECT_EQ(p.hashKey, startPositionKey());
}

TEST(ReadFen, CastlingField) {
    ensureTables();
    const struct {
        const char* field;
        int flags;
    } cases[] = {{"KQkq", 27}, {"-", 0}, {"Kk", 9}, {"Qq", 18}, {"KQ", 3}, {"kq", 24}, {"qkQK", 27}, {"K-kq", 1}, {"", 0}};
    for (const auto& c : cases) {
        const std::string fen = std::string("r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w ") + c.field;
        SCOPED_TRACE(fen);
        Position p{};
        ASSERT_TRUE(readFen(fen.c_str(), p));
        EXPECT_EQ(p.castleFlags, c.flags);
    }
}

TEST(ReadFen, CastlingRightsNeedKingAndRookAtHome) {
    ensureTables();
    const struct {
        const char* fen;
        int flags;
    } cases[] = {
        {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq -", 27},
        {"r3k3/8/8/8/8/8/8/R3K2R w KQkq -", 1 + 2 + 16},      // no rook on h8
        {"4k2r/8/8/8/8/8/8/R3K2R w KQkq -", 1 + 2 + 8},       // no rook on a8
        {"r3k2r/8/8/8/8/8/8/4K2R w KQkq -", 1 + 8 + 16},      // no rook on a1
        {"r3k2r/8/8/8/8/8/8/R3K1NR w KQkq -", 1 + 2 + 8 + 16},  // h1 still a rook
        {"r3k2r/8/8/8/8/8/8/R3K2N w KQkq -", 2 + 8 + 16},     // a knight on h1
        {"r3k2r/8/8/8/8/8/8/R3K2r w KQkq -", 2 + 8 + 16},     // a black rook on h1
        {"r3k2r/8/8/8/8/8/8/R4K1R w KQkq -", 8 + 16},         // White's king off e1
        {"r4k1r/8/8/8/8/8/8/R3K2R w KQkq -", 1 + 2},          // Black's king off e8
        {"Rn2k2r/8/8/8/8/8/8/rN2K2R w KQkq -", 1 + 8},        // rooks swapped on the a-file
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fen);
        Position p{};
        ASSERT_TRUE(readFen(c.fen, p));
        EXPECT_EQ(p.castleFlags, c.flags);
    }
}

TEST(ReadFen, SideToMoveLetters) {
    ensureTables();
    const struct {
        const char* side;
        bool accepted;
        int sideToMove;
    } cases[] = {{"w", true, White}, {"W", true, White}, {"b", true, Black}, {"B", true, Black}, {"x", false, 0},
                 {"-", false, 0},   {"k", false, 0},    {"1", false, 0},    {"", false, 0}};
    for (const auto& c : cases) {
        const std::string fen = std::string("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR ") + c.side + " KQkq -";
        SCOPED_TRACE(fen);
        Position p{};
        EXPECT_EQ(readFen(fen.c_str(), p), c.accepted);
        if (c.accepted) {
            EXPECT_EQ(p.sideToMove, c.sideToMove);
        }
    }
}

TEST(ReadFen, PlacementIsCountedBySquaresNotRanks) {
    ensureTables();
    Position slashed{}, joined{}, black{}, blanks{};
    ASSERT_TRUE(readFen("4k3/8/8/8/8/8/8/4K2R w K -", slashed));
    // the placement ends at the 64th square, so the side letter may follow at once
    ASSERT_TRUE(readFen("4k3/8/8/8/8/8/8/4K2Rw K -", joined));
    expectSamePosition(slashed, joined);
    ASSERT_TRUE(readFen("4k3/8/8/8/8/8/8/4K2Rb K -", black));
    EXPECT_EQ(black.sideToMove, Black);
    EXPECT_EQ(black.castleFlags, WhiteKingSideRight);
    // slashes are skipped without counting ranks; blanks are skipped before fields
    ASSERT_TRUE(readFen("4k38888884K2R w K", joined));
    expectSamePosition(slashed, joined);
    ASSERT_TRUE(readFen("   4k3/8/8/8//8/8/8/4K2R   w   K", blanks));
    expectSamePosition(slashed, blanks);
    EXPECT_EQ(slashed.kingSquare[White], E1);
    EXPECT_EQ(slashed.board[H1], WhiteRook);
    EXPECT_EQ(slashed.materialCount, 5);
    EXPECT_EQ(slashed.hashKey, zobristKeys[BlackKing][E8] ^ zobristKeys[WhiteKing][E1] ^ zobristKeys[WhiteRook][H1]);
}

TEST(ReadFen, EnPassantFieldIsReportedNotPlayed) {
    ensureTables();
    const char* afterE4 = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1";
    const char* withDash = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1";
    Position withEp{}, without{};
    Square ep = 99;
    ASSERT_TRUE(readFen(afterE4, withEp, &ep));
    EXPECT_EQ(ep, 44);
    ASSERT_TRUE(readFen(withDash, without));
    expectSamePosition(without, withEp);
    EXPECT_EQ(withEp.epSquare, 0);

    const struct {
        const char* fen;
        Square ep;
    } cases[] = {
        {withDash, 0},
        {"rnbqkbnr/ppp1pppp/8/3p4/4P3/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 2", 19},
        {"4k3/8/8/8/4P3/8/8/4K3 b - e3", 44},
        {"4k2r/8/8/8/4P3/8/8/4K2R b Kk e3 0 1", 44},
        {"4k2r/8/8/8/4P3/8/8/4K2R b KQk e3 0 1", 44},
        {"4k3/8/8/8/4P3/8/8/4K3 w - e3", 0},      // White to move cannot take on e3
        {"4k3/8/8/8/4P3/8/8/4K3 b - e6", 0},      // the wrong rank for this side
        {"4k3/8/8/8/4P3/8/8/4K3 b - d3", 0},      // no pawn in front of d3
        {"4k3/8/8/8/4P3/4N3/8/4K3 b - e3", 0},    // the target is occupied
        {"4k3/8/8/8/4P3/8/8/4K3 b - i3", 0},
        {"4k3/8/8/8/4P3/8/8/4K3 b -", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fen);
        Position p{};
        Square reported = 99;
        ASSERT_TRUE(readFen(c.fen, p, &reported));
        EXPECT_EQ(reported, c.ep);
        EXPECT_EQ(p.epSquare, 0);
    }
}

TEST(ReadFen, RefusedTextsLeaveEverythingAlone) {
    ensureTables();
    const char* refused[] = {
        "",
        "4k3/8/8/8/0/8/8/8/4K3 w - -",           // digit 0
        "4k3/8/8/8/9/8/8/4K3 w - -",             // digit 9
        "4k3/8/8/x7/8/8/8/4K3 w - -",            // a stray character
        "4k3/8/8 w - -",                         // the text ends the placement early
        "4k3/8/8/8/8/8/8/4K3",                   // no side
        "4k3/8/8/8/8/8/8/4K4 w - -",             // a digit past the last square
        "8/8/8/8/8/8/8/8 w - -",                 // no kings at all
        "8/8/8/8/8/8/8/4K3 w - -",               // no black king
        "4k3/8/8/8/8/8/8/8 w - -",               // no white king
        "4k3/8/8/8/8/8/8/K3K3 w - -",            // two white kings
        "k3k3/8/8/8/8/8/8/4K3 w - -",            // two black kings
        "4k3/8/8/8/8/PPPPPPPP/PPPPPPPP/4K3 w - -",  // seventeen white men
        "4k3/pppppppp/pppppppp/8/8/8/8/4K3 w - -",  // seventeen black men
        "P3k3/8/8/8/8/8/8/4K3 w - -",            // a white pawn on rank 8
        "4k3/8/8/8/8/8/8/P3K3 w - -",            // a white pawn on rank 1
        "p3k3/8/8/8/8/8/8/4K3 w - -",            // a black pawn on rank 8
        "4k3/8/8/8/8/8/8/p3K3 w - -",            // a black pawn on rank 1
        // the side that is not to move stands in check
        "4k3/8/8/8/8/8/8/4RK2 w - -",            // rook
        "4k3/8/8/8/B7/8/8/5K2 w - -",            // bishop
        "4k3/8/8/8/Q7/8/8/5K2 w - -",            // queen
        "4k3/8/5N2/8/8/8/8/4K3 w - -",           // knight
        "4k3/3P4/8/8/8/8/8/4K3 w - -",           // pawn
        "4k3/4K3/8/8/8/8/8/8 w - -",             // the kings touch
        "4k3/8/8/8/8/8/3p4/4K3 b - -",           // a black pawn checks White with Black to move
        "4k3/8/8/8/1q6/8/8/4K3 b - -",           // a black queen checks White
    };
    const Position sentinel = positionFromFen(startFen);
    installPosition(sentinel);
    for (const char* fen : refused) {
        SCOPED_TRACE(fen);
        Position out = sentinel;
        Square ep = 77;
        EXPECT_FALSE(readFen(fen, out, &ep));
        expectSamePosition(sentinel, out);
        EXPECT_EQ(ep, 77);
    }
    expectSamePosition(sentinel, position);
    EXPECT_EQ(historyTop, history);
}

TEST(ReadFen, AcceptedNearMisses) {
    ensureTables();
    const char* accepted[] = {
        "4k3/8/8/8/8/8/8/4R1K1 b - -",           // the side to move may stand in check
        "4k3/8/8/8/8/8/4P3/4RK2 w - -",          // a blocked rook gives no check
        "4k3/8/8/8/8/8/8/B4K2 w - -",            // a bishop on the long diagonal misses e8
        "4k3/8/4K3/8/8/8/8/8 w - -",             // kings two squares apart
        "4k3/3P4/8/8/8/8/8/4K3 b - -",           // the pawn checks the side to move
        "4k3/8/8/8/8/PPPPPPPP/PPPPPPP1/4K3 w - -",  // sixteen white men
        "4k3/pppppppp/ppppppp1/8/8/8/8/4K3 w - -",  // sixteen black men
        "4k3/P7/8/8/8/8/p7/4K3 w - -",           // pawns one step from promotion
    };
    for (const char* fen : accepted) {
        SCOPED_TRACE(fen);
        Position p{};
        ASSERT_TRUE(readFen(fen, p));
        expectConsistent(p);
    }
}

TEST(InstallPosition, ResetsHistoryAndSnapshot) {
    ensureTables();
    installPosition(positionFromFen(startFen));
    currentPly = &plyStack[1];
    for (Move m : {makeMoveCode(52, 36, Quiet), makeMoveCode(12, 28, Quiet), makeMoveCode(62, 45, Quiet)}) {
        saveUndo(*currentPly);
        makeMove(m);
        ++currentPly;
    }
    ASSERT_EQ(historyTop, history + 3);

    const Position p = positionFromFen("r3k2r/8/8/8/8/8/8/R3K2R b Kq - 5 40");
    installPosition(p);
    expectSamePosition(p, position);
    EXPECT_EQ(historyTop, history);
    EXPECT_EQ(history[0].hashKey, p.hashKey);
    EXPECT_EQ(history[0].move, 0);
    EXPECT_EQ(history[0].reversibleCount, 0);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(history[i].hashKey, 0u) << i;
        EXPECT_EQ(history[i].move, 0) << i;
        EXPECT_EQ(history[i].reversibleCount, 0) << i;
    }
    EXPECT_EQ(gameSnapshot.sideToMove, Black);
    EXPECT_EQ(gameSnapshot.castleFlags, WhiteKingSideRight | BlackQueenSideRight);
    EXPECT_EQ(gameSnapshot.epSquare, 0);
    EXPECT_EQ(gameSnapshot.whiteKingSquare, E1);
    EXPECT_EQ(gameSnapshot.blackKingSquare, E8);
    EXPECT_EQ(std::memcmp(gameSnapshot.board, p.board, 64), 0);
    EXPECT_EQ(position.hashKey, computeHashKey(p.castleFlags));
}

}  // namespace
