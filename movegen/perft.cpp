#include "movegen/perft.h"

#include "board/fen.h"

ScoredMove* generateNodeMoves(PlyRecord& ply, Move lastMove) {
    CheckInfo& check = ply.checkInfo;
    if (lastMove) analyseCheck(check, lastMove);
    else analyseCheckFromScratch(check);
    return check.checkKind ? generateMoves(Evasions, ply.moves, &check) : generateMoves(AllMoves, ply.moves);
}

bool setupPerftRoot(const char* fen) {
    FenSetup setup;
    if (!readFen(fen, setup)) return false;
    installPosition(setup);
    return true;
}
