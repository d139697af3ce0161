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

std::atomic<bool> stopSearch{false};
std::atomic<bool> stopAfterIteration{false};
std::atomic<bool> searchPondering{false};
std::atomic<bool> searchRunning{false};
std::atomic<bool> failLow{false};
std::atomic<bool> mateFound{false};
std::atomic<std::uint64_t> nodeLimit{~std::uint64_t{0}};
RootMoveFilter rootMoveFilter;
std::atomic<int> selectiveDepth{0};

std::uint32_t nodeCount = 0;
std::atomic<std::uint64_t> allNodeCount{0};
const SearchObserver* searchObserver = nullptr;
RootProgress rootProgress;
std::int32_t rootDepth = 0;
std::atomic<int> maxSearchDepth{MaxSearchDepth};
std::atomic<std::int32_t> completedDepth{0};
std::atomic<bool> resultHasMove{false};

namespace {

constexpr std::int16_t KingCaptured = 8190;
constexpr std::int16_t NoScore = -8190;
constexpr int Window = 30;
// The last quiescence ply: the positions after its moves are evaluated, not searched.
constexpr int LastQuiescenceDepth = -8;

char pvBuffer[1024];
ScoredMove pvMoves[MoveListSize];  // scratch list for checking the table's moves
// The depth of the running search's first iteration when the table's result
// sent it deeper than 2; 0 otherwise.
int tableStartDepth = 0;

// The depth a new best move of an iteration is reported at: the first
// iteration that starts on the table's word stands, until it completes, on
// the depth that result was searched to, not on the one it has begun.
int reportedDepth(int depth) {
    return depth == tableStartDepth && completedDepth.load(std::memory_order_relaxed) == 0 ? depth - 1 : depth;
}

// One more node, made at the current ply. Only the engine thread counts, so
// plain loads and stores (no locked add) keep the counts readable from the
// command thread. A node limit stops the search as the stop flag does.
inline void countNode() {
    const std::uint64_t count = allNodeCount.load(std::memory_order_relaxed) + 1;
    allNodeCount.store(count, std::memory_order_relaxed);
    const int ply = static_cast<int>(currentPly - plyStack) - 1;
    if (ply > selectiveDepth.load(std::memory_order_relaxed)) selectiveDepth.store(ply, std::memory_order_relaxed);
    if (count >= nodeLimit.load(std::memory_order_relaxed)) [[unlikely]] stopSearch.store(true, std::memory_order_relaxed);
}

// Whether the root may play `move`: every move when no filter is set.
bool rootMoveAllowed(Move move) {
    const Move* first = rootMoveFilter.moves;
    const Move* end = first + rootMoveFilter.count;
    return rootMoveFilter.count == 0 || std::find(first, end, move) != end;
}

// Keeps the root's moves the filter allows; returns the list's new end.
ScoredMove* filterRootMoves(ScoredMove* first, ScoredMove* end) {
    if (rootMoveFilter.count == 0) return end;
    return std::remove_if(first, end, [](const ScoredMove& m) { return !rootMoveAllowed(m.move); });
}

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

// Whether the side to move is in check at a node without moves. Right after a
// setup there is no previous move to analyse, so the king is tested directly.
bool sideToMoveInCheck(PlyRecord& record) {
    if (historyTop == history) return squareAttacked(position.kingSquare[position.sideToMove], position.sideToMove ^ 1);
    analyseCheck(record.checkInfo, (historyTop - 1)->move);
    return record.checkInfo.checkKind != 0;
}

}  // namespace

ScoredMove& rootResultEntry() { return plyStack[0].moves[0]; }

int mateMoves(int score) {
    const int distance = MateScore - std::abs(score);  // plies to the mate
    if (distance > PlyStackSize) return 0;
    const int moves = std::max(1, (distance + 1) / 2);
    return score > 0 ? moves : -moves;
}

void initSearchState() {
    currentPly = &plyStack[0];
    plyStack[0].current = plyStack[0].moves;
}

void searchNewGame() {
    ttClear();
    mateFound = false;
    initSearchState();
}

