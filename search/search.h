// Quiescence, alpha-beta and the root search, with the values they share with
// the command thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "board/position.h"
#include "board/types.h"

// Set by whoever runs the search (the protocol layer, a tool): stop at the
// next poll, the running iteration discarded.
extern std::atomic<bool> stopSearch;
// Set by the same: start no further iteration once the running one completes.
extern std::atomic<bool> stopAfterIteration;
// Set by the same while the search runs on the opponent's time (pondering);
// the iteration lines in the log say so.
extern std::atomic<bool> searchPondering;
// Set while rootSearch runs: the position, the stacks and the table are the
// search's then, and nobody else may touch them.
extern std::atomic<bool> searchRunning;
extern std::atomic<bool> failLow;
extern std::atomic<bool> mateFound;
// Set by whoever runs the search: it stops, as on stopSearch, once it has
// counted this many nodes (the largest value: no limit).
extern std::atomic<std::uint64_t> nodeLimit;
// Set by the same while no search runs: the root moves the search may play
// (none listed: every move).
struct RootMoveFilter {
    Move moves[MoveListSize];
    int count = 0;
};
extern RootMoveFilter rootMoveFilter;
// The deepest ply below the root the running search has reached.
extern std::atomic<int> selectiveDepth;

extern std::uint32_t nodeCount;  // moves made by alphaBeta
// Every move made in the search, quiescence too. Written by the search alone;
// atomic so that the command thread may read it while the search runs.
extern std::atomic<std::uint64_t> allNodeCount;
extern std::int32_t rootDepth;
constexpr int MaxSearchDepth = 127;
extern std::atomic<int> maxSearchDepth;  // the last iteration rootSearch runs (MaxSearchDepth at most)
// The depth of the last iteration completed by the running search (0 before
// the first).
extern std::atomic<std::int32_t> completedDepth;
// Set once the running search's result holds a move to play: the table's move
// for the root, or a completed iteration's. The command thread clears it when
// it starts a search and waits for it before stopping one.
extern std::atomic<bool> resultHasMove;

// A side mated p plies from the root scores -(MateScore - p).
constexpr std::int16_t MateScore = 8100;

ScoredMove& rootResultEntry();

// A mate score in moves: N for mating in N moves, -N for being mated in N;
// 0 for any other score.
int mateMoves(int score);

// What the search tells whoever runs it, called on the engine thread (null
// members, or a null observer: nothing). The search itself never prints.
struct SearchObserver {
    // An iteration completed: its depth, score, best move and principal variation.
    void (*iterationDone)(int depth, int score, Move best, const char* pv);
    // A root move became the best of the running iteration with a score
    // inside its window.
    void (*bestMoveFound)(int depth, int score, Move move);
};
extern const SearchObserver* searchObserver;

// Where the running iteration is at the root, for status requests from the
// command thread: the root's move count, how many of them the iteration has
// started, and the one it is searching.
struct RootProgress {
    std::atomic<int> depth{0};
    std::atomic<int> moves{0};
    std::atomic<int> started{0};
    std::atomic<Move> current{0};
};
extern RootProgress rootProgress;

std::int16_t quiesce(int q, std::int16_t alpha, std::int16_t beta);
std::int16_t alphaBeta(int depth, std::int16_t alpha, std::int16_t beta);
void rootSearch();

char* pvText(char* buffer, int n);
// The principal variation that starts with the root move `move`: its text,
// then the table's line after it. Callable at the root between iterations or
// from bestMoveFound.
char* pvTextAfter(char* buffer, Move move, int n);

// Points currentPly at record 0 and record 0's current at its list.
void initSearchState();

// A new game for the search: an empty table with its age back at 1, no mate
// found, the search state at rest. Killer moves carry over, as between the
// searches of one game.
void searchNewGame();
