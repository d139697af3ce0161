#include "protocol/commands.h"

#include <cstdio>
#include <cstring>

#include "board/gamelog.h"
#include "board/movetext.h"
#include "board/position.h"
#include "board/tables.h"
#include "protocol/engine.h"
#include "protocol/game.h"
#include "protocol/input.h"
#include "protocol/movecycle.h"
#include "protocol/setup.h"
#include "protocol/timecontrol.h"
#include "search/search.h"
#include "search/transtable.h"

namespace {

CommandInput input(stdin);
char token[CommandInput::BufferSize];
char line[CommandInput::BufferSize];

// No game exists before the first new, result or setboard.
bool positionReady = false;

struct Feature {
    const char* name;
    const char* value;
};
constexpr Feature features[] = {{"done", "0"}, {"setboard", "1"}};

// Commands match on their keyword's length alone: "gonzo" is go.
bool startsWith(const char* text, const char* keyword) {
    return std::strncmp(text, keyword, std::strlen(keyword)) == 0;
}

// Takes the next token when `parse` accepts it; otherwise it stays for the loop.
template <typename Parse>
bool takeNumber(Parse parse, std::int64_t& value) {
    const char* next = input.peek();
    if (!next || !parse(next, value)) return false;
    input.take();
    return true;
}

// "time N", normally followed by "otim M", which is taken with it.
void readTime() {
    std::int64_t centiseconds;
    if (!takeNumber(parseWhole, centiseconds)) {
        logLine("-M: time without a clock value, ignored");
        return;
    }
    applyTime(centiseconds);
    const char* next = input.peek();
    if (next && std::strcmp(next, "otim") == 0) {
        input.take();
        std::int64_t opponentClock;
        takeNumber(parseWhole, opponentClock);
    }
}

// "level MOVES BASE INC"; BASE may be minutes:seconds.
void readLevel() {
    std::int64_t moves, baseSeconds, increment;
    if (!takeNumber(parseWhole, moves) || !takeNumber(parseBaseSeconds, baseSeconds) ||
        !takeNumber(parseSecondsAsMs, increment)) {
        logLine("-M: level without MOVES BASE INC, ignored");
        return;
    }
    applyLevel(moves, increment);
}

// The words after "result" are its reason, whatever they look like: they are
// logged, never taken for commands.
void skipResultReason() {
    input.restOfLine(line);
    for (char* word = std::strtok(line, " \t\r\n\v\f"); word; word = std::strtok(nullptr, " \t\r\n\v\f"))
        logLine("::cmd:: ", word);
}

void readSetboard() {
    stopEngine();
    const CommandInput::Status status = input.restOfLine(line);
    logLine("setboard ", line);
    if (status == CommandInput::Status::TooLong) {
        logLine("-M: setboard line longer than 254 characters");
        logLine("-M: tellusererror Illegal position");
        return;
    }
    if (setupPosition(line, true)) positionReady = true;
    else logLine("-M: tellusererror Illegal position");
}

// An opponent move: made when legal, answered in Waiting.
void opponentMove(Move move) {
    if (!positionReady) {
        logLine("-M: no position yet, move ignored");
        return;
    }
    if (!isLegalMove(move)) {
        std::printf("Illegal move: %s\n", token);
        logLine("-M: Illegal move: ", token);
        return;
    }
    playMove(move);
    if (EngineState == Waiting) thinkAndMove();
}

void newGame() {
    stopEngine();
    setupPosition(StartPositionText, true);
    positionReady = true;
    EngineState = Waiting;
}

void setSide(int side) {
    stopEngine();
    if (positionReady) setSideToMove(side);
}

// Acts on one token; false for quit.
bool dispatch() {
    if (startsWith(token, "time")) {
        readTime();
        return true;
    }
    const std::int32_t state = EngineState;
    if (const Move move = textToMove(token); move && (state == Waiting || state == Idle)) {
        opponentMove(move);
        return true;
    }
    if (startsWith(token, "go")) {
        stopEngine();
        if (positionReady) thinkAndMove();
        else logLine("-M: no position yet, go ignored");
    } else if (startsWith(token, "new")) {
        newGame();
    } else if (startsWith(token, "result")) {
        skipResultReason();
        newGame();
    } else if (startsWith(token, "level")) {
        readLevel();
    } else if (startsWith(token, "force")) {
        stopEngine();
    } else if (startsWith(token, "setboard")) {
        readSetboard();
    } else if (startsWith(token, "quit")) {
        return false;
    } else if (startsWith(token, "white")) {
        setSide(White);
    } else if (startsWith(token, "black")) {
        setSide(Black);
    }
    return true;
}

void shutDown() {
    stopEngine();
    startEngine(Quitting);
    joinEngineThread();
}

}  // namespace

bool handshake() {
    lastMoveFromBook = false;
    EngineState = Waiting;
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stdin, nullptr, _IONBF, 0);
    std::fflush(nullptr);

    input.next(token);
    if (std::strncmp(token, "xboard", 6) != 0) std::printf("Engine works only with xboard protocol ver. 2\n");
    std::printf("\n");
    for (const Feature& f : features) std::printf("feature %s=%s\n", f.name, f.value);

    EngineState = Waiting;
    initSearchState();
    launchEngineThread();
    initTables();
    searchNewGame();
    std::printf("feature done=1\n");
    return true;
}

void commandLoop() {
    if (!handshake()) return;
    stopEngine();
    EngineState = Idle;
    for (;;) {
        const CommandInput::Status status = input.next(token);
        if (status == CommandInput::Status::End) {
            logLine("-M: end of input");  // the interface is gone: end as on quit
            break;
        }
        logLine("::cmd:: ", token);
        if (status == CommandInput::Status::TooLong) {
            logLine("-M: token longer than 255 characters, ignored");
            continue;
        }
        if (!dispatch()) break;
    }
    shutDown();
}
