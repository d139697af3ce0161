#include "session/session.h"

#include <algorithm>
#include <limits>

#include "board/gamelog.h"
#include "board/movetext.h"
#include "board/position.h"
#include "board/tables.h"
#include "search/search.h"
#include "search/transtable.h"
#include "session/engine.h"
#include "session/game.h"

namespace session {

namespace {

using Clock = std::chrono::steady_clock;

// What the engine thread is doing for the session.
enum class Activity { None, Move, Ponder, Analysis };

SessionReports reports{};
Mode currentMode = Mode::Force;
Activity activity = Activity::None;
TimeControl control;
bool lastMoveFromBook = false;  // the next search gets the stretched allotment
Move ponderMove = 0;
int searchLines = 1;

// The running search for a move.
bool holdMove = false;
bool clockAtPonderHit = false;
bool extraTimeGiven = false;
Clock::time_point moveStart = Clock::now();
std::optional<Clock::time_point> moveDeadline;

std::int64_t usedMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - moveStart).count();
}

std::optional<Clock::time_point> deadlineAfter(std::uint32_t ms) {
    if (ms == std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
    return Clock::now() + std::chrono::milliseconds(ms);
}

// The table's book move for the game position, if it may be played.
Move bookMove() {
    const std::optional<TransEntry> entry = ttFind(gameBoard().position);
    if (!entry || !isBookEntry(*entry) || entry->move() == 0) return 0;
    if (isLegalMove(entry->move())) return entry->move();
    char text[8];
    moveToText(text, entry->move());
    logLine("-M: book move ", text, " is not legal here");
    return 0;
}

// Starts a search of the game: every search obeys the depth cap; a search
// for a move brings its nodes and root moves.
void startSearch(SearchRequest request, SearchPurpose purpose) {
    request.purpose = purpose;
    request.lines = searchLines;
    request.depthCap = control.depthCap;
    request.observer = reports.searchStarting(purpose);
    const Board& game = gameBoard();
    const int plies = gamePlies();
    request.expectedMove = purpose == SearchPurpose::Ponder && plies ? (game.historyTop - 1)->move : 0;
    startEngine(game, request);
}

// The search for a move is over or given up: the next one starts afresh.
void endMoveSearch() {
    activity = Activity::None;
    holdMove = clockAtPonderHit = false;
    moveDeadline.reset();
    ttNewSearch();
    control.clockForMove = false;  // a clock sent from now on is for the next move
}

}  // namespace

void start(const SessionReports& r) {
    reports = r;
    currentMode = Mode::Force;
    activity = Activity::None;
    control = TimeControl{};
    lastMoveFromBook = false;
    ponderMove = 0;
    searchLines = 1;
    holdMove = clockAtPonderHit = false;
    moveDeadline.reset();
    launchEngineThread();
    initTables();
    if (transTable.bucketsPerHalf != DefaultTransBuckets) ttResize(DefaultTransBuckets);
    setupStartQuietly();
}

void end() {
    stopBackgroundSearch();
    endEngineThread();
    activity = Activity::None;
}

Mode mode() { return currentMode; }
void setMode(Mode m) { currentMode = m; }
TimeControl& timeControl() { return control; }
void setLines(int lines) { searchLines = std::clamp(lines, 1, MaxSearchLines); }
int lines() { return searchLines; }

void newGame() {
    stopBackgroundSearch();
    stopEngine();
    setupPosition(StartPositionText, true);
    control.depthCap = MaxSearchDepth;
    newGameClock(control);
}

void thinkForMove(const MoveSearch& options) {
    moveStart = Clock::now();
    if (options.useBook && !options.holdMove) {
        const Move book = bookMove();
        if (book && options.request.allows(book)) {
            lastMoveFromBook = true;
            control.clockForMove = false;
            reports.moveChosen(MoveChoice{book, 0, true});
            return;
        }
    }
    if (lastMoveFromBook) {
        lastMoveFromBook = false;
        if (!control.fixedMoveMs) control.moveTimeMs = stretchedAfterBook(control.moveTimeMs, control.movesPerControl);
    }
    holdMove = options.holdMove;
    clockAtPonderHit = options.ponder;
    extraTimeGiven = false;
    SearchRequest request = options.request;
    const std::uint32_t wait = allotmentWaitMs(control, usedMs());
    request.allotmentMs = clockAtPonderHit || wait == std::numeric_limits<std::uint32_t>::max() ? 0 : wait;
    startSearch(request, options.ponder ? SearchPurpose::Ponder : SearchPurpose::Move);
    activity = Activity::Move;
    moveDeadline = clockAtPonderHit ? std::nullopt : deadlineAfter(wait);
}

