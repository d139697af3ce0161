#include "protocol/engine.h"

#include <chrono>
#include <thread>

#include "board/gamelog.h"
#include "board/movetext.h"
#include "search/search.h"

std::atomic<std::int32_t> EngineState{Waiting};
Event startSignal(Event::Reset::Automatic);
Event startedSignal(Event::Reset::Automatic);
Event stoppedSignal(Event::Reset::Manual);
// Never destroyed, as the input's reader thread sets it and may outlive the loop.
Event& commandWake = *new Event(Event::Reset::Automatic);
Move ponderMove = 0;

void Event::set() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        set_ = true;
    }
    if (manual_) changed_.notify_all();
    else changed_.notify_one();
}

void Event::reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    set_ = false;
}

void Event::wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return set_; });
    if (!manual_) set_ = false;
}

bool Event::waitFor(std::uint32_t ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return set_; })) return false;
    if (!manual_) set_ = false;
    return true;
}

bool Event::isSet() {
    std::lock_guard<std::mutex> lock(mutex_);
    return set_;
}

namespace {

std::thread engineThread;

// Parked: the stopped signal is up until the command thread starts the engine.
void park() {
    stoppedSignal.set();
    commandWake.set();
    startSignal.wait();
    stoppedSignal.reset();
}

// One search. It parks at its end, inside the handler, so that the command
// thread can read the result before it sends the engine back to its loop.
void think() {
    startedSignal.set();
    rootSearch();
    park();
    startedSignal.set();
}

// A search on the opponent's time, with the move it expects already made on
// the board.
void ponder() {
    char text[8];
    moveToText(text, ponderMove);
    logLine("-E: PONDERING MOVE: ", text);
    think();
}

void nothing() {}

// By EngineState: Idle, Thinking, Pondering, Waiting, Quitting.
constexpr void (*handlers[5])() = {park, think, ponder, park, nothing};

void engineLoop() {
    std::int32_t state = EngineState;
    for (;;) {
        handlers[state]();
        state = EngineState;
        if (state == Quitting) break;
    }
    startedSignal.set();
}

}  // namespace

void launchEngineThread() { engineThread = std::thread(engineLoop); }

void joinEngineThread() {
    if (engineThread.joinable()) engineThread.join();
}

namespace {
// Whether the engine thread runs (or has just ended) a search: then its park
// is the one inside the search handler, which only a start leaves.
bool inSearchHandler = false;
}  // namespace

void stopEngine() {
    EngineState = Idle;
    stopSearch = true;
    stoppedSignal.wait();
    if (inSearchHandler) {
        startEngine(Idle);  // from the search handler's park to the loop's
        stoppedSignal.wait();
    }
}

void startEngine(std::int32_t state) {
    // The state changes only while the engine is parked. After a search's
    // acknowledgement the thread is still on its way to the loop's park: a
    // state set then would be read there at once, and the start signal would
    // be left over for the next park.
    stoppedSignal.wait();
    // The search clears these too, but only once it runs: until then the last
    // search's result would pass for the new one's.
    if (state == Thinking || state == Pondering) {
        completedDepth = 0;
        resultHasMove = false;
        stopAfterIteration = false;
        searchPondering = state == Pondering;
    }
    EngineState = state;
    stopSearch = false;
    inSearchHandler = state == Thinking || state == Pondering;
    startSignal.set();
    startedSignal.wait();
}
