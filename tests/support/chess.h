// The one home of the tests' helpers: squares and moves by name, positions set
// up in this process, moves played as the search or the game plays them, the
// legal moves of a position, and the developer tools run as programs.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "board/movetext.h"
#include "board/position.h"
#include "board/tables.h"
#include "movegen/movegen.h"
#include "movegen/perft.h"
#include "session/game.h"
#include "search/search.h"

namespace testsupport {

constexpr int sq(const char* name) { return (name[0] - 'a') + 8 * ('8' - name[1]); }

// "e2e4" as a move code of the given kind.
constexpr Move mv(const char* text, int kind = Quiet) { return makeMoveCode(sq(text), sq(text + 2), kind); }

// A move as the game position writes it (castlings of Chess960 too).
inline std::string moveText(Move m) {
    char buffer[8];
    moveToText(buffer, m, gameBoard().position.castling);
    return buffer;
}

// Chess960 for the positions this process sets up while it lives, its
// castlings written as `text`.
struct Chess960Rules {
    explicit Chess960Rules(CastlingText text = CastlingText::KingTakesRook) { setChess960(true, text); }
    ~Chess960Rules() { setChess960(false); }
    Chess960Rules(const Chess960Rules&) = delete;
    Chess960Rules& operator=(const Chess960Rules&) = delete;
};

// Walks over (row, file), apart from the engine's tables: the squares reached
// from s by steps of (dr, df), one step or sliding up to and including the
// first square of `occupancy`.
inline bool onBoard(int row, int file) { return row >= 0 && row < 8 && file >= 0 && file < 8; }
inline Bitboard walk(int s, int dr, int df, bool slide, Bitboard occupancy = 0) {
    Bitboard b = 0;
    for (int r = rowOf(s) + dr, f = fileOf(s) + df; onBoard(r, f); r += dr, f += df) {
        b |= bitOf(r * 8 + f);
        if (!slide || (occupancy & bitOf(r * 8 + f))) break;
    }
    return b;
}
// A king's steps from s, or a knight's jumps.
inline Bitboard steps(int s, bool king) {
    Bitboard b = 0;
    for (int dr = -2; dr <= 2; ++dr)
        for (int df = -2; df <= 2; ++df)
            if (king ? std::max(std::abs(dr), std::abs(df)) == 1 : std::abs(dr * df) == 2) b |= walk(s, dr, df, false);
    return b;
}
// A bishop's (diagonal) or a rook's squares from s over `occupancy`.
inline Bitboard lines(int s, bool diagonal, Bitboard occupancy) {
    Bitboard b = 0;
    for (int dr = -1; dr <= 1; ++dr)
        for (int df = -1; df <= 1; ++df)
            if ((dr || df) && diagonal == (dr && df)) b |= walk(s, dr, df, true, occupancy);
    return b;
}

inline void ensureTables() {
    static const bool built = (initTables(), true);
    (void)built;
}

// Whether two positions agree in every field (positionIsConsistent() checks
// that a position agrees with itself; this, that it came back whole).
inline bool samePosition(const Position& a, const Position& b) {
    auto fields = [](const Position& p) {
        return std::tie(p.occupied, p.occupiedFiles, p.occupiedDiagA1H8, p.occupiedDiagA8H1, p.colourBoards[0],
                        p.colourBoards[1], p.hashKey, p.kingSquare[0], p.kingSquare[1], p.castleFlags, p.epSquare,
                        p.materialCount, p.sideToMove);
    };
    return fields(a) == fields(b) && std::equal(a.board, a.board + 64, b.board) &&
           std::equal(a.pieceBoards, a.pieceBoards + 11, b.pieceBoards);
}

// The board the in-process tests play on: the game's.
inline Board& board() { return gameBoard(); }
inline Position& position() { return gameBoard().position; }

// Makes `fen` (its en-passant field too) the game position of a new game, the
// root of a line of moves (ply record 0).
inline void setUpFen(const char* fen) {
    ensureTables();
    ASSERT_TRUE(setupPosition(fen, false)) << fen;
    board().currentPly = board().plyStack;
}

// The move a token names in the game position.
inline Move textToMove(const std::string& token) { return gameMoveOfText(token); }

// Makes `m` one ply deeper, as the search does.
inline void play(Move m) {
    saveUndo(board());
    makeMove(board(), m);
    ++board().currentPly;
}
inline void takeBackPly(Move m) {
    --board().currentPly;
    unmakeMove(board(), m);
}

// The moves a generator lists, or none with `illegal` when it returns null.
struct Generated {
    bool illegal = false;
    std::vector<ScoredMove> moves;
};
inline Generated generate(GeneratorKind kind, CheckInfo* info = nullptr) {
    ScoredMove list[MoveListSize];
    const ScoredMove* end = generateMoves(kind, position(), list, info);
    Generated out;
    out.illegal = end == nullptr;
    if (end) out.moves.assign(static_cast<const ScoredMove*>(list), end);
    return out;
}

// The key line of the game log: high and low halves in lower-case hex.
inline std::string keyLine(std::uint64_t key) {
    char text[32];
    std::snprintf(text, sizeof text, "%x %x", static_cast<unsigned>(key >> 32), static_cast<unsigned>(key));
    return text;
}

// Sets up `fen` in this process (no book) and plays `moves` as game moves;
// returns the key line of each.
inline std::vector<std::string> playInProcess(const char* fen, const std::vector<std::string>& moves) {
    ensureTables();
    std::vector<std::string> keys;
    EXPECT_TRUE(setupPosition(fen, false)) << fen;
    for (const std::string& text : moves) {
        const Move m = textToMove(text);
        EXPECT_TRUE(isLegalMove(m)) << text;
        playMove(m);
        keys.push_back(keyLine(position().hashKey));
    }
    return keys;
}

// The texts of the legal moves of the game position.
inline std::set<std::string> legalMoveTexts() {
    std::set<std::string> texts;
    for (const ScoredMove& m : generate(AllMoves).moves)
        if (isLegalMove(m.move)) texts.insert(moveText(m.move));
    return texts;
}

// What `drozak-tools ARGUMENTS` writes, standard error included; its exit
// code in `exitCode`.
inline std::string toolOutput(const std::string& arguments, int* exitCode = nullptr) {
    const std::string command = std::string(DROZAK_TOOLS) + " " + arguments + " 2>&1";
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return output;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
    const int status = pclose(pipe);
    if (exitCode) *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return output;
}

}  // namespace testsupport
