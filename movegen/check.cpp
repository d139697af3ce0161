// Check analysis: how the side to move is in check, from what the last move
// changed or, after a setup, from a look at every piece.
#include <bit>

#include "board/sides.h"
#include "board/tables.h"
#include "movegen/movegen.h"

namespace {

inline void setSingleCheck(CheckInfo& info, int s, int kind) {
    info.checkers = bitOf(s);
    info.checkerSquare = static_cast<Square>(s);
    info.checkKind = static_cast<std::uint8_t>(kind);
}

// Adds the pieces on `found`, all checking in the same way. The first single
// checker keeps its square and line; a second one makes a double check, which
// sums the kinds.
void addCheckers(const Position& p, CheckInfo& info, Bitboard found, int kind) {
    if (!found) return;
    info.checkKind = static_cast<std::uint8_t>(info.checkKind + kind * std::popcount(found));
    info.checkers |= found;
    if (info.checkerSquare == NoSquare && std::has_single_bit(found)) {
        const int s = lowestSquare(found);
        info.checkerSquare = static_cast<Square>(s);
        info.lineMask = kind == StraightCheck   ? rookAttacksFrom(s, p)
                        : kind == DiagonalCheck ? bishopAttacksFrom(s, p)
                                                : 0;
    } else {
        info.checkerSquare = DoubleCheck;
        info.lineMask = 0;
    }
}

// Checks by the mover's sliders through squares the move emptied, found from
// the king outwards (the piece that gave a direct check is left out). Both line
// kinds are tested even after a first find: an en-passant capture empties two
// squares and can uncover a rook and a bishop at once.
template <int Mover, bool Straight, bool Diagonal>
void addDiscoveredChecks(const Position& p, CheckInfo& info, int king) {
    using M = SideOf<Mover>;
    const Bitboard queens = p.pieceBoards[M::Queen];
    const Bitboard straight = Straight ? (p.pieceBoards[M::Rook] | queens) & ~info.checkers : 0;
    const Bitboard diagonal = Diagonal ? (p.pieceBoards[M::Bishop] | queens) & ~info.checkers : 0;
    if (!(queenRays[king] & (straight | diagonal))) return;
    if (rookRays[king] & straight) addCheckers(p, info, straight & rookAttacksFrom(king, p), StraightCheck);
    if (bishopRays[king] & diagonal) addCheckers(p, info, diagonal & bishopAttacksFrom(king, p), DiagonalCheck);
}

// Which lines a move can open follows from the rule that the mover could not
// take the king before it moved (its generator would have returned null, and
// setup refuses such positions): a bishop, rook or queen that stood alone on a
// line of its own kind between a slider and the king would have attacked the
// king itself. So a bishop uncovers only ranks and files, a rook only
// diagonals, a queen nothing. Promotions are pawn moves: a pawn on the seventh
// rank shields a diagonal only from a king it attacks, so only the rank can
// open, and a promotion to a queen tests both kinds whether or not it checks.
template <int Mover>
void analyse(const Position& p, CheckInfo& info, Move move) {
    using M = SideOf<Mover>;
    const int king = p.kingSquare[M::Them];
    const Bitboard kingBit = bitOf(king);
    info = CheckInfo{0, 0, NoSquare, 0};

    const int kind = moveKind(move);
    if (kind >= CastleBlackKingSide) {
        // Only the rook can check. Castling uncovers nothing: the lines through
        // the rook's corner and through the king's square end at the edge, but
        // for the home rank, where the castled rook now stands beside that square.
        constexpr int rookSquare[4] = {F8, F1, D8, D1};
        const int rook = rookSquare[kind - CastleBlackKingSide];
        info.lineMask = rookAttacksFrom(rook, p);
        if (info.lineMask & kingBit) setSingleCheck(info, rook, StraightCheck);
        return;
    }

    const int to = moveTo(move);
    const bool promotion = kind >= PromoteQueenAlias && kind <= CapturePromoteBishop;
    switch (p.board[to]) {
        case M::Pawn:
            if (M::pawnAttacks(bitOf(to)) & kingBit) setSingleCheck(info, to, PawnCheck);
            addDiscoveredChecks<Mover, true, true>(p, info, king);
            break;
        case M::Knight:
            if (knightAttacks[to] & kingBit) setSingleCheck(info, to, KnightCheck);
            addDiscoveredChecks<Mover, true, true>(p, info, king);
            break;
        case M::Bishop:
            if (bishopRays[to] & kingBit) {
                info.lineMask = bishopAttacksFrom(to, p);
                if (info.lineMask & kingBit) setSingleCheck(info, to, DiagonalCheck);
            }
            addDiscoveredChecks<Mover, true, false>(p, info, king);
            break;
        case M::Rook:
            if (rookRays[to] & kingBit) {
                info.lineMask = rookAttacksFrom(to, p);
                if (info.lineMask & kingBit) setSingleCheck(info, to, StraightCheck);
            }
            if (promotion) addDiscoveredChecks<Mover, true, true>(p, info, king);
            else addDiscoveredChecks<Mover, false, true>(p, info, king);
            break;
        case M::Queen:
            if (queenRays[to] & kingBit) {
                info.lineMask = rookAttacksFrom(to, p);
                if (info.lineMask & kingBit) {
                    setSingleCheck(info, to, StraightCheck);
                } else {
                    info.lineMask = bishopAttacksFrom(to, p);
                    if (info.lineMask & kingBit) setSingleCheck(info, to, DiagonalCheck);
                }
            }
            if (promotion) addDiscoveredChecks<Mover, true, true>(p, info, king);
            break;
        default:  // the king moved: it checks nobody, but may uncover any line
            addDiscoveredChecks<Mover, true, true>(p, info, king);
            break;
    }
}

template <int Side>
void analyseFromScratch(const Position& p, CheckInfo& info) {
    using T = SideOf<Side ^ 1>;
    const int king = p.kingSquare[Side];
    const Bitboard queens = p.pieceBoards[T::Queen];
    info = CheckInfo{0, 0, NoSquare, 0};
    addCheckers(p, info, SideOf<Side>::pawnAttacks(bitOf(king)) & p.pieceBoards[T::Pawn], PawnCheck);
    addCheckers(p, info, knightAttacks[king] & p.pieceBoards[T::Knight], KnightCheck);
    addCheckers(p, info, rookAttacksFrom(king, p) & (p.pieceBoards[T::Rook] | queens), StraightCheck);
    addCheckers(p, info, bishopAttacksFrom(king, p) & (p.pieceBoards[T::Bishop] | queens), DiagonalCheck);
}

}  // namespace

void analyseCheck(const Position& p, CheckInfo& info, Move move) {
    if (p.sideToMove == White) analyse<Black>(p, info, move);
    else analyse<White>(p, info, move);
}

void analyseCheckFromScratch(const Position& p, CheckInfo& info) {
    if (p.sideToMove == White) analyseFromScratch<White>(p, info);
    else analyseFromScratch<Black>(p, info);
}
