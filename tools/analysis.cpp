#include "tools/analysis.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sstream>
#include <thread>

#include "board/movetext.h"
#include "movegen/movegen.h"
#include "pgn/san.h"
#include "search/draw.h"
#include "search/search.h"

namespace {

constexpr int MaxLine = 8;  // plies of a principal variation worth showing

// The moves of the principal variation that follows `move`, read from the
// table's text and kept only while each is legal on the board.
std::vector<Move> lineAfter(Board& b, Move move) {
    char text[2048];
    searchPool.main().pvTextAfter(text, move, MaxLine);
    std::vector<Move> line;
    std::istringstream words(text);
    std::string word;
    PlyRecord* const ply = b.currentPly;
    while (words >> word) {
        const pgn::LegalMoves legal = pgn::legalMoves(b);
        const Move* found = std::find_if(legal.begin(), legal.end(), [&](Move m) {
            char coordinates[8];
            moveToText(coordinates, m);
            return word == coordinates;
        });
        if (found == legal.end()) break;
        line.push_back(*found);
        saveUndo(b);
        makeMove(b, *found);
        completeCastling(b.position);
        ++b.currentPly;
    }
    for (auto m = line.rbegin(); m != line.rend(); ++m) {
        --b.currentPly;
        unmakeMove(b, *m);
    }
    b.currentPly = ply;
    return line;
}

// The lines of the last completed iteration of a search of several, as the
// first search thread reports them: their scores and first moves.
struct ReportedLine {
    int score;
    Move move;
};
std::vector<ReportedLine> reported;

void lineReported(int, int line, int score, Move best, const char*) {
    if (line == 1) reported.clear();
    reported.push_back(ReportedLine{score, best});
}

constexpr SearchObserver linesObserver{lineReported, nullptr};

}  // namespace

Analysis analysePosition(Board& game, const SearchLimits& limits) {
    SearchRequest request;
    request.lines = std::clamp(limits.lines, 1, MaxSearchLines);
    if (request.lines > 1) request.observer = &linesObserver;
    reported.clear();
    request.depthCap = limits.depth > 0 ? std::clamp(limits.depth, 2, MaxSearchDepth) : MaxSearchDepth;
    request.allotmentMs = static_cast<std::uint32_t>(std::max(0, limits.movetimeMs));
    searchSignals.stop = false;
    searchSignals.stopAfterIteration = false;
    searchSignals.pondering = false;
    searchPool.prepare(game);
    SearchThread& main = searchPool.main();
    const auto start = std::chrono::steady_clock::now();
    if (request.allotmentMs > 0) {
        std::mutex mutex;
        std::condition_variable ended;
        bool done = false;
        std::thread search([&] {
            searchPool.run(request);
            std::lock_guard<std::mutex> lock(mutex);
            done = true;
            ended.notify_all();
        });
        std::unique_lock<std::mutex> lock(mutex);
        if (!ended.wait_for(lock, std::chrono::milliseconds(request.allotmentMs), [&] { return done; })) {
            // Time is up: no iteration after the running one, and the running
            // one stops as soon as the result holds a move.
            searchSignals.stopAfterIteration = true;
            while (!done && !main.resultHasMove) ended.wait_for(lock, std::chrono::milliseconds(1));
            searchSignals.stop = true;
        }
        lock.unlock();
        search.join();
    } else {
        searchPool.run(request);
    }
    Analysis analysis;
    analysis.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    analysis.depth = main.completedDepth;
    const ScoredMove result = main.result();
    analysis.score = result.score;
    const pgn::LegalMoves legal = pgn::legalMoves(game);
    if (isDraw(game, 2) || legal.count == 0) return analysis;
    analysis.move = legal.contains(result.move) ? result.move : legal.moves[0];
    analysis.line = lineAfter(game, analysis.move);
    if (analysis.line.empty()) analysis.line.push_back(analysis.move);
    for (const ReportedLine& r : reported) {
        if (!legal.contains(r.move)) continue;
        AnalysisLine line{r.score, lineAfter(game, r.move)};
        if (line.moves.empty()) line.moves.push_back(r.move);
        analysis.lines.push_back(std::move(line));
    }
    return analysis;
}

int readLimitOption(int argc, char** argv, int i, SearchLimits& limits) {
    const bool depth = std::strcmp(argv[i], "--depth") == 0, time = std::strcmp(argv[i], "--movetime") == 0;
    if (!depth && !time) return 0;
    if (i + 1 >= argc) return -1;
    char* end = nullptr;
    const long value = std::strtol(argv[i + 1], &end, 10);
    if (*end || value < 1 || value > (depth ? MaxSearchDepth : 86400000L)) return -1;
    if (depth) {
        limits.depth = static_cast<int>(value);
        limits.movetimeMs = 0;
    } else {
        limits.movetimeMs = static_cast<int>(value);
        limits.depth = 0;
    }
    return 2;
}
