#include "protocol/commands.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>

#include "board/gamelog.h"
#include "board/movetext.h"
#include "board/position.h"
#include "board/tables.h"
#include "protocol/analysis.h"
#include "protocol/engine.h"
#include "protocol/game.h"
#include "protocol/input.h"
#include "protocol/movecycle.h"
#include "protocol/setup.h"
#include "protocol/thinking.h"
#include "protocol/timecontrol.h"
#include "search/search.h"
#include "search/transtable.h"

#ifndef DROZAK_VERSION
#define DROZAK_VERSION "dev"
#endif

namespace {

bool quitting = false;

struct Feature {
    const char* name;
    const char* value;
};
// done=0 first and setboard=1 second, as interfaces have always seen them;
// done=1 comes once the engine is ready.
constexpr Feature features[] = {
    {"done", "0"},        {"setboard", "1"}, {"ping", "1"},    {"myname", "\"Drozak " DROZAK_VERSION "\""},
    {"sigint", "0"},      {"sigterm", "0"},  {"analyze", "1"}, {"memory", "1"},
};

// The words of a line after its command, as numbers.
template <typename Parse>
bool readNumber(Parse parse, const std::string& args, std::int64_t& value) {
    const Words words = splitFirstWord(args);
    return !words.first.empty() && parse(words.first.c_str(), value);
}

// ---------------------------------------------------------------- commands

void timeCommand(const std::string& args) {
    std::int64_t centiseconds;
    if (!readNumber(parseWhole, args, centiseconds)) {
        logLine("-M: time without a clock value, ignored");
        return;
    }
    applyTime(centiseconds);
}

// The opponent's clock: read, and not used for the allotment.
void otimCommand(const std::string& args) {
    std::int64_t centiseconds;
    if (!readNumber(parseWhole, args, centiseconds)) logLine("-M: otim without a clock value, ignored");
}

// "level MOVES BASE INC"; BASE may be minutes:seconds, INC fractional.
void levelCommand(const std::string& args) {
    const Words moves = splitFirstWord(args);
    const Words base = splitFirstWord(moves.rest);
    const Words increment = splitFirstWord(base.rest);
    std::int64_t movesValue, baseSeconds, incrementMs;
    if (!parseWhole(moves.first.c_str(), movesValue) || !parseBaseSeconds(base.first.c_str(), baseSeconds) ||
        !parseSecondsAsMs(increment.first.c_str(), incrementMs)) {
        logLine("-M: level without MOVES BASE INC, ignored");
        return;
    }
    applyLevel(movesValue, incrementMs);
}

void stCommand(const std::string& args) {
    std::int64_t ms;
    if (!readNumber(parseSecondsAsMs, args, ms) || !applyMoveTime(ms)) logLine("-M: st without a positive time, ignored");
}

// "sd DEPTH": no iteration deeper; 0 means no limit, and iterations start at 2.
void sdCommand(const std::string& args) {
    std::int64_t depth;
    if (!readNumber(parseWhole, args, depth) || depth < 0) {
        logLine("-M: sd without a depth, ignored");
        return;
    }
    maxSearchDepth = depth == 0 ? MaxSearchDepth : static_cast<int>(std::clamp<std::int64_t>(depth, 2, MaxSearchDepth));
}

void goCommand(const std::string&) {
    analysing = false;
    stopEngine();
    thinkAndMove();
}

void newGame() {
    stopEngine();
    setupPosition(StartPositionText, true);
    maxSearchDepth = MaxSearchDepth;
    newGameClock();
    EngineState = Waiting;
}

void newCommand(const std::string&) { newGame(); }

// The words after "result" are its reason, whatever they look like.
void resultCommand(const std::string&) { newGame(); }

void forceCommand(const std::string&) {
    if (!analysing) stopEngine();  // analysis goes on: it never moves anyway
}

void setboardCommand(const std::string& args) {
    stopEngine();
    logLine("setboard ", args, "\n");
    if (setupPosition(args.c_str(), true)) return;
    std::printf("tellusererror Illegal position\n");
    logLine("-M: tellusererror Illegal position");
}

void quitCommand(const std::string&) { quitting = true; }

void setSide(int side) {
    stopEngine();
    setSideToMove(side);
}
void whiteCommand(const std::string&) { setSide(White); }
void blackCommand(const std::string&) { setSide(Black); }

// Every command before it has been carried out when it is read.
void pingCommand(const std::string& args) {
    if (args.empty()) std::printf("pong\n");
    else std::printf("pong %s\n", args.c_str());
}

void postCommand(const std::string&) { postThinking = true; }
void nopostCommand(const std::string&) { postThinking = false; }

// `undo` takes back one ply, `remove` two (the engine's move and the one
// before). The engine keeps its mode: after `remove` in a game it plays, the
// next move is answered as ever; after `undo` it does not start thinking by
// itself (the interface says `go` or `force`).
void takeBackPlies(int plies) {
    const bool playing = EngineState == Waiting;
    stopEngine();
    if (playing) EngineState = Waiting;
    if (takeBack(plies)) logLine("-M: took back ", plies, plies == 1 ? " ply" : " plies");
    else logLine("-M: cannot take back ", plies, plies == 1 ? " ply" : " plies", ": the game holds ", gamePlies());
}
void undoCommand(const std::string&) { takeBackPlies(1); }
void removeCommand(const std::string&) { takeBackPlies(2); }

void analyzeCommand(const std::string&) {
    stopEngine();
    analysing = true;  // the search starts once the line is done
}

// Back to force mode from analysis; anywhere else it does not apply, and a
// search for a move or on the opponent's time goes on.
void exitCommand(const std::string&) {
    if (!analysing) {
        logLine("-M: exit outside analysis, ignored");
        return;
    }
    analysing = false;
    stopAnalysis();
    stopEngine();
}

void statusCommand(const std::string&) {
    if (analysing) printAnalysisStatus();
}

void hardCommand(const std::string&) { ponderEnabled = true; }
void easyCommand(const std::string&) { ponderEnabled = false; }

// `memory N`: the table gets what fits N MiB, cleared.
void memoryCommand(const std::string& args) {
    std::int64_t mib;
    if (!readNumber(parseWhole, args, mib) || mib < 0) {
        logLine("-M: memory without a size, ignored");
        return;
    }
    stopEngine();
    const std::size_t buckets = ttBucketsForMiB(static_cast<std::uint64_t>(mib));
    if (ttResize(buckets)) {
        logLine("-M: table ", ttBytes() >> 20, " MiB, ", buckets, " buckets a side");
        storeBookAgain();
    } else
        logLine("-M: no memory for a table of ", (2 * buckets * sizeof(TransBucket)) >> 20, " MiB, keeping ",
                ttBytes() >> 20, " MiB");
}

void ignored(const std::string&) {}

// ---------------------------------------------------------------- the table

// The document's commands match on their keyword's length alone ("gonzo" is
// go); the others only as whole words, so that `st` is not taken for `stop`.
enum class Match { Prefix, Word };

// What a command does to a search on the opponent's time or an analysis:
// leaves it running, or stops it first (taking the expected move back).
enum class Background { Keep, Stop };

struct Command {
    const char* name;
    Match match;
    DuringSearch duringSearch;
    Background background;
    void (*run)(const std::string& args);
};

constexpr auto Hold = DuringSearch::Hold;
constexpr auto Abandon = DuringSearch::Abandon;
constexpr auto Keep = Background::Keep;
constexpr auto Stop = Background::Stop;

// In the order they are tested. `time` comes before the move test, the rest after it.
constexpr Command timeEntry{"time", Match::Prefix, Hold, Keep, timeCommand};
constexpr Command commands[] = {
    {"go", Match::Prefix, Hold, Stop, goCommand},
    {"new", Match::Prefix, Abandon, Stop, newCommand},
    {"result", Match::Prefix, Abandon, Stop, resultCommand},
    {"level", Match::Prefix, Hold, Keep, levelCommand},
    {"force", Match::Prefix, Abandon, Stop, forceCommand},
    {"setboard", Match::Prefix, Abandon, Stop, setboardCommand},
    {"quit", Match::Prefix, Abandon, Stop, quitCommand},
    {"white", Match::Prefix, Abandon, Stop, whiteCommand},
    {"black", Match::Prefix, Abandon, Stop, blackCommand},
    {"ping", Match::Word, Hold, Keep, pingCommand},
    {"st", Match::Word, Hold, Keep, stCommand},
    {"sd", Match::Word, Hold, Keep, sdCommand},
    {"otim", Match::Word, Hold, Keep, otimCommand},
    {"post", Match::Word, Hold, Keep, postCommand},
    {"nopost", Match::Word, Hold, Keep, nopostCommand},
    {"?", Match::Word, DuringSearch::MoveNow, Keep, ignored},
    {"undo", Match::Word, Abandon, Stop, undoCommand},
    {"remove", Match::Word, Abandon, Stop, removeCommand},
    {"analyze", Match::Word, Abandon, Stop, analyzeCommand},
    {"exit", Match::Word, Hold, Keep, exitCommand},
    {".", Match::Word, Hold, Keep, statusCommand},
    {"hard", Match::Word, Hold, Keep, hardCommand},
    {"easy", Match::Word, Hold, Stop, easyCommand},
    {"memory", Match::Word, Hold, Stop, memoryCommand},
    // Commands of the protocol the engine does not act on: taken silently,
    // since some interfaces treat any error line as fatal.
    {"xboard", Match::Word, Hold, Keep, ignored},
    {"protover", Match::Word, Hold, Keep, ignored},
    {"accepted", Match::Word, Hold, Keep, ignored},
    {"rejected", Match::Word, Hold, Keep, ignored},
    {"random", Match::Word, Hold, Keep, ignored},
    {"computer", Match::Word, Hold, Keep, ignored},
    {"name", Match::Word, Hold, Keep, ignored},
    {"rating", Match::Word, Hold, Keep, ignored},
    {"ics", Match::Word, Hold, Keep, ignored},
    {"draw", Match::Word, Hold, Keep, ignored},
    {"hint", Match::Word, Hold, Keep, ignored},
    {"bk", Match::Word, Hold, Keep, ignored},
    {"variant", Match::Word, Hold, Keep, ignored},
    {"cores", Match::Word, Hold, Keep, ignored},
    {"egtpath", Match::Word, Hold, Keep, ignored},
    {"option", Match::Word, Hold, Keep, ignored},
    {"nps", Match::Word, Hold, Keep, ignored},
};

bool matches(const Command& c, const std::string& word) {
    if (c.match == Match::Word) return word == c.name;
    return word.compare(0, std::strlen(c.name), c.name) == 0;
}

const Command* findCommand(const std::string& word) {
    for (const Command& c : commands)
        if (matches(c, word)) return &c;
    return nullptr;
}

// A word as the interface may be shown it: every byte outside printable
// ASCII written as \xNN, so that no control byte or NUL goes back raw.
std::string printable(const std::string& word) {
    std::string text;
    for (const unsigned char c : word) {
        if (c >= 0x20 && c < 0x7f) {
            text += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            text += escaped;
        }
    }
    return text;
}

// Whether a word is an opponent's move: a move of the game position, or while
// pondering any word of a move's form (the board holds the expected move
// then). A word with a NUL byte is none, whatever comes before the NUL.
bool isMoveWord(const std::string& word) {
    if (word.find('\0') != std::string::npos) return false;
    return pondering() ? looksLikeMove(word.c_str()) : textToMove(word.c_str()) != 0;
}

// Ends a search that runs in the background: pondering (its expected move
// taken back) or an analysis (which restarts once the line is done).
void stopBackgroundSearch() {
    if (pondering()) stopPondering();
    else stopAnalysis();
}

// An opponent move: made when legal, answered in Waiting. While pondering, the
// expected move lets the search go on; any other ends it first (and is read
// on the board without the expected move).
void opponentMove(const std::string& word) {
    if (pondering()) {
        if (isPonderMove(word.c_str())) {
            ponderHit();
            return;
        }
        logLine("-BAD PONDER");
    }
    stopBackgroundSearch();
    const Move move = textToMove(word.c_str());
    if (!isLegalMove(move)) {
        std::printf("Illegal move: %s\n", printable(word).c_str());
        logLine("-M: Illegal move: ", word);
        return;
    }
    playMove(move);
    if (EngineState == Waiting && !analysing) thinkAndMove();
}

// Acts on one line; a search in the background goes on or stops as the
// command needs, and analysis restarts on the position the command left.
void dispatch(const std::string& line) {
    const Words words = splitFirstWord(line);
    if (words.first.empty()) return;
    if (matches(timeEntry, words.first)) {
        timeEntry.run(words.rest);
    } else if (isMoveWord(words.first)) {
        opponentMove(words.first);
    } else if (const Command* c = findCommand(words.first)) {
        if (c->background == Stop) stopBackgroundSearch();
        c->run(words.rest);
    } else {
        std::printf("Error (unknown command): %s\n", printable(words.first).c_str());
    }
    if (analysing && !quitting && !analysisRunning()) startAnalysis();
}

// The command side as the program starts it: no mode but force, no pondering,
// analysis or thinking output, no time control, no depth cap, the table of
// its first size. (A run of the loop in a test or a fuzz target starts afresh.)
void resetCommandSide() {
    quitting = false;
    analysing = false;
    ponderEnabled = false;
    ponderMove = 0;
    postThinking = false;
    lastMoveFromBook = false;
    maxSearchDepth = MaxSearchDepth;
    resetTimeControl();
    if (transTable.bucketsPerHalf != DefaultTransBuckets) ttResize(DefaultTransBuckets);
}

void shutDown() {
    stopEngine();
    startEngine(Quitting);
    joinEngineThread();
}

}  // namespace

