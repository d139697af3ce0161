#include "search/search.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/fen.h"
#include "board/gamelog.h"
#include "board/movetext.h"
#include "eval/eval.h"
#include "movegen/movegen.h"
#include "search/draw.h"
#include "search/transtable.h"

SearchSignals searchSignals;
SearchPool searchPool;

namespace {

constexpr std::int16_t KingCaptured = 8190;
constexpr std::int16_t NoScore = -8190;
constexpr int Window = 30;
// The last quiescence ply: the positions after its moves are evaluated, not searched.
constexpr int LastQuiescenceDepth = -8;
// How many moves the first thread makes between looks at the other threads'
// counts, under a node limit.
constexpr std::uint64_t NodeSlice = 1024;

// Ordering marks: the hash move first, then the two killers.
void markOrdering(PlyRecord& record, Move hashMove) {
    for (ScoredMove* entry = record.moves; entry < record.listEnd; ++entry) {
        if (entry->move == hashMove) entry->score = 30000;
        else if (entry->move == record.killer1) entry->score = 21002;
        else if (entry->move == record.killer2) entry->score = 21001;
    }
}

// Swaps the best-scored entry of [first, end) to first; the earliest wins ties.
inline void selectNext(ScoredMove* first, ScoredMove* end) {
    ScoredMove* best = first;
    for (ScoredMove* entry = first + 1; entry < end; ++entry)
        if (entry->score > best->score) best = entry;
    std::swap(*first, *best);
}

inline void updateKillers(PlyRecord& record, Move move) {
    if (move != record.killer1) {
        record.killer2 = record.killer1;
        record.killer1 = move;
    }
}

}  // namespace

bool SearchRequest::allows(Move move) const {
    return rootMoveCount == 0 || std::find(rootMoves, rootMoves + rootMoveCount, move) != rootMoves + rootMoveCount;
}

int mateMoves(int score) {
    const int distance = MateScore - std::abs(score);  // plies to the mate
    if (distance > PlyStackSize) return 0;
    const int moves = std::max(1, (distance + 1) / 2);
    return score > 0 ? moves : -moves;
}

// ---------------------------------------------------------------- one thread

// One more node, made at the current ply. Only this thread counts, so plain
// loads and stores (no locked add) keep the counts readable from others.
inline void SearchThread::countNode() {
    const std::uint64_t count = nodes.load(std::memory_order_relaxed) + 1;
    nodes.store(count, std::memory_order_relaxed);
    const int ply = static_cast<int>(board.currentPly - board.plyStack) - 1;
    if (ply > selectiveDepth.load(std::memory_order_relaxed)) selectiveDepth.store(ply, std::memory_order_relaxed);
    if (count >= nodeCheckpoint_) [[unlikely]] reachNodeCheckpoint();
}

// A node limit counts the moves of every thread: each looks at their sum
// every slice of its own moves (at every move when it searches alone), a
// slice that shrinks as the limit nears, and stops them all once the sum
// reaches it.
void SearchThread::reachNodeCheckpoint() {
    const std::uint64_t limit = request_->nodeLimit, own = nodes.load(std::memory_order_relaxed);
    const std::uint64_t threads = pool_.size();
    const std::uint64_t total = threads == 1 ? own : pool_.nodes();
    if (total >= limit) {
        searchSignals.stop.store(true, std::memory_order_relaxed);
        nodeCheckpoint_ = ~std::uint64_t{0};
        return;
    }
    nodeCheckpoint_ = own + std::min<std::uint64_t>(NodeSlice, std::max<std::uint64_t>(1, (limit - total) / threads));
}

// Whether the side to move is in check at a node without moves. Right after a
// setup there is no previous move to analyse, so the king is tested directly.
bool SearchThread::sideToMoveInCheckHere(PlyRecord& record) {
    if (board.historyTop == board.history) return sideToMoveInCheck(board.position);
    analyseCheck(board.position, record.checkInfo, (board.historyTop - 1)->move);
    return record.checkInfo.checkKind != 0;
}

