#include "session/game.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "board/fen.h"
#include "board/gamelog.h"
#include "board/movetext.h"
#include "board/position.h"
#include "book/book.h"
#include "book/bookfile.h"
#include "movegen/movegen.h"
#include "search/draw.h"
#include "search/search.h"
#include "search/transtable.h"

// The game's own board: no search ever touches it (each search thread has
// a copy of it). Never destroyed, like the input it follows.
Board& gameBoard() {
    static Board* const board = new Board;
    return *board;
}

namespace {

// The generated moves of the side to move, or an empty list for an illegal
// position.
struct MoveList {
    ScoredMove moves[MoveListSize];
    ScoredMove* end = moves;

    MoveList() {
        ScoredMove* last = generateMoves(AllMoves, gameBoard().position, moves);
        end = last ? last : moves;
    }
};

// Makes `move` on the undo block of the current ply record, asks the
// opponent's generator whether the king was left en prise, and takes it back.
bool keepsKingSafe(Move move) {
    Board& b = gameBoard();
    saveUndo(b);
    makeMove(b, move);
    ScoredMove replies[MoveListSize];
    const bool safe = generateMoves(AllMoves, b.position, replies) != nullptr;
    unmakeMove(b, move);
    return safe;
}

// Where the game started and every ply since: enough to rebuild any earlier
// point of it, however far the history stack has been compacted.
struct GameRecord {
    bool started = false;
    FenSetup start{};
    std::uint16_t setupFlags = 0;  // the rights whose loss the keys carry
    std::vector<Move> moves;
};
GameRecord record;

// A game move without its log line: the move itself, then room on the history.
void makeGameMove(Move move) { playLineMove(gameBoard(), move); }

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

std::vector<Move> legalGameMoves() {
    MoveList list;
    std::vector<Move> legal;
    for (const ScoredMove* m = list.moves; m < list.end; ++m)
        if (keepsKingSafe(m->move)) legal.push_back(m->move);
    return legal;
}

Move playableMove(Move searched) {
    if (searched && isLegalMove(searched)) return searched;
    if (searched) {
        char text[8];
        moveToText(text, searched);
        logLine("-M: search move ", text, " is not legal here");
    }
    const Move fallback = firstLegalMove();
    if (fallback) logLine("-M: no move from the search, playing the first legal move");
    return fallback;
}

bool gameInCheck() { return sideToMoveInCheck(gameBoard().position); }

void playMove(Move move) {
    makeGameMove(move);
    record.moves.push_back(move);
    const std::uint64_t key = gameBoard().position.hashKey;
    char text[24];
    std::snprintf(text, sizeof text, "%x %x", static_cast<unsigned>(key >> 32), static_cast<unsigned>(key & 0xFFFFFFFFu));
    logLine(text);
}

void startGameRecord() {
    const Board& b = gameBoard();
    record.started = true;
    record.start = FenSetup{b.position, b.historyTop->reversibleCount, 1};
    record.setupFlags = b.setupCastleFlags;
    record.moves.clear();
}

int gamePlies() { return static_cast<int>(record.moves.size()); }

bool gameStarted() { return record.started; }

void forgetGame() { record.started = false; }

void replayGame(void (*atStart)()) {
    installPosition(gameBoard(), record.start);
    gameBoard().setupCastleFlags = record.setupFlags;
    if (atStart) atStart();
    for (Move move : record.moves) makeGameMove(move);
}

Move expectedReply(Move move) {
    makeGameMove(move);
    const std::optional<TransEntry> entry = ttFindFirst(gameBoard().position);
    const Move reply = entry && isLegalMove(entry->move()) ? entry->move() : 0;
    replayGame(nullptr);
    return reply;
}

bool takeBack(int plies) {
    if (plies < 0 || plies > gamePlies()) return false;
    record.moves.resize(record.moves.size() - static_cast<std::size_t>(plies));
    replayGame(nullptr);
    return true;
}

void setSideToMove(int side) {
    Board& b = gameBoard();
    Position& p = b.position;
    if (p.sideToMove == side) return;
    p.sideToMove = side;
    b.snapshot.sideToMove = side;
    // An en-passant target belongs to the side that was to move.
    if (p.epSquare) {
        p.hashKey ^= zobristKeys[0][p.epSquare];
        p.epSquare = 0;
        b.snapshot.epSquare = 0;
    }
    std::fill(b.history, b.historyTop + 1, HistoryEntry{});
    b.historyTop = b.history;
    *b.historyTop = HistoryEntry{p.hashKey, 0, 0};
    startGameRecord();
}

int gameSideToMove() { return gameBoard().snapshot.sideToMove; }

Move gameMoveOfText(std::string_view text) { return textToMove(gameBoard().snapshot, text); }

bool gameDrawn() { return isDraw(gameBoard(), 2); }

namespace {

// A book that cannot be loaded: told once a run, and not by the quiet
// start-up setup, which leaves it pending.
void (*bookErrorReport)() = nullptr;
bool bookErrorTold = false;
bool bookErrorPending = false;
bool quietSetup = false;
bool bookInTable = false;  // the last load of the book succeeded

void tellBookError() {
    if (bookErrorTold || !bookErrorReport) return;
    bookErrorReport();
    bookErrorTold = true;
}

// The book serves the start position alone: any other is set up without it,
// which is no error.
void loadTheBook() {
    if (!isBookStart(gameBoard().position)) {
        logLine("-M: not the start position, no book");
        return;
    }
    bookInTable = loadBook(gameBoard(), findBookFile().c_str());
    if (bookInTable) return;
    logLine("-\ttellusererror BOOK ERROR!\n");
    if (quietSetup) bookErrorPending = true;
    else tellBookError();
}

}  // namespace

void setBookErrorReport(void (*report)()) { bookErrorReport = report; }

void tellPendingBookError() {
    if (bookErrorPending) tellBookError();
    bookErrorPending = false;
}

void storeBookAgain() {
    if (gameStarted()) replayGame(loadTheBook);
}

void storeBookIfWorn() {
    if (!bookInTable || !gameStarted() || gamePlies() >= MaxBookLineMoves) return;
    const std::optional<TransEntry> entry = ttFind(gameBoard().position);
    if (entry && isBookEntry(*entry)) return;
    if (!isBookStart(record.start.position)) return;
    storeBookAgain();
}

void setupStartQuietly() {
    quietSetup = true;
    setupPosition(StartPositionText, true);
    quietSetup = false;
}

namespace {

struct Rules {
    bool chess960 = false;
    CastlingText text = CastlingText::KingTwoSquares;
} rules;

// The position a FEN text describes, read into a scratch position first, so
// that a bad text cannot leave a half-built board behind; then installed as
// the game's start.
bool installText(std::string_view text, std::string* reason) {
    FenSetup fresh;
    std::string why;
    if (!readFen(text, fresh, why, rules.chess960)) {
        logLine("-M: refused position: ", why);
        if (reason) *reason = why;
        return false;
    }
    if (rules.chess960) fresh.position.castling.text = rules.text;
    installPosition(gameBoard(), fresh);
    startGameRecord();
    return true;
}

}  // namespace

void setChess960(bool on, CastlingText text) { rules = Rules{on, on ? text : CastlingText::KingTwoSquares}; }

bool setupPosition(std::string_view text, bool withBook, std::string* reason) {
    if (!installText(text, reason)) return false;
    searchPool.newGame();
    if (withBook) loadTheBook();
    return true;
}

bool setGamePosition(std::string_view text, std::string* reason) { return installText(text, reason); }
