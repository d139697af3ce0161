#include "uci/uci.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "board/gamelog.h"
#include "board/movetext.h"
#include "board/position.h"
#include "book/bookfile.h"
#include "search/bench.h"
#include "search/search.h"
#include "search/transtable.h"
#include "session/game.h"
#include "session/input.h"
#include "session/loop.h"
#include "session/session.h"

#ifndef DROZAK_VERSION
#define DROZAK_VERSION "dev"
#endif

namespace {

using Clock = std::chrono::steady_clock;

bool quitRead = false;  // `quit` came

// The options, as `setoption` leaves them.
struct Options {
    bool ownBook = true;
    bool ponder = false;  // the interface decides when to ponder; the engine never does by itself
    std::int64_t moveOverheadMs = 30;
} options;

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::vector<std::string> wordsOf(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

bool parseNumber(const std::string& text, std::int64_t& value) {
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && at == end;
}

void tell(const std::string& text) {
    std::printf("info string %s\n", text.c_str());
    logLine("-M: info string ", text);
}

std::string moveText(Move move) {
    char text[8];
    moveToText(text, move, gameBoard().position.castling);
    return text;
}

// ---------------------------------------------------------------- thinking

Clock::time_point searchStart = Clock::now();

long elapsedMs() {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - searchStart).count());
}

// What every info line of a search says: depth, selective depth, which line
// (with several), score, nodes, speed, time, how full the table is; then the
// line of play, its moves only.
void printInfo(int depth, int score, const char* pv, int multipv = 1) {
    const std::uint64_t nodes = searchPool.nodes();
    const long ms = elapsedMs();
    const int mate = mateMoves(score);
    std::string line = "info depth " + std::to_string(depth) + " seldepth " +
                       std::to_string(std::max(depth, searchPool.main().selectiveDepth.load(std::memory_order_relaxed))) +
                       (session::lines() > 1 ? " multipv " + std::to_string(multipv) : "") +
                       (mate ? " score mate " + std::to_string(mate) : " score cp " + std::to_string(score)) +
                       " nodes " + std::to_string(nodes) + " nps " + std::to_string(nodes * 1000 / std::max(1L, ms)) +
                       " time " + std::to_string(ms) + " hashfull " + std::to_string(ttHashfull());
    if (const std::string moves = movesOfLine(pv); !moves.empty()) line += " pv" + moves;
    std::printf("%s\n", line.c_str());
}

char pvBuffer[1024];

// A root without a move (mated, stalemated, drawn) has nothing to show.
void iterationDone(int depth, int line, int score, Move best, const char* pv) {
    if (best) printInfo(depth, score, pv, line);
}

void bestMoveFound(int depth, int score, Move move) {
    searchPool.main().pvTextAfter(pvBuffer, move, depth);
    printInfo(depth, score, pvBuffer);
}

constexpr SearchObserver observer{iterationDone, bestMoveFound};

const SearchObserver* searchStarting(SearchPurpose) {
    searchStart = Clock::now();
    return &observer;
}

// The one answer to a `go`: the final count, then the move (a legal one
// whenever there is one, drawn or not) with the reply it expects.
void moveChosen(const MoveChoice& choice) {
    const Move move = choice.fromBook ? choice.move : playableMove(choice.move);
    const std::uint64_t nodes = choice.fromBook ? 0 : searchPool.nodes();
    const long ms = elapsedMs();
    std::printf("info nodes %llu nps %llu time %ld\n", static_cast<unsigned long long>(nodes),
                static_cast<unsigned long long>(nodes * 1000 / std::max(1L, ms)), choice.fromBook ? 0L : ms);
    if (!move) {
        std::printf("bestmove 0000\n");
        logLine("-M: bestmove 0000");
        return;
    }
    const Move reply = expectedReply(move);
    const std::string text = moveText(move);
    if (reply) std::printf("bestmove %s ponder %s\n", text.c_str(), moveText(reply).c_str());
    else std::printf("bestmove %s\n", text.c_str());
    logLine(choice.fromBook ? "-M: move(book): " : "-M: bestmove ", text);
}

void bookMissing() { tell("no opening book: " + findBookFile() + " cannot be read"); }

// ---------------------------------------------------------------- commands

