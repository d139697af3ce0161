// The position, the game snapshot, the history stack and the ply stack of a
// board, with make and unmake.
#pragma once

#include <cstdint>
#include <vector>

#include "board/types.h"
#include "board/zobrist.h"

// How a game's castlings are written: the king's two squares (e1g1, standard
// chess), the king taking its own rook (e1h1, UCI's Chess960), or xboard's
// letters for Chess960 (O-O, O-O-O).
enum class CastlingText : std::uint8_t { KingTwoSquares, KingTakesRook, Letters };

// Where a game's castling rooks start, by castling kind - 12, and how its
// castlings are written. A Chess960 setup may start the kings and rooks off
// e1/e8 and the corners ("shuffled"): its castlings are tested for attacks as
// they are generated and made whole at once, since the king's path then
// depends on the game. A game set up from standard squares castles as standard
// chess does, in Chess960 too.
struct CastlingRules {
    Square rookSquare[4] = {H8, H1, A8, A1};
    Bitboard kingPath[4] = {};     // the king's squares from its start to g or c, both included
    Bitboard mustBeEmpty[4] = {};  // the squares king and rook cross or reach, but their own
    bool shuffled = false;
    CastlingText text = CastlingText::KingTwoSquares;
};

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
    CastlingRules castling;     // fixed for a game
};

// The position at the current point of the game, which the search never touches.
struct GameSnapshot {
    std::uint8_t board[64];
    Square epSquare;
    std::uint16_t castleFlags;
    Square whiteKingSquare;
    Square blackKingSquare;
    std::int32_t sideToMove;
    CastlingRules castling;
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
        case WhiteKingSideRight: return zobristKeys[0][G1];
        case WhiteQueenSideRight: return zobristKeys[0][C1];
        case BlackKingSideRight: return zobristKeys[0][G8];
        default: return zobristKeys[0][C8];
    }
}

// The check build (and the sanitizer builds) assert the position's invariants
// after every make and unmake; other builds compile the checks away.
#ifdef DROZAK_CHECKS
#define DROZAK_CHECK(condition) ((condition) ? void(0) : checkFailed(#condition, __FILE__, __LINE__))
#else
#define DROZAK_CHECK(condition) void(0)
#endif
[[noreturn]] void checkFailed(const char* condition, const char* file, int line);

// A board of its own: a position with the history stack and the ply stack
// that make and unmake keep, and the game snapshot. The game has one, every
// search thread one, and every tool that walks a tree one. Its stacks point
// into it, so it is never copied whole: takeGameFrom copies what a search
// starts from.
struct Board {
    Position position{};
    GameSnapshot snapshot{};
    // The castling rights of the position the game was set up from: the hash
    // key carries the key of every one of them lost since.
    std::uint16_t setupCastleFlags = 0;
    HistoryEntry* historyTop = history;
    PlyRecord* currentPly = plyStack;
    HistoryEntry history[HistorySize]{};
    PlyRecord plyStack[PlyStackSize]{};
    // Undo room for a look one move ahead that the search's records must not
    // lend (the draw test's).
    PlyRecord lookAheadPly{};

    Board() = default;
    Board(const Board&) = delete;
    Board& operator=(const Board&) = delete;

    // The game of `other` on this board: its position, snapshot, setup rights
    // and history; the ply stack back at its root, its killer moves kept.
    void takeGameFrom(const Board& other);
};

// Fills the saved fields of a ply's undo block from the position.
void saveUndo(const Position& p, PlyRecord& record);
inline void saveUndo(Board& b) { saveUndo(b.position, *b.currentPly); }

// Makes and takes back a move on the current ply record's undo block.
void makeMove(Board& b, Move m);
void unmakeMove(Board& b, Move m);

// Plays a move of the actual game: the castling is completed at once and the
// snapshot refreshed. Returns false for the null move.
bool playGameMove(Board& b, Move m);

// The history entries kept when the stack is compacted: the draw test looks
// back at most this far (101 reversible plies make a fifty-move draw).
constexpr int KeptHistory = 102;
// Compaction starts when fewer entries than this are left for a search line.
constexpr int SearchRoom = 160;

// Moves the newest KeptHistory entries to the bottom of the history stack once
// fewer than SearchRoom entries are left above the top; every draw answer
// stays the same.
void compactHistory(Board& b);

// A game move with room kept above it on the history stack for the searches
// of the positions that follow.
void playLineMove(Board& b, Move m);

// A board's game as it stands, to come back to after a line is played on it.
struct SavedGame {
    Position position;
    GameSnapshot snapshot;
    std::vector<HistoryEntry> history;
    std::uint16_t setupFlags;
};
SavedGame saveGame(const Board& b);
void restoreGame(Board& b, const SavedGame& saved);

// Neither side can mate: two bare kings, or a lone knight or bishop.
inline bool insufficientMaterial(const Position& p) {
    return p.materialCount < 4 && !(p.pieceBoards[WhitePawn] | p.pieceBoards[BlackPawn]);
}

// Whether every derived part of the position agrees with the board array and
// the king squares (piece, colour and rotated boards, material) and the hash
// key with one computed from scratch.
bool positionIsConsistent(const Board& b);

// The key of a position computed from scratch: pieces, kings, the en passant
// square, and the key of every right that `setupFlags` held and the position
// has lost since.
std::uint64_t computeHashKey(const Position& p, std::uint16_t setupFlags);

// The key the standard start position has.
std::uint64_t startPositionKey();
