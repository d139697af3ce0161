// The engine thread, which runs the searches, and the three events through
// which the command thread hands it work and takes it back.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "board/types.h"

// What the engine thread does: its handler is chosen by this state. The
// command thread sets it; the engine thread only reads it.
enum EngineStateValue : std::int32_t { Idle = 0, Thinking = 1, Pondering = 2, Waiting = 3, Quitting = 4 };
extern std::atomic<std::int32_t> EngineState;

// A signal one thread sets and another waits for. An automatic-reset event
// lets exactly one wait through per set and clears itself; a manual-reset one
// stays set, letting every wait through, until it is reset.
class Event {
public:
    enum class Reset { Automatic, Manual };

    explicit Event(Reset reset) : manual_(reset == Reset::Manual) {}
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void set();
    void reset();
    void wait();
    // Returns whether the event came within `ms` milliseconds.
    bool waitFor(std::uint32_t ms);
    bool isSet();

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool set_ = false;
    const bool manual_;
};

extern Event startSignal;    // command thread -> engine: leave the park
extern Event startedSignal;  // engine -> command thread: the new state is taken up
extern Event stoppedSignal;  // engine -> command thread: parked (manual reset)
// Wakes the command thread while it watches a search: set when the engine
// parks and when a line of input arrives (automatic reset).
extern Event& commandWake;

// The opponent's move the engine expects and ponders on, made on the game
// board; 0 while it does not ponder.
extern Move ponderMove;

// Creates the engine thread; it parks at once while the state is Waiting.
void launchEngineThread();
// Waits for the engine thread to end (after the state Quitting was taken up).
void joinEngineThread();

// Sets Idle, raises the stop flag and returns once the engine thread is parked
// in its loop (a search it ran is over and left).
void stopEngine();
// Waits until the engine thread is parked, sets EngineState to `state` (for
// a search with its completed depth back at 0), clears the stop flag, wakes
// the thread and returns once it has taken the state up.
void startEngine(std::int32_t state);