// Keeps the root's moves the request allows; returns the list's new end.
ScoredMove* SearchThread::filterRootMoves(ScoredMove* first, ScoredMove* end) const {
    if (request_->rootMoveCount == 0) return end;
    return std::remove_if(first, end, [this](const ScoredMove& m) { return !request_->allows(m.move); });
}

// The depth a new best move of an iteration is reported at: the first
// iteration that starts on the table's word stands, until it completes, on
// the depth that result was searched to, not on the one it has begun.
int SearchThread::reportedDepth(int depth) const {
    return depth == tableStartDepth_ && completedDepth.load(std::memory_order_relaxed) == 0 ? depth - 1 : depth;
}

void SearchThread::newGame() {
    mateFound = false;
    board.currentPly = board.plyStack;
    board.plyStack[0].current = board.plyStack[0].moves;
}

void SearchThread::clearForSearch() {
    completedDepth = 0;
    resultHasMove = false;
    failLow = false;
    nodes = 0;
    selectiveDepth = 0;
}

std::int16_t SearchThread::quiesce(int q, std::int16_t alpha, std::int16_t beta) {
    Position& p = board.position;
    PlyRecord& record = *board.currentPly;
    record.best = &record.noMove;

    // What the node finds out before its probe does not depend on the table,
    // so it is done while the bucket loads; the answers count in the same
    // order as ever: the table's cutoff first, then an illegal position.
    ttPrefetch(p.sideToMove, p.hashKey);
    analyseCheck(p, record.checkInfo, (&record - 1)->current->move);
    const bool inCheck = record.checkInfo.checkKind != 0;
    bool illegal;
    std::int16_t standPat = 0;
    if (inCheck) {
        record.listEnd = generateMoves(Evasions, p, record.moves, &record.checkInfo);
        illegal = !record.listEnd;
    } else {
        // The generator's legality answer and its completion of a castling;
        // the captures only when the stand-pat score leaves them to search
        // (the probe may lower beta, never raise it).
        illegal = kingCapturable(p);
        if (!illegal) {
            completeCastling(p);
            standPat = evaluate(p);
            if (standPat < beta) record.listEnd = generateMoves(Captures, p, record.moves);
        }
    }

    const ProbeResult probe = ttProbe(p, q, alpha, beta);
    if (probe.cutoff) {
        record.noMove.score = probe.score;
        return probe.score;
    }
    if (illegal) {
        record.noMove.score = KingCaptured;
        return KingCaptured;
    }
    std::int16_t bestScore;
    if (inCheck) {
        bestScore = NoScore;
    } else {
        record.noMove.score = standPat;
        bestScore = standPat;
        if (standPat > alpha) {
            if (standPat >= beta) return standPat;
            alpha = standPat;
        }
        if (record.listEnd == record.moves) return standPat;  // generated above: standPat < beta
    }
    saveUndo(p, record);
    markOrdering(record, probe.hashMove);

    Bound bound = Upper;
    for (record.current = record.moves; record.current < record.listEnd; ++record.current) {
        selectNext(record.current, record.listEnd);
        const Move move = record.current->move;
        makeMove(board, move);
        board.currentPly = &record + 1;
        countNode();
        std::int16_t score;
        if (q == LastQuiescenceDepth) score = static_cast<std::int16_t>(-evaluate(p));
        else if (insufficientMaterial(p)) score = 0;
        else score = static_cast<std::int16_t>(-quiesce(q - 1, static_cast<std::int16_t>(-beta), static_cast<std::int16_t>(-alpha)));
        board.currentPly = &record;
        unmakeMove(board, move);
        // A stop (a node limit reached below) ends the captures too: the
        // iteration is discarded, and a long exchange would overrun the limit.
        if (searchSignals.stop.load(std::memory_order_relaxed)) [[unlikely]] return bestScore;

        record.current->score = score;
        if (score > bestScore) {
            record.best = record.current;
            if (score > alpha) {
                updateKillers(record, move);
                if (score >= beta) {
                    ttStore(p, 0, Lower, score, move);
                    return score;
                }
                alpha = score;
                bound = Exact;
            }
            bestScore = score;
        }
    }

    if (bestScore == NoScore) {  // in check without a legal evasion
        record.best->move = 0;
        const std::int16_t score = static_cast<std::int16_t>(rootDepth_ - q - MateScore);
        record.noMove.score = score;
        ttStore(p, 0, Exact, score, 0);
        return score;
    }
    ttStore(p, inCheck ? 1 : 0, bound, bestScore, record.best->move);
    return bestScore;
}

