#include "eval/eval.h"

#include <bit>
#include <initializer_list>

#include "board/position.h"
#include "board/sides.h"
#include "board/tables.h"

namespace {

constexpr Bitboard squaresOf(std::initializer_list<int> squares) {
    Bitboard b = 0;
    for (int s : squares) b |= bitOf(s);
    return b;
}

constexpr Bitboard darkSquares = 0x55AA55AA55AA55AAULL;
constexpr Bitboard lightSquares = 0xAA55AA55AA55AA55ULL;

constexpr int ShelterMaterial = 36;  // below it the king should leave its corner
constexpr int ShelterPawn = 4, ShelterExtra = 2;
constexpr int IsolatedPawn = 20, DoubledPawn = 8, PassedPerRank = 8;
constexpr int RookBehindPasser = 15, RookHalfOpenFile = 8;
constexpr int BishopPair = 12;

// One castled wing: where the king stands, where its pawns shelter it, and the
// two pawn squares nearest the corner that earn the extra point.
struct Wing {
    Bitboard king, pawns, extra;
};

constexpr Wing kingSideWings[2] = {
    {squaresOf({5, 6, 7}), squaresOf({13, 14, 15}), squaresOf({14, 15})},      // f8 g8 h8 / f7 g7 h7
    {squaresOf({61, 62, 63}), squaresOf({53, 54, 55}), squaresOf({54, 55})},  // f1 g1 h1 / f2 g2 h2
};
constexpr Wing queenSideWings[2] = {
    {squaresOf({0, 1, 2}), squaresOf({8, 9, 10}), squaresOf({8, 9})},         // a8 b8 c8 / a7 b7 c7
    {squaresOf({56, 57, 58}), squaresOf({48, 49, 50}), squaresOf({48, 49})},  // a1 b1 c1 / a2 b2 c2
};

struct PhaseTables {
    const std::int16_t *king, *pawn, *knight, *bishop, *rook, *queen;
};

// A rook standing among the wing's king squares (say on f1 after O-O) means
// the king is not tucked away behind those pawns, so the wing earns nothing.
int wingShelter(const Wing& w, Bitboard king, Bitboard rooks, Bitboard pawns) {
    if (!(king & w.king) || (rooks & w.king)) return 0;
    return ShelterPawn * std::popcount(pawns & w.pawns) + ((pawns & w.extra) ? ShelterExtra : 0);
}

// Everything one side's men are worth, from that side's point of view. Black
// reads the tables turned by 180 degrees (index 63 - s); kings read their own
// square, the king tables being symmetric under that turn.
template <int Side>
int sideScore(const Position& p, const PhaseTables& t) {
    using S = SideOf<Side>;
    const Bitboard* passedMask = Side == White ? passedMaskWhite : passedMaskBlack;
    const Bitboard* aheadOnFile = Side == White ? frontFileWhite : frontFileBlack;
    const Bitboard* behindOnFile = Side == White ? frontFileBlack : frontFileWhite;

    const Bitboard ownPawns = p.pieceBoards[S::Pawn], theirPawns = p.pieceBoards[S::TheirPawn];
    const Bitboard ownRooks = p.pieceBoards[S::Rook];
    int score = t.king[p.kingSquare[Side]];

    if (p.materialCount >= ShelterMaterial) {
        const Bitboard king = squareBit[p.kingSquare[Side]];
        score += wingShelter(kingSideWings[Side], king, ownRooks, ownPawns) +
                 wingShelter(queenSideWings[Side], king, ownRooks, ownPawns);
    }

    for (Bitboard b = ownPawns; b;) {
        const int s = popLowest(b);
        score += pieceValues[S::Pawn] + t.pawn[S::pstIndex(s)];
        if (!(adjacentFilesMask[s] & ownPawns)) score -= IsolatedPawn;
        const bool passed = !(passedMask[s] & theirPawns);
        if (!(fileMaskExcl[s] & ownPawns)) {
            if (passed) {
                score += PassedPerRank * S::pawnAdvance(rowOf(s));
                if (behindOnFile[s] & ownRooks) score += RookBehindPasser;
            }
        } else {
            // Doubled: only the file's leading pawn can be passed, and it gets no rook bonus.
            score -= DoubledPawn;
            if (!(aheadOnFile[s] & ownPawns) && passed) score += PassedPerRank * S::pawnAdvance(rowOf(s));
        }
    }
    for (Bitboard b = p.pieceBoards[S::Knight]; b;) score += pieceValues[S::Knight] + t.knight[S::pstIndex(popLowest(b))];

    const Bitboard bishops = p.pieceBoards[S::Bishop];
    for (Bitboard b = bishops; b;) score += pieceValues[S::Bishop] + t.bishop[S::pstIndex(popLowest(b))];
    if ((bishops & darkSquares) && (bishops & lightSquares)) score += BishopPair;

    for (Bitboard b = ownRooks; b;) {
        const int s = popLowest(b);
        score += pieceValues[S::Rook] + t.rook[S::pstIndex(s)];
        if (!(fileMaskExcl[s] & ownPawns)) {
            score += RookHalfOpenFile;
            if (!(fileMaskExcl[s] & theirPawns)) score += RookHalfOpenFile;
        }
    }
    for (Bitboard b = p.pieceBoards[S::Queen]; b;) score += pieceValues[S::Queen] + t.queen[S::pstIndex(popLowest(b))];
    return score;
}

}  // namespace

std::int16_t evaluate(const Position& p) {
    if (insufficientMaterial(p)) return 0;

    const int m = phaseIndex(p.materialCount);
    const PhaseTables t{kingTableByPhase[m],   pawnTableByPhase[m], knightTableByPhase[m],
                        bishopTableByPhase[m], rookTableByPhase[m], queenTableByPhase[m]};
    const int white = sideScore<White>(p, t) - sideScore<Black>(p, t);
    return static_cast<std::int16_t>(p.sideToMove == White ? white : -white);
}
