#include "protocol/analysis.h"

#include <algorithm>
#include <cstdio>

#include "board/movetext.h"
#include "protocol/engine.h"
#include "protocol/game.h"
#include "protocol/thinking.h"
#include "search/search.h"

bool analysing = false;

namespace {
bool running = false;
}  // namespace

void startAnalysis() {
    running = false;
    if (!firstLegalMove()) return;
    startThinking(ThinkingMode::Analysis);
    startEngine(Thinking);
    running = true;
}

bool analysisRunning() { return running; }

void stopAnalysis() {
    if (!running) return;
    stopEngine();
    running = false;
}

void printAnalysisStatus() {
    const int total = rootProgress.moves.load(std::memory_order_relaxed);
    const int started = rootProgress.started.load(std::memory_order_relaxed);
    const Move current = rootProgress.current.load(std::memory_order_relaxed);
    char move[8] = "";
    if (current) moveToText(move, current);
    std::printf("stat01: %ld %llu %d %d %d %s\n", running ? thinkingCentiseconds() : 0L,
                static_cast<unsigned long long>(allNodeCount.load(std::memory_order_relaxed)),
                rootProgress.depth.load(std::memory_order_relaxed), std::max(0, total - started), total, move);
}
