#include "protocol/movecycle.h"

#include <cstdio>

#include "board/gamelog.h"
#include "board/movetext.h"
#include "board/position.h"
#include "protocol/engine.h"
#include "protocol/game.h"
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
void claimAfterMove(int engineSide, int score) {
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
    }
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

}  // namespace

void thinkAndMove() {
    startMoveClock();
    if (const Move book = bookMove()) {
        playMove(book);
        announce(book, "-M: move(book): ");
        lastMoveFromBook = true;
        EngineState = Waiting;
        return;
    }
    if (lastMoveFromBook) {
        lastMoveFromBook = false;
        moveTimeMs = stretchedAfterBook(moveTimeMs, movesPerControl);
    }

    const int engineSide = position.sideToMove;  // the search changes it while it runs
    startEngine(Thinking);
    stoppedSignal.waitFor(cappedWait(moveTimeMs));
    finishSearch();

    const ScoredMove result = rootResultEntry();
    if (const Move move = moveToPlay(result.move)) {
        playMove(move);
        announce(move, "move ");
        if (mateFound) logLine("-M: mate? ", result.score);
        claimAfterMove(engineSide, result.score);
    } else {
        if (mateFound) logLine("-M: mate? ", result.score);
        claimWithoutMove(engineSide);
    }

    ttNewSearch();
    startEngine(Waiting);
}
