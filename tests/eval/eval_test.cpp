// The static evaluation by its colour symmetry over many random positions
// (the bench signature pins its numbers).
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
    FenSetup setup;
    EXPECT_TRUE(readFen(fen, setup)) << fen;
    return evaluate(setup.position);
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
        FenSetup setup;
        if (!readFen(fenOf(board, side), setup)) continue;
        const Position& p = setup.position;
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
