// Engine control: the engine thread, which runs the searches, and the three
// events through which the command thread hands it a search and takes it
// back. Nothing else writes EngineState: it picks the engine thread's
// handler, no more; whether the engine plays a side is the session's mode.
#pragma once

#include <atomic>
#include <cstdint>

#include "board/position.h"
#include "search/search.h"
#include "session/events.h"

enum EngineStateValue : std::int32_t { Idle = 0, Thinking = 1, Pondering = 2, Waiting = 3, Quitting = 4 };
extern std::atomic<std::int32_t> EngineState;

extern Event startSignal;    // command thread -> engine: leave the park
extern Event startedSignal;  // engine -> command thread: the new state is taken up
extern Event stoppedSignal;  // engine -> command thread: parked (manual reset)

// Creates the engine thread and returns once it is parked.
void launchEngineThread();
// Stops any search, ends the engine thread and waits for its end.
void endEngineThread();

// Starts the search `request` describes of the game on `game` (copied to
// every search thread's board while the engine is parked) and returns once
// the engine thread has taken it up. A search on the opponent's time names
// the move it expects, already made.
void startEngine(const Board& game, const SearchRequest& request);
// Stops the search at its next poll and returns once the engine is parked.
void stopEngine();
// The same, but never before the search holds a move to play (the table's
// move for the root or its first completed iteration's).
void stopEngineWithMove();
// The search starts no further iteration once the running one completes.
void endIterations();
// Whether the engine thread is parked: no search runs.
bool engineParked();
