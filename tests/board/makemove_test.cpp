// Make and unmake: every move kind restores the position bit for bit, keeps
// the boards consistent and the incremental key equal to the key from scratch.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <random>
#include <vector>

#include "board/fen.h"
#include "board/position.h"
#include "board/types.h"
#include "board/zobrist.h"
#include "board_checks.h"
#include "movegen/movegen.h"

namespace {

constexpr const char* startFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";
constexpr const char* castlingFen = "r3k2r/8/8/8/8/8/8/R3K2R w KQkq -";

// Squares by name for the moves below.
constexpr int sq(const char* name) { return (name[0] - 'a') + 8 * ('8' - name[1]); }
constexpr Move mv(const char* from, const char* to, int kind = Quiet) { return makeMoveCode(sq(from), sq(to), kind); }

std::uint64_t Z(int row, int s) { return zobristKeys[row][s]; }

class MakeUnmake : public ::testing::Test {
protected:
    std::uint16_t setupFlags = 0;

    void setUp(const char* fen) {
        ensureTables();
        Position p{};
        ASSERT_TRUE(readFen(fen, p)) << fen;
        installPosition(p);
        setupFlags = p.castleFlags;
        currentPly = &plyStack[1];
    }

    // What must hold after every make.
    void checkMade() {
        expectConsistent(position);
        EXPECT_EQ(position.hashKey, computeHashKey(setupFlags));
        EXPECT_EQ(historyTop->hashKey, position.hashKey);
    }

    // Makes m one ply deeper, as the search does.
    void play(Move m) {
        saveUndo(*currentPly);
        makeMove(m);
        checkMade();
        ++currentPly;
    }
    void takeBack(Move m) {
        --currentPly;
        unmakeMove(m);
    }

