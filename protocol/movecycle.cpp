#include "protocol/movecycle.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "board/gamelog.h"
#include "board/movetext.h"
#include "board/position.h"
#include "protocol/commands.h"
#include "protocol/engine.h"
#include "protocol/game.h"
#include "protocol/input.h"
#include "protocol/thinking.h"
#include "protocol/timecontrol.h"
#include "search/draw.h"
#include "search/search.h"
#include "search/transtable.h"

bool lastMoveFromBook = false;

namespace {

constexpr const char* DrawLine = "1/2-1/2 {Draw: repetition or statemate}";

// The table's book move for the game position, if it may be played.
Move bookMove() {
    const TransEntry* entry = ttFind();
    if (!entry || !isBookEntry(*entry) || entry->move() == 0) return 0;
    if (isLegalMove(entry->move())) return entry->move();
    char text[8];
    moveToText(text, entry->move());
    logLine("-M: book move ", text, " is not legal here");
    return 0;
}

void announce(Move move, const char* logPrefix) {
    char text[8];
    moveToText(text, move);
    std::printf("move %s\n", text);
    logLine(logPrefix, text);
}

// The line after the engine's move: a mate or a draw only when the board
// shows it.
// Returns whether it claimed: the game is then over.
bool claimAfterMove(int engineSide, int score) {
    if (!firstLegalMove()) {
        if (sideToMoveInCheck()) {
            const char* text = engineSide == White ? "1-0 {Drozak mates 1}" : "0-1 {Drozak mates 1}";
            std::printf("%s\n", text);
            logLine("-M: ", text, score);
        } else {
            std::printf("%s\n", DrawLine);
            logLine("-M: 1/2-1/2 {Draw: stalemate} (case 4)");
        }
    } else if (isDraw(2)) {
        std::printf("%s\n", DrawLine);
        logLine("-M: 1/2-1/2 {Draw: repetition} (case 4)");
    } else {
        return false;
    }
    return true;
}

// No move to play: the engine is mated or stalemated, or the game position is
// drawn already.
void claimWithoutMove(int engineSide) {
    if (!firstLegalMove() && sideToMoveInCheck()) {
        const char* text = engineSide == White ? "0-1 {Black mates 0}\n" : "1-0 {White mates 0}\n";
        std::printf("%s", text);
        logLine("-M: ", text);
    } else {
        std::printf("%s\n", DrawLine);
        logLine("-M: 1/2-1/2 {Draw: repetition or statemate} (case 1)");
    }
}

// The move to play from the search's result: none when the game position is
// drawn already (the draw is claimed instead), the search's own move when it
// is legal, otherwise any legal move rather than none (a silent engine loses
// on time); 0 as well when there is no legal move.
Move moveToPlay(Move searched) {
    if (isDraw(2)) return 0;
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

using Clock = std::chrono::steady_clock;

enum class Watch { TimeUp, MoveNow, Abandon };

// Waits until the search ends by itself, the deadline passes, or a line
// arrives that ends the wait: `?` (taken from the queue), or a line that makes
// the engine give up its move (left for the loop). Every other line waits in
// the queue, in order. The end of the input acts as `?`: a script that pipes
// its commands still gets the move, and the loop then ends as on quit.
Watch watchSearch(Clock::time_point deadline) {
    InputQueue& input = commandInput();
    for (std::size_t next = 0;;) {
        while (const std::optional<InputLine> line = input.peek(next)) {
            const DuringSearch effect = line->tooLong ? DuringSearch::Hold : duringSearch(line->text);
            if (effect == DuringSearch::MoveNow) {
                logLine("::cmd:: ", line->text);
                input.erase(next);
                return Watch::MoveNow;
            }
            if (effect == DuringSearch::Abandon) return Watch::Abandon;
            ++next;
        }
        if (input.ended()) return Watch::MoveNow;
        if (stoppedSignal.isSet()) return Watch::TimeUp;
        const auto now = Clock::now();
        if (now >= deadline) return Watch::TimeUp;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
        commandWake.waitFor(static_cast<std::uint32_t>(left));
    }
}

Clock::time_point after(std::uint32_t ms) { return Clock::now() + std::chrono::milliseconds(ms); }

// After the engine's move: the reply the principal variation expects, made on
// the board, and a search of the position after it on the opponent's time. Not
// when the reply is not legal, nor when the book or the end of the game would
// answer it anyway.
void startPondering() {
    const TransEntry* entry = ttFindFirst();
    const Move reply = entry ? entry->move() : 0;
    if (!reply || !isLegalMove(reply)) return;
    playMove(reply);
    if (bookMove() || !firstLegalMove() || isDraw(2)) {
        takeBack(1);
        return;
    }
    ponderMove = reply;
    startThinking(ThinkingMode::Move);
    startEngine(Pondering);
}

// The running search for the engine's move, from its allotment to the move
// played and announced (or given up when the interface moved on).
void finishMoveSearch(int engineSide) {
    Watch watch = watchSearch(after(searchAllotmentMs()));
    if (watch == Watch::TimeUp) {
        if (const std::uint32_t extra = endAllotment()) watch = watchSearch(after(extra));
    }
    if (watch == Watch::Abandon) {
        // The interface has moved on: the move is given up, and the line that
        // said so acts once the engine is parked again.
        logLine("-M: search abandoned");
        stopSearch = true;
        stoppedSignal.wait();
        ttNewSearch();
        endMoveClock();
        startEngine(Waiting);
        return;
    }
    stopAfterIteration = true;
    EngineState = Idle;
    stopSearchWithMove();
    finishThinking();

    const ScoredMove result = rootResultEntry();
    bool gameGoesOn = false;
    if (const Move move = moveToPlay(result.move)) {
        playMove(move);
        announce(move, "move ");
        if (mateFound) logLine("-M: mate? ", result.score);
        gameGoesOn = !claimAfterMove(engineSide, result.score);
    } else {
        if (mateFound) logLine("-M: mate? ", result.score);
        claimWithoutMove(engineSide);
    }

    ttNewSearch();
    endMoveClock();
    startEngine(Waiting);
    if (gameGoesOn && ponderEnabled) startPondering();
}

}  // namespace

bool ponderEnabled = false;

void thinkAndMove() {
    startMoveClock();
    if (const Move book = bookMove()) {
        playMove(book);
        announce(book, "-M: move(book): ");
        lastMoveFromBook = true;
        EngineState = Waiting;
        endMoveClock();
        return;
    }
    if (lastMoveFromBook) {
        lastMoveFromBook = false;
        if (!fixedMoveMs) moveTimeMs = stretchedAfterBook(moveTimeMs, movesPerControl);
    }
    const int engineSide = gameSnapshot.sideToMove;
    startThinking(ThinkingMode::Move);
    startEngine(Thinking);
    finishMoveSearch(engineSide);
}

bool pondering() { return ponderMove != 0; }

bool isPonderMove(const char* text) {
    char ponderText[8];
    moveToText(ponderText, ponderMove);
    return ponderMove && std::strcmp(text, ponderText) == 0;
}

void ponderHit() {
    logLine("-GOOD PONDER");
    ponderMove = 0;
    // The search goes on, now on the engine's own time, counted from here.
    searchPondering = false;
    EngineState = Thinking;
    startMoveClock();
    finishMoveSearch(gameSnapshot.sideToMove);
}

void stopPondering() {
    if (!ponderMove) return;
    stopEngine();
    takeBack(1);
    ponderMove = 0;
    EngineState = Waiting;
}
