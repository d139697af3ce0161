// Perft: the number of legal move sequences of a given length from the current
// position, counted with the engine's own generators, make and unmake, and its
// legality rule (a move is legal when the opponent's generator in the position
// it leads to does not return null). The walk takes a visitor, so that the
// tests can inspect every node of the same walk that the perft tool counts.
#pragma once

#include <cstdint>

#include "board/position.h"
#include "board/tables.h"
#include "movegen/movegen.h"

// Fills ply.moves with the side to move's moves after `lastMove`: evasions when
// in check (the check found from scratch when `lastMove` is 0, at the root),
// all moves otherwise. Null when `lastMove` left its king capturable or castled
// through an attacked square.
ScoredMove* generateNodeMoves(Position& p, PlyRecord& ply, Move lastMove);

// The visitor of a plain count. A visitor's node() sees every node whose moves
// were generated (with its last move and its list), beforeMake() and
// afterUnmake() every move the walk makes; it must leave the position as it
// found it. With expandLeaves, leaves get their moves generated and visited
// too, instead of the cheaper legality test alone.
struct CountOnly {
    static constexpr bool expandLeaves = false;
    void node(Move, const ScoredMove*, const ScoredMove*) {}
    void beforeMake(Move) {}
    void afterUnmake(Move) {}
};

constexpr std::int64_t IllegalMove = -1;

struct NoReport {
    void operator()(Move, std::uint64_t) const {}
};

template <class Visitor, class Report = NoReport>
std::uint64_t countLeaves(Board& b, const ScoredMove* end, int depth, Visitor& visitor, Report report = {});

// Makes `move` from the current node, counts the leaves `depth` plies below the
// position it leads to, and unmakes it; IllegalMove when the move is illegal.
template <class Visitor>
std::int64_t countMove(Board& b, Move move, int depth, Visitor& visitor) {
    visitor.beforeMake(move);
    makeMove(b, move);
    ++b.currentPly;
    std::int64_t count = IllegalMove;
    if (depth == 0 && !Visitor::expandLeaves) {
        // Every generator decides legality alike, by the king-zone test over
        // every unit, against a castled king's whole path too; the test alone
        // gives the same answer without writing any move.
        if (!kingCapturable(b.position)) count = 1;
    } else if (const ScoredMove* end = generateNodeMoves(b.position, *b.currentPly, move)) {
        visitor.node(move, b.currentPly->moves, end);
        count = depth == 0 ? 1 : static_cast<std::int64_t>(countLeaves(b, end, depth, visitor));
    }
    --b.currentPly;
    unmakeMove(b, move);
    visitor.afterUnmake(move);
    return count;
}

// The squares of the side to move whose moves may leave its king capturable,
// at a node whose moves were generated: every square when in check, else the
// king's own and its lines towards enemy sliders of their kind. Any other move
// but en passant is legal without a test: it opens no line onto the king.
// Whether the king is in check is asked of the board: the check analysis
// after the last move misses a check a promotion uncovers, and a move counted
// untested there could be illegal.
inline Bitboard movesNeedingTest(const Board& b) {
    const Position& p = b.position;
    const int side = p.sideToMove, them = side ^ 1, king = p.kingSquare[side];
    if (b.currentPly->checkInfo.checkKind || squareAttacked(p, king, them)) return ~Bitboard{0};
    const Bitboard queens = p.pieceBoards[them == White ? WhiteQueen : BlackQueen];
    const Bitboard rooks = p.pieceBoards[them == White ? WhiteRook : BlackRook];
    const Bitboard bishops = p.pieceBoards[them == White ? WhiteBishop : BlackBishop];
    Bitboard tested = bitOf(king);
    if (rookRays[king] & (rooks | queens)) tested |= rookRays[king];
    if (bishopRays[king] & (bishops | queens)) tested |= bishopRays[king];
    return tested;
}

// The leaves `depth` (1 or more) plies below the current node, whose generated
// moves run from currentPly->moves to `end`; `report(move, count)` hears each
// legal move's share. At the last ply of a count without expandLeaves, the
// moves that cannot be illegal are counted without being made.
template <class Visitor, class Report>
std::uint64_t countLeaves(Board& b, const ScoredMove* end, int depth, Visitor& visitor, Report report) {
    saveUndo(b);
    const bool lastPly = depth == 1 && !Visitor::expandLeaves;
    const Bitboard tested = lastPly ? movesNeedingTest(b) : ~Bitboard{0};
    std::uint64_t total = 0;
    for (const ScoredMove* entry = b.currentPly->moves; entry != end; ++entry) {
        const Move move = entry->move;
        const bool known = !(tested & bitOf(moveFrom(move))) && moveKind(move) != EnPassant;
        const std::int64_t count = known ? 1 : countMove(b, move, depth - 1, visitor);
        if (count == IllegalMove) continue;
        report(move, static_cast<std::uint64_t>(count));
        total += static_cast<std::uint64_t>(count);
    }
    return total;
}

// Perft of a board's game position, which becomes the root of the walk (ply
// record 0). `report(move, count)` hears every legal root move with its count.
template <class Visitor, class Report>
std::uint64_t perftRoot(Board& b, int depth, Visitor& visitor, Report report) {
    b.currentPly = b.plyStack;
    if (depth <= 0) return 1;
    const ScoredMove* end = generateNodeMoves(b.position, *b.currentPly, 0);
    if (!end) return 0;  // setup never leaves the side to move able to take a king
    visitor.node(0, b.currentPly->moves, end);
    return countLeaves(b, end, depth, visitor, report);
}

inline std::uint64_t perft(Board& b, int depth) {
    CountOnly visitor;
    return perftRoot(b, depth, visitor, NoReport{});
}