    // Makes m, checks it and `afterMake`, unmakes it and checks that nothing
    // of the position or the history stack is left changed.
    void roundTrip(Move m, const std::function<void()>& afterMake = {}) {
        SCOPED_TRACE(::testing::Message() << "move 0x" << std::hex << m);
        const Position before = position;
        HistoryEntry* const top = historyTop;
        const HistoryEntry entry = *top;
        saveUndo(*currentPly);
        makeMove(m);
        EXPECT_EQ(historyTop, top + 1);
        EXPECT_EQ(top->move, m);
        EXPECT_EQ(position.sideToMove, before.sideToMove ^ 1);
        checkMade();
        if (afterMake) afterMake();
        unmakeMove(m);
        expectSamePosition(before, position);
        EXPECT_EQ(historyTop, top);
        EXPECT_EQ(top->hashKey, entry.hashKey);
        EXPECT_EQ(top->reversibleCount, entry.reversibleCount);
    }
};

TEST_F(MakeUnmake, QuietMovesAndDoubleStepsOfBothSides) {
    setUp(startFen);
    for (const char* from : {"a2", "b2", "c2", "d2", "e2", "f2", "g2", "h2"}) {
        const char to1[3] = {from[0], '3', 0}, to2[3] = {from[0], '4', 0};
        roundTrip(mv(from, to1), [&] { EXPECT_EQ(position.epSquare, 0); });
        roundTrip(mv(from, to2), [&] { EXPECT_EQ(position.epSquare, sq(to1)); });
    }
    for (Move m : {mv("g1", "f3"), mv("g1", "h3"), mv("b1", "c3"), mv("b1", "a3")})
        roundTrip(m, [] { EXPECT_EQ(position.materialCount, 78); });

    setUp("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq -");
    for (const char* from : {"a7", "b7", "c7", "d7", "e7", "f7", "g7", "h7"}) {
        const char to1[3] = {from[0], '6', 0}, to2[3] = {from[0], '5', 0};
        roundTrip(mv(from, to1), [&] { EXPECT_EQ(position.epSquare, 0); });
        roundTrip(mv(from, to2), [&] { EXPECT_EQ(position.epSquare, sq(to1)); });
    }
    for (Move m : {mv("g8", "f6"), mv("b8", "c6")}) roundTrip(m);
}

TEST_F(MakeUnmake, CapturesByEveryPieceOfBothSides) {
    struct Case {
        const char* fen;
        Move move;
        int mover;  // code left on the destination, 0 for the king
        int material;
    };
    const Case cases[] = {
        {"4k3/8/4r3/3P4/8/8/8/4K3 w - -", mv("d5", "e6", Capture), WhitePawn, 1},
        {"4k3/8/8/3q4/8/4N3/8/4K3 w - -", mv("e3", "d5", Capture), WhiteKnight, 3},
        {"4k3/8/8/8/8/2n5/8/B3K3 w - -", mv("a1", "c3", Capture), WhiteBishop, 3},
        {"4k3/p7/8/8/8/8/8/R3K3 w - -", mv("a1", "a7", Capture), WhiteRook, 5},
        {"4k3/8/8/4b3/8/8/8/Q3K3 w - -", mv("a1", "e5", Capture), WhiteQueen, 9},
        {"4k3/8/8/8/8/8/3p4/4K3 w - -", mv("e1", "d2", Capture), Empty, 0},
        {"4k3/8/8/8/8/8/Q7/3qK3 w - -", mv("e1", "d1", Capture), Empty, 9},
        {"4k3/8/8/8/8/3q4/4P3/4K3 b - -", mv("d3", "e2", Capture), BlackQueen, 9},
        {"4k3/8/8/8/4p3/3B4/8/4K3 b - -", mv("e4", "d3", Capture), BlackPawn, 1},
        {"4k3/8/8/8/8/8/1n6/3RK3 b - -", mv("b2", "d1", Capture), BlackKnight, 3},
        {"4k3/8/8/8/8/8/6b1/4K2N b - -", mv("g2", "h1", Capture), BlackBishop, 3},
        {"r3k3/8/8/8/8/8/8/Q3K3 b - -", mv("a8", "a1", Capture), BlackRook, 5},
        {"4k3/3Q4/8/8/8/8/8/4K3 b - -", mv("e8", "d7", Capture), Empty, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fen);
        setUp(c.fen);
        const int to = moveTo(c.move);
        roundTrip(c.move, [&] {
            EXPECT_EQ(position.board[to], c.mover);
            EXPECT_EQ(position.board[moveFrom(c.move)], Empty);
            EXPECT_EQ(position.materialCount, c.material);
            if (c.mover == Empty) {
                EXPECT_EQ(position.kingSquare[position.sideToMove ^ 1], to);
            }
            EXPECT_EQ(historyTop->reversibleCount, 0);
        });
    }
}

TEST_F(MakeUnmake, EnPassantCapturesOfBothColoursAndDirections) {
    struct Case {
        const char* fen;
        Move doubleStep;
        Move capture;
        int capturedSquare;
    };
    const Case cases[] = {
        {"4k3/3p4/8/4P3/8/8/8/4K3 b - -", mv("d7", "d5"), mv("e5", "d6", EnPassant), sq("d5")},
        {"4k3/5p2/8/4P3/8/8/8/4K3 b - -", mv("f7", "f5"), mv("e5", "f6", EnPassant), sq("f5")},
        {"4k3/1p6/8/P7/8/8/8/4K3 b - -", mv("b7", "b5"), mv("a5", "b6", EnPassant), sq("b5")},
        {"4k3/8/8/8/3p4/8/4P3/4K3 w - -", mv("e2", "e4"), mv("d4", "e3", EnPassant), sq("e4")},
        {"4k3/8/8/8/3p4/8/2P5/4K3 w - -", mv("c2", "c4"), mv("d4", "c3", EnPassant), sq("c4")},
        {"4k3/8/8/8/7p/8/6P1/4K3 w - -", mv("g2", "g4"), mv("h4", "g3", EnPassant), sq("g4")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fen);
        setUp(c.fen);
        play(c.doubleStep);
        EXPECT_EQ(position.epSquare, moveTo(c.capture));
        const int pawn = position.sideToMove == White ? WhitePawn : BlackPawn;
        roundTrip(c.capture, [&] {
            EXPECT_EQ(position.board[moveTo(c.capture)], pawn);
            EXPECT_EQ(position.board[c.capturedSquare], Empty);
            EXPECT_EQ(position.materialCount, 1);
            EXPECT_EQ(position.epSquare, 0);
            EXPECT_EQ(historyTop->reversibleCount, 0);
        });
        takeBack(c.doubleStep);
    }
}

TEST_F(MakeUnmake, PromotionsWithAndWithoutCapture) {
    struct Case {
        int kind;
        int white, black;  // the piece made
        int gain;
    };
    const Case kinds[] = {
        {PromoteQueenAlias, WhiteQueen, BlackQueen, 8}, {PromoteQueen, WhiteQueen, BlackQueen, 8},
        {PromoteKnight, WhiteKnight, BlackKnight, 2},   {PromoteRook, WhiteRook, BlackRook, 4},
        {PromoteBishop, WhiteBishop, BlackBishop, 2},
    };
    for (const Case& k : kinds) {
        SCOPED_TRACE(k.kind);
        // White e7e8 and e7xd8 (a rook), material 1 + 5 before
        setUp("3r3k/4P3/8/8/8/8/8/K7 w - -");
        roundTrip(mv("e7", "e8", k.kind), [&] {
            EXPECT_EQ(position.board[sq("e8")], k.white);
            EXPECT_EQ(position.board[sq("e7")], Empty);
            EXPECT_EQ(position.pieceBoards[WhitePawn], 0u);
            EXPECT_EQ(position.materialCount, 6 + k.gain);
            EXPECT_EQ(historyTop->reversibleCount, 0);
        });
        const int captureKind = k.kind == PromoteQueenAlias ? CapturePromoteQueen : k.kind + 4;
        roundTrip(mv("e7", "d8", captureKind), [&] {
            EXPECT_EQ(position.board[sq("d8")], k.white);
            EXPECT_EQ(position.pieceBoards[BlackRook], 0u);
            EXPECT_EQ(position.materialCount, 6 + k.gain - 5);
            EXPECT_EQ(historyTop->reversibleCount, 0);
        });
        // Black e2e1 and e2xd1 (a rook)
        setUp("k7/8/8/8/8/8/4p3/K2R4 b - -");
        roundTrip(mv("e2", "e1", k.kind), [&] {
            EXPECT_EQ(position.board[sq("e1")], k.black);
            EXPECT_EQ(position.materialCount, 6 + k.gain);
        });
        roundTrip(mv("e2", "d1", captureKind), [&] {
            EXPECT_EQ(position.board[sq("d1")], k.black);
            EXPECT_EQ(position.pieceBoards[WhiteRook], 0u);
            EXPECT_EQ(position.materialCount, 6 + k.gain - 5);
        });
    }
}

TEST_F(MakeUnmake, CapturingPromotionsOnCornersRemoveTheRight) {
    for (int kind = CapturePromoteQueen; kind <= CapturePromoteBishop; ++kind) {
        setUp("r3k2r/6P1/8/8/8/8/8/4K3 w kq -");
        const std::uint64_t key = position.hashKey;
        roundTrip(mv("g7", "h8", kind), [&] {
            EXPECT_EQ(position.castleFlags, BlackQueenSideRight);
            const int made = position.board[sq("h8")];
            EXPECT_EQ(position.hashKey, key ^ Z(0, G8) ^ Z(BlackRook, H8) ^ Z(WhitePawn, sq("g7")) ^ Z(made, H8));
        });
        setUp("4k3/8/8/8/8/8/1p6/R3K2R b KQ -");
        roundTrip(mv("b2", "a1", kind), [] { EXPECT_EQ(position.castleFlags, WhiteKingSideRight); });
    }
}

TEST_F(MakeUnmake, CastlingInTheSearchKeepsThePathSquare) {
    struct Case {
        const char* fen;
        Move move;
        int side;
        int pathSquare;
        int rookFrom, rookTo;
        std::uint16_t flags;
    };
    const Case cases[] = {
        {castlingFen, 0xDF3E, White, 65, H1, F1, 64 | 4 | 1 | 8 | 16},
        {castlingFen, 0xFF3A, White, 64, A1, D1, 128 | 4 | 2 | 8 | 16},
        {"r3k2r/8/8/8/8/8/8/R3K2R b KQkq -", 0xC106, Black, 67, H8, F8, 256 | 32 | 8 | 1 | 2},
        {"r3k2r/8/8/8/8/8/8/R3K2R b KQkq -", 0xE102, Black, 66, A8, D8, 512 | 32 | 16 | 1 | 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.move);
        setUp(c.fen);
        const std::uint64_t key = position.hashKey;
        const int kingRow = c.side == White ? WhiteKing : BlackKing;
        const int rook = c.side == White ? WhiteRook : BlackRook;
        roundTrip(c.move, [&] {
            EXPECT_EQ(position.kingSquare[c.side], c.pathSquare);
            EXPECT_EQ(position.castleFlags, c.flags);
            EXPECT_EQ(position.board[c.rookTo], rook);
            EXPECT_EQ(position.board[c.rookFrom], Empty);
            EXPECT_EQ(historyTop->reversibleCount, 0);
            // both rights' keys, the king's and the rook's moves
            const std::uint64_t rights = c.side == White ? Z(0, G1) ^ Z(0, C1) : Z(0, G8) ^ Z(0, C8);
            EXPECT_EQ(position.hashKey, key ^ rights ^ Z(kingRow, moveFrom(c.move)) ^ Z(kingRow, moveTo(c.move)) ^
                                            Z(rook, c.rookFrom) ^ Z(rook, c.rookTo));
        });
    }
}

TEST_F(MakeUnmake, OpponentMovesWhileTheCastledKingIsOnItsPath) {
    setUp("r3k2r/pppppppp/8/8/8/8/8/R3K2R w KQkq -");
    play(0xDF3E);  // O-O
    roundTrip(mv("a8", "b8"), [] { EXPECT_EQ(position.castleFlags, 64 | 4 | 1 | 8); });
    roundTrip(mv("e8", "f8"), [] { EXPECT_EQ(position.castleFlags, 64 | 4 | 1); });
    roundTrip(0xE102, [] {
        EXPECT_EQ(position.kingSquare[White], 65);
        EXPECT_EQ(position.kingSquare[Black], 66);
        EXPECT_EQ(position.castleFlags, 64 | 4 | 1 | 512 | 32 | 16);
    });
    takeBack(0xDF3E);
}

TEST_F(MakeUnmake, KingAndRookMovesAndCornerCapturesLoseRights) {
    struct Case {
        const char* fen;
        Move move;
        int captured;
        std::uint16_t flags;
        std::uint64_t rightKeys;
    };
    const char* const blackToMove = "r3k2r/8/8/8/8/8/8/R3K2R b KQkq -";
    const Case cases[] = {
        {castlingFen, mv("e1", "e2"), Empty, 24, Z(0, G1) ^ Z(0, C1)},
        {castlingFen, mv("e1", "f1"), Empty, 24, Z(0, G1) ^ Z(0, C1)},
        {castlingFen, mv("a1", "a2"), Empty, 25, Z(0, C1)},
        {castlingFen, mv("h1", "h5"), Empty, 26, Z(0, G1)},
        {castlingFen, mv("a1", "a8", Capture), BlackRook, 9, Z(0, C1) ^ Z(0, C8)},
        {castlingFen, mv("h1", "h8", Capture), BlackRook, 18, Z(0, G1) ^ Z(0, G8)},
        {blackToMove, mv("e8", "d8"), Empty, 3, Z(0, G8) ^ Z(0, C8)},
        {blackToMove, mv("a8", "a7"), Empty, 11, Z(0, C8)},
        {blackToMove, mv("h8", "h2"), Empty, 19, Z(0, G8)},
        {blackToMove, mv("h8", "h1", Capture), WhiteRook, 18, Z(0, G8) ^ Z(0, G1)},
        {blackToMove, mv("a8", "a1", Capture), WhiteRook, 9, Z(0, C8) ^ Z(0, C1)},
        // rights already gone: nothing more to remove, no key for them
        {"r3k2r/8/8/8/8/8/8/R3K2R w Kkq -", mv("a1", "a2"), Empty, 25, 0},
        {"r3k2r/8/8/8/8/8/8/R3K2R w kq -", mv("e1", "e2"), Empty, 24, 0},
        {"r3k2r/8/6N1/8/8/8/8/4K3 w q -", mv("g6", "h8", Capture), BlackRook, 16, 0},
        {"r3k2n/8/6N1/8/8/8/8/4K3 w q -", mv("g6", "h8", Capture), BlackKnight, 16, 0},
        {"r3k2r/8/6N1/8/8/8/8/4K3 w kq -", mv("g6", "h8", Capture), BlackRook, 16, Z(0, G8)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.fen << " move 0x" << std::hex << c.move);
        setUp(c.fen);
        const std::uint64_t key = position.hashKey;
        const int from = moveFrom(c.move), to = moveTo(c.move);
        const int side = position.sideToMove;
        roundTrip(c.move, [&] {
            EXPECT_EQ(position.castleFlags, c.flags);
            const int piece = position.board[to];
            const int row = piece == Empty ? (side == White ? WhiteKing : BlackKing) : piece;
            const std::uint64_t capturedKey = c.captured == Empty ? 0 : Z(c.captured, to);
            EXPECT_EQ(position.hashKey, key ^ c.rightKeys ^ capturedKey ^ Z(row, from) ^ Z(row, to));
        });
    }
}

TEST_F(MakeUnmake, DoubleStepSetsTheEnPassantSquareForOnePly) {
    setUp(startFen);
    const std::uint64_t start = position.hashKey;
    play(mv("e2", "e4"));
    EXPECT_EQ(position.epSquare, 44);
    EXPECT_EQ(position.hashKey, start ^ Z(0, 44) ^ Z(WhitePawn, sq("e2")) ^ Z(WhitePawn, sq("e4")));
    const std::uint64_t afterE4 = position.hashKey;
    play(mv("g8", "f6"));  // no en-passant capture possible, the square goes anyway
    EXPECT_EQ(position.epSquare, 0);
    EXPECT_EQ(position.hashKey, afterE4 ^ Z(0, 44) ^ Z(BlackKnight, G8) ^ Z(BlackKnight, sq("f6")));
    play(mv("d2", "d4"));
    EXPECT_EQ(position.epSquare, sq("d3"));
    play(mv("c7", "c5"));  // a double step replaces the square with its own
    EXPECT_EQ(position.epSquare, sq("c6"));
    EXPECT_EQ(position.hashKey, computeHashKey(setupFlags));
    takeBack(mv("c7", "c5"));
    EXPECT_EQ(position.epSquare, sq("d3"));
    takeBack(mv("d2", "d4"));
    takeBack(mv("g8", "f6"));
    EXPECT_EQ(position.epSquare, 44);
    EXPECT_EQ(position.hashKey, afterE4);
    takeBack(mv("e2", "e4"));
    EXPECT_EQ(position.hashKey, start);
    EXPECT_EQ(historyTop, history);
}

TEST_F(MakeUnmake, KingWalkWithoutRightsRepeatsTheKey) {
    setUp("4k3/8/8/8/8/8/8/4K3 w - -");
    const std::uint64_t start = position.hashKey;
    const Move walk[] = {mv("e1", "e2"), mv("e8", "e7"), mv("e2", "e1"), mv("e7", "e8")};
    play(walk[0]);
    EXPECT_EQ(position.hashKey, start ^ Z(WhiteKing, E1) ^ Z(WhiteKing, sq("e2")));
    for (int i = 1; i < 4; ++i) play(walk[i]);
    EXPECT_EQ(position.hashKey, start);
    EXPECT_EQ(history[4].hashKey, history[0].hashKey);
    EXPECT_EQ(history[4].reversibleCount, 4);
    for (int i = 3; i >= 0; --i) takeBack(walk[i]);
    EXPECT_EQ(historyTop, history);
}

TEST_F(MakeUnmake, ReversibleCountRules) {
    setUp("r3k2r/1p6/8/8/8/2n5/4P1p1/R3K2R w KQkq -");
    play(mv("a1", "b1"));
    EXPECT_EQ(historyTop->reversibleCount, 1);
    play(mv("a8", "a7"));
    EXPECT_EQ(historyTop->reversibleCount, 2);
    play(mv("e1", "d1"));  // a king move counts like any other piece move
    EXPECT_EQ(historyTop->reversibleCount, 3);
    const Move resets[] = {mv("b7", "b6"), mv("b7", "b5"), mv("c3", "e2", Capture), mv("g2", "g1", PromoteKnight),
                           mv("g2", "h1", CapturePromoteQueen), 0xC106};
    for (Move m : resets) roundTrip(m, [] { EXPECT_EQ(historyTop->reversibleCount, 0); });
    roundTrip(mv("c3", "d5"), [] { EXPECT_EQ(historyTop->reversibleCount, 4); });
    takeBack(mv("e1", "d1"));
    takeBack(mv("a8", "a7"));
    takeBack(mv("a1", "b1"));
    roundTrip(0xDF3E, [] { EXPECT_EQ(historyTop->reversibleCount, 0); });
}

TEST_F(MakeUnmake, CaptureKnightPromotionMaterial) {
    setUp("3q3k/4P3/8/8/8/8/8/K7 w - -");
    const Move m = mv("e7", "d8", CapturePromoteKnight);
    EXPECT_EQ(m, makeMoveCode(12, 3, 9));
    roundTrip(m, [] {
        EXPECT_EQ(position.materialCount, 10 + 2 - 9);
        EXPECT_EQ(position.board[D8], WhiteKnight);
        EXPECT_EQ(currentPly->capturedPiece, BlackQueen);
        EXPECT_EQ(currentPly->materialDelta, 2 - 9);
    });
    EXPECT_EQ(position.board[D8], BlackQueen);
    EXPECT_EQ(position.board[sq("e7")], WhitePawn);
}

TEST_F(MakeUnmake, GameCastlingFinishesAtOnce) {
    setUp(castlingFen);
    EXPECT_TRUE(playGameMove(0xDF3E));
    EXPECT_EQ(position.kingSquare[White], G1);
    EXPECT_EQ(position.castleFlags & (1 | 2 | 4), 0);
    EXPECT_EQ(position.castleFlags, 64 | 8 | 16);
    EXPECT_EQ(position.hashKey, computeHashKey(setupFlags));
    expectConsistent(position);
    EXPECT_EQ(gameSnapshot.whiteKingSquare, G1);
    EXPECT_EQ(gameSnapshot.blackKingSquare, E8);
    EXPECT_EQ(gameSnapshot.castleFlags, position.castleFlags);
    EXPECT_EQ(gameSnapshot.sideToMove, Black);
    EXPECT_EQ(gameSnapshot.board[F1], WhiteRook);
    EXPECT_EQ(gameSnapshot.board[H1], Empty);

    EXPECT_TRUE(playGameMove(0xE102));  // O-O-O
    EXPECT_EQ(position.kingSquare[Black], C8);
    EXPECT_EQ(position.castleFlags, 64 | 512);
    EXPECT_EQ(position.hashKey, computeHashKey(setupFlags));
    EXPECT_EQ(gameSnapshot.blackKingSquare, C8);
    EXPECT_EQ(gameSnapshot.sideToMove, White);
    EXPECT_EQ(historyTop, history + 2);
}

TEST_F(MakeUnmake, GameMoveSnapshotAndNullMove) {
    setUp(startFen);
    const Position before = position;
    const GameSnapshot snapshot = gameSnapshot;
    EXPECT_FALSE(playGameMove(0));
    expectSamePosition(before, position);
    EXPECT_EQ(historyTop, history);
    EXPECT_EQ(gameSnapshot.sideToMove, snapshot.sideToMove);
    EXPECT_EQ(gameSnapshot.castleFlags, snapshot.castleFlags);

    EXPECT_TRUE(playGameMove(mv("e2", "e4")));
    EXPECT_EQ(gameSnapshot.epSquare, 44);
    EXPECT_EQ(gameSnapshot.sideToMove, Black);
    EXPECT_EQ(gameSnapshot.board[sq("e4")], WhitePawn);
    EXPECT_EQ(gameSnapshot.board[sq("e2")], Empty);
    EXPECT_EQ(history[0].move, mv("e2", "e4"));
    EXPECT_EQ(history[1].hashKey, position.hashKey);
    EXPECT_TRUE(playGameMove(mv("e7", "e5")));
    EXPECT_EQ(gameSnapshot.epSquare, sq("e6"));
    EXPECT_TRUE(playGameMove(mv("e1", "e2")));
    EXPECT_EQ(gameSnapshot.epSquare, 0);
    EXPECT_EQ(gameSnapshot.whiteKingSquare, sq("e2"));
    EXPECT_EQ(gameSnapshot.castleFlags, BlackKingSideRight | BlackQueenSideRight);
    EXPECT_EQ(gameSnapshot.sideToMove, Black);
    EXPECT_EQ(historyTop, history + 3);
    EXPECT_EQ(position.hashKey, computeHashKey(setupFlags));
}

TEST(MoveCodes, FieldsAndKnownValues) {
    EXPECT_EQ(makeMoveCode(12, 4, PromoteKnight), 0x5304);       // e7e8=N
    EXPECT_EQ(makeMoveCode(54, 63, CapturePromoteQueen), 0x8DBF);  // g2xh1=Q
    EXPECT_EQ(makeMoveCode(E1, G1, CastleWhiteKingSide), 0xDF3E);
    EXPECT_EQ(makeMoveCode(E1, C1, CastleWhiteQueenSide), 0xFF3A);
    EXPECT_EQ(makeMoveCode(E8, G8, CastleBlackKingSide), 0xC106);
    EXPECT_EQ(makeMoveCode(E8, C8, CastleBlackQueenSide), 0xE102);
    const Move m = 0x8DBF;
    EXPECT_EQ(moveTo(m), 63);
    EXPECT_EQ(moveFrom(m), 54);
    EXPECT_EQ(moveKind(m), 8);
    char text[2];
    squareText(44, text);
    EXPECT_EQ(text[0], 'e');
    EXPECT_EQ(text[1], '3');
    EXPECT_EQ(sq("e3"), 44);
}


// Random games from several positions, with moves from the generators: at each
// node of the game every generated move (legal or not) is made, checked and
// unmade, and the position must come back bit for bit; then one legal move,
// chosen at random, is played on.
class RandomPlayout : public MakeUnmake {
protected:
    static constexpr int MaxDepth = 100;
    std::mt19937_64 random{20240611};
    int kindsMade[16] = {};
    int plies = 0;

