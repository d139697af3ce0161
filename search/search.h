// Quiescence, alpha-beta and the root search, with the values they share with
// the command thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "board/position.h"
#include "board/types.h"

enum EngineStateValue : std::int32_t { Idle = 0, Thinking = 1, Pondering = 2, Waiting = 3, Quitting = 4 };

extern std::atomic<std::int32_t> EngineState;
extern std::atomic<bool> stopSearch;
extern std::atomic<bool> failLow;
extern std::atomic<bool> mateFound;

extern std::uint32_t nodeCount;      // moves made by alphaBeta
extern std::uint64_t allNodeCount;   // every move made in the search, quiescence too
extern std::int32_t rootDepth;
extern int maxSearchDepth;           // the last iteration rootSearch runs
// The depth of the last iteration completed by the running search (0 before
// the first).
extern std::atomic<std::int32_t> completedDepth;
// Set once the running search's result holds a move to play: the table's move
// for the root, or a completed iteration's. The command thread clears it when
// it starts a search and waits for it before stopping one.
extern std::atomic<bool> resultHasMove;

ScoredMove& rootResultEntry();

std::int16_t quiesce(int q, std::int16_t alpha, std::int16_t beta);
std::int16_t alphaBeta(int depth, std::int16_t alpha, std::int16_t beta);
void rootSearch();

char* pvText(char* buffer, int n);
char* positionText(char* buffer);

// Points currentPly at record 0 and record 0's current at its list.
void initSearchState();
