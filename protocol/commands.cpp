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
#include "protocol/engine.h"
#include "protocol/game.h"
#include "protocol/input.h"
#include "protocol/movecycle.h"
#include "protocol/setup.h"
#include "protocol/thinking.h"
#include "protocol/timecontrol.h"
#include "search/search.h"

#ifndef DROZAK_VERSION
#define DROZAK_VERSION "dev"
#endif

namespace {

// No game exists before the first new, result or setboard.
bool positionReady = false;
bool quitting = false;

struct Feature {
    const char* name;
    const char* value;
};
// done=0 first and setboard=1 second, as interfaces have always seen them;
// done=1 comes once the engine is ready.
constexpr Feature features[] = {
    {"done", "0"},        {"setboard", "1"}, {"ping", "1"},    {"myname", "\"Drozak " DROZAK_VERSION "\""},
    {"sigint", "0"},      {"sigterm", "0"},  {"analyze", "0"},
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
    stopEngine();
    if (positionReady) thinkAndMove();
    else logLine("-M: no position yet, go ignored");
}

void newGame() {
    stopEngine();
    setupPosition(StartPositionText, true);
    positionReady = true;
    maxSearchDepth = MaxSearchDepth;
    EngineState = Waiting;
}

void newCommand(const std::string&) { newGame(); }

// The words after "result" are its reason, whatever they look like.
void resultCommand(const std::string&) { newGame(); }

void forceCommand(const std::string&) { stopEngine(); }

void setboardCommand(const std::string& args) {
    stopEngine();
    logLine("setboard ", args, "\n");
    if (setupPosition(args.c_str(), true)) {
        positionReady = true;
        return;
    }
    std::printf("tellusererror Illegal position\n");
    logLine("-M: tellusererror Illegal position");
}

void quitCommand(const std::string&) { quitting = true; }

void setSide(int side) {
    stopEngine();
    if (positionReady) setSideToMove(side);
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

void ignored(const std::string&) {}

// ---------------------------------------------------------------- the table

// The document's commands match on their keyword's length alone ("gonzo" is
// go); the others only as whole words, so that `st` is not taken for `stop`.
enum class Match { Prefix, Word };

struct Command {
    const char* name;
    Match match;
    DuringSearch duringSearch;
    void (*run)(const std::string& args);
};

// In the order they are tested. `time` comes before the move test, the rest after it.
constexpr Command timeEntry{"time", Match::Prefix, DuringSearch::Hold, timeCommand};
constexpr Command commands[] = {
    {"go", Match::Prefix, DuringSearch::Hold, goCommand},
    {"new", Match::Prefix, DuringSearch::Abandon, newCommand},
    {"result", Match::Prefix, DuringSearch::Abandon, resultCommand},
    {"level", Match::Prefix, DuringSearch::Hold, levelCommand},
    {"force", Match::Prefix, DuringSearch::Abandon, forceCommand},
    {"setboard", Match::Prefix, DuringSearch::Abandon, setboardCommand},
    {"quit", Match::Prefix, DuringSearch::Abandon, quitCommand},
    {"white", Match::Prefix, DuringSearch::Abandon, whiteCommand},
    {"black", Match::Prefix, DuringSearch::Abandon, blackCommand},
    {"ping", Match::Word, DuringSearch::Hold, pingCommand},
    {"st", Match::Word, DuringSearch::Hold, stCommand},
    {"sd", Match::Word, DuringSearch::Hold, sdCommand},
    {"otim", Match::Word, DuringSearch::Hold, otimCommand},
    {"post", Match::Word, DuringSearch::Hold, postCommand},
    {"nopost", Match::Word, DuringSearch::Hold, nopostCommand},
    {"?", Match::Word, DuringSearch::MoveNow, ignored},
    // Commands of the protocol the engine does not act on: taken silently,
    // since some interfaces treat any error line as fatal.
    {"xboard", Match::Word, DuringSearch::Hold, ignored},
    {"protover", Match::Word, DuringSearch::Hold, ignored},
    {"accepted", Match::Word, DuringSearch::Hold, ignored},
    {"rejected", Match::Word, DuringSearch::Hold, ignored},
    {"random", Match::Word, DuringSearch::Hold, ignored},
    {"computer", Match::Word, DuringSearch::Hold, ignored},
    {"name", Match::Word, DuringSearch::Hold, ignored},
    {"rating", Match::Word, DuringSearch::Hold, ignored},
    {"ics", Match::Word, DuringSearch::Hold, ignored},
    {"draw", Match::Word, DuringSearch::Hold, ignored},
    {"hint", Match::Word, DuringSearch::Hold, ignored},
    {"bk", Match::Word, DuringSearch::Hold, ignored},
    {"hard", Match::Word, DuringSearch::Hold, ignored},
    {"easy", Match::Word, DuringSearch::Hold, ignored},
    {".", Match::Word, DuringSearch::Hold, ignored},
    {"exit", Match::Word, DuringSearch::Hold, ignored},
    {"variant", Match::Word, DuringSearch::Hold, ignored},
    {"cores", Match::Word, DuringSearch::Hold, ignored},
    {"egtpath", Match::Word, DuringSearch::Hold, ignored},
    {"option", Match::Word, DuringSearch::Hold, ignored},
    {"nps", Match::Word, DuringSearch::Hold, ignored},
};

bool matches(const Command& c, const std::string& word) {
    if (c.match == Match::Word) return word == c.name;
    return word.compare(0, std::strlen(c.name), c.name) == 0;
}

// An opponent move: made when legal, answered in Waiting.
void opponentMove(Move move, const std::string& word) {
    if (!positionReady) {
        logLine("-M: no position yet, move ignored");
        return;
    }
    if (!isLegalMove(move)) {
        std::printf("Illegal move: %s\n", word.c_str());
        logLine("-M: Illegal move: ", word);
        return;
    }
    playMove(move);
    if (EngineState == Waiting) thinkAndMove();
}

// Acts on one line.
void dispatch(const std::string& line) {
    const Words words = splitFirstWord(line);
    if (words.first.empty()) return;
    if (matches(timeEntry, words.first)) {
        timeEntry.run(words.rest);
        return;
    }
    const std::int32_t state = EngineState;
    if (const Move move = textToMove(words.first.c_str()); move && (state == Waiting || state == Idle)) {
        opponentMove(move, words.first);
        return;
    }
    for (const Command& c : commands) {
        if (matches(c, words.first)) {
            c.run(words.rest);
            return;
        }
    }
    std::printf("Error (unknown command): %s\n", words.first.c_str());
}

void shutDown() {
    stopEngine();
    startEngine(Quitting);
    joinEngineThread();
}

}  // namespace

DuringSearch duringSearch(const std::string& line) {
    const std::string word = splitFirstWord(line).first;
    if (word.empty() || matches(timeEntry, word) || textToMove(word.c_str())) return DuringSearch::Hold;
    for (const Command& c : commands)
        if (matches(c, word)) return c.duringSearch;
    return DuringSearch::Hold;
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
    quitting = false;
    // Unbuffered before anyone reads it, as the interface expects of an engine.
    std::setvbuf(stdin, nullptr, _IONBF, 0);
    commandInput().start(stdin);
    if (!handshake()) return;
    stopEngine();
    EngineState = Idle;
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
