#include "xboard/thinking.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "board/movetext.h"
#include "search/search.h"
#include "session/game.h"

std::atomic<bool> postThinking{false};

namespace {

using Clock = std::chrono::steady_clock;

// Read on the engine thread while a search runs; set only while none does.
bool analysis = false;
Clock::time_point searchStart = Clock::now();

// Touched on the engine thread only while the search runs, and by the
// command thread only once the engine is parked again.
Move lastIterationMove = 0;
bool pendingLine = false;
char pendingText[1200];
char pvBuffer[1024];

bool printing() { return analysis || postThinking.load(std::memory_order_relaxed); }

long centiseconds() {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - searchStart).count() / 10);
}

void print(int depth, int score, const char* pv) {
    std::printf("%s\n", thinkingLine(depth, score, centiseconds(), searchPool.nodes(), pv).c_str());
}

// A root without a move (mated, stalemated, drawn) has nothing to show.
// Several lines are so many thinking lines of one depth, the best first.
void iterationDone(int depth, int line, int score, Move best, const char* pv) {
    if (line == 1) lastIterationMove = best;
    pendingLine = false;
    if (best && printing()) print(depth, score, pv);
}

// A new best move inside an iteration: printed at once in analysis; while
// searching for a move, kept for the end of the search, which may come before
// the iteration completes.
void bestMoveFound(int depth, int score, Move move) {
    if (!printing()) return;
    if (move == lastIterationMove) {
        pendingLine = false;
        return;
    }
    searchPool.main().pvTextAfter(pvBuffer, move, depth);
    if (analysis) {
        print(depth, score, pvBuffer);
        return;
    }
    const std::string line = thinkingLine(depth, score, centiseconds(), searchPool.nodes(), pvBuffer);
    std::snprintf(pendingText, sizeof pendingText, "%s", line.c_str());
    pendingLine = true;
}

constexpr SearchObserver observer{iterationDone, bestMoveFound};

}  // namespace

int interfaceScore(int score) {
    const int moves = mateMoves(score);
    return moves == 0 ? score : moves > 0 ? 100000 + moves : -100000 + moves;
}

// Of the principal variation, its moves only (movesOfLine).
std::string thinkingLine(int depth, int score, long centiseconds, std::uint64_t nodes, const char* pv) {
    std::string text = std::to_string(depth) + " " + std::to_string(interfaceScore(score)) + " " +
                       std::to_string(centiseconds) + " " + std::to_string(nodes);
    return text + movesOfLine(pv);
}

const SearchObserver* startThinking(SearchPurpose purpose) {
    analysis = purpose == SearchPurpose::Analysis;
    searchStart = Clock::now();
    lastIterationMove = 0;
    pendingLine = false;
    return &observer;
}

void finishThinking() {
    if (pendingLine && printing()) std::printf("%s\n", pendingText);
    pendingLine = false;
}

void printAnalysisStatus() {
    const RootProgress& rootProgress = searchPool.main().rootProgress;
    const int total = rootProgress.moves.load(std::memory_order_relaxed);
    const int started = rootProgress.started.load(std::memory_order_relaxed);
    const Move current = rootProgress.current.load(std::memory_order_relaxed);
    char move[8] = "";
    if (current) moveToText(move, current, gameBoard().position.castling);
    std::printf("stat01: %ld %llu %d %d %d %s\n", session::analysisRunning() ? centiseconds() : 0L,
                static_cast<unsigned long long>(searchPool.nodes()),
                rootProgress.depth.load(std::memory_order_relaxed), std::max(0, total - started), total, move);
}