    // Whether the position after a move is legal: the generators return null
    // when the side to move can capture the king.
    bool childIsLegal() {
        ++currentPly;
        const bool legal = generateMoves(AllMoves, currentPly->moves) != nullptr;
        --currentPly;
        return legal;
    }

    void walk(int depth) {
        ScoredMove* const end = generateMoves(AllMoves, currentPly->moves);
        ASSERT_NE(end, nullptr);
        saveUndo(*currentPly);
        const Position here = position;
        HistoryEntry* const top = historyTop;
        std::vector<Move> legal;
        for (ScoredMove* m = currentPly->moves; m != end; ++m) {
            SCOPED_TRACE(::testing::Message() << "depth " << depth << " move 0x" << std::hex << m->move);
            makeMove(m->move);
            ++kindsMade[moveKind(m->move)];
            ++plies;
            checkMade();
            EXPECT_EQ(historyTop, top + 1);
            if (childIsLegal()) legal.push_back(m->move);
            unmakeMove(m->move);
            expectSamePosition(here, position);
            EXPECT_EQ(historyTop, top);
            if (HasFailure()) return;
        }
        if (legal.empty() || depth == MaxDepth) return;  // mate, stalemate or deep enough
        const Move m = legal[random() % legal.size()];
        makeMove(m);
        ++currentPly;
        walk(depth + 1);
        --currentPly;
        unmakeMove(m);
        expectSamePosition(here, position);
    }
};

TEST_F(RandomPlayout, MakeUnmakeOfGeneratedMovesRestoresEverything) {
    const char* fens[] = {
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
        "r3k2r/8/8/8/8/8/8/R3K2R b KQkq -",
        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
        "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq -",
        "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ -",
        "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - -",
        "r1b1k2r/1P1pqppp/8/2pP4/4p3/8/PpP1QPPP/R3KB1R w KQkq -",
    };
    for (int round = 0; round < 2; ++round) {
        for (const char* fen : fens) {
            SCOPED_TRACE(fen);
            setUp(fen);
            const Position start = position;
            walk(0);
            expectSamePosition(start, position);
            ASSERT_FALSE(HasFailure());
        }
    }
    EXPECT_GT(plies, 20000);
    for (int kind : {0, 1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15})
        EXPECT_GT(kindsMade[kind], 0) << "no move of kind " << kind << " was made";
}

}  // namespace