std::int16_t quiesce(int q, std::int16_t alpha, std::int16_t beta) {
    PlyRecord& record = *currentPly;
    record.best = &record.noMove;

    // What the node finds out before its probe does not depend on the table,
    // so it is done while the bucket loads; the answers count in the same
    // order as ever: the table's cutoff first, then an illegal position.
    ttPrefetch(position.sideToMove, position.hashKey);
    analyseCheck(record.checkInfo, (&record - 1)->current->move);
    const bool inCheck = record.checkInfo.checkKind != 0;
    bool illegal;
    std::int16_t standPat = 0;
    if (inCheck) {
        record.listEnd = generateMoves(Evasions, record.moves, &record.checkInfo);
        illegal = !record.listEnd;
    } else {
        // The generator's legality answer and its completion of a castling;
        // the captures only when the stand-pat score leaves them to search
        // (the probe may lower beta, never raise it).
        illegal = kingCapturable();
        if (!illegal) {
            completeCastling();
            standPat = evaluate();
            if (standPat < beta) record.listEnd = generateMoves(Captures, record.moves);
        }
    }

    const ProbeResult probe = ttProbe(q, alpha, beta);
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
    saveUndo(record);
    markOrdering(record, probe.hashMove);

    Bound bound = Upper;
    for (record.current = record.moves; record.current < record.listEnd; ++record.current) {
        selectNext(record.current, record.listEnd);
        const Move move = record.current->move;
        makeMove(move);
        currentPly = &record + 1;
        countNode();
        std::int16_t score;
        if (q == LastQuiescenceDepth) score = static_cast<std::int16_t>(-evaluate());
        else if (insufficientMaterial()) score = 0;
        else score = static_cast<std::int16_t>(-quiesce(q - 1, static_cast<std::int16_t>(-beta), static_cast<std::int16_t>(-alpha)));
        currentPly = &record;
        unmakeMove(move);
        // A stop (a node limit reached below) ends the captures too: the
        // iteration is discarded, and a long exchange would overrun the limit.
        if (stopSearch.load(std::memory_order_relaxed)) [[unlikely]] return bestScore;

        record.current->score = score;
        if (score > bestScore) {
            record.best = record.current;
            if (score > alpha) {
                updateKillers(record, move);
                if (score >= beta) {
                    ttStore(0, Lower, score, move);
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
        const std::int16_t score = static_cast<std::int16_t>(rootDepth - q - MateScore);
        record.noMove.score = score;
        ttStore(0, Exact, score, 0);
        return score;
    }
    ttStore(inCheck ? 1 : 0, bound, bestScore, record.best->move);
    return bestScore;
}

std::int16_t alphaBeta(int depth, std::int16_t alpha, std::int16_t beta) {
    PlyRecord& record = *currentPly;
    record.best = &record.noMove;

    // The root always searches its moves: a cutoff there would leave the
    // iteration without a move to play.
    const bool atRoot = &record == &plyStack[1];
    // The moves and the draw answer are found while the bucket loads (see
    // quiesce); they count after the table's cutoff, as ever.
    ttPrefetch(position.sideToMove, position.hashKey);
    bool illegal = false;
    const bool drawn = isDraw(rootDepth - depth == 1 ? 1 : 2);
    if (record.needsMoves) {
        ScoredMove* end = generateMoves(AllMoves, record.moves);
        illegal = !end;
        if (end) {
            record.listEnd = atRoot ? filterRootMoves(record.moves, end) : end;
            record.needsMoves = false;
        }
    }
    ProbeResult probe = ttProbe(depth, alpha, beta);
    if (probe.cutoff) {
        if (!atRoot) {
            record.noMove.score = probe.score;
            return probe.score;
        }
        probe.hashMove = ttFind()->move();
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
    saveUndo(record);

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
        makeMove(move);
        currentPly = &child;
        ++nodeCount;
        countNode();
        child.needsMoves = true;
        const std::int16_t score = static_cast<std::int16_t>(
            depth == 1 ? -quiesce(0, static_cast<std::int16_t>(-beta), static_cast<std::int16_t>(-alpha))
                       : -alphaBeta(depth - 1, static_cast<std::int16_t>(-beta), static_cast<std::int16_t>(-alpha)));
        currentPly = &record;
        unmakeMove(move);
        if (stopSearch.load(std::memory_order_relaxed)) return bestScore;

        record.current->score = score;
        if (score > bestScore) {
            record.best = record.current;
            if (score > alpha) {
                updateKillers(record, move);
                if (score >= beta) {
                    ttStore(depth, Lower, score, move);
                    return score;
                }
                alpha = score;
                bound = Exact;
                if (atRoot && searchObserver && searchObserver->bestMoveFound) [[unlikely]]
                    searchObserver->bestMoveFound(reportedDepth(depth), score, move);
            }
            bestScore = score;
        }
    }

    if (bestScore == NoScore) {  // no legal move: mate or stalemate
        record.best->move = 0;
        const std::int16_t score = sideToMoveInCheck(record) ? static_cast<std::int16_t>(rootDepth - depth - MateScore) : 0;
        record.noMove.score = score;
        ttStore(depth, Exact, score, 0);
        return score;
    }
    ttStore(depth, bound, bestScore, record.best->move);
    return bestScore;
}

namespace {

// The table's first guess for the root: a starting depth, window and result.
void takeTableGuess(ScoredMove& result, std::int16_t& alpha, std::int16_t& beta) {
    TransEntry* entry = ttFind();
    if (!entry) return;
    const int score = entry->score();
    if (entry->depth() >= 2) {
        if (!entry->lowerBound() && !entry->upperBound()) {
            rootDepth = entry->depth() + 1;
            alpha = static_cast<std::int16_t>(score - Window);
            beta = static_cast<std::int16_t>(score + Window);
        } else if (entry->lowerBound() && !entry->upperBound()) {
            if (score > -MateScore) alpha = static_cast<std::int16_t>(score);
        } else if (entry->upperBound() && !entry->lowerBound()) {
            if (score < MateScore) beta = static_cast<std::int16_t>(score);
        }
    }
    result = ScoredMove{static_cast<std::int16_t>(score), entry->move()};
    if (repetitionAfter(entry->move(), 2)) {
        // The stored move would repeat the position for the third time: search
        // afresh, and forget the stored depths so that the first iterations
        // cannot cut off at the root on the stored result.
        rootDepth = 2;
        alpha = 0;
        beta = Window;
        ttForgetDepth();
    }
}

// Whether the root position has no legal move at all (mate or stalemate).
bool rootHasNoLegalMove() {
    PlyRecord& record = plyStack[1];
    PlyRecord& child = plyStack[2];
    ScoredMove* end = generateMoves(AllMoves, record.moves);
    if (!end) return false;
    saveUndo(record);
    currentPly = &record;
    bool none = true;
    for (ScoredMove* entry = record.moves; entry < end && none; ++entry) {
        makeMove(entry->move);
        currentPly = &child;
        none = generateMoves(AllMoves, child.moves) == nullptr;
        currentPly = &record;
        unmakeMove(entry->move);
    }
    currentPly = &plyStack[0];
    return none;
}

void finishWithoutMove(ScoredMove& result) {
    logLine("NOMOVE");
    result.score = NoScore;
    const bool inCheck = squareAttacked(position.kingSquare[position.sideToMove], position.sideToMove ^ 1);
    if (mateFound) {
        if (inCheck) result.score = -MateScore;
    } else if (isDraw(2) || (!inCheck && rootHasNoLegalMove())) {
        // a stalemate is a draw as much as a repetition is
        result.score = 0;
    }
}

}  // namespace

void rootSearch() {
    searchRunning = true;
    nodeCount = 0;
    allNodeCount = 0;
    ScoredMove& result = rootResultEntry();
    result = ScoredMove{0, 0};
    failLow = false;
    PlyRecord& root = plyStack[1];
    currentPly = &root;
    plyStack[0].best = &result;
    root.needsMoves = true;
    rootDepth = 2;
    completedDepth = 0;
    resultHasMove = false;
    rootProgress.depth = 0;
    rootProgress.moves = 0;
    rootProgress.started = 0;
    rootProgress.current = 0;
    selectiveDepth = 0;
    std::int16_t alpha = -MateScore, beta = MateScore;

    if (!mateFound) takeTableGuess(result, alpha, beta);
    if (!rootMoveAllowed(result.move)) {  // the table's move is not among those asked for
        result = ScoredMove{0, 0};
        rootDepth = 2;
        alpha = -MateScore;
        beta = MateScore;
    }
    if (result.move) resultHasMove = true;
    mateFound = false;
    logLine("-FEN:\t", positionText(pvBuffer), "");
    // An iteration of depth D uses ply records up to D + 10 and as many history
    // entries above the game's; neither stack may be overrun.
    const int historyRoom = static_cast<int>(history + HistorySize - historyTop) - 12;
    const int lastDepth = std::min({maxSearchDepth.load(), PlyStackSize - 11, historyRoom});
    tableStartDepth = rootDepth > 2 ? rootDepth : 0;
    // The table's result, when it reaches the last depth already, stands for
    // the search: whoever follows the search hears it as its iteration, at
    // the depth asked for at most.
    if (rootDepth > lastDepth && result.move && searchObserver && searchObserver->iterationDone) {
        const int depth = std::min(rootDepth - 1, lastDepth);
        pvText(pvBuffer, depth);
        searchObserver->iterationDone(depth, result.score, result.move, pvBuffer);
    }

    while (rootDepth <= lastDepth) {
        std::int16_t score = alphaBeta(rootDepth, alpha, beta);
        if (score <= alpha || score >= beta) {
            if (stopSearch) break;
            if (score <= alpha) {
                alpha = -MateScore;
                beta = static_cast<std::int16_t>(score + 1);
                failLow = true;
            } else {
                alpha = static_cast<std::int16_t>(score - 1);
                beta = MateScore;
            }
            score = alphaBeta(rootDepth, alpha, beta);
            if (score <= alpha || score >= beta) {
                if (stopSearch) break;
                score = alphaBeta(rootDepth, -MateScore, MateScore);
                failLow = false;
            }
        }
        if (stopSearch) break;

        result = *root.best;
        failLow = false;
        completedDepth = rootDepth;
        if (result.move) resultHasMove = true;
        const bool reported = searchObserver && searchObserver->iterationDone;
        if (rootDepth >= 5 || reported) pvText(pvBuffer, rootDepth);
        if (rootDepth >= 5) {
            if (searchPondering) logLine("-PONDER:");
            logLine("-E:N= ", nodeCount, "\t", rootDepth, ":\t", score, "\t", pvBuffer);
        }
        if (reported) searchObserver->iterationDone(rootDepth, score, root.best->move, pvBuffer);
        const int best = root.best->score;
        if (best <= rootDepth - MateScore || best >= MateScore - rootDepth) {
            mateFound = true;
            logLine("--- MATE: ", best);
            break;
        }
        // A root without a move (drawn by rule, or stalemate) stays so at
        // every depth.
        if (root.best->move == 0) break;
        alpha = static_cast<std::int16_t>(score - Window);
        beta = static_cast<std::int16_t>(score + Window);
        if (stopAfterIteration) {
            logLine("-E: Ended ply after extra time");
            break;
        }
        ++rootDepth;
    }

    currentPly = &plyStack[0];
    if (!mateFound) {
        if (const TransEntry* entry = ttFindFirst()) {
            logLine("-E:NF= ", nodeCount);
            if (result.move != entry->move()) {
                logLine("-E: DIFFERENT MOVE");
                if (failLow) logLine("FAIL LOW !!!!!!!!!!!!! not enough time");
            }
            // a slot without a move never replaces a move the search found
            if ((!failLow || result.move == 0) && (entry->move() != 0 || result.move == 0) && rootMoveAllowed(entry->move()))
                result = ScoredMove{static_cast<std::int16_t>(entry->score()), entry->move()};
        }
    }
    if (result.score == 0 && result.move == 0) finishWithoutMove(result);
    searchRunning = false;
}

char* pvTextAfter(char* buffer, Move move, int n) {
    PlyRecord* const ply = currentPly;
    // The records past the root's are between nodes here: their undo blocks
    // are free, the root's is not.
    currentPly = &plyStack[2];
    saveUndo(*currentPly);
    char* text = moveToText(buffer, move);
    *text++ = ' ';
    makeMove(move);
    ++currentPly;
    char* last = pvText(text, n - 1);
    --currentPly;
    unmakeMove(move);
    currentPly = ply;
    return last;
}

char* pvText(char* buffer, int n) {
    if (n == 0) {
        *buffer = 0;
        return buffer;
    }
    const TransEntry* entry = ttFindFirst();
    if (!entry) return buffer + std::sprintf(buffer, "NOE ");
    const Move move = entry->move();
    if (move == 0) return buffer + std::sprintf(buffer, entry->score() == 0 ? "draw " : "# ");

    // Follow the table only along moves the position allows, so that a stale
    // or colliding slot cannot send make a move it cannot take back.
    PlyRecord& record = *currentPly;
    ScoredMove* end = generateMoves(AllMoves, pvMoves);
    if (!end || std::none_of(pvMoves, end, [move](const ScoredMove& m) { return m.move == move; })) {
        *buffer = 0;
        return buffer;
    }
    saveUndo(record);
    makeMove(move);
    ++currentPly;
    // Nor along a move that leaves its king capturable: the line is shown to
    // interfaces that replay it.
    char* last = buffer;
    if (!kingCapturable()) {
        char* text = moveToText(buffer, move);
        *text++ = ' ';
        last = pvText(text, n - 1);
    } else {
        *buffer = 0;
    }
    --currentPly;
    unmakeMove(move);
    return last;
}
