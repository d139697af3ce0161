// The six move generators: all moves, captures and check evasions, each written
// once as a template over the side and instantiated for White and Black.
#include "movegen/movegen.h"

#include "board/tables.h"
#include "board/sides.h"

namespace {

enum Unit { KnightUnit = 0, BishopUnit = 1, RookUnit = 2, QueenUnit = 3 };

constexpr int unitCode(Unit u, int side) { return 4 + 2 * u - side; }
constexpr int unitCaptureBase[4] = {20260, 20265, 20450, 20870};
constexpr int unitInterposeScore[4] = {-20310, -20315, -20500, -20920};
constexpr int KingCaptureBase = 20950;
constexpr int QuietBase = -28000;
constexpr int EnPassantScore = -19950;
// Promotions in the order queen, knight, rook, bishop; a capture adds the victim's value.
constexpr int promotionCaptureScore[4] = {-19150, -20000, -20030, -20040};
constexpr int promotionScore[4] = {-19200, -20050, -20080, -20090};
constexpr int evasionPromotionScore[4] = {-20800, -20801, -20802, -20803};

template <Unit U>
inline Bitboard unitAttacks(const Position& p, int s) {
    if constexpr (U == KnightUnit) return knightAttacks[s];
    else if constexpr (U == BishopUnit) return bishopAttacksFrom(s, p);
    else if constexpr (U == RookUnit) return rookAttacksFrom(s, p);
    else return queenAttacksFrom(s, p);
}

template <Unit U>
inline const std::int16_t* unitTable(int phase) {
    if constexpr (U == KnightUnit) return knightTableByPhase[phase];
    else if constexpr (U == BishopUnit) return bishopTableByPhase[phase];
    else if constexpr (U == RookUnit) return rookTableByPhase[phase];
    else return queenTableByPhase[phase];
}

inline ScoredMove* emit(ScoredMove* list, int score, int from, int to, int kind) {
    *list = ScoredMove{static_cast<std::int16_t>(score), makeMoveCode(from, to, kind)};
    return list + 1;
}

inline int victimValue(const Position& p, int s) { return pieceValues[p.board[s]]; }

// The four promotions of one pawn move, queen first.
inline ScoredMove* emitPromotions(ScoredMove* list, int from, int to, int firstKind, const int (&scores)[4],
                                  int bonus) {
    for (int i = 0; i < 4; ++i) list = emit(list, bonus + scores[i], from, to, firstKind + i);
    return list;
}

// What every generator needs to know of the position, read once per call.
template <int Side>
struct Frame {
    using S = SideOf<Side>;
    const Position& p;
    Bitboard zone;     // the opponent's king square, or its whole castling path
    Bitboard own;
    Bitboard enemies;
    Bitboard empty;
    Bitboard pawns;
    int phase;

