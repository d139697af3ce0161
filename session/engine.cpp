#include "session/engine.h"

#include <thread>

#include "board/gamelog.h"
#include "board/movetext.h"
#include "search/search.h"

std::atomic<std::int32_t> EngineState{Idle};
Event startSignal(Event::Reset::Automatic);
Event startedSignal(Event::Reset::Automatic);
Event stoppedSignal(Event::Reset::Manual);

namespace {

std::thread engineThread;
Move ponderMove = 0;  // the expected move of a search on the opponent's time

// Parked: the stopped signal is up until the command thread starts the engine.
void park() {
    stoppedSignal.set();
    commandWake.set();
    startSignal.wait();
    stoppedSignal.reset();
}

void think() {
    startedSignal.set();
    rootSearch();
}

// A search on the opponent's time, with the move it expects already made on
// the board.
void ponder() {
    char text[8] = "0000";  // an interface may ponder on a position it set up
    if (ponderMove) moveToText(text, ponderMove);
    logLine("-E: PONDERING MOVE: ", text);
    think();
}

void nothing() { startedSignal.set(); }

// By EngineState: Idle, Thinking, Pondering, Waiting, Quitting.
constexpr void (*handlers[5])() = {nothing, think, ponder, nothing, nothing};

void engineLoop() {
    for (;;) {
        park();
        const std::int32_t state = EngineState;
        if (state == Quitting) break;
        handlers[state]();
    }
    startedSignal.set();
}

}  // namespace

void launchEngineThread() {
    EngineState = Idle;
    engineThread = std::thread(engineLoop);
    stoppedSignal.wait();
}

void endEngineThread() {
    if (!engineThread.joinable()) return;
    stopEngine();
    EngineState = Quitting;
    startSignal.set();
    startedSignal.wait();
    engineThread.join();
}

void startEngine(bool pondering, Move expected) {
    stoppedSignal.wait();
    // The search clears these too, but only once it runs: until then the last
    // search's result would pass for the new one's.
    completedDepth = 0;
    resultHasMove = false;
    stopAfterIteration = false;
    searchPondering = pondering;
    ponderMove = expected;
    EngineState = pondering ? Pondering : Thinking;
    stopSearch = false;
    startSignal.set();
    startedSignal.wait();
}

void stopEngine() {
    stopSearch = true;
    stoppedSignal.wait();
    EngineState = Idle;
}

void stopEngineWithMove() {
    // A move must come of every search. Its first iteration at depth 2 takes
    // next to no time; one that starts deeper on the table's word already
    // holds the table's move.
    while (!resultHasMove && !stoppedSignal.waitFor(1)) {
    }
    stopEngine();
}

void endIterations() { stopAfterIteration = true; }

bool engineParked() { return stoppedSignal.isSet(); }
