// Quiescence, alpha-beta and the root search. Each search thread owns what
// it writes (its board with its stacks and killer moves, its counts, its root
// state); what the threads share is explicit: the table (transtable.h), the
// signals below, the request a search is given, and the first thread's result.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "board/position.h"
#include "board/types.h"

constexpr int MaxSearchDepth = 127;
// The most search threads a search runs. In a browser every thread comes
// from the pool of WebAssembly workers made at start-up, which holds the
// program's main thread, the engine thread and its helpers.
#ifdef DROZAK_WEB_THREADS
constexpr int MaxSearchThreads = DROZAK_WEB_THREADS - 1;
#else
constexpr int MaxSearchThreads = 256;
#endif
// The most lines a search reports.
constexpr int MaxSearchLines = 64;

// A side mated p plies from the root scores -(MateScore - p).
constexpr std::int16_t MateScore = 8100;

// A mate score in moves: N for mating in N moves, -N for being mated in N;
// 0 for any other score.
int mateMoves(int score);

// What the search tells whoever runs it, called on the first search thread
// (null members: nothing). The search itself never prints.
struct SearchObserver {
    // An iteration completed: its depth, score, best move and principal
    // variation; with several lines, once for each, line 1 (the best) first.
    void (*iterationDone)(int depth, int line, int score, Move best, const char* pv);
    // A root move became the best of the running iteration with a score
    // inside its window.
    void (*bestMoveFound)(int depth, int score, Move move);
};

// What a search is for, as whoever runs it shows its thinking.
enum class SearchPurpose { Move, Ponder, Analysis, Tool };

// One search, described whole: everyone who starts a search (both protocols,
// every tool) fills one and hands it over.
struct SearchRequest {
    SearchPurpose purpose = SearchPurpose::Tool;
    int depthCap = MaxSearchDepth;  // the last iteration; iterations start at 2
    std::uint64_t nodeLimit = 0;    // moves made by all threads together; 0: none
    // How long whoever runs the search lets it iterate before it asks for
    // the move (0: as long as it takes); the search itself never reads a clock.
    std::uint32_t allotmentMs = 0;
    // A search on the opponent's time: the move it expects, made on the board.
    Move expectedMove = 0;
    const SearchObserver* observer = nullptr;
    // How many lines the first thread searches and reports, best first: the
    // best move, then the best of the other moves, and so on.
    int lines = 1;
    // Only these root moves (none listed: every move).
    int rootMoveCount = 0;
    Move rootMoves[MoveListSize] = {};

    bool allows(Move move) const;
    void allowOnly(Move move) { rootMoves[rootMoveCount++] = move; }
};

// Set by whoever runs the search, polled by every search thread.
struct SearchSignals {
    // Stop at the next poll, the running iteration discarded.
    std::atomic<bool> stop{false};
    // Start no further iteration once the running one completes.
    std::atomic<bool> stopAfterIteration{false};
    // The search runs on the opponent's time: its iteration lines in the log
    // say so (cleared when the opponent plays the expected move).
    std::atomic<bool> pondering{false};
};
extern SearchSignals searchSignals;

// Where the running iteration is at the root, for status requests: the
// root's move count, how many of them the iteration has started, and the one
// it is searching.
struct RootProgress {
    std::atomic<int> depth{0};
    std::atomic<int> moves{0};
    std::atomic<int> started{0};
    std::atomic<Move> current{0};
};

class SearchPool;

// One search thread: its board and everything its search writes. The first
// thread of a pool reports, keeps the result, logs and stops on the limits;
// the others search the same root through the shared table and are silent.
class SearchThread {
public:
    SearchThread(SearchPool& pool, int index) : pool_(pool), index_(index) {}
    SearchThread(const SearchThread&) = delete;
    SearchThread& operator=(const SearchThread&) = delete;

    Board board;

    // Read by others while the search runs; written by this thread alone.
    std::atomic<std::uint64_t> nodes{0};      // every move made, quiescence too
    std::atomic<int> selectiveDepth{0};       // the deepest ply reached
    std::atomic<std::int32_t> completedDepth{0};  // the last completed iteration (0 before the first)
    // The result holds a move to play: the table's move for the root, or a
    // completed iteration's.
    std::atomic<bool> resultHasMove{false};
    std::atomic<bool> failLow{false};         // the running iteration is failing low
    // A mate was found; the next search of the game starts afresh instead of
    // from the table's guess.
    std::atomic<bool> mateFound{false};
    RootProgress rootProgress;
    std::uint32_t alphaBetaNodes = 0;         // moves made by alphaBeta

