// The global position, the game snapshot, the history stack and the ply stack,
// with make and unmake.
#pragma once

#include <cstdint>

#include "board/types.h"
#include "board/zobrist.h"

struct Position {
    Bitboard occupied;
    Bitboard occupiedFiles;     // rotated: each file one byte
    Bitboard occupiedDiagA1H8;  // rotated: diagonals of constant row + file
    Bitboard occupiedDiagA8H1;  // rotated: diagonals of constant file - row
    Bitboard pieceBoards[11];   // by piece code 1-10
    Bitboard colourBoards[2];   // by side, kings included
    std::uint64_t hashKey;
    std::uint8_t board[64];     // piece codes; 0 on empty squares and king squares
    Square kingSquare[2];       // by side; 64-67 for one ply after castling in a search
    std::uint16_t castleFlags;
    Square epSquare;            // 0 for none
    std::uint8_t materialCount;
    std::int32_t sideToMove;
};

// The position at the current point of the game, which the search never touches.
struct GameSnapshot {
    std::uint8_t board[64];
    Square epSquare;
    std::uint16_t castleFlags;
    Square whiteKingSquare;
    Square blackKingSquare;
    std::int32_t sideToMove;
};

struct HistoryEntry {
    std::uint64_t hashKey;
    Move move;                      // the move played from this position
    std::uint16_t reversibleCount;  // plies since the last irreversible move
};

constexpr int HistorySize = 1024;

// A move list's room. A position set up from text holds at most sixteen men a
// side (setup rejects more), and fifteen queens and a king cannot reach 448
// pseudo-legal moves, so no generator can run past the end of a list.
constexpr int MoveListSize = 448;

constexpr int PlyStackSize = 136;

// One ply of the search line. The first fields are the undo block that make
// and unmake share; the rest belongs to the search.
struct PlyRecord {
    Bitboard savedOccupied;
    Bitboard savedOwnPieces;
    Bitboard savedMoverBoard;
    Bitboard savedFiles;
    Bitboard savedDiagA1H8;
    Bitboard savedDiagA8H1;
    std::uint64_t savedHash;
    std::uint16_t savedCastleFlags;
    Square savedEpSquare;
    std::uint8_t capturedPiece;
    std::int8_t materialDelta;

    Move killer1;
    Move killer2;
    bool needsMoves;
    CheckInfo checkInfo;
    ScoredMove* current;
    ScoredMove* best;
    ScoredMove* listEnd;
    ScoredMove moves[MoveListSize];
    ScoredMove noMove;
};

// The key that enters the hash key when a castling right is lost.
constexpr std::uint64_t castlingRightKey(std::uint16_t right) {
    switch (right) {
        case CastleK: return zobristKeys[0][G1];
        case CastleQ: return zobristKeys[0][C1];
        case Castlek: return zobristKeys[0][G8];
        default: return zobristKeys[0][C8];
    }
}

extern Position position;
extern GameSnapshot gameSnapshot;
extern HistoryEntry history[HistorySize];
extern HistoryEntry* historyTop;
extern PlyRecord plyStack[PlyStackSize];
extern PlyRecord* currentPly;

extern const std::uint8_t pieceWeights[11];  // materialCount weights by code
extern const std::int16_t pieceValues[13];   // centipawn values by code

// Fills the saved fields of a ply's undo block from the position.
void saveUndo(PlyRecord& record);

void makeMove(Move m);
void unmakeMove(Move m);

// Plays a move of the actual game, refreshes the snapshot and logs the key.
// Returns false for the null move.
bool playGameMove(Move m);

// The key of the current position computed from scratch: pieces, kings, the en
// passant square, and the key of every right that `setupCastleFlags` held and
// the position has lost since.
std::uint64_t computeHashKey(std::uint16_t setupCastleFlags);

// The key the standard start position has.
std::uint64_t startPositionKey();