void uciCommand(const std::vector<std::string>&) {
    std::printf("id name Drozak " DROZAK_VERSION "\n");
    std::printf("id author the Drozak developers\n");
    std::printf("option name Hash type spin default %llu min 1 max %llu\n", static_cast<unsigned long long>(DefaultTableMiB),
                static_cast<unsigned long long>(MaxTableMiB));
    std::printf("option name Threads type spin default 1 min 1 max %d\n", MaxSearchThreads);
    std::printf("option name MultiPV type spin default 1 min 1 max %d\n", MaxSearchLines);
    std::printf("option name Clear Hash type button\n");
    std::printf("option name Ponder type check default false\n");
    std::printf("option name OwnBook type check default true\n");
    std::printf("option name Move Overhead type spin default 30 min 0 max 5000\n");
    std::printf("option name UCI_Chess960 type check default false\n");
    std::printf("uciok\n");
    tellPendingBookError();
}

void isreadyCommand(const std::vector<std::string>&) { std::printf("readyok\n"); }

bool parseCheck(const std::string& value, bool& out) {
    const std::string v = lower(value);
    if (v != "true" && v != "false") return false;
    out = v == "true";
    return true;
}

bool parseSpin(const std::string& value, std::int64_t low, std::int64_t high, std::int64_t& out) {
    std::int64_t n;
    if (!parseNumber(value, n) || n < low || n > high) return false;
    out = n;
    return true;
}

// setoption name NAME [value VALUE]: names of several words, matched without
// regard to case; a bad name or value changes nothing.
void setoptionCommand(const std::vector<std::string>& words) {
    std::string name, value;
    bool inValue = false;
    for (std::size_t i = 1; i < words.size(); ++i) {
        if (i == 1 && lower(words[i]) == "name") continue;
        if (!inValue && lower(words[i]) == "value") {
            inValue = true;
            continue;
        }
        std::string& part = inValue ? value : name;
        part += (part.empty() ? "" : " ") + words[i];
    }
    const std::string key = lower(name);
    bool ok = true;
    if (key == "hash") {
        std::int64_t mib;
        ok = parseSpin(value, 1, static_cast<std::int64_t>(MaxTableMiB), mib);
        if (ok) {
            if (!session::resizeTable(static_cast<std::uint64_t>(mib)))
                tell("no memory for a table of " + value + " MiB, keeping " + std::to_string(ttBytes() >> 20) + " MiB");
        }
    } else if (key == "threads") {
        std::int64_t count;
        ok = parseSpin(value, 1, MaxSearchThreads, count);
        if (ok) searchPool.setThreadCount(static_cast<int>(count));  // from the next search on
    } else if (key == "multipv") {
        std::int64_t lines;
        ok = parseSpin(value, 1, MaxSearchLines, lines);
        if (ok) session::setLines(static_cast<int>(lines));
    } else if (key == "clear hash") {
        session::clearTable();
    } else if (key == "ponder") {
        ok = parseCheck(value, options.ponder);
    } else if (key == "ownbook") {
        ok = parseCheck(value, options.ownBook);
    } else if (key == "move overhead") {
        ok = parseSpin(value, 0, 5000, options.moveOverheadMs);
    } else if (key == "uci_chess960") {
        // from the next position on: its castlings are the king taking its rook
        bool on;
        ok = parseCheck(value, on);
        if (ok) setChess960(on, CastlingText::KingTakesRook);
    } else {
        tell("no option named '" + printable(name) + "'");
        return;
    }
    if (!ok) tell("option " + name + ": bad value '" + printable(value) + "'");
}

void ucinewgameCommand(const std::vector<std::string>&) { session::newGame(); }

// position startpos|fen FEN [moves MOVE...]: the moves are played as game
// moves, so that repetitions and the fifty-move count are seen; the table
// stays. Anything refused refuses the whole command and leaves no position,
// so that no search runs on one the interface did not mean.
void positionCommand(const std::vector<std::string>& words) {
    std::size_t i = 2;
    std::string fen;
    if (words.size() >= 2 && words[1] == "startpos") {
        fen = StartPositionText;
    } else if (words.size() >= 2 && words[1] == "fen") {
        for (; i < words.size() && words[i] != "moves"; ++i) fen += (fen.empty() ? "" : " ") + words[i];
    } else {
        forgetGame();
        return tell("position without startpos or fen: no position");
    }
    std::string reason;
    if (!setGamePosition(fen, &reason)) {
        forgetGame();
        return tell("refused position '" + printable(fen) + "' (" + reason + "): no position");
    }
    if (i < words.size() && words[i] != "moves") {
        forgetGame();
        return tell("position: '" + printable(words[i]) + "' where moves should come: no position");
    }
    for (++i; i < words.size(); ++i) {
        const Move move = gameMoveOfText(words[i]);
        if (!isLegalMove(move)) {
            forgetGame();
            return tell("illegal move " + printable(words[i]) + " in position: no position");
        }
        playMove(move);
    }
}

