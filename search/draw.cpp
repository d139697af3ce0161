#include "search/draw.h"

#include <cstddef>

#include "board/position.h"

namespace {

constexpr int RepetitionHorizon = 6;  // fewer reversible plies cannot hold a repetition worth testing
constexpr int FiftyMoves = 100;

// The key change of losing `right`, which happens only while it is held and its
// side is not in the middle of castling.
std::uint64_t lostRightKey(const Position& p, std::uint16_t right) {
    const std::uint16_t transient = (right & (CastleK | CastleQ)) ? WhiteCastling : BlackCastling;
    return ((p.castleFlags & right) && !(p.castleFlags & transient)) ? castlingRightKey(right) : 0;
}

// The draw test for a position with key `key`, `reversible` plies after the
// last irreversible move, standing (or about to stand) at index `top` of the
// history. The scan stops at history[0] too, so a history cut down to its last
// hundred-odd entries answers alike.
bool drawnAt(std::uint64_t key, int reversible, std::ptrdiff_t top, int count) {
    if (insufficientMaterial()) return true;
    if (reversible < RepetitionHorizon) return false;
    if (reversible > FiftyMoves) return true;
    std::ptrdiff_t i = top - 4;  // two plies back the other side moved: no repetition possible
    if (i < 0) return false;
    for (int k = history[i].reversibleCount; k >= 0 && i >= 0; k -= 2, i -= 2)
        if (history[i].hashKey == key && --count == 0) return true;
    return false;
}

}  // namespace

bool insufficientMaterial() {
    return position.materialCount < 4 && !(position.pieceBoards[WhitePawn] | position.pieceBoards[BlackPawn]);
}

bool isDraw(int count) { return drawnAt(historyTop->hashKey, historyTop->reversibleCount, historyTop - history, count); }

std::uint64_t keyAfterQuietMove(Move move) {
    const Position& p = position;
    const int from = moveFrom(move), to = moveTo(move), side = p.sideToMove;
    std::uint64_t key = p.hashKey;
    if (p.epSquare) key ^= zobristKeys[0][p.epSquare];
    const int piece = p.board[from];
    if (piece == Empty) {
        const int king = side == White ? WhiteKing : BlackKing;
        key ^= zobristKeys[king][from] ^ zobristKeys[king][to];
        key ^= side == White ? lostRightKey(p, CastleK) ^ lostRightKey(p, CastleQ)
                             : lostRightKey(p, Castlek) ^ lostRightKey(p, Castleq);
        return key;
    }
    key ^= zobristKeys[piece][from] ^ zobristKeys[piece][to];
    if (piece <= BlackPawn && (from - to == 16 || to - from == 16)) key ^= zobristKeys[0][(from + to) / 2];
    if (piece == WhiteRook) key ^= from == A1 ? lostRightKey(p, CastleQ) : from == H1 ? lostRightKey(p, CastleK) : 0;
    if (piece == BlackRook) key ^= from == A8 ? lostRightKey(p, Castleq) : from == H8 ? lostRightKey(p, Castlek) : 0;
    return key;
}

// Judged on a virtual entry above the top rather than a pushed one, so nothing
// is written and a full history stack cannot overflow. A pawn move starts the
// count afresh, as make does, and so can neither repeat nor end fifty moves.
bool repetitionAfter(Move move, int count) {
    if (moveKind(move) != Quiet) return false;
    const int piece = position.board[moveFrom(move)];
    const int reversible = piece == WhitePawn || piece == BlackPawn ? 0 : historyTop->reversibleCount + 1;
    return drawnAt(keyAfterQuietMove(move), reversible, historyTop - history + 1, count);
}