std::int16_t SearchThread::alphaBeta(int depth, std::int16_t alpha, std::int16_t beta) {
    Position& p = board.position;
    PlyRecord& record = *board.currentPly;
    record.best = &record.noMove;

    // The root always searches its moves: a cutoff there would leave the
    // iteration without a move to play.
    const bool atRoot = &record == &board.plyStack[1];
    // The moves and the draw answer are found while the bucket loads (see
    // quiesce); they count after the table's cutoff, as ever.
    ttPrefetch(p.sideToMove, p.hashKey);
    bool illegal = false;
    const bool drawn = isDraw(board, rootDepth_ - depth == 1 ? 1 : 2);
    if (record.needsMoves) {
        ScoredMove* end = generateMoves(AllMoves, p, record.moves);
        illegal = !end;
        if (end) {
            record.listEnd = atRoot ? filterRootMoves(record.moves, end) : end;
            record.needsMoves = false;
        }
    }
    ProbeResult probe = ttProbe(p, depth, alpha, beta);
    if (probe.cutoff) {
        if (!atRoot) {
            record.noMove.score = probe.score;
            return probe.score;
        }
        const std::optional<TransEntry> entry = ttFind(p);
        probe.hashMove = entry ? entry->move() : probe.hashMove;
    }
    if (illegal) {
        record.noMove.score = KingCaptured;
        return KingCaptured;
    }

    // One earlier occurrence counts as a draw inside the tree, but the game
    // position itself is only drawn by the rules (third occurrence, fifty moves).
    if (drawn) {
        record.noMove.score = 0;
        return 0;
    }

    markOrdering(record, probe.hashMove);
    saveUndo(p, record);

    std::int16_t bestScore = NoScore;
    Bound bound = Upper;
    PlyRecord& child = *(&record + 1);
    for (record.current = record.moves; record.current < record.listEnd; ++record.current) {
        selectNext(record.current, record.listEnd);
        const Move move = record.current->move;
        if (atRoot) [[unlikely]] {
            rootProgress.depth.store(depth, std::memory_order_relaxed);
            rootProgress.moves.store(static_cast<int>(record.listEnd - record.moves), std::memory_order_relaxed);
            rootProgress.started.store(static_cast<int>(record.current - record.moves) + 1, std::memory_order_relaxed);
            rootProgress.current.store(move, std::memory_order_relaxed);
        }
        makeMove(board, move);
        board.currentPly = &child;
        ++alphaBetaNodes;
        countNode();
        child.needsMoves = true;
        const std::int16_t score = static_cast<std::int16_t>(
            depth == 1 ? -quiesce(0, static_cast<std::int16_t>(-beta), static_cast<std::int16_t>(-alpha))
                       : -alphaBeta(depth - 1, static_cast<std::int16_t>(-beta), static_cast<std::int16_t>(-alpha)));
        board.currentPly = &record;
        unmakeMove(board, move);
        if (searchSignals.stop.load(std::memory_order_relaxed)) return bestScore;

        record.current->score = score;
        if (score > bestScore) {
            record.best = record.current;
            if (score > alpha) {
                updateKillers(record, move);
                if (score >= beta) {
                    if (!atRoot || storesRoot_) ttStore(p, depth, Lower, score, move);
                    return score;
                }
                alpha = score;
                bound = Exact;
                if (atRoot && observer_ && observer_->bestMoveFound) [[unlikely]]
                    observer_->bestMoveFound(reportedDepth(depth), score, move);
            }
            bestScore = score;
        }
    }

    if (bestScore == NoScore) {  // no legal move: mate or stalemate
        record.best->move = 0;
        const std::int16_t score = sideToMoveInCheckHere(record) ? static_cast<std::int16_t>(rootDepth_ - depth - MateScore) : 0;
        record.noMove.score = score;
        if (!atRoot || storesRoot_) ttStore(p, depth, Exact, score, 0);
        return score;
    }
    if (!atRoot || storesRoot_) ttStore(p, depth, bound, bestScore, record.best->move);
    return bestScore;
}

