// Helpers of the move generation tests: positions set up from FEN, moves by
// name, generator output as vectors, and attack tests that walk the board
// square by square without the engine's tables.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "board/board_checks.h"
#include "board/movetext.h"
#include "board/position.h"
#include "board/types.h"
#include "movegen/movegen.h"
#include "movegen/perft.h"

namespace movegen_test {

constexpr const char* StartFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

constexpr int sq(const char* name) { return (name[0] - 'a') + 8 * ('8' - name[1]); }
constexpr Move mv(const char* from, const char* to, int kind = Quiet) { return makeMoveCode(sq(from), sq(to), kind); }

inline std::string text(Move m) {
    char buffer[8];
    moveToText(buffer, m);
    return buffer;
}

// Sets up `fen` (its en-passant field too) as the root of a line of moves.
inline void setUpFen(const char* fen) {
    ensureTables();
    ASSERT_TRUE(setupPerftRoot(fen)) << fen;
    currentPly = plyStack;
}

// Makes `m` one ply deeper, as the search does.
inline void play(Move m) {
    saveUndo(*currentPly);
    makeMove(m);
    ++currentPly;
}

struct Generated {
    bool illegal = false;  // the generator returned null
    std::vector<ScoredMove> moves;
};

inline Generated generate(GeneratorKind kind, CheckInfo* info = nullptr) {
    ScoredMove list[MoveListSize];
    const ScoredMove* end = generateMoves(kind, list, info);
    Generated out;
    out.illegal = end == nullptr;
    if (end) out.moves.assign(static_cast<const ScoredMove*>(list), end);
    return out;
}

// The moves of a list with their scores, one "e2e4:-27979" per entry, for
// readable comparisons of order and score.
inline std::vector<std::string> describe(const std::vector<ScoredMove>& moves) {
    std::vector<std::string> out;
    for (const ScoredMove& e : moves) out.push_back(text(e.move) + "/" + std::to_string(moveKind(e.move)) + ":" + std::to_string(e.score));
    return out;
}

struct Expected {
    Move move;
    int score;
};

inline std::vector<std::string> describe(const std::vector<Expected>& moves) {
    std::vector<ScoredMove> list;
    for (const Expected& e : moves) list.push_back(ScoredMove{static_cast<std::int16_t>(e.score), e.move});
    return describe(list);
}

// Attacks found by walking the board array step by step.
inline bool onBoard(int row, int file) { return row >= 0 && row < 8 && file >= 0 && file < 8; }

inline int pieceAt(int s) {
    if (position.board[s]) return position.board[s];
    for (int side : {Black, White})
        if (standingSquare(position.kingSquare[side]) == s) return side == White ? WhiteKing : BlackKing;
    return position.board[s];
}

inline int sideOfPiece(int code) { return code >= WhiteKing ? (code == WhiteKing ? White : Black) : (code & 1); }

// A piece of `side` that attacks `target`, with the kind of check it would give
// (1 pawn, 2 knight, 3 diagonal, 4 straight, 5 king).
struct Attacker {
    int square;
    int kind;
};

// Calls `found(attacker)` for each piece of `side` that attacks `target`, until
// it returns true; returns whether one did.
template <class Found>
bool forEachAttacker(int target, int side, Found found) {
    const int row = rowOf(target), file = fileOf(target);
    // `code` names the white piece; Black's code is one higher
    auto own = [&](int r, int f, int code) { return onBoard(r, f) && pieceAt(r * 8 + f) == code + (side == White ? 0 : 1); };
    // pawns stand one row behind the target from their side's point of view
    const int pawnRow = side == White ? row + 1 : row - 1;
    for (int df : {-1, 1})
        if (own(pawnRow, file + df, WhitePawn) && found(Attacker{pawnRow * 8 + file + df, 1})) return true;
    for (auto [dr, df] : {std::pair{-2, -1}, {-2, 1}, {-1, -2}, {-1, 2}, {1, -2}, {1, 2}, {2, -1}, {2, 1}})
        if (own(row + dr, file + df, WhiteKnight) && found(Attacker{(row + dr) * 8 + file + df, 2})) return true;
    for (int dr = -1; dr <= 1; ++dr)
        for (int df = -1; df <= 1; ++df) {
            if (!dr && !df) continue;
            if (own(row + dr, file + df, WhiteKing) && found(Attacker{(row + dr) * 8 + file + df, 5})) return true;
            const bool diagonal = dr && df;
            for (int r = row + dr, f = file + df; onBoard(r, f); r += dr, f += df) {
                if (!pieceAt(r * 8 + f)) continue;
                if ((own(r, f, WhiteQueen) || own(r, f, diagonal ? WhiteBishop : WhiteRook)) &&
                    found(Attacker{r * 8 + f, diagonal ? 3 : 4}))
                    return true;
                break;
            }
        }
    return false;
}

inline std::vector<Attacker> attackersOf(int target, int side) {
    std::vector<Attacker> out;
    forEachAttacker(target, side, [&](const Attacker& a) { out.push_back(a); return false; });
    return out;
}

inline bool attackedByWalking(int target, int side) {
    return forEachAttacker(target, side, [](const Attacker&) { return true; });
}

// The squares a slider on `s` attacks along lines of one kind, stopping at the
// first occupied square.
inline Bitboard walkedLines(int s, bool diagonal) {
    Bitboard out = 0;
    for (int dr = -1; dr <= 1; ++dr)
        for (int df = -1; df <= 1; ++df) {
            if ((!dr && !df) || (diagonal != (dr && df))) continue;
            for (int r = rowOf(s) + dr, f = fileOf(s) + df; onBoard(r, f); r += dr, f += df) {
                out |= bitOf(r * 8 + f);
                if (pieceAt(r * 8 + f)) break;
            }
        }
    return out;
}

}  // namespace movegen_test
