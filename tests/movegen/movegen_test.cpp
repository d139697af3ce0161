// The generators' lists: their order and scores, the null answer when the
// previous move was illegal, castling and its completion, and evasions.
#include <gtest/gtest.h>

#include <vector>

#include "movegen_support.h"

using namespace movegen_test;

namespace {

void expectList(GeneratorKind kind, const std::vector<Expected>& expected, CheckInfo* info = nullptr) {
    const Generated g = generate(kind, info);
    ASSERT_FALSE(g.illegal);
    EXPECT_EQ(describe(g.moves), describe(expected));
}

// The all-moves list's origins, one per run of entries from the same square.
std::vector<std::string> originRuns(const std::vector<ScoredMove>& moves) {
    std::vector<std::string> runs;
    int last = -1;
    for (const ScoredMove& e : moves) {
        if (moveFrom(e.move) == last) continue;
        last = moveFrom(e.move);
        char name[3] = {};
        squareText(last, name);
        runs.push_back(name);
    }
    return runs;
}

TEST(AllMoves, StartPositionInOrderWithTableGains) {
    setUpFen(StartFen);
    expectList(AllMoves, {
        {mv("g1", "h3"), -27986}, {mv("g1", "f3"), -27972}, {mv("b1", "c3"), -27972}, {mv("b1", "a3"), -27986},
        {mv("h2", "h4"), -28000}, {mv("g2", "g4"), -28000}, {mv("f2", "f4"), -27997}, {mv("e2", "e4"), -27979},
        {mv("d2", "d4"), -27979}, {mv("c2", "c4"), -27997}, {mv("b2", "b4"), -28000}, {mv("a2", "a4"), -28000},
        {mv("h2", "h3"), -28000}, {mv("g2", "g3"), -28001}, {mv("f2", "f3"), -28001}, {mv("e2", "e3"), -27989},
        {mv("d2", "d3"), -27989}, {mv("c2", "c3"), -27999}, {mv("b2", "b3"), -28001}, {mv("a2", "a3"), -28000},
    });
}

// Black reads the tables turned round: pawn table 1 is not symmetric on the
// third rank, so c6 and f6 score differently from c3 and f3.
TEST(AllMoves, BlackReadsTheTablesTurnedRound) {
    setUpFen(StartFen);
    play(mv("e2", "e4"));
    expectList(AllMoves, {
        {mv("g8", "h6"), -27986}, {mv("g8", "f6"), -27972}, {mv("b8", "c6"), -27972}, {mv("b8", "a6"), -27986},
        {mv("h7", "h5"), -28000}, {mv("g7", "g5"), -28000}, {mv("f7", "f5"), -27997}, {mv("e7", "e5"), -27979},
        {mv("d7", "d5"), -27979}, {mv("c7", "c5"), -27997}, {mv("b7", "b5"), -28000}, {mv("a7", "a5"), -28000},
        {mv("h7", "h6"), -28000}, {mv("g7", "g6"), -28001}, {mv("f7", "f6"), -27999}, {mv("e7", "e6"), -27989},
        {mv("d7", "d6"), -27989}, {mv("c7", "c6"), -28001}, {mv("b7", "b6"), -28001}, {mv("a7", "a6"), -28000},
    });
}

// En passant leads its direction, then capture-promotions, then captures; the
// quiet promotions lead the pushes; the endgame tables score the steps.
TEST(AllMoves, PawnMovesOfBothSides) {
    setUpFen("r3k3/1P6/8/2pP1n2/6P1/8/8/4K3 w - c6 0 1");
    const std::vector<Expected> all = {
        {mv("d5", "c6", EnPassant), -19950},
        {mv("b7", "a8", CapturePromoteQueen), -18650}, {mv("b7", "a8", CapturePromoteKnight), -19500},
        {mv("b7", "a8", CapturePromoteRook), -19530}, {mv("b7", "a8", CapturePromoteBishop), -19540},
        {mv("g4", "f5", Capture), -19740},
        {mv("b7", "b8", PromoteQueen), -19200}, {mv("b7", "b8", PromoteKnight), -20050},
        {mv("b7", "b8", PromoteRook), -20080}, {mv("b7", "b8", PromoteBishop), -20090},
        {mv("g4", "g5"), -27989}, {mv("d5", "d6"), -27984},
        {mv("e1", "f1"), -28004}, {mv("e1", "d1"), -28000}, {mv("e1", "f2"), -28000}, {mv("e1", "e2"), -27996},
        {mv("e1", "d2"), -27996},
    };
    expectList(AllMoves, all);
    expectList(Captures, std::vector<Expected>(all.begin(), all.begin() + 10));  // the same up to the steps

    setUpFen("4k3/8/8/6p1/2Pp1N2/8/1p6/R3K3 b - c3 0 1");
    expectList(AllMoves, {
        {mv("d4", "c3", EnPassant), -19950},
        {mv("b2", "a1", CapturePromoteQueen), -18650}, {mv("b2", "a1", CapturePromoteKnight), -19500},
        {mv("b2", "a1", CapturePromoteRook), -19530}, {mv("b2", "a1", CapturePromoteBishop), -19540},
        {mv("g5", "f4", Capture), -19740},
        {mv("b2", "b1", PromoteQueen), -19200}, {mv("b2", "b1", PromoteKnight), -20050},
        {mv("b2", "b1", PromoteRook), -20080}, {mv("b2", "b1", PromoteBishop), -20090},
        {mv("d4", "d3"), -27984}, {mv("g5", "g4"), -27989},
        {mv("e8", "f7"), -28000}, {mv("e8", "e7"), -27996}, {mv("e8", "d7"), -27996}, {mv("e8", "f8"), -28004},
        {mv("e8", "d8"), -28000},
    });
}

// Pieces come knights, queens, rooks, bishops in all moves, but knights,
// bishops, rooks, queens in captures; each piece's captures come first.
TEST(AllMoves, PieceOrderAndCaptureScores) {
    setUpFen("4k3/q4p1p/4n3/2p1p2Q/R2P4/2b4B/6n1/1N5K w - - 0 1");
    expectList(Captures, {
        {mv("d4", "c5", Capture), -19950}, {mv("d4", "e5", Capture), -19950}, {mv("b1", "c3", Capture), -19945},
        {mv("h3", "g2", Capture), -19955}, {mv("h3", "e6", Capture), -19955}, {mv("a4", "a7", Capture), -19530},
        {mv("h5", "e5", Capture), -20770}, {mv("h5", "h7", Capture), -20770}, {mv("h5", "f7", Capture), -20770},
        {mv("h1", "g2", Capture), -20640},
    });
    const Generated all = generate(AllMoves);
    ASSERT_FALSE(all.illegal);
    EXPECT_EQ(originRuns(all.moves), (std::vector<std::string>{"d4", "b1", "h5", "a4", "h3", "d4", "h1"}));
    int previousFrom = -1;
    bool quietSeen = false;
    for (const ScoredMove& e : all.moves) {
        if (moveFrom(e.move) != previousFrom) quietSeen = false;
        previousFrom = moveFrom(e.move);
        if (moveKind(e.move) == Quiet) quietSeen = true;
        else EXPECT_FALSE(quietSeen) << text(e.move) << " comes after a quiet move of its piece";
    }
    for (Expected quiet : {Expected{mv("b1", "a3"), -27995}, Expected{mv("b1", "d2"), -27986},
                           Expected{mv("h3", "g4"), -27998}, Expected{mv("h3", "f5"), -27994},
                           Expected{mv("h1", "g1"), -27998}, Expected{mv("h1", "h2"), -27998}}) {
        bool found = false;
        for (const ScoredMove& e : all.moves)
            if (e.move == quiet.move) {
                found = true;
                EXPECT_EQ(e.score, quiet.score) << text(quiet.move);
            }
        EXPECT_TRUE(found) << text(quiet.move);
    }
}

TEST(AllMoves, KingKeepsAwayFromTheOtherKing) {
    setUpFen("8/8/4k3/8/4K3/8/8/8 w - -");
    expectList(AllMoves, {{mv("e4", "f3"), -28008}, {mv("e4", "e3"), -28004}, {mv("e4", "d3"), -28004},
                          {mv("e4", "f4"), -28004}, {mv("e4", "d4"), -28000}});
}

TEST(Castling, RightsAndEmptySquaresGiveTheMoves) {
    setUpFen("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    Generated g = generate(AllMoves);
    ASSERT_GE(g.moves.size(), 2u);
    EXPECT_EQ(g.moves[g.moves.size() - 2].move, 0xDF3E);
    EXPECT_EQ(g.moves[g.moves.size() - 2].score, -27980);
    EXPECT_EQ(g.moves.back().move, 0xFF3A);
    EXPECT_EQ(g.moves.back().score, -27990);

    setUpFen("r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1");
    g = generate(AllMoves);
    ASSERT_GE(g.moves.size(), 2u);
    EXPECT_EQ(g.moves[g.moves.size() - 2].move, 0xC106);
    EXPECT_EQ(g.moves[g.moves.size() - 2].score, -27980);
    EXPECT_EQ(g.moves.back().move, 0xE102);
    EXPECT_EQ(g.moves.back().score, -27990);

    struct Case {
        const char* fen;
        bool kingSide, queenSide;
    };
    const Case cases[] = {
        {"r3k2r/8/8/8/8/8/8/R3KB1R w KQkq - 0 1", false, true},
        {"r3k2r/8/8/8/8/8/8/R3K1NR w KQkq - 0 1", false, true},
        {"r3k2r/8/8/8/8/8/8/RN2K2R w KQkq - 0 1", true, false},  // b1 must be empty too
        {"r3k2r/8/8/8/8/8/8/R2QK2R w KQkq - 0 1", true, false},
        {"r3k2r/8/8/8/8/8/8/R3K2R w Kkq - 0 1", true, false},
        {"r3k2r/8/8/8/8/8/8/R3K2R w Qkq - 0 1", false, true},
        {"r3k2r/8/8/8/8/8/4r3/R3K2R w KQkq - 0 1", true, true},  // in check: the next ply rejects them
        {"r3k2r/8/8/8/8/8/8/R3K2R w kq - 0 1", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fen);
        setUpFen(c.fen);
        bool kingSide = false, queenSide = false;
        for (const ScoredMove& e : generate(AllMoves).moves) {
            kingSide |= e.move == 0xDF3E;
            queenSide |= e.move == 0xFF3A;
        }
        EXPECT_EQ(kingSide, c.kingSide);
        EXPECT_EQ(queenSide, c.queenSide);
        for (const ScoredMove& e : generate(Captures).moves) EXPECT_LT(moveKind(e.move), CastleBlackKingSide);
    }
}

// After a castling in the search, the opponent's generators return null when
// any of the king's start, crossed and destination squares is attacked, and
// otherwise put the king on its real square and end the castling.
TEST(Castling, AttackedPathMakesEveryGeneratorNullElseCompletes) {
    struct Case {
        const char* fen;
        int kind;
        bool illegal;
    };
    const Move blackShort = makeMoveCode(E8, G8, CastleBlackKingSide);
    const Move blackLong = makeMoveCode(E8, C8, CastleBlackQueenSide);
    const Case cases[] = {
        {"r3k2r/3P4/8/8/8/8/8/4K3 b kq - 0 1", CastleBlackKingSide, true},   // pawn d7 on the empty e8
        {"r3k2r/3P4/8/8/8/8/8/4K3 b kq - 0 1", CastleBlackQueenSide, true},
        {"r3k2r/5P2/8/8/8/8/8/4K3 b kq - 0 1", CastleBlackKingSide, true},   // pawn f7 on e8 and g8
        {"r3k2r/7P/8/8/8/8/8/4K3 b kq - 0 1", CastleBlackKingSide, true},    // pawn h7 on g8
        {"r3k2r/8/4N3/8/8/8/8/4K3 b kq - 0 1", CastleBlackKingSide, true},   // knight on f8
        {"r3k2r/8/4N3/8/8/8/8/4K3 b kq - 0 1", CastleBlackQueenSide, true},  // knight on d8
        {"r3k2r/8/8/8/8/B7/8/4K3 b kq - 0 1", CastleBlackKingSide, true},    // bishop on f8
        {"r3k2r/8/8/8/8/B7/8/4K3 b kq - 0 1", CastleBlackQueenSide, false},
        {"r3k2r/8/8/8/8/8/8/4K1R1 b kq - 0 1", CastleBlackKingSide, true},   // rook on g8
        {"r3k2r/8/8/8/8/8/8/1R2K3 b kq - 0 1", CastleBlackQueenSide, false}, // b8 may be attacked
        {"r3k2r/8/8/8/8/8/8/2Q1K3 b kq - 0 1", CastleBlackQueenSide, true},  // queen on c8
        {"r3k2r/6K1/8/8/8/8/8/8 b kq - 0 1", CastleBlackKingSide, true},     // king next to f8 and g8
        {"r3k2r/8/8/8/8/8/8/4K3 b kq - 0 1", CastleBlackKingSide, false},
    };
    for (const Case& c : cases) {
        for (GeneratorKind kind : {AllMoves, Captures, Evasions}) {
            SCOPED_TRACE(::testing::Message() << c.fen << " kind " << c.kind << " generator " << kind);
            setUpFen(c.fen);
            const Move castling = c.kind == CastleBlackKingSide ? blackShort : blackLong;
            play(castling);
            const std::uint64_t key = position.hashKey;
            CheckInfo info{};
            analyseCheck(info, castling);
            const Generated g = generate(kind, &info);
            EXPECT_EQ(g.illegal, c.illegal);
            EXPECT_EQ(position.hashKey, key);
            if (c.illegal) continue;
            EXPECT_EQ(position.kingSquare[Black], c.kind == CastleBlackKingSide ? G8 : C8);
            EXPECT_EQ(position.castleFlags & (BlackKingSideRight | BlackQueenSideRight | BlackCastling), 0);
            EXPECT_TRUE(position.castleFlags &
                        (c.kind == CastleBlackKingSide ? BlackCastledKingSide : BlackCastledQueenSide));
        }
    }
}

TEST(Castling, WhiteCastlingIsCompletedByBlacksGenerators) {
    for (int kind : {CastleWhiteKingSide, CastleWhiteQueenSide}) {
        for (GeneratorKind generator : {AllMoves, Captures, Evasions}) {
            SCOPED_TRACE(::testing::Message() << "kind " << kind << " generator " << generator);
            setUpFen("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
            const Move castling = kind == CastleWhiteKingSide ? 0xDF3E : 0xFF3A;
            play(castling);
            EXPECT_EQ(position.kingSquare[White], kind == CastleWhiteKingSide ? WhiteKingSidePath : WhiteQueenSidePath);
            CheckInfo info{};
            analyseCheck(info, castling);
            ASSERT_FALSE(generate(generator, &info).illegal);
            EXPECT_EQ(position.kingSquare[White], kind == CastleWhiteKingSide ? G1 : C1);
            EXPECT_EQ(position.castleFlags & (WhiteKingSideRight | WhiteQueenSideRight | WhiteCastling), 0);
            EXPECT_EQ(position.castleFlags & (BlackKingSideRight | BlackQueenSideRight), BlackKingSideRight | BlackQueenSideRight);
            EXPECT_EQ(position.hashKey, computeHashKey(WhiteKingSideRight | WhiteQueenSideRight | BlackKingSideRight | BlackQueenSideRight));
        }
    }
}

// A previous move that left its king capturable: every generator of the side
// to move answers null, whichever of its units attacks the king.
TEST(Generators, NullWhenTheOpponentKingCanBeTaken) {
    struct Case {
        const char* fen;
        Move illegalMove;
        const char* attacker;
    };
    const Case cases[] = {
        {"4k3/8/8/8/4p3/8/3K4/8 w - -", mv("d2", "d3"), "pawn towards file a"},
        {"4k3/8/8/8/2p5/8/3K4/8 w - -", mv("d2", "d3"), "pawn towards file h"},
        {"4k3/8/8/8/5n2/8/8/4K3 w - -", mv("e1", "e2"), "knight"},
        {"4k3/8/8/b7/8/8/3N4/4K3 w - -", mv("d2", "f3"), "bishop"},
        {"4k3/4r3/8/8/8/8/4N3/4K3 w - -", mv("e2", "c3"), "rook"},
        {"4k3/8/8/8/8/8/q2N3K/8 w - -", mv("d2", "f3"), "queen"},
        {"8/8/8/3k4/8/3K4/8/8 w - -", mv("d3", "d4"), "king"},
        {"4k3/8/8/8/8/8/3P4/4K2r w - -", mv("d2", "d3"), "rook through an empty square"},
        {"4K3/8/8/8/8/8/8/4k2R b - -", mv("e1", "d1"), "rook behind a king retreating along its line"},
    };
    for (const Case& c : cases) {
        for (GeneratorKind kind : {AllMoves, Captures, Evasions}) {
            SCOPED_TRACE(::testing::Message() << c.attacker << ", generator " << kind);
            setUpFen(c.fen);
            play(c.illegalMove);
            CheckInfo info{};
            analyseCheck(info, c.illegalMove);
            EXPECT_TRUE(generate(kind, &info).illegal);
        }
    }
}

// A single bishop check: the capture of the checker, interpositions by knights,
// rook and pawns (a double step among them), and king moves off the line.
TEST(Evasions, SingleSliderCheck) {
    setUpFen("4k3/8/8/b7/2N5/7R/1PP5/1N2K3 w - -");
    CheckInfo info{};
    analyseCheckFromScratch(info);
    expectList(Evasions, {
        {mv("b1", "d2"), -20310}, {mv("b1", "c3"), -20310}, {mv("c4", "a5", Capture), -19945},
        {mv("c4", "d2"), -20310}, {mv("h3", "c3"), -20500}, {mv("b2", "b4"), -20092}, {mv("c2", "c3"), -20099},
        {mv("e1", "f1"), -21002}, {mv("e1", "d1"), -21000}, {mv("e1", "f2"), -21000}, {mv("e1", "e2"), -20998},
    }, &info);
    EXPECT_EQ(info.lineMask, bitOf(sq("b4")) | bitOf(sq("c3")) | bitOf(sq("d2")));
}

// A pawn check after a double step: en passant first, the pawn, knight and king
// captures of the checker, then king moves.
TEST(Evasions, PawnCheckAnsweredEnPassant) {
    setUpFen("4k3/8/8/3pP3/1NP1K3/8/8/8 w - d6 0 1");
    CheckInfo info{};
    analyseCheckFromScratch(info);
    expectList(Evasions, {
        {mv("e5", "d6", EnPassant), -19950}, {mv("c4", "d5", Capture), -20000}, {mv("b4", "d5", Capture), -20160},
        {mv("e4", "d5", Capture), -20850}, {mv("e4", "f3"), -21008}, {mv("e4", "e3"), -21004},
        {mv("e4", "d3"), -21004}, {mv("e4", "f4"), -21004}, {mv("e4", "d4"), -21000}, {mv("e4", "f5"), -21004},
    }, &info);
}

// A double step that uncovers a bishop's check: taking the pawn en passant
// does not answer it, so only the interposition and the king's moves are listed.
TEST(Evasions, NoEnPassantAgainstAnotherChecker) {
    setUpFen("4b2k/8/8/2Pp4/K7/8/8/8 w - d6 0 1");
    CheckInfo info{};
    analyseCheckFromScratch(info);
    expectList(Evasions, {
        {mv("c5", "c6"), -20086}, {mv("a4", "b3"), -21000}, {mv("a4", "a3"), -21004}, {mv("a4", "b4"), -20996},
        {mv("a4", "a5"), -21000},
    }, &info);
}

// A rook check on the back rank: capture-promotions of the checker, quiet
// promotions onto the line, and the king's moves off it.
TEST(Evasions, PromotionsCaptureAndInterpose) {
    setUpFen("K6r/4P1P1/8/8/8/8/8/k7 w - -");
    CheckInfo info{};
    analyseCheckFromScratch(info);
    expectList(Evasions, {
        {mv("g7", "h8", CapturePromoteQueen), -18650}, {mv("g7", "h8", CapturePromoteKnight), -19500},
        {mv("g7", "h8", CapturePromoteRook), -19530}, {mv("g7", "h8", CapturePromoteBishop), -19540},
        {mv("g7", "g8", PromoteQueen), -20800}, {mv("g7", "g8", PromoteKnight), -20801},
        {mv("g7", "g8", PromoteRook), -20802}, {mv("g7", "g8", PromoteBishop), -20803},
        {mv("e7", "e8", PromoteQueen), -20800}, {mv("e7", "e8", PromoteKnight), -20801},
        {mv("e7", "e8", PromoteRook), -20802}, {mv("e7", "e8", PromoteBishop), -20803},
        {mv("a8", "b7"), -20992}, {mv("a8", "a7"), -20996},
    }, &info);
}

// In double check only the king may move: the queen's capture of the knight
// and the rook's interposition are left out.
TEST(Evasions, DoubleCheckLeavesOnlyKingMoves) {
    setUpFen("4r1k1/8/8/1Q6/8/3n4/R7/4K3 w - -");
    CheckInfo info{};
    analyseCheckFromScratch(info);
    ASSERT_EQ(info.checkerSquare, DoubleCheck);
    expectList(Evasions, {
        {mv("e1", "f1"), -21002}, {mv("e1", "d1"), -21000}, {mv("e1", "f2"), -21000}, {mv("e1", "e2"), -20998},
        {mv("e1", "d2"), -20998},
    }, &info);
    EXPECT_EQ(info.lineMask, 0u);
}

}  // namespace
