#include "search/draw.h"

#include <cstddef>

#include "board/position.h"

namespace {

constexpr int RepetitionHorizon = 6;  // fewer reversible plies cannot hold a repetition worth testing
constexpr int FiftyMoves = 100;

}  // namespace

// The scan stops at history[0] too, so a history cut down to its last
// hundred-odd entries answers alike.
bool isDraw(const Board& b, int count) {
    if (insufficientMaterial(b.position)) return true;
    const int reversible = b.historyTop->reversibleCount;
    if (reversible < RepetitionHorizon) return false;
    if (reversible > FiftyMoves) return true;
    const std::uint64_t key = b.historyTop->hashKey;
    std::ptrdiff_t i = b.historyTop - b.history - 4;  // two plies back the other side moved: no repetition possible
    if (i < 0) return false;
    for (int k = b.history[i].reversibleCount; k >= 0 && i >= 0; k -= 2, i -= 2)
        if (b.history[i].hashKey == key && --count == 0) return true;
    return false;
}

// Only quiet moves can repeat a position. The move is made and taken back on
// an undo record of its own, so make's key update is the only one there is;
// the history entry of the position keeps the move it had. A move that does
// not fit the position (no move at all, a table slot of another position) is
// never made: make would take its empty origin for the king's square.
bool repetitionAfter(Board& b, Move move, int count) {
    if (moveKind(move) != Quiet) return false;
    const Position& p = b.position;
    const int from = moveFrom(move), piece = p.board[from];
    const bool ownMan = piece != Empty ? (piece & 1) == p.sideToMove : p.kingSquare[p.sideToMove] == from;
    if (!ownMan || (p.occupied & bitOf(moveTo(move)))) return false;
    PlyRecord* const ply = b.currentPly;
    const Move played = b.historyTop->move;
    b.currentPly = &b.lookAheadPly;
    saveUndo(b);
    makeMove(b, move);
    const bool drawn = isDraw(b, count);
    unmakeMove(b, move);
    b.historyTop->move = played;
    b.currentPly = ply;
    return drawn;
}