// go [wtime btime winc binc movestogo movetime depth nodes mate infinite
// ponder searchmoves...]: the side to move's clock by the same rule as
// xboard's; with several limits the first one reached ends the search. A
// parameter that does not parse is told and left out; the rest holds.
void goCommand(const std::vector<std::string>& words) {
    if (!gameStarted()) {
        tell("no position to search");
        std::printf("bestmove 0000\n");
        return;
    }
    static const char* const numbers[] = {"wtime", "btime", "winc", "binc", "movestogo", "movetime", "depth", "nodes", "mate"};
    enum { WTime, BTime, WInc, BInc, MovesToGo, MoveTime, Depth, Nodes, Mate, Count };
    std::optional<std::int64_t> value[Count];
    const auto keyword = [](const std::string& w) {
        return std::count(std::begin(numbers), std::end(numbers), w) || w == "infinite" || w == "ponder" || w == "searchmoves";
    };
    MoveSearch search;
    search.useBook = options.ownBook;
    if (options.ownBook) storeBookIfWorn();
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string& word = words[i];
        const auto number = std::find(std::begin(numbers), std::end(numbers), word);
        if (word == "infinite") {
            search.holdMove = true;
        } else if (word == "ponder") {
            search.holdMove = search.ponder = true;
        } else if (word == "searchmoves") {
            for (; i + 1 < words.size() && !keyword(words[i + 1]); ++i) {
                const Move move = gameMoveOfText(words[i + 1]);
                if (!isLegalMove(move)) tell("searchmoves: " + printable(words[i + 1]) + " is not a legal move here, left out");
                else if (!search.request.allows(move) || search.request.rootMoveCount == 0) search.request.allowOnly(move);
            }
        } else if (number != std::end(numbers)) {
            std::int64_t n;
            if (i + 1 < words.size() && !keyword(words[i + 1]) && parseNumber(words[i + 1], n)) value[number - std::begin(numbers)] = n;
            else tell("go: " + word + " without a number, ignored");
            if (i + 1 < words.size() && !keyword(words[i + 1])) ++i;
        } else {
            tell("go: unknown parameter '" + printable(word) + "', ignored");
        }
    }
    // A limit of zero or less would be none at all: the nearest one that
    // answers stands in for it, and is said.
    const auto atLeastOne = [&](int which, const char* instead) {
        if (!value[which] || *value[which] >= 1) return false;
        tell("go: " + std::string(numbers[which]) + " " + std::to_string(*value[which]) + " is out of range, " + instead);
        value[which] = 1;
        return true;
    };
    atLeastOne(MoveTime, "searching 1 ms");
    atLeastOne(Depth, "searching one iteration");
    atLeastOne(Mate, "searching as for mate 1");
    if (atLeastOne(Nodes, "searching one iteration")) {
        value[Nodes].reset();
        value[Depth] = 1;
    }
    const bool white = gameSideToMove() == White;
    const std::optional<std::int64_t> clock = value[white ? WTime : BTime];
    TimeControl& tc = session::timeControl();
    tc = TimeControl{};
    applyLevel(tc, value[MovesToGo].value_or(0), value[white ? WInc : BInc].value_or(0));
    if (clock) {  // negative after lag: an empty clock, a move at once
        const std::int64_t ms = std::max<std::int64_t>(0, *clock - options.moveOverheadMs);
        applyClock(tc, ms / 10);
        tc.clockMs = ms;
    }
    if (value[MoveTime]) applyMoveTime(tc, *value[MoveTime]);
    applyDepth(tc, value[Depth].value_or(0));
    if (value[Mate])  // a mate in N is seen by iteration 2N
        tc.depthCap = static_cast<int>(std::min<std::int64_t>({tc.depthCap, 2 * *value[Mate], MaxSearchDepth}));
    // With `infinite` only `stop` ends the search, whatever clock came with it.
    const bool infinite = search.holdMove && !search.ponder;
    tc.untimed = infinite || (!clock && !tc.fixedMoveMs);
    if (value[Nodes]) search.request.nodeLimit = static_cast<std::uint64_t>(*value[Nodes]);
    session::thinkForMove(search);
}