// The table's first guess for the root: a starting depth, window and result.
void SearchThread::takeTableGuess(ScoredMove& result, std::int16_t& alpha, std::int16_t& beta) {
    const std::optional<TransEntry> entry = ttFind(board.position);
    if (!entry) return;
    const int score = entry->score();
    if (entry->depth() >= 2) {
        if (!entry->lowerBound() && !entry->upperBound()) {
            rootDepth_ = entry->depth() + 1;
            alpha = static_cast<std::int16_t>(score - Window);
            beta = static_cast<std::int16_t>(score + Window);
        } else if (entry->lowerBound() && !entry->upperBound()) {
            if (score > -MateScore) alpha = static_cast<std::int16_t>(score);
        } else if (entry->upperBound() && !entry->lowerBound()) {
            if (score < MateScore) beta = static_cast<std::int16_t>(score);
        }
    }
    result = ScoredMove{static_cast<std::int16_t>(score), entry->move()};
    if (repetitionAfter(board, entry->move(), 2)) {
        // The stored move would repeat the position for the third time: search
        // afresh, and forget the stored depths so that the first iterations
        // cannot cut off at the root on the stored result.
        rootDepth_ = 2;
        alpha = 0;
        beta = Window;
        ttForgetDepth(board.position);
    }
}

// Whether the root position has no legal move at all (mate or stalemate).
bool SearchThread::rootHasNoLegalMove() {
    PlyRecord& record = board.plyStack[1];
    PlyRecord& child = board.plyStack[2];
    ScoredMove* end = generateMoves(AllMoves, board.position, record.moves);
    if (!end) return false;
    saveUndo(board.position, record);
    board.currentPly = &record;
    bool none = true;
    for (ScoredMove* entry = record.moves; entry < end && none; ++entry) {
        makeMove(board, entry->move);
        board.currentPly = &child;
        none = generateMoves(AllMoves, board.position, child.moves) == nullptr;
        board.currentPly = &record;
        unmakeMove(board, entry->move);
    }
    board.currentPly = &board.plyStack[0];
    return none;
}

void SearchThread::finishWithoutMove(ScoredMove& result) {
    logLine("NOMOVE");
    result.score = NoScore;
    const bool inCheck = sideToMoveInCheck(board.position);
    if (mateFound) {
        if (inCheck) result.score = -MateScore;
    } else if (isDraw(board, 2) || (!inCheck && rootHasNoLegalMove())) {
        // a stalemate is a draw as much as a repetition is
        result.score = 0;
    }
}

// An iteration of depth D uses ply records up to D + 10 and as many history
// entries above the game's; neither stack may be overrun. The depth cap is
// the first thread's: the others go on deeper until it stops them, so that
// no core idles while it completes its last iteration.
int SearchThread::lastDepth() const {
    const int historyRoom = static_cast<int>(board.history + HistorySize - board.historyTop) - 12;
    return std::min({index_ == 0 ? request_->depthCap : MaxSearchDepth, PlyStackSize - 11, historyRoom});
}

