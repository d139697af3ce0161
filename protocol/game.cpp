#include "protocol/game.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "board/fen.h"
#include "board/gamelog.h"
#include "board/position.h"
#include "movegen/movegen.h"
#include "search/search.h"

namespace {

// The generated moves of the side to move, or an empty list for an illegal
// position. Local lists: the command thread runs this while the engine thread
// is parked, and the search's own lists stay untouched.
struct MoveList {
    ScoredMove moves[MoveListSize];
    ScoredMove* end = moves;

    MoveList() {
        ScoredMove* last = generateMoves(AllMoves, moves);
        end = last ? last : moves;
    }
};

// Makes `move` on the undo block of the current ply record, asks the
// opponent's generator whether the king was left en prise, and takes it back.
bool keepsKingSafe(Move move) {
    saveUndo(*currentPly);
    makeMove(move);
    ScoredMove replies[MoveListSize];
    const bool safe = generateMoves(AllMoves, replies) != nullptr;
    unmakeMove(move);
    return safe;
}

// Where the game started and every ply since: enough to rebuild any earlier
// point of it, however far the history stack has been compacted.
struct GameRecord {
    bool started = false;
    Position start{};
    std::uint16_t setupFlags = 0;  // the rights whose loss the keys carry
    std::vector<Move> moves;
};
GameRecord record;

// A game move without its log line: the move itself, then room on the history.
void makeGameMove(Move move) {
    playGameMove(move);
    compactHistory();
}

}  // namespace

bool isLegalMove(Move move) {
    if (move == 0) return false;
    MoveList list;
    const bool generated = std::any_of(list.moves, list.end, [move](const ScoredMove& m) { return m.move == move; });
    return generated && keepsKingSafe(move);
}

Move firstLegalMove() {
    MoveList list;
    for (const ScoredMove* m = list.moves; m < list.end; ++m)
        if (keepsKingSafe(m->move)) return m->move;
    return 0;
}

bool sideToMoveInCheck() {
    return squareAttacked(position.kingSquare[position.sideToMove], position.sideToMove ^ 1);
}

void compactHistory() {
    if (historyTop - history < HistorySize - SearchRoom) return;
    HistoryEntry* const first = historyTop - (KeptHistory - 1);
    std::copy(first, historyTop + 1, history);
    std::fill(history + KeptHistory, historyTop + 1, HistoryEntry{});
    historyTop = history + (KeptHistory - 1);
}

void playMove(Move move) {
    DROZAK_CHECK(!searchRunning);
    makeGameMove(move);
    record.moves.push_back(move);
    char key[24];
    std::snprintf(key, sizeof key, "%x %x", static_cast<unsigned>(position.hashKey >> 32),
                  static_cast<unsigned>(position.hashKey & 0xFFFFFFFFu));
    logLine(key);
}

void startGameRecord() {
    record.started = true;
    record.start = position;
    record.setupFlags = setupCastleFlags;
    record.moves.clear();
}

int gamePlies() { return static_cast<int>(record.moves.size()); }

bool gameStarted() { return record.started; }

void replayGame(void (*atStart)()) {
    DROZAK_CHECK(!searchRunning);
    installPosition(record.start);
    setupCastleFlags = record.setupFlags;
    if (atStart) atStart();
    for (Move move : record.moves) makeGameMove(move);
}

bool takeBack(int plies) {
    if (plies < 0 || plies > gamePlies()) return false;
    record.moves.resize(record.moves.size() - static_cast<std::size_t>(plies));
    replayGame(nullptr);
    return true;
}

void setSideToMove(int side) {
    if (position.sideToMove == side) return;
    position.sideToMove = side;
    gameSnapshot.sideToMove = side;
    // An en-passant target belongs to the side that was to move.
    if (position.epSquare) {
        position.hashKey ^= zobristKeys[0][position.epSquare];
        position.epSquare = 0;
        gameSnapshot.epSquare = 0;
    }
    std::fill(history, historyTop + 1, HistoryEntry{});
    historyTop = history;
    *historyTop = HistoryEntry{position.hashKey, 0, 0};
    startGameRecord();
}