bool searchingForMove() { return activity == Activity::Move; }

bool moveDue() { return activity == Activity::Move && !holdMove && engineParked(); }

std::optional<Clock::time_point> deadline() {
    return activity == Activity::Move ? moveDeadline : std::nullopt;
}

void deadlinePassed() {
    if (activity != Activity::Move) return;
    if (!extraTimeGiven) {
        // From here the search starts no further iteration.
        const bool failing = searchPool.main().failLow;
        endIterations();
        extraTimeGiven = true;
        if (const std::uint32_t extra = failLowExtraMs(control, failing, usedMs())) {
            logLine("-M: FL - Extra time");
            moveDeadline = deadlineAfter(extra);
            return;
        }
    }
    moveNow();
}

void moveNow() {
    if (activity != Activity::Move) return;
    endIterations();
    stopEngineWithMove();
    const ScoredMove result = searchPool.main().result();
    endMoveSearch();
    reports.moveChosen(MoveChoice{result.move, result.score, false});
}

void abandonMove() {
    if (activity != Activity::Move) return;
    logLine("-M: search abandoned");
    stopEngine();
    endMoveSearch();
}

void startPondering() {
    const std::optional<TransEntry> entry = ttFindFirst(gameBoard().position);
    const Move reply = entry ? entry->move() : 0;
    if (!reply || !isLegalMove(reply)) return;
    playMove(reply);
    if (bookMove() || !firstLegalMove() || gameDrawn()) {
        takeBack(1);
        return;
    }
    ponderMove = reply;
    startSearch(SearchRequest{}, SearchPurpose::Ponder);
    activity = Activity::Ponder;
}

Move expectedMove() { return activity == Activity::Ponder ? ponderMove : 0; }

void ponderHit() {
    if (activity == Activity::Ponder) {
        ponderMove = 0;
        activity = Activity::Move;
        holdMove = false;
        extraTimeGiven = false;
    } else if (activity != Activity::Move || !clockAtPonderHit) {
        return;
    }
    // The search goes on, now on the engine's own time, counted from here.
    searchSignals.pondering = false;
    holdMove = clockAtPonderHit = false;
    moveStart = Clock::now();
    moveDeadline = deadlineAfter(allotmentWaitMs(control, 0));
}

void stopPondering() {
    if (activity != Activity::Ponder) return;
    stopEngine();
    takeBack(1);
    ponderMove = 0;
    activity = Activity::None;
}

void startAnalysis(const SearchRequest& rootMoves) {
    if (activity != Activity::None || !firstLegalMove()) return;
    startSearch(rootMoves, SearchPurpose::Analysis);
    activity = Activity::Analysis;
}

bool analysisRunning() { return activity == Activity::Analysis; }

void stopAnalysis() {
    if (activity != Activity::Analysis) return;
    stopEngine();
    activity = Activity::None;
}

void stopBackgroundSearch() {
    stopPondering();
    stopAnalysis();
}

bool resizeTable(std::uint64_t mib) {
    stopBackgroundSearch();
    stopEngine();
    const std::size_t buckets = ttBucketsForMiB(mib);
    const bool resized = ttResize(buckets);
    if (resized)
        logLine("-M: table ", ttBytes() >> 20, " MiB, ", buckets, " buckets a side");
    else
        logLine("-M: no memory for a table of ", (2 * buckets * sizeof(TransBucket)) >> 20, " MiB, keeping ",
                ttBytes() >> 20, " MiB");
    if (resized) storeBookAgain();
    return resized;
}

void clearTable() {
    stopBackgroundSearch();
    stopEngine();
    ttClear();
    storeBookAgain();
}

}  // namespace session
