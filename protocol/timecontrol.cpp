#include "protocol/timecontrol.h"

#include <algorithm>
#include <chrono>
#include <limits>

#include "board/gamelog.h"
#include "protocol/engine.h"
#include "search/search.h"

std::uint32_t movesPerControl = 40;
std::uint32_t incrementMs = 0;
std::uint32_t moveTimeMs = 0;
std::uint32_t fixedMoveMs = 0;

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::int64_t NumberBound = std::int64_t{1} << 40;  // past any real clock
constexpr std::uint32_t MaxMs = std::numeric_limits<std::uint32_t>::max();

std::int64_t engineClockMs = -1;  // the clock last sent by `time`; -1 before any
bool clockSentForMove = false;    // a `time` came since the last move cycle
bool clockSentInGame = false;     // a `time` came since the last `new`
Clock::time_point moveStart = Clock::now();

constexpr std::uint32_t clampMs(std::int64_t ms) {
    return ms < 0 ? 0u : ms > std::int64_t{MaxMs} ? MaxMs : static_cast<std::uint32_t>(ms);
}

// Reads optional sign and digits from `text`; returns the character after them
// or null when there is no digit. The value is held at NumberBound.
const char* readDigits(const char* text, std::int64_t& value, bool& negative) {
    negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    if (*text < '0' || *text > '9') return nullptr;
    value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) value = std::min(value * 10 + (*text - '0'), NumberBound);
    return text;
}

// The thousandths that the digits after a decimal point stand for ("5" ->
// 500, "25" -> 250); returns the character after them.
const char* readThousandths(const char* text, std::int64_t& value) {
    value = 0;
    int scale = 100;
    for (; *text >= '0' && *text <= '9'; ++text, scale /= 10) value += (*text - '0') * scale;
    return text;
}

}  // namespace

bool parseWhole(const char* text, std::int64_t& out) {
    std::int64_t value;
    bool negative;
    const char* end = readDigits(text, value, negative);
    if (!end || *end) return false;
    out = negative ? -value : value;
    return true;
}

bool parseSecondsAsMs(const char* text, std::int64_t& out) {
    std::int64_t seconds, thousandths = 0;
    bool negative;
    const char* end = readDigits(text, seconds, negative);
    if (!end) return false;
    if (*end == '.') end = readThousandths(end + 1, thousandths);
    if (*end) return false;
    const std::int64_t ms = seconds * 1000 + thousandths;
    out = negative ? -ms : ms;
    return true;
}

bool parseBaseSeconds(const char* text, std::int64_t& out) {
    std::int64_t minutes, seconds = 0;
    bool negative;
    const char* end = readDigits(text, minutes, negative);
    if (!end) return false;
    if (*end == ':') {
        ++end;
        if (*end < '0' || *end > '9') return false;
        bool unsignedSeconds;
        end = readDigits(end, seconds, unsignedSeconds);
    } else if (*end == '.') {
        std::int64_t thousandths;
        end = readThousandths(end + 1, thousandths);
        seconds = thousandths * 60 / 1000;
    }
    if (*end) return false;
    const std::int64_t total = minutes * 60 + seconds;
    out = negative ? -total : total;
    return true;
}

void applyLevel(std::int64_t moves, std::int64_t incrementMsValue) {
    movesPerControl = moves >= 1 ? clampMs(moves) : 40;
    incrementMs = incrementMsValue >= 1 ? clampMs(incrementMsValue) : 0;
    fixedMoveMs = 0;
}

bool applyMoveTime(std::int64_t ms) {
    if (ms <= 0) return false;
    fixedMoveMs = clampMs(ms);
    return true;
}

bool untimedToDepth() { return !fixedMoveMs && !clockSentInGame && maxSearchDepth < MaxSearchDepth; }

std::uint32_t searchAllotmentMs() {
    if (untimedToDepth()) return MaxMs;
    if (!fixedMoveMs) return cappedWait(moveTimeMs);
    // Answer within the time, with room for stopping the search and writing
    // the move: a tenth of it, at most 100 ms.
    const std::uint32_t wait = fixedMoveMs - std::min<std::uint32_t>(100, fixedMoveMs / 10);
    return clockSentForMove ? cappedWait(wait) : wait;
}

void endMoveClock() { clockSentForMove = false; }

void newGameClock() { clockSentInGame = false; }

void resetTimeControl() {
    applyLevel(40, 0);
    moveTimeMs = 0;
    engineClockMs = -1;
    clockSentForMove = clockSentInGame = false;
}

void applyTime(std::int64_t centiseconds) {
    std::int64_t t = std::clamp<std::int64_t>(centiseconds, 0, NumberBound);
    engineClockMs = t * 10;
    clockSentForMove = clockSentInGame = true;
    if (t >= 200) t -= 100;  // one second in reserve, when there is one to keep
    moveTimeMs = clampMs(std::int64_t{incrementMs} + (t / movesPerControl) * 10);
}

std::uint32_t stretchedAfterBook(std::uint32_t allotment, std::uint32_t moves) {
    const std::uint64_t threeTimes = std::uint64_t{allotment} * 3;
    const std::uint64_t byControl = std::uint64_t{moves} * allotment / 10;
    return clampMs(static_cast<std::int64_t>(std::min(threeTimes, byControl)));
}

std::uint32_t clockMarginMs(std::int64_t clockMs) {
    return static_cast<std::uint32_t>(std::max<std::int64_t>(50, clockMs / 20));
}

void startMoveClock() { moveStart = Clock::now(); }

std::uint32_t cappedWait(std::uint64_t wanted) {
    const std::uint32_t want = clampMs(static_cast<std::int64_t>(std::min<std::uint64_t>(wanted, MaxMs)));
    if (engineClockMs < 0) return want;
    const std::int64_t used =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - moveStart).count();
    const std::int64_t left = engineClockMs - clockMarginMs(engineClockMs) - used;
    return std::min(want, clampMs(left));
}

std::uint32_t extraTimeAfterFailLow(bool failing) {
    if (!failing || fixedMoveMs || moveTimeMs <= 2000) return 0;
    return cappedWait(std::uint64_t{movesPerControl} * moveTimeMs / 2);
}

std::uint32_t endAllotment() {
    const bool failing = failLow;
    // From here the search starts no further iteration.
    EngineState = Idle;
    stopAfterIteration = true;
    const std::uint32_t extra = extraTimeAfterFailLow(failing);
    if (extra) logLine("-M: FL - Extra time");
    return extra;
}

void stopSearchWithMove() {
    // A move must come of every search. Its first iteration at depth 2 takes
    // next to no time; one that starts deeper on the table's word already
    // holds the table's move.
    while (!resultHasMove && !stoppedSignal.waitFor(1)) {
    }
    stopSearch = true;
    stoppedSignal.wait();
}

void finishSearch() {
    if (const std::uint32_t extra = endAllotment()) stoppedSignal.waitFor(extra);
    stopSearchWithMove();
}