    // The move to play and its score: the first entry of ply record 0.
    ScoredMove& result() { return board.plyStack[0].moves[0]; }

    // A root search of the board's position under `request`.
    void search(const SearchRequest& request);

    // The principal variation from the table: its text, n plies at most.
    char* pvText(char* buffer, int n);
    // The principal variation that starts with the root move `move`: its text,
    // then the table's line after it. Callable at the root between iterations
    // or from bestMoveFound.
    char* pvTextAfter(char* buffer, Move move, int n);

    // The state before any search: no mate found, the board at its root.
    void newGame();
    // The counts and root state before a search, so that nobody takes the
    // last search's for the next one's.
    void clearForSearch();

private:
    std::int16_t quiesce(int q, std::int16_t alpha, std::int16_t beta);
    std::int16_t alphaBeta(int depth, std::int16_t alpha, std::int16_t beta);
    ScoredMove& startRootSearch();
    void rootSearch();
    void rootSearchLines();
    std::int16_t searchRootWindow(std::int16_t alpha, std::int16_t beta, bool countsFailLow);
    void helperSearch();
    void takeTableGuess(ScoredMove& result, std::int16_t& alpha, std::int16_t& beta);
    bool rootHasNoLegalMove();
    void finishWithoutMove(ScoredMove& result);
    int lastDepth() const;
    int reportedDepth(int depth) const;
    bool mateWithinDepth(int score) const;
    ScoredMove* filterRootMoves(ScoredMove* first, ScoredMove* end) const;
    void countNode();
    void reachNodeCheckpoint();
    bool sideToMoveInCheckHere(PlyRecord& record);

    SearchPool& pool_;
    const int index_;
    const SearchRequest* request_ = nullptr;
    const SearchObserver* observer_ = nullptr;  // the first thread's alone
    std::int32_t rootDepth_ = 0;
    // The depth of the search's first iteration when the table's result sent
    // it deeper than 2; 0 otherwise.
    int tableStartDepth_ = 0;
    // The node count at which the node limit is looked at next.
    std::uint64_t nodeCheckpoint_ = ~std::uint64_t{0};
    // Whether the root's result goes into the table: not that of a search of
    // the root without the moves of the lines found before it.
    bool storesRoot_ = true;
    char pvBuffer_[1024] = {};
    ScoredMove pvMoves_[MoveListSize] = {};  // scratch list for checking the table's moves
};

// The search threads: the first runs on the thread that asks for a search,
// the others wait on threads of their own between searches.
class SearchPool {
public:
    SearchPool();
    ~SearchPool();
    SearchPool(const SearchPool&) = delete;
    SearchPool& operator=(const SearchPool&) = delete;

    // How many threads the next search runs; a search already running keeps
    // its own.
    void setThreadCount(int count);
    int threadCount() const { return wanted_; }
    // The threads of the running (or last) search.
    int size() const;

    // Puts the game of `game` on every thread's board, starting or ending
    // threads to the count asked for, and clears the first thread's result.
    // Only while no search runs.
    void prepare(const Board& game);
    // Searches the prepared root: the first thread on the calling thread, the
    // others on their own, all at once; returns once every one has stopped.
    void run(const SearchRequest& request);

    SearchThread& main() { return *threads_[0]; }
    // Moves made by every thread of the running (or last) search.
    std::uint64_t nodes() const;
    bool running() const { return running_.load(std::memory_order_relaxed); }

    // A new game: an empty table with its age back at 1, no mate found, the
    // boards at rest. Killer moves carry over, as between the searches of
    // one game.
    void newGame();
    // Every thread's killer moves empty, as in a fresh process.
    void forgetKillers();

private:
    void startHelpers(int count);
    void endHelpers();
    void helperLoop(int index, std::uint64_t seen);

    std::vector<std::unique_ptr<SearchThread>> threads_;
    std::vector<std::thread> helpers_;
    std::atomic<int> wanted_{1};
    std::atomic<bool> running_{false};
    // What the helpers wait on between searches.
    std::mutex mutex_;
    std::condition_variable wake_, idle_;
    std::uint64_t generation_ = 0;  // one more for every search
    int busy_ = 0;                  // helpers still searching
    bool quit_ = false;
    const SearchRequest* request_ = nullptr;
};

extern SearchPool searchPool;