void printBenchPosition(const BenchPosition& result) { std::printf("%s\n", benchPositionLine(result).c_str()); }

// bench [DEPTH]: the bench positions searched to DEPTH (7 by default) with a
// 64 MiB table, in the lines of `drozak-tools bench` (a person's command, as
// in other engines; no interface sends it). Afterwards the table has its size
// again and the engine is as after `ucinewgame`.
void benchCommand(const std::vector<std::string>& words) {
    std::int64_t depth = BenchDefaultDepth;
    if (words.size() > 1 && (!parseNumber(words[1], depth) || depth < 2 || depth > MaxSearchDepth))
        return tell("bench: depth '" + printable(words[1]) + "' is not a number from 2 to " + std::to_string(MaxSearchDepth));
    const std::uint64_t tableMiB = ttBytes() >> 20;
    if (!session::resizeTable(BenchTableMiB)) return tell("bench: no memory for a table of " + std::to_string(BenchTableMiB) + " MiB");
    const BenchTotals totals = runBench(static_cast<int>(depth), printBenchPosition);
    if (totals.error.empty()) std::printf("%s\n", benchTotalLines(totals).c_str());
    else tell("bench: " + totals.error);
    session::resizeTable(tableMiB);
    session::newGame();
}

void stopCommand(const std::vector<std::string>&) { session::moveNow(); }
void ponderhitCommand(const std::vector<std::string>&) { session::ponderHit(); }
void quitCommand(const std::vector<std::string>&) { quitRead = true; }
void ignored(const std::vector<std::string>&) {}

struct Command {
    const char* name;
    DuringSearch duringSearch;
    void (*run)(const std::vector<std::string>& words);
};

constexpr Command commands[] = {
    {"uci", DuringSearch::Hold, uciCommand},
    {"isready", DuringSearch::Now, isreadyCommand},
    {"setoption", DuringSearch::Hold, setoptionCommand},
    {"ucinewgame", DuringSearch::Hold, ucinewgameCommand},
    {"position", DuringSearch::Hold, positionCommand},
    {"go", DuringSearch::Hold, goCommand},
    {"stop", DuringSearch::Now, stopCommand},
    {"ponderhit", DuringSearch::Now, ponderhitCommand},
    {"quit", DuringSearch::Now, quitCommand},
    {"debug", DuringSearch::Now, ignored},
    {"register", DuringSearch::Now, ignored},
    {"bench", DuringSearch::Hold, benchCommand},
};

const Command* findCommand(const std::string& word) {
    for (const Command& c : commands)
        if (word == c.name) return &c;
    return nullptr;
}

class Uci : public FrontEnd {
public:
    void handle(const std::string& line) override {
        const std::vector<std::string> words = wordsOf(line);
        if (words.empty()) return;
        if (const Command* c = findCommand(words[0])) c->run(words);
        else tell("unknown command '" + printable(words[0]) + "'");
    }

    DuringSearch duringSearch(const std::string& line) override {
        const std::vector<std::string> words = wordsOf(line);
        const Command* c = words.empty() ? nullptr : findCommand(words[0]);
        return c ? c->duringSearch : DuringSearch::Hold;
    }

    // A line too long to take whole: a `position` it would have set leaves
    // none, so that no search runs on the one before.
    void refuseLongLine(const std::string& start) override {
        const std::string word = splitFirstWord(start.substr(0, 64)).first;
        if (word == "position") forgetGame();
        tell("line longer than " + std::to_string(InputQueue::LineLimit) + " characters refused: '" + printable(word) + "'" +
             (word == "position" ? ": no position" : ""));
    }

    bool quitting() const override { return quitRead; }
};

}  // namespace

void runUci() {
    quitRead = false;
    options = Options{};
    setChess960(false);
    setBookErrorReport(bookMissing);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    commandInput().start(STDIN_FILENO);
    session::start(SessionReports{searchStarting, moveChosen});
    Uci frontEnd;
    runCommandLoop(frontEnd);
    session::end();
}
