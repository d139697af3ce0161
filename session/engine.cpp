#include "session/engine.h"

#include <thread>

#include "board/gamelog.h"
#include "board/movetext.h"

std::atomic<std::int32_t> EngineState{Idle};
Event startSignal(Event::Reset::Automatic);
Event startedSignal(Event::Reset::Automatic);
Event stoppedSignal(Event::Reset::Manual);

namespace {

std::thread engineThread;
// The search the engine thread runs next: written while it is parked.
SearchRequest request;

// Parked: the stopped signal is up until the command thread starts the engine.
void park() {
    stoppedSignal.set();
    commandWake.set();
    startSignal.wait();
    stoppedSignal.reset();
}

void think() {
    startedSignal.set();
    searchPool.run(request);
}

// A search on the opponent's time, with the move it expects already made on
// the board.
void ponder() {
    char text[8] = "0000";  // an interface may ponder on a position it set up
    if (request.expectedMove) moveToText(text, request.expectedMove);
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

void startEngine(const Board& game, const SearchRequest& next) {
    stoppedSignal.wait();
    // The search clears its result too, but only once it runs: until then the
    // last search's result would pass for the new one's.
    searchPool.prepare(game);
    request = next;
    const bool pondering = next.purpose == SearchPurpose::Ponder;
    searchSignals.stopAfterIteration = false;
    searchSignals.pondering = pondering;
    EngineState = pondering ? Pondering : Thinking;
    searchSignals.stop = false;
    startSignal.set();
    startedSignal.wait();
}

void stopEngine() {
    searchSignals.stop = true;
    stoppedSignal.wait();
    EngineState = Idle;
}

void stopEngineWithMove() {
    // A move must come of every search. Its first iteration at depth 2 takes
    // next to no time; one that starts deeper on the table's word already
    // holds the table's move.
    while (!searchPool.main().resultHasMove && !stoppedSignal.waitFor(1)) {
    }
    stopEngine();
}

void endIterations() { searchSignals.stopAfterIteration = true; }

bool engineParked() { return stoppedSignal.isSet(); }