void SearchThread::search(const SearchRequest& request) {
    request_ = &request;
    nodeCheckpoint_ = request.nodeLimit ? std::min(request.nodeLimit, pool_.size() == 1 ? request.nodeLimit : NodeSlice)
                                        : ~std::uint64_t{0};
    if (index_ == 0) {
        observer_ = request.observer;
        if (request.lines > 1) rootSearchLines();
        else rootSearch();
    } else {
        observer_ = nullptr;
        helperSearch();
    }
}

// Clears what one search of the root reports and points the plies at it.
ScoredMove& SearchThread::startRootSearch() {
    clearForSearch();
    alphaBetaNodes = 0;
    ScoredMove& result = this->result();
    result = ScoredMove{0, 0};
    PlyRecord& root = board.plyStack[1];
    board.currentPly = &root;
    board.plyStack[0].best = &result;
    root.needsMoves = true;
    rootDepth_ = 2;
    rootProgress.depth = 0;
    rootProgress.moves = 0;
    rootProgress.started = 0;
    rootProgress.current = 0;
    return result;
}

// Whether a score is a mate the running iteration's depth has seen.
bool SearchThread::mateWithinDepth(int score) const {
    return score <= rootDepth_ - MateScore || score >= MateScore - rootDepth_;
}

void SearchThread::rootSearch() {
    ScoredMove& result = startRootSearch();
    PlyRecord& root = board.plyStack[1];
    std::int16_t alpha = -MateScore, beta = MateScore;
    const SearchObserver* observer = observer_;

    if (!mateFound) takeTableGuess(result, alpha, beta);
    if (!request_->allows(result.move)) {  // the table's move is not among those asked for
        result = ScoredMove{0, 0};
        rootDepth_ = 2;
        alpha = -MateScore;
        beta = MateScore;
    }
    if (result.move) resultHasMove = true;
    mateFound = false;
    logLine("-FEN:\t", positionText(board.snapshot, pvBuffer_), "");
    const int last = lastDepth();
    tableStartDepth_ = rootDepth_ > 2 ? rootDepth_ : 0;
    // The table's result, when it reaches the last depth already, stands for
    // the search: whoever follows the search hears it as its iteration, at
    // the depth asked for at most.
    if (rootDepth_ > last && result.move && observer && observer->iterationDone) {
        const int depth = std::min(rootDepth_ - 1, last);
        pvText(pvBuffer_, depth);
        observer->iterationDone(depth, 1, result.score, result.move, pvBuffer_);
    }

    while (rootDepth_ <= last) {
        const std::int16_t score = searchRootWindow(alpha, beta, true);
        if (searchSignals.stop.load()) break;

        result = *root.best;
        failLow = false;
        completedDepth = rootDepth_;
        if (result.move) resultHasMove = true;
        const bool reported = observer && observer->iterationDone;
        if (rootDepth_ >= 5 || reported) pvText(pvBuffer_, rootDepth_);
        if (rootDepth_ >= 5) {
            if (searchSignals.pondering) logLine("-PONDER:");
            logLine("-E:N= ", alphaBetaNodes, "\t", rootDepth_, ":\t", score, "\t", pvBuffer_);
        }
        if (reported) observer->iterationDone(rootDepth_, 1, score, root.best->move, pvBuffer_);
        if (mateWithinDepth(root.best->score)) {
            mateFound = true;
            logLine("--- MATE: ", root.best->score);
            break;
        }
        // A root without a move (drawn by rule, or stalemate) stays so at
        // every depth.
        if (root.best->move == 0) break;
        alpha = static_cast<std::int16_t>(score - Window);
        beta = static_cast<std::int16_t>(score + Window);
        if (searchSignals.stopAfterIteration) {
            logLine("-E: Ended ply after extra time");
            break;
        }
        ++rootDepth_;
    }

    board.currentPly = &board.plyStack[0];
    if (!mateFound) {
        if (const std::optional<TransEntry> entry = ttFindFirst(board.position)) {
            logLine("-E:NF= ", alphaBetaNodes);
            if (result.move != entry->move()) {
                logLine("-E: DIFFERENT MOVE");
                if (failLow) logLine("FAIL LOW !!!!!!!!!!!!! not enough time");
            }
            // a slot without a move never replaces a move the search found
            if ((!failLow || result.move == 0) && (entry->move() != 0 || result.move == 0) && request_->allows(entry->move()))
                result = ScoredMove{static_cast<std::int16_t>(entry->score()), entry->move()};
        }
    }
    if (result.score == 0 && result.move == 0) finishWithoutMove(result);
}

