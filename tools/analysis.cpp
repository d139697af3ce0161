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
std::vector<Move> lineAfter(Move move) {
    char text[2048];
    pvTextAfter(text, move, MaxLine);
    std::vector<Move> line;
    std::istringstream words(text);
    std::string word;
    PlyRecord* const ply = currentPly;
    while (words >> word) {
        const pgn::LegalMoves legal = pgn::legalMoves();
        const Move* found = std::find_if(legal.begin(), legal.end(), [&](Move m) {
            char coordinates[8];
            moveToText(coordinates, m);
            return word == coordinates;
        });
        if (found == legal.end()) break;
        line.push_back(*found);
        saveUndo(*currentPly);
        makeMove(*found);
        completeCastling();
        ++currentPly;
    }
    for (auto m = line.rbegin(); m != line.rend(); ++m) {
        --currentPly;
        unmakeMove(*m);
    }
    currentPly = ply;
    return line;
}

}  // namespace

Analysis analysePosition(const SearchLimits& limits) {
    maxSearchDepth = limits.depth > 0 ? std::clamp(limits.depth, 2, MaxSearchDepth) : MaxSearchDepth;
    stopSearch = false;
    stopAfterIteration = false;
    searchPondering = false;
    completedDepth = 0;
    resultHasMove = false;
    const auto start = std::chrono::steady_clock::now();
    if (limits.movetimeMs > 0) {
        std::mutex mutex;
        std::condition_variable ended;
        bool done = false;
        std::thread search([&] {
            rootSearch();
            std::lock_guard<std::mutex> lock(mutex);
            done = true;
            ended.notify_all();
        });
        std::unique_lock<std::mutex> lock(mutex);
        if (!ended.wait_for(lock, std::chrono::milliseconds(limits.movetimeMs), [&] { return done; })) {
            // Time is up: no iteration after the running one, and the running
            // one stops as soon as the result holds a move.
            stopAfterIteration = true;
            while (!done && !resultHasMove) ended.wait_for(lock, std::chrono::milliseconds(1));
            stopSearch = true;
        }
        lock.unlock();
        search.join();
    } else {
        rootSearch();
    }
    Analysis analysis;
    analysis.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    analysis.depth = completedDepth;
    const ScoredMove result = rootResultEntry();
    analysis.score = result.score;
    const pgn::LegalMoves legal = pgn::legalMoves();
    if (isDraw(2) || legal.count == 0) return analysis;
    analysis.move = legal.contains(result.move) ? result.move : legal.moves[0];
    analysis.line = lineAfter(analysis.move);
    if (analysis.line.empty()) analysis.line.push_back(analysis.move);
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