    explicit Frame(const Position& position)
        : p(position),
          zone(squareBit[position.kingSquare[S::Them]]),
          own(position.colourBoards[Side]),
          enemies(position.colourBoards[S::Them]),
          empty(~position.occupied),
          pawns(position.pieceBoards[S::Pawn]),
          phase(phaseIndex(position.materialCount)) {}
};

// One pawn capture direction of the all-moves and captures generators: en
// passant first, then the capture-promotions, then the other captures.
template <int Side, int Origin>
ScoredMove* pawnCaptures(ScoredMove* list, Bitboard targets, const Frame<Side>& f) {
    using S = SideOf<Side>;
    const int ep = f.p.epSquare;
    if (ep && (targets & bitOf(ep))) list = emit(list, EnPassantScore, ep + Origin, ep, EnPassant);
    Bitboard captures = targets & f.enemies;
    for (Bitboard b = captures & S::PromotionRank; b;) {
        const int to = popLowest(b);
        list = emitPromotions(list, to + Origin, to, CapturePromoteQueen, promotionCaptureScore, victimValue(f.p, to));
    }
    for (Bitboard b = captures & ~S::PromotionRank; b;) {
        const int to = popLowest(b);
        list = emit(list, victimValue(f.p, to) - 20050, to + Origin, to, Capture);
    }
    return list;
}

// The moves of every piece of one kind. Null when one of them attacks the
// opponent's king zone.
template <int Side, Unit U, bool QuietsToo>
ScoredMove* pieceMoves(ScoredMove* list, const Frame<Side>& f) {
    const std::int16_t* table = unitTable<U>(f.phase);
    for (Bitboard pieces = f.p.pieceBoards[unitCode(U, Side)]; pieces;) {
        const int from = popLowest(pieces);
        const Bitboard attacks = unitAttacks<U>(f.p, from);
        if (attacks & f.zone) return nullptr;
        for (Bitboard b = attacks & f.enemies; b;) {
            const int to = popLowest(b);
            list = emit(list, victimValue(f.p, to) - unitCaptureBase[U], from, to, Capture);
        }
        if constexpr (QuietsToo) {
            const int base = QuietBase - table[SideOf<Side>::pstIndex(from)];
            for (Bitboard b = attacks & f.empty; b;) {
                const int to = popLowest(b);
                list = emit(list, base + table[SideOf<Side>::pstIndex(to)], from, to, Quiet);
            }
        }
    }
    return list;
}

// King moves, captures first. Squares next to the opponent's king are left
// out, and so is `excluded` (the checking line during evasions).
template <int Side, bool QuietsToo>
ScoredMove* kingMoves(ScoredMove* list, const Frame<Side>& f, Bitboard excluded, int quietBase) {
    using S = SideOf<Side>;
    const int from = f.p.kingSquare[Side];
    const Bitboard attacks = kingAttacks[from];
    if (attacks & f.zone) return nullptr;
    const Bitboard targets = attacks & ~kingAttacks[f.p.kingSquare[S::Them]] & ~f.own & ~excluded;
    for (Bitboard b = targets & f.enemies; b;) {
        const int to = popLowest(b);
        list = emit(list, victimValue(f.p, to) - KingCaptureBase, from, to, Capture);
    }
    if constexpr (QuietsToo) {
        const std::int16_t* table = kingTableByPhase[f.phase];
        const int base = quietBase - table[from];
        for (Bitboard b = targets & f.empty; b;) {
            const int to = popLowest(b);
            list = emit(list, base + table[to], from, to, Quiet);
        }
    }
    return list;
}

// Pawn steps onto the squares of `allowed`: promotions (four each), then double
// steps, then single steps. Quiet steps score their table gain plus `stepBase`.
template <int Side>
ScoredMove* pawnPushes(ScoredMove* list, const Frame<Side>& f, Bitboard allowed, const int (&promotionScores)[4],
                       int stepBase) {
    using S = SideOf<Side>;
    const std::int16_t* table = pawnTableByPhase[f.phase];
    const Bitboard single = S::push(f.pawns) & f.empty;
    for (Bitboard b = single & S::PromotionRank & allowed; b;) {
        const int to = popLowest(b);
        list = emitPromotions(list, to + S::PushOrigin, to, PromoteQueen, promotionScores, 0);
    }
    for (Bitboard b = S::push(single & S::ThirdRank) & f.empty & allowed; b;) {
        const int to = popLowest(b), from = to + 2 * S::PushOrigin;
        list = emit(list, stepBase + table[S::pstIndex(to)] - table[S::pstIndex(from)], from, to, Quiet);
    }
    for (Bitboard b = single & ~S::PromotionRank & allowed; b;) {
        const int to = popLowest(b), from = to + S::PushOrigin;
        list = emit(list, stepBase + table[S::pstIndex(to)] - table[S::pstIndex(from)], from, to, Quiet);
    }
    return list;
}

// The opponent castled on the previous ply and its path has proved safe: its
// king now stands on its real square, and its castling is over.
template <int Side>
inline void completeOpponentCastling(Position& p) {
    using S = SideOf<Side>;
    if (!(p.castleFlags & S::ThemTransient)) return;
    if constexpr (S::Them == White) p.kingSquare[White] = (p.castleFlags & WhiteCastledKingSide) ? G1 : C1;
    else p.kingSquare[Black] = (p.castleFlags & BlackCastledKingSide) ? G8 : C8;
    p.castleFlags &= static_cast<std::uint16_t>(~S::ThemBits);
}

template <int BySide>
bool attackedBy(const Position& p, int s);

// A shuffled game's castlings, whole: the right, every square the king and
// rook cross or reach empty but their own, and no square of the king's path
// attacked with both lifted (the opponent's next generator cannot test a path
// that the game decides).
template <int Side>
ScoredMove* shuffledCastlings(const Position& p, ScoredMove* list) {
    constexpr int kinds[2] = {Side == White ? CastleWhiteKingSide : CastleBlackKingSide,
                              Side == White ? CastleWhiteQueenSide : CastleBlackQueenSide};
    constexpr std::uint16_t rights[2] = {Side == White ? WhiteKingSideRight : BlackKingSideRight,
                                         Side == White ? WhiteQueenSideRight : BlackQueenSideRight};
    constexpr int destinations[2] = {Side == White ? G1 : G8, Side == White ? C1 : C8};
    constexpr int scores[2] = {-27980, -27990};
    const CastlingRules& rules = p.castling;
    const int king = p.kingSquare[Side];
    for (int i = 0; i < 2; ++i) {
        const int index = kinds[i] - CastleBlackKingSide;
        if (!castlingRightUsable(p.castleFlags, rights[i]) || (p.occupied & rules.mustBeEmpty[index])) continue;
        Position lifted = p;
        for (int s : {king, static_cast<int>(rules.rookSquare[index])}) {
            lifted.occupied ^= bitOf(s);
            lifted.occupiedFiles ^= fileRotBit[s];
            lifted.occupiedDiagA1H8 ^= diagA1H8Bit[s];
            lifted.occupiedDiagA8H1 ^= diagA8H1Bit[s];
        }
        bool safe = true;
        for (Bitboard path = rules.kingPath[index]; path && safe;) safe = !attackedBy<Side ^ 1>(lifted, popLowest(path));
        if (safe) list = emit(list, scores[i], king, destinations[i], kinds[i]);
    }
    return list;
}

// Castling needs only the right and empty squares between king and rook; the
// opponent's next generation tests the king's path for attacks.
template <int Side>
ScoredMove* castlings(const Position& p, ScoredMove* list) {
    if (p.castling.shuffled) [[unlikely]] return shuffledCastlings<Side>(p, list);
    constexpr std::uint16_t kingSide = Side == White ? WhiteKingSideRight : BlackKingSideRight;
    constexpr std::uint16_t queenSide = Side == White ? WhiteQueenSideRight : BlackQueenSideRight;
    constexpr int home = Side == White ? E1 : E8;
    constexpr Bitboard kingSidePath = bitOf(home + 1) | bitOf(home + 2);
    constexpr Bitboard queenSidePath = bitOf(home - 1) | bitOf(home - 2) | bitOf(home - 3);
    constexpr int kingSideKind = Side == White ? CastleWhiteKingSide : CastleBlackKingSide;
    constexpr int queenSideKind = Side == White ? CastleWhiteQueenSide : CastleBlackQueenSide;
    if (castlingRightUsable(p.castleFlags, kingSide) && !(p.occupied & kingSidePath))
        list = emit(list, -27980, home, home + 2, kingSideKind);
    if (castlingRightUsable(p.castleFlags, queenSide) && !(p.occupied & queenSidePath))
        list = emit(list, -27990, home, home - 2, queenSideKind);
    return list;
}

// The pawn captures towards file a, then towards file h, each direction after
// its king-zone test.
template <int Side>
ScoredMove* pawnCapturesBothWays(ScoredMove* list, const Frame<Side>& f) {
    using S = SideOf<Side>;
    Bitboard targets = S::towardA(f.pawns);
    if (targets & f.zone) return nullptr;
    list = pawnCaptures<Side, S::TowardAOrigin>(list, targets, f);
    targets = S::towardH(f.pawns);
    if (targets & f.zone) return nullptr;
    return pawnCaptures<Side, S::TowardHOrigin>(list, targets, f);
}

template <int Side>
ScoredMove* generateAll(Position& p, ScoredMove* list, CheckInfo*) {
    const Frame<Side> f(p);
    if (!(list = pawnCapturesBothWays<Side>(list, f))) return nullptr;
    if (!(list = pieceMoves<Side, KnightUnit, true>(list, f))) return nullptr;
    if (!(list = pieceMoves<Side, QueenUnit, true>(list, f))) return nullptr;
    if (!(list = pieceMoves<Side, RookUnit, true>(list, f))) return nullptr;
    if (!(list = pieceMoves<Side, BishopUnit, true>(list, f))) return nullptr;
    list = pawnPushes<Side>(list, f, ~Bitboard{0}, promotionScore, QuietBase);
    if (!(list = kingMoves<Side, true>(list, f, 0, QuietBase))) return nullptr;
    completeOpponentCastling<Side>(p);
    return castlings<Side>(p, list);
}

template <int Side>
ScoredMove* generateCaptures(Position& p, ScoredMove* list, CheckInfo*) {
    using S = SideOf<Side>;
    const Frame<Side> f(p);
    if (!(list = pawnCapturesBothWays<Side>(list, f))) return nullptr;
    for (Bitboard b = S::push(f.pawns) & f.empty & S::PromotionRank; b;) {
        const int to = popLowest(b);
        list = emitPromotions(list, to + S::PushOrigin, to, PromoteQueen, promotionScore, 0);
    }
    if (!(list = pieceMoves<Side, KnightUnit, false>(list, f))) return nullptr;
    if (!(list = pieceMoves<Side, BishopUnit, false>(list, f))) return nullptr;
    if (!(list = pieceMoves<Side, RookUnit, false>(list, f))) return nullptr;
    if (!(list = pieceMoves<Side, QueenUnit, false>(list, f))) return nullptr;
    if (!(list = kingMoves<Side, false>(list, f, 0, 0))) return nullptr;
    completeOpponentCastling<Side>(p);
    return list;
}

// One pawn capture direction against a single checker: en passant of the pawn
// that has just stepped twice and given check, or the capture of the checker.
template <int Side, int Origin>
ScoredMove* pawnEvasionCaptures(const Frame<Side>& f, ScoredMove* list, Bitboard targets, const CheckInfo& info) {
    using S = SideOf<Side>;
    const int ep = f.p.epSquare;
    if (ep && info.checkerSquare == ep + S::EpVictimOffset && (targets & bitOf(ep)))
        list = emit(list, EnPassantScore, ep + Origin, ep, EnPassant);
    if (targets & info.checkers) {
        const int to = info.checkerSquare;
        if (info.checkers & S::PromotionRank) {
            list = emitPromotions(list, to + Origin, to, CapturePromoteQueen, promotionCaptureScore, victimValue(f.p, to));
        } else {
            list = emit(list, victimValue(f.p, to) - 20100, to + Origin, to, Capture);
        }
    }
    return list;
}

// Evasions of one piece kind: the capture of a single checker, then the
// interpositions. The king-zone test runs for every piece, in double check
// too, so that an illegal previous move is always reported.
template <int Side, Unit U>
ScoredMove* pieceEvasions(ScoredMove* list, const Frame<Side>& f, const CheckInfo& info, bool single) {
    for (Bitboard pieces = f.p.pieceBoards[unitCode(U, Side)]; pieces;) {
        const int from = popLowest(pieces);
        const Bitboard attacks = unitAttacks<U>(f.p, from);
        if (attacks & f.zone) return nullptr;
        if (!single) continue;
        if (attacks & info.checkers)
            list = emit(list, victimValue(f.p, info.checkerSquare) - unitCaptureBase[U], from, info.checkerSquare, Capture);
        for (Bitboard b = attacks & info.lineMask; b;) list = emit(list, unitInterposeScore[U], from, popLowest(b), Quiet);
    }
    return list;
}

template <int Side>
ScoredMove* generateEvasions(Position& p, ScoredMove* list, CheckInfo* info) {
    using S = SideOf<Side>;
    const Frame<Side> f(p);
    CheckInfo& check = *info;
    const int king = p.kingSquare[Side];
    // Narrow the checking line to the empty squares between checker and king.
    if (check.checkerSquare > 63) check.lineMask = 0;
    else if (check.checkKind == DiagonalCheck) check.lineMask &= bishopAttacksFrom(king, p);
    else if (check.checkKind == StraightCheck) check.lineMask &= rookAttacksFrom(king, p);
    else check.lineMask = 0;
    const bool single = check.checkerSquare <= 63;

    Bitboard targets = S::towardA(f.pawns);
    if (targets & f.zone) return nullptr;
    if (single) list = pawnEvasionCaptures<Side, S::TowardAOrigin>(f, list, targets, check);
    targets = S::towardH(f.pawns);
    if (targets & f.zone) return nullptr;
    if (single) list = pawnEvasionCaptures<Side, S::TowardHOrigin>(f, list, targets, check);
    if (!(list = pieceEvasions<Side, KnightUnit>(list, f, check, single))) return nullptr;
    if (!(list = pieceEvasions<Side, BishopUnit>(list, f, check, single))) return nullptr;
    if (!(list = pieceEvasions<Side, RookUnit>(list, f, check, single))) return nullptr;
    if (!(list = pieceEvasions<Side, QueenUnit>(list, f, check, single))) return nullptr;
    list = pawnPushes<Side>(list, f, check.lineMask, evasionPromotionScore, -20100);
    if (!(list = kingMoves<Side, true>(list, f, check.lineMask, -21000))) return nullptr;
    completeOpponentCastling<Side>(p);
    return list;
}

// Whether `bySide` attacks s: pawns, knights, the king, then the sliders.
template <int BySide>
bool attackedBy(const Position& p, int s) {
    const Bitboard target = bitOf(s);
    // The attacking pawns stand where a pawn of the other side on s would capture.
    if (SideOf<BySide ^ 1>::pawnAttacks(target) & p.pieceBoards[SideOf<BySide>::Pawn]) return true;
    if (knightAttacks[s] & p.pieceBoards[unitCode(KnightUnit, BySide)]) return true;
    if (kingAttacks[p.kingSquare[BySide]] & target) return true;
    const Bitboard queens = p.pieceBoards[unitCode(QueenUnit, BySide)];
    if (rookAttacksFrom(s, p) & (p.pieceBoards[unitCode(RookUnit, BySide)] | queens)) return true;
    return bishopAttacksFrom(s, p) & (p.pieceBoards[unitCode(BishopUnit, BySide)] | queens);
}

// Whether Side, to move, attacks the opponent's king zone: the same answer as
// the king-zone tests of Side's generators, from the zone's squares outwards.
template <int Side>
bool zoneAttacked(const Position& p) {
    for (Bitboard zone = squareBit[p.kingSquare[Side ^ 1]]; zone;)
        if (attackedBy<Side>(p, popLowest(zone))) return true;
    return false;
}

}  // namespace

bool kingCapturable(const Position& p) { return p.sideToMove == White ? zoneAttacked<White>(p) : zoneAttacked<Black>(p); }

void completeCastling(Position& p) {
    if (p.sideToMove == White) completeOpponentCastling<White>(p);
    else completeOpponentCastling<Black>(p);
}

const MoveGenerator moveGenerators[6] = {
    generateAll<Black>,      generateAll<White>,
    generateCaptures<Black>, generateCaptures<White>,
    generateEvasions<Black>, generateEvasions<White>,
};

bool squareAttacked(const Position& p, int s, int bySide) {
    return bySide == White ? attackedBy<White>(p, s) : attackedBy<Black>(p, s);
}

bool sideToMoveInCheck(const Position& p) { return squareAttacked(p, p.kingSquare[p.sideToMove], p.sideToMove ^ 1); }
