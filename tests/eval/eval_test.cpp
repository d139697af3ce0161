// The static evaluation: exact scores of hand-checked positions, a king on a
// castling path, and colour symmetry over many positions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <string>

#include "board/fen.h"
#include "eval/eval.h"
#include "support/chess.h"

using namespace testsupport;

namespace {

int scoreOf(const std::string& fen) {
    ensureTables();
    Position p;
    EXPECT_TRUE(readFen(fen.c_str(), p)) << fen;
    installPosition(p);
    return evaluate();
}

// FEN text of 64 squares given row by row from a8 ('.' for empty).
std::string fenOf(const std::string& squares, char side) {
    std::string fen;
    for (int s = 0; s < 64; ++s) {
        if (s && s % 8 == 0) fen += '/';
        if (squares[s] != '.') fen += squares[s];
        else if (std::isdigit(static_cast<unsigned char>(fen.empty() ? 'x' : fen.back()))) ++fen.back();
        else fen += '1';
    }
    return fen + ' ' + side + " - -";
}

TEST(Evaluation, HandCheckedScores) {
    const struct {
        const char* placement;
        const char* sides;  // the sides to move it is scored for
        int whiteView;
    } cases[] = {
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR", "wb", 0},
        {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR", "b", 21},
        {"4k3/8/8/8/8/8/8/4K3", "wb", 0},
        {"4k3/8/8/8/8/8/8/3NK3", "wb", 0},
        {"3bk3/8/8/8/8/8/8/4K3", "wb", 0},
        {"8/8/8/8/8/8/8/KBN4k", "wb", 613},
        {"8/8/8/8/8/8/4P3/K6k", "wb", 79},
        {"8/8/8/8/8/4P3/4P3/K6k", "wb", 155},
        {"8/8/8/8/8/8/1p6/K6k", "w", -174},
        {"4k3/8/8/8/8/8/8/R3K3", "wb", 508},
        {"4k3/p7/8/8/8/8/8/R3K3", "wb", 412},
        {"4k3/8/8/8/8/8/P7/R3K3", "wb", 595},
        {"4k3/8/8/8/8/8/8/2B1KB2", "wb", 634},
        {"4k3/8/8/8/8/8/8/2B1K1B1", "wb", 622},
        {"3rr1k1/ppp2ppp/2n5/8/8/2N5/PPP2PPP/3RR1K1", "wb", 0},
    };
    for (const auto& c : cases)
        for (const char* side = c.sides; *side; ++side)
            EXPECT_EQ(scoreOf(std::string(c.placement) + ' ' + *side + " - -"), (*side == 'w' ? 1 : -1) * c.whiteView)
                << c.placement << ' ' << *side;
}

// Right after castling in a search the king stands on a path square; it scores
// as on g1 or c1.
TEST(Evaluation, KingOnACastlingPathCountsAsCastled) {
    for (const auto& [castling, after] : {std::pair{mv("e1g1", CastleWhiteKingSide), "R4RK1 b kq -"},
                                          std::pair{mv("e1c1", CastleWhiteQueenSide), "2KR3R b kq -"}}) {
        const int expected = scoreOf(std::string("r3k2r/pppq1ppp/2n5/8/8/2N5/PPPQ1PPP/") + after);
        setUpFen("r3k2r/pppq1ppp/2n5/8/8/2N5/PPPQ1PPP/R3K2R w KQkq -");
        play(castling);
        ASSERT_GE(position.kingSquare[White], 64);
        EXPECT_EQ(evaluate(), expected) << after;
    }
}

// Random placements with kings often on a castled wing and pawns often at
// home, so that every phase and the shelter cases turn up.
std::string randomBoard(std::mt19937& rng) {
    std::string board(64, '.');
    auto chance = [&](int percent) { return static_cast<int>(rng() % 100) < percent; };
    auto place = [&](char piece, int lowRow, int highRow) {
        for (int tries = 0; tries < 100; ++tries) {
            const int s = lowRow * 8 + static_cast<int>(rng() % ((highRow - lowRow + 1) * 8));
            if (board[s] == '.') return void(board[s] = piece);
        }
    };
    for (int side : {White, Black}) {
        auto own = [side](char c) { return side == White ? static_cast<char>(std::toupper(c)) : c; };
        if (chance(50)) board[(side == White ? 56 : 0) + "012567"[rng() % 6] - '0'] = own('k');
        else place(own('k'), 0, 7);
        const int keep = chance(60) ? 90 : 45, home = side == White ? 6 : 1;  // full armies reach the opening tables
        for (const char* c = "qrrbbnn"; *c; ++c)
            if (chance(keep)) place(own(*c), 0, 7);
        for (int i = 0; i < 8; ++i)
            if (chance(keep)) chance(50) ? place(own('p'), home, home) : place(own('p'), 1, 6);
        if (chance(20)) place(own('q'), 0, 7);  // a promoted extra
    }
    return board;
}

// The colours and the side to move swapped, the board turned by 180 degrees,
// score the same: Black reads every table turned round. So do they with the
// board mirrored rank for rank, as every table is symmetric left to right but
// the opening pawn table on c3 and f3 (c6 and f6 for Black).
TEST(Evaluation, ColourFlipGivesTheSameScore) {
    std::mt19937 rng(20240611);
    int opening = 0, sheltered = 0, compared = 0, mirrorCompared = 0;
    while (compared < 2000) {
        const std::string board = randomBoard(rng);
        const char side = rng() % 2 ? 'w' : 'b', other = side == 'w' ? 'b' : 'w';
        Position p;
        if (!readFen(fenOf(board, side).c_str(), p)) continue;
        std::string turned(board.rbegin(), board.rend()), mirrored;
        for (int row = 7; row >= 0; --row) mirrored += board.substr(8 * row, 8);
        for (std::string* b : {&turned, &mirrored})
            for (char& c : *b) c = std::isupper(static_cast<unsigned char>(c)) ? std::tolower(c) : std::toupper(c);
        const int score = scoreOf(fenOf(board, side));
        EXPECT_EQ(score, scoreOf(fenOf(turned, other))) << fenOf(board, side);
        auto pawnOn = [&](int s) { return std::tolower(board[s]) == 'p'; };
        if (p.materialCount < 71 || !(pawnOn(42) || pawnOn(45) || pawnOn(18) || pawnOn(21))) {
            EXPECT_EQ(score, scoreOf(fenOf(mirrored, other))) << fenOf(board, side);
            ++mirrorCompared;
        }
        ++compared;
        opening += p.materialCount >= 71;
        sheltered += p.materialCount >= 36 && (bitOf(p.kingSquare[White]) & 0xE7ULL);
    }
    // The run must reach the cases it is about.
    EXPECT_GT(opening, 300);
    EXPECT_GT(mirrorCompared, 1500);
    EXPECT_GT(sheltered, 300);
}

}  // namespace