// One search of the root at the running depth from a window: on a fail low
// or high, once more with the window open on that side, then with the whole
// window. A fail low is told (`failLow`, when it counts for the time) from
// the second search until the whole window's, or until the iteration
// completes; a stop ends it at once.
std::int16_t SearchThread::searchRootWindow(std::int16_t alpha, std::int16_t beta, bool countsFailLow) {
    std::int16_t score = alphaBeta(rootDepth_, alpha, beta);
    if ((score > alpha && score < beta) || searchSignals.stop.load()) return score;
    if (score <= alpha) {
        alpha = -MateScore;
        beta = static_cast<std::int16_t>(score + 1);
        if (countsFailLow) failLow = true;
    } else {
        alpha = static_cast<std::int16_t>(score - 1);
        beta = MateScore;
    }
    score = alphaBeta(rootDepth_, alpha, beta);
    if ((score > alpha && score < beta) || searchSignals.stop.load()) return score;
    score = alphaBeta(rootDepth_, -MateScore, MateScore);
    if (countsFailLow) failLow = false;
    return score;
}

// Several lines: every iteration searches the root once for each, the moves
// of the lines found before it left out of the root's list, and reports them
// all once the last is done, best first. The table's result for the root
// holds one line, so the search starts at depth 2 whatever the table says,
// and only the first line's root result is stored. The first line decides
// the move and the end of the game as a single line does.
void SearchThread::rootSearchLines() {
    ScoredMove& result = startRootSearch();
    PlyRecord& root = board.plyStack[1];
    tableStartDepth_ = 0;
    mateFound = false;
    logLine("-FEN:\t", positionText(board.snapshot, pvBuffer_), "");
    const SearchObserver* const observer = observer_;
    const int last = lastDepth();

    struct Line {
        Move move = 0;
        std::int16_t score = 0;
    };
    Line lines[MaxSearchLines];
    int count = std::min(request_->lines, MaxSearchLines);
    int found = 0;  // lines of the last completed iteration
    while (rootDepth_ <= last) {
        int searched = 0;
        ScoredMove* whole = nullptr;  // the root's whole list, once the first line has made it
        for (; searched < count; ++searched) {
            // The first moves of the lines before this one go behind the list's end.
            if (!whole && !root.needsMoves) whole = root.listEnd;
            ScoredMove* end = whole;
            for (int j = 0; end && j < searched; ++j) {
                ScoredMove* at = std::find_if(root.moves, end, [&](const ScoredMove& m) { return m.move == lines[j].move; });
                if (at != end) std::rotate(at, at + 1, end--);
            }
            if (end) root.listEnd = end;
            if (end == root.moves) break;
            const bool first = searched == 0;
            const bool known = searched < found;
            const std::int16_t alpha = known ? static_cast<std::int16_t>(lines[searched].score - Window) : -MateScore;
            const std::int16_t beta = known ? static_cast<std::int16_t>(lines[searched].score + Window) : MateScore;
            storesRoot_ = first;
            observer_ = first ? observer : nullptr;  // a new best move is shown for the first line only
            const std::int16_t score = searchRootWindow(alpha, beta, first);
            if (searchSignals.stop.load()) break;
            if (root.best->move == 0 && !first) break;  // no legal move left for this line
            lines[searched] = Line{root.best->move, score};
            if (root.best->move == 0) {
                ++searched;
                break;
            }
        }
        storesRoot_ = true;
        observer_ = observer;
        if (whole) root.listEnd = whole;
        if (searchSignals.stop.load()) break;
        count = found = searched;
        std::stable_sort(lines, lines + found, [](const Line& a, const Line& b) { return a.score > b.score; });

        result = ScoredMove{lines[0].score, lines[0].move};
        completedDepth = rootDepth_;
        if (result.move) resultHasMove = true;
        if (rootDepth_ >= 5) {
            if (searchSignals.pondering) logLine("-PONDER:");
            pvTextAfter(pvBuffer_, lines[0].move, rootDepth_);
            logLine("-E:N= ", alphaBetaNodes, "\t", rootDepth_, ":\t", lines[0].score, "\t", pvBuffer_);
        }
        if (observer && observer->iterationDone)
            for (int k = 0; k < found && lines[k].move; ++k) {
                pvTextAfter(pvBuffer_, lines[k].move, rootDepth_);
                observer->iterationDone(rootDepth_, k + 1, lines[k].score, lines[k].move, pvBuffer_);
            }
        // A mate in the first line is the search's as with one line; the
        // iterations go on while another line is not yet decided.
        if (mateWithinDepth(lines[0].score)) {
            if (!mateFound) logLine("--- MATE: ", lines[0].score);
            mateFound = true;
            if (std::all_of(lines, lines + found, [this](const Line& line) { return mateWithinDepth(line.score); })) break;
        }
        if (lines[0].move == 0) break;
        if (searchSignals.stopAfterIteration) {
            logLine("-E: Ended ply after extra time");
            break;
        }
        ++rootDepth_;
    }
    board.currentPly = &board.plyStack[0];
    // Stopped before its first iteration: the table's move for the root, as
    // a single line has it.
    if (completedDepth == 0 && !mateFound)
        if (const std::optional<TransEntry> entry = ttFindFirst(board.position); entry && request_->allows(entry->move()))
            result = ScoredMove{static_cast<std::int16_t>(entry->score()), entry->move()};
    if (result.score == 0 && result.move == 0) finishWithoutMove(result);
}