DuringSearch duringSearch(const std::string& line) {
    const std::string word = splitFirstWord(line).first;
    if (word.empty() || matches(timeEntry, word) || isMoveWord(word)) return Hold;
    const Command* c = findCommand(word);
    return c ? c->duringSearch : Hold;
}

bool handshake() {
    lastMoveFromBook = false;
    EngineState = Waiting;
    // Not fflush(nullptr): that would wait for the lock the reader thread
    // holds on the input while it waits for a line.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::fflush(stdout);

    const std::optional<InputLine> first = commandInput().take();
    if (!first || splitFirstWord(first->text).first.compare(0, 6, "xboard") != 0)
        std::printf("Engine works only with xboard protocol ver. 2\n");
    std::printf("\n");
    std::printf("feature %s=%s\n", features[0].name, features[0].value);
    std::printf("feature %s=%s\n", features[1].name, features[1].value);

    EngineState = Waiting;
    initSearchState();
    launchEngineThread();
    initTables();
    searchNewGame();
    for (std::size_t i = 2; i < std::size(features); ++i) std::printf("feature %s=%s\n", features[i].name, features[i].value);
    std::printf("feature done=1\n");
    return true;
}

void commandLoop() {
    resetCommandSide();
    // Unbuffered before anyone reads it, as the interface expects of an engine.
    std::setvbuf(stdin, nullptr, _IONBF, 0);
    commandInput().start(stdin);
    if (!handshake()) return;
    stopEngine();
    EngineState = Idle;
    // The start position in force mode, as after `new` and `force`: interfaces
    // that never send `new` (GNOME Chess) still have a game to play.
    setupStartQuietly();
    while (!quitting) {
        const std::optional<InputLine> line = commandInput().take();
        if (!line) {
            logLine("-M: end of input");  // the interface is gone: end as on quit
            break;
        }
        logLine("::cmd:: ", line->text);
        if (line->tooLong) {
            logLine("-M: line longer than ", InputQueue::LineLimit, " characters, ignored");
            continue;
        }
        dispatch(line->text);
    }
    shutDown();
    commandInput().finish();
}
