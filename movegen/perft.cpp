#include "movegen/perft.h"

#include "board/fen.h"

ScoredMove* generateNodeMoves(PlyRecord& ply, Move lastMove) {
    CheckInfo& check = ply.checkInfo;
    if (lastMove) analyseCheck(check, lastMove);
    else analyseCheckFromScratch(check);
    return check.checkKind ? generateMoves(Evasions, ply.moves, &check) : generateMoves(AllMoves, ply.moves);
}

bool setupPerftRoot(const char* fen) {
    Position p;
    Square ep = 0;
    if (!readFen(fen, p, &ep)) return false;
    installPosition(p);
    if (ep) {
        position.epSquare = ep;
        position.hashKey ^= zobristKeys[0][ep];
        historyTop->hashKey = position.hashKey;
        gameSnapshot.epSquare = ep;
    }
    return true;
}