// A helper's iterations: the first thread's algorithm without its reports,
// its result or its log, started a depth or so deeper than the first thread
// so that the two do not search the same tree at the same time; it goes on
// until the first thread stops it.
void SearchThread::helperSearch() {
    startRootSearch();
    PlyRecord& root = board.plyStack[1];
    rootDepth_ = 2 + (index_ + 1) / 2 % 3;
    tableStartDepth_ = 0;
    std::int16_t alpha = -MateScore, beta = MateScore;
    const int last = lastDepth();
    while (rootDepth_ <= last && !searchSignals.stop.load()) {
        const std::int16_t score = searchRootWindow(alpha, beta, false);
        if (searchSignals.stop.load()) break;
        if (root.best->move == 0 || mateWithinDepth(root.best->score)) break;
        alpha = static_cast<std::int16_t>(score - Window);
        beta = static_cast<std::int16_t>(score + Window);
        // Ahead of the first thread, so as not to search the tree it searches.
        const int ahead = pool_.main().rootProgress.depth.load(std::memory_order_relaxed) + 1 + (index_ - 1) % 2;
        rootDepth_ = std::max(rootDepth_ + 1, ahead);
    }
    board.currentPly = &board.plyStack[0];
}

char* SearchThread::pvTextAfter(char* buffer, Move move, int n) {
    PlyRecord* const ply = board.currentPly;
    // The records past the root's are between nodes here: their undo blocks
    // are free, the root's is not.
    board.currentPly = &board.plyStack[2];
    saveUndo(board);
    char* text = moveToText(buffer, move, board.position.castling);
    *text++ = ' ';
    makeMove(board, move);
    ++board.currentPly;
    char* last = pvText(text, n - 1);
    --board.currentPly;
    unmakeMove(board, move);
    board.currentPly = ply;
    return last;
}

