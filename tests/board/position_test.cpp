// Reading text: the fields of accepted FEN texts, refused texts that leave
// everything alone, and move tokens read against the game snapshot, each to
// the code of its kind or to none. (The perft walk checks make and unmake at
// every node.)
#include <gtest/gtest.h>

#include <bit>
#include <string>
#include <string_view>
#include <tuple>

#include "board/fen.h"
#include "support/chess.h"

using namespace testsupport;

namespace {

constexpr const char* StartFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

FenSetup read(std::string_view fen, bool chess960 = false) {
    ensureTables();
    FenSetup setup;
    std::string reason;
    EXPECT_TRUE(readFen(fen, setup, reason, chess960)) << fen << ": " << reason;
    return setup;
}

// The game position written back as text (it reads the game snapshot).
std::string gameText() {
    char text[96];
    return positionText(board().snapshot, text);
}

// What an accepted text sets. Rights come from the field and stay only where
// king and rook stand at home; the en-passant target is played only where a
// pawn of the side that moved stands in front of it; the counters default to
// 0 and 1, and the clock becomes the reversible plies behind the game.
TEST(ReadFen, AcceptedTexts) {
    const Position p = read(StartFen).position;
    EXPECT_TRUE(std::popcount(p.occupied) == 32 && p.materialCount == 78 && p.castleFlags == 27);
    EXPECT_TRUE(p.sideToMove == White && p.epSquare == 0 && p.kingSquare[Black] == 4 && p.kingSquare[White] == 60);
    EXPECT_EQ(p.hashKey, startPositionKey());
    installPosition(board(), read(StartFen));
    EXPECT_TRUE(positionIsConsistent(board()));
    EXPECT_EQ(gameText(), "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
    setUpFen("r3k2r/8/8/8/8/8/8/R3K2R b Kq - 5 40");
    EXPECT_EQ(gameText(), "r3k2r/8/8/8/8/8/8/R3K2R b Kq -");
    EXPECT_EQ(board().historyTop->reversibleCount, 5);

    const char* afterE4 = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1";
    const struct {
        const char* fen;
        int flags, side, ep, clock, number;
    } cases[] = {
        {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq", 27, White, 0, 0, 1}, {"r3k2r/8/8/8/8/8/8/R3K2R w -", 0, White, 0, 0, 1},
        {"r3k2r/8/8/8/8/8/8/R3K2R w", 0, White, 0, 0, 1}, {"r3k2r/8/8/8/8/8/8/R3K2R w Kk", 9, White, 0, 0, 1},
        {"r3k2r/8/8/8/8/8/8/R3K2R w Qq", 18, White, 0, 0, 1}, {"r3k2r/8/8/8/8/8/8/R3K2R w qkQK", 27, White, 0, 0, 1},
        {"r3k3/8/8/8/8/8/8/R3K2R w KQkq -", 1 + 2 + 16, White, 0, 0, 1},
        {"4k2r/8/8/8/8/8/8/R3K2R w KQkq -", 1 + 2 + 8, White, 0, 0, 1},
        {"r3k2r/8/8/8/8/8/8/4K2R w KQkq -", 1 + 8 + 16, White, 0, 0, 1},
        {"r3k2r/8/8/8/8/8/8/R3K2N w KQkq -", 2 + 8 + 16, White, 0, 0, 1},
        {"r3k2r/8/8/8/8/8/8/R3K2r w KQkq -", 2 + 8 + 16, White, 0, 0, 1},
        {"r3k2r/8/8/8/8/8/8/R4K1R w KQkq -", 8 + 16, White, 0, 0, 1}, {"r4k1r/8/8/8/8/8/8/R3K2R w KQkq -", 1 + 2, White, 0, 0, 1},
        {"Rn2k2r/8/8/8/8/8/8/rN2K2R w KQkq -", 1 + 8, White, 0, 0, 1},
        {"\t 4k3/8/8/8/8/8/8/4K2R \t w\tK  -  7\t\t12 ", 1, White, 0, 7, 12},  // blanks and tabs between fields
        {"4k3/8/8/8/8/8/8/4K3 w - - 99 150", 0, White, 0, 99, 150}, {"4k3/8/8/8/8/8/8/4K3 b - - 0 0", 0, Black, 0, 0, 0},
        {"4k3/8/8/8/8/8/8/4K3 w - - 123456789012 3", 0, White, 0, 1000000, 3},  // held at a bound
        {afterE4, 27, Black, 44, 0, 1}, {"rnbqkbnr/ppp1pppp/8/3p4/4P3/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 2", 27, White, 19, 0, 2},
        {"4k2r/8/8/8/4P3/8/8/4K2R b Kk e3 0 1", 9, Black, 44, 0, 1}, {"4k3/8/8/8/4P3/8/8/4K3 b - -", 0, Black, 0, 0, 1},
        {"4k3/8/8/8/4P3/8/8/4K3 w - e3", 0, White, 0, 0, 1},    // White to move cannot take on e3
        {"4k3/8/8/8/4P3/8/8/4K3 b - e6", 0, Black, 0, 0, 1},    // the wrong rank for this side
        {"4k3/8/8/8/4P3/8/8/4K3 b - d3", 0, Black, 0, 0, 1},    // no pawn in front of d3
        {"4k3/8/8/8/4P3/4N3/8/4K3 b - e3", 0, Black, 0, 0, 1},  // the target is occupied
        {"4k3/8/8/8/P7/8/8/4K3 b - a3", 0, Black, 40, 0, 1}, {"4k3/8/8/7p/8/8/8/4K3 w - h6", 0, White, 23, 0, 1},  // edge files
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fen);
        const FenSetup accepted = read(c.fen);
        const Position& q = accepted.position;
        EXPECT_TRUE(q.castleFlags == c.flags && q.sideToMove == c.side && q.epSquare == c.ep);
        EXPECT_TRUE(accepted.halfmoveClock == c.clock && accepted.fullmoveNumber == c.number);
        installPosition(board(), accepted);
        EXPECT_TRUE(positionIsConsistent(board()));  // the target's key is in the key
    }
    // a target no capture can use is no part of the position
    EXPECT_TRUE(samePosition(read("4k3/8/8/8/4P3/8/8/4K3 b - d3").position, read("4k3/8/8/8/4P3/8/8/4K3 b - -").position));
}

TEST(ReadFen, RefusedTextsWithTheirReasons) {
    const struct {
        std::string_view fen;
        const char* reason;
    } refused[] = {
        {"", "no placement"}, {"   ", "no placement"}, {"4k3/8/8/8/8/8/8/4K3", "no side to move"},
        {"4k3/8/8/8/0/8/8/8/4K3 w", "'0' in the placement"}, {"4k3/8/8/8/9/8/8/4K3 w", "'9' in the placement"},
        {"4k3/8/8/x7/8/8/8/4K3 w", "'x' in the placement"}, {"4k3/8/8/8/8/8/8/4K2Rw K -", "'w' in the placement"},
        {"4k3/8/8 w", "3 ranks, not 8"}, {"4k3/8/8/8//8/8/8/4K3 w", "rank 4 has 0 squares"},
        {"4k3/8/8/8/8/8/8/4K3/ w", "more than eight ranks"}, {"4k38888884K3 w", "rank 8 has more than 8 squares"},
        {"4k4/8/8/8/8/8/8/3K3 w - - 0 1", "rank 8 has more than 8 squares"},
        {"4k3/8/8/8/8/8/8/3K3 w - - 0 1", "rank 1 has 7 squares, not 8"},
        {"4k3/8/8/8/8/8/8/4K3 x", "side to move 'x'"}, {"4k3/8/8/8/8/8/8/4K3 W", "side to move 'W'"},
        {"4k3/8/8/8/8/8/8/4K3 -", "side to move '-'"}, {"4k3/8/8/8/8/8/8/4K3 wb", "side to move 'wb'"},
        {"4k3/8/8/8/8/8/8/4K3 w KQzz - 0 1", "castling field 'KQzz': 'z'"},
        {"4k3/8/8/8/8/8/8/4K3 w K-kq", "castling field 'K-kq': '-'"}, {"4k3/8/8/8/8/8/8/4K3 w KK", "'K' twice"},
        {"4k3/8/8/8/8/8/8/4K3 w - e5", "en-passant field 'e5'"}, {"4k3/8/8/8/8/8/8/4K3 w - i3", "en-passant field 'i3'"},
        {"4k3/8/8/8/8/8/8/4K3 w - e3e", "en-passant field 'e3e'"},
        {"4k3/8/8/8/8/8/8/4K3 w - - abc 1", "half-move clock 'abc' is not a number"},
        {"4k3/8/8/8/8/8/8/4K3 w - - -1 1", "half-move clock '-1' is not a number"},
        {"4k3/8/8/8/8/8/8/4K3 w - - 0 1.5", "move number '1.5' is not a number"},
        {"4k3/8/8/8/8/8/8/4K3 w - - 0 1 bm e4", "text after the move number: 'bm'"},
        {std::string_view("4k3/8/8/8/8/8/8/4K3 w - -\0x", 27), "en-passant field '-\\x00x'"},
        {std::string_view("4k3/8/8/8/8/8/8/4K3 w\0 - -", 26), "side to move 'w\\x00'"},
        {"8/8/8/8/8/8/8/8 w", "no white king"}, {"8/8/8/8/8/8/8/4K3 w", "no black king"},
        {"4k3/8/8/8/8/8/8/K3K3 w", "two white kings"}, {"k3k3/8/8/8/8/8/8/4K3 w", "two black kings"},
        {"4k3/8/8/8/8/PPPPPPPP/PPPPPPPP/4K3 w", "more than sixteen men"},
        {"4k3/pppppppp/pppppppp/8/8/8/8/4K3 w", "more than sixteen men"},
        {"P3k3/8/8/8/8/8/8/4K3 w", "a pawn on the eighth rank"}, {"4k3/8/8/8/8/8/8/p3K3 w", "a pawn on the first rank"},
        {"4k3/8/8/8/8/8/8/4RK2 w", "the side not to move (Black) is in check"},
        {"4k3/8/8/8/B7/8/8/5K2 w", "(Black) is in check"}, {"4k3/8/8/8/Q7/8/8/5K2 w", "(Black) is in check"},
        {"4k3/8/5N2/8/8/8/8/4K3 w", "(Black) is in check"}, {"4k3/3P4/8/8/8/8/8/4K3 w", "(Black) is in check"},
        {"4k3/4K3/8/8/8/8/8/8 w", "(Black) is in check"}, {"4k3/8/8/8/8/8/3p4/4K3 b", "(White) is in check"},
        {"4k3/8/8/8/1q6/8/8/4K3 b", "(White) is in check"},
    };
    const FenSetup sentinel = read(StartFen);
    installPosition(board(), sentinel);
    for (const auto& c : refused) {
        SCOPED_TRACE(std::string(c.fen));
        FenSetup out = sentinel;
        std::string reason;
        EXPECT_FALSE(readFen(c.fen, out, reason));
        EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
        EXPECT_TRUE(samePosition(out.position, sentinel.position) && out.halfmoveClock == 0);
    }
    EXPECT_TRUE(samePosition(position(), sentinel.position));
    // near misses are accepted, and consistent
    for (const char* fen : {"4k3/8/8/8/8/8/8/4R1K1 b - -", "4k3/8/8/8/8/8/4P3/4RK2 w - -", "4k3/8/8/8/8/8/8/B4K2 w - -",
                            "4k3/8/4K3/8/8/8/8/8 w - -", "4k3/3P4/8/8/8/8/8/4K3 b - -", "4k3/P7/8/8/8/8/p7/4K3 w - -",
                            "4k3/8/8/8/8/PPPPPPPP/PPPPPPP1/4K3 w - -", "4k3/pppppppp/ppppppp1/8/8/8/8/4K3 w - -"}) {
        installPosition(board(), read(fen));
        EXPECT_TRUE(positionIsConsistent(board())) << fen;
    }
}

// Chess960 castling fields: Shredder-FEN's files and X-FEN's letters, each
// right written back in X-FEN (a file for an inner rook); rights without
// their king on the home rank or their rook dropped; a standard placement
// read as Chess960 is the standard position; standard reading refuses files
// and drops what is not at home.
TEST(ReadFen, Chess960CastlingFields) {
    const char* const shuffled = "rknbbqnr/pppppppp/8/8/8/8/PPPPPPPP/RKNBBQNR w ";
    const char* const innerRooks = "1k1r3r/pppppppp/8/8/8/8/PPPPPPPP/1K1R3R w ";
    const struct {
        std::string fen;
        const char* written;
    } cases[] = {
        {std::string(shuffled) + "HAha -", "KQkq"}, {std::string(shuffled) + "KQkq -", "KQkq"},
        {std::string(shuffled) + "aH -", "Kq"}, {std::string(innerRooks) + "Dd -", "Dd"},
        {std::string(innerRooks) + "Hh -", "Kk"}, {std::string(innerRooks) + "KQkq -", "Kk"},
        {"4k3/8/8/8/8/8/K7/R6R w HA -", "-"}, {"4k3/8/8/8/8/8/8/R3K3 w HA -", "Q"}, {"r3k2r/8/8/8/8/8/8/R3K2R w HAha -", "KQkq"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fen);
        installPosition(board(), read(c.fen, true));
        EXPECT_TRUE(positionIsConsistent(board()));
        const std::string text = gameText();
        EXPECT_EQ(text.substr(text.find(' ') + 3, text.rfind(' ') - text.find(' ') - 3), c.written);
    }
    EXPECT_EQ(read(std::string(innerRooks) + "Dd -", true).position.castling.rookSquare[1], D1);
    const Position standard = read("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -").position;
    const Position same = read("r3k2r/8/8/8/8/8/8/R3K2R w HAha -", true).position;
    EXPECT_TRUE(samePosition(standard, same) && !same.castling.shuffled);
    EXPECT_EQ(read(std::string(shuffled) + "KQkq -").position.castleFlags, 0);

    FenSetup out;
    std::string reason;
    for (const auto& [fen, chess960, why] : {std::tuple{std::string(shuffled) + "HAha -", false, "castling field 'HAha': 'H'"},
                                            {"4k3/8/8/8/8/8/8/4K1RR w GH -", true, "castling field 'GH': two rights of one wing"},
                                            {"4k3/8/8/8/8/8/8/4K2R w Kx -", true, "castling field 'Kx': 'x'"}}) {
        EXPECT_FALSE(readFen(fen, out, reason, chess960)) << fen;
        EXPECT_EQ(reason, why);
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
    board().snapshot.whiteKingSquare = A1;
    EXPECT_EQ(textToMove("e1g1"), mv("e1g1", CastleWhiteKingSide));
    board().snapshot.castleFlags = WhiteKingSideRight | WhiteCastling;
    EXPECT_EQ(textToMove("e1g1"), mv("e1g1"));
    EXPECT_EQ(moveText(mv("b7b8", PromoteQueenAlias)), "b7b8");  // never generated: no letter
}

// Chess960 words: a castling is the king taking its rook (or O-O and O-O-O
// where the interface writes letters); e1g1, e1c1, e8g8 and e8c8 are plain
// moves of whatever stands there, even with every right intact.
TEST(MoveText, Chess960TokensReadAgainstTheGame) {
    // the queen of e1 and e8 with open squares to g and c; kings on b1 and b8
    const char* const queens = "rk1nq2r/pppppppp/8/8/8/8/PPPPPPPP/RK1NQ2R w HAha - 0 1";
    const char* const kingE1 = "rk1nq2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w KQ - 0 1";
    const struct {
        const char* fen;
        CastlingText text;
        const char* token;
        Move move;
    } cases[] = {
        {queens, CastlingText::KingTakesRook, "e1g1", mv("e1g1")},
        {queens, CastlingText::KingTakesRook, "e1f1", mv("e1f1")},
        {queens, CastlingText::KingTakesRook, "b1h1", mv("b1g1", CastleWhiteKingSide)},
        {queens, CastlingText::KingTakesRook, "b1a1", mv("b1c1", CastleWhiteQueenSide)},
        {queens, CastlingText::KingTakesRook, "b1g1", mv("b1g1")},
        {queens, CastlingText::Letters, "O-O", mv("b1g1", CastleWhiteKingSide)},
        {queens, CastlingText::Letters, "0-0-0", mv("b1c1", CastleWhiteQueenSide)},
        {queens, CastlingText::Letters, "e1g1", mv("e1g1")},
        {kingE1, CastlingText::KingTakesRook, "e1h1", mv("e1g1", CastleWhiteKingSide)},
        {kingE1, CastlingText::KingTakesRook, "e1g1", mv("e1g1")},  // two squares: no king move
    };
    for (const auto& c : cases) {
        const Chess960Rules chess960(c.text);
        setUpFen(c.fen);
        EXPECT_EQ(textToMove(c.token), c.move) << c.fen << ' ' << c.token;
    }
    const Chess960Rules chess960;
    setUpFen("rk1nq2r/pppppppp/8/8/8/8/PPPPPPPP/RK1NQ2R b HAha - 0 1");
    EXPECT_EQ(textToMove("e8g8"), mv("e8g8"));
    EXPECT_EQ(textToMove("e8c8"), mv("e8c8"));
    EXPECT_EQ(textToMove("b8a8"), mv("b8c8", CastleBlackQueenSide));
}

}  // namespace
