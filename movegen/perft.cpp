#include "movegen/perft.h"

ScoredMove* generateNodeMoves(Position& p, PlyRecord& ply, Move lastMove) {
    CheckInfo& check = ply.checkInfo;
    if (lastMove) analyseCheck(p, check, lastMove);
    else analyseCheckFromScratch(p, check);
    return check.checkKind ? generateMoves(Evasions, p, ply.moves, &check) : generateMoves(AllMoves, p, ply.moves);
}