char* SearchThread::pvText(char* buffer, int n) {
    if (n == 0) {
        *buffer = 0;
        return buffer;
    }
    Position& p = board.position;
    const std::optional<TransEntry> entry = ttFindFirst(p);
    if (!entry) return buffer + std::sprintf(buffer, "NOE ");
    const Move move = entry->move();
    if (move == 0) return buffer + std::sprintf(buffer, entry->score() == 0 ? "draw " : "# ");

    // Follow the table only along moves the position allows, so that a stale
    // or colliding slot cannot send make a move it cannot take back.
    PlyRecord& record = *board.currentPly;
    ScoredMove* end = generateMoves(AllMoves, p, pvMoves_);
    if (!end || std::none_of(pvMoves_, end, [move](const ScoredMove& m) { return m.move == move; })) {
        *buffer = 0;
        return buffer;
    }
    saveUndo(p, record);
    makeMove(board, move);
    ++board.currentPly;
    // Nor along a move that leaves its king capturable: the line is shown to
    // interfaces that replay it.
    char* last = buffer;
    if (!kingCapturable(p)) {
        char* text = moveToText(buffer, move, board.position.castling);
        *text++ = ' ';
        last = pvText(text, n - 1);
    } else {
        *buffer = 0;
    }
    --board.currentPly;
    unmakeMove(board, move);
    return last;
}

// ---------------------------------------------------------------- the pool

SearchPool::SearchPool() { threads_.push_back(std::make_unique<SearchThread>(*this, 0)); }

SearchPool::~SearchPool() { endHelpers(); }

void SearchPool::setThreadCount(int count) { wanted_ = std::max(1, count); }

int SearchPool::size() const { return static_cast<int>(threads_.size()); }

std::uint64_t SearchPool::nodes() const {
    std::uint64_t total = 0;
    for (const auto& t : threads_) total += t->nodes.load(std::memory_order_relaxed);
    return total;
}

void SearchPool::startHelpers(int count) {
    std::uint64_t generation;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = false;
        generation = generation_;
    }
    for (int i = 1; i <= count; ++i) threads_.push_back(std::make_unique<SearchThread>(*this, i));
    for (int i = 1; i <= count; ++i) helpers_.emplace_back(&SearchPool::helperLoop, this, i, generation);
}

void SearchPool::endHelpers() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    for (std::thread& helper : helpers_) helper.join();
    helpers_.clear();
    threads_.resize(1);
}

// A helper searches once for every search the pool runs after its start.
void SearchPool::helperLoop(int index, std::uint64_t seen) {
    for (;;) {
        const SearchRequest* request;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [&] { return quit_ || generation_ != seen; });
            if (quit_) return;
            seen = generation_;
            request = request_;
        }
        threads_[index]->search(*request);
        std::lock_guard<std::mutex> lock(mutex_);
        if (--busy_ == 0) idle_.notify_all();
    }
}

void SearchPool::prepare(const Board& game) {
    DROZAK_CHECK(!running());
    const int wanted = wanted_;
    if (size() != wanted) {
        endHelpers();
        startHelpers(wanted - 1);
    }
    for (const auto& t : threads_) {
        t->board.takeGameFrom(game);
        t->clearForSearch();
    }
}

void SearchPool::run(const SearchRequest& request) {
    running_ = true;
    const int helpers = static_cast<int>(helpers_.size());
    if (helpers) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            request_ = &request;
            busy_ = helpers;
            ++generation_;
        }
        wake_.notify_all();
    }
    main().search(request);
    if (helpers) {
        // The helpers end with the first thread.
        searchSignals.stop = true;
        std::unique_lock<std::mutex> lock(mutex_);
        idle_.wait(lock, [&] { return busy_ == 0; });
    }
    running_ = false;
}

void SearchPool::forgetKillers() {
    for (const auto& t : threads_)
        for (PlyRecord& record : t->board.plyStack) record.killer1 = record.killer2 = 0;
}

void SearchPool::newGame() {
    DROZAK_CHECK(!running());
    ttClear();
    for (const auto& t : threads_) t->newGame();
}
