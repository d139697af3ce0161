#include "session/timing.h"

#include <algorithm>
#include <limits>

namespace {

constexpr std::int64_t NumberBound = std::int64_t{1} << 40;  // past any real clock
constexpr std::uint32_t MaxMs = std::numeric_limits<std::uint32_t>::max();
// A move that fails low takes at most a fifth of the clock beyond the increment.
constexpr std::int64_t FailLowShareOfClock = 5;

constexpr std::uint32_t clampMs(std::int64_t ms) {
    return ms < 0 ? 0u : ms > std::int64_t{MaxMs} ? MaxMs : static_cast<std::uint32_t>(ms);
}

}  // namespace

void applyLevel(TimeControl& tc, std::int64_t moves, std::int64_t incrementMs) {
    tc.movesPerControl = moves >= 1 ? clampMs(moves) : 40;
    tc.incrementMs = incrementMs >= 1 ? clampMs(incrementMs) : 0;
    tc.fixedMoveMs = 0;
}

bool applyMoveTime(TimeControl& tc, std::int64_t ms) {
    if (ms <= 0) return false;
    tc.fixedMoveMs = clampMs(ms);
    return true;
}

void applyClock(TimeControl& tc, std::int64_t centiseconds) {
    const std::int64_t t = std::clamp<std::int64_t>(centiseconds, 0, NumberBound);
    tc.clockMs = t * 10;
    tc.clockForMove = tc.clockInGame = true;
    tc.moveTimeMs = allotmentFromClock(t, tc.movesPerControl, tc.incrementMs);
}

bool applyDepth(TimeControl& tc, std::int64_t depth) {
    if (depth < 0) return false;
    tc.depthCap = depth == 0 ? MaxSearchDepth : static_cast<int>(std::clamp<std::int64_t>(depth, 2, MaxSearchDepth));
    return true;
}

void newGameClock(TimeControl& tc) { tc.clockInGame = false; }

std::uint32_t allotmentFromClock(std::int64_t centiseconds, std::uint32_t movesPerControl, std::uint32_t incrementMs) {
    std::int64_t t = std::clamp<std::int64_t>(centiseconds, 0, NumberBound);
    if (t >= 200) t -= 100;  // one second in reserve, when there is one to keep
    return clampMs(std::int64_t{incrementMs} + (t / std::max<std::uint32_t>(movesPerControl, 1)) * 10);
}

std::uint32_t stretchedAfterBook(std::uint32_t allotment, std::uint32_t movesPerControl) {
    const std::uint64_t threeTimes = std::uint64_t{allotment} * 3;
    const std::uint64_t byControl = std::uint64_t{movesPerControl} * allotment / 10;
    return clampMs(static_cast<std::int64_t>(std::min(threeTimes, byControl)));
}

std::uint32_t clockMarginMs(std::int64_t clockMs) {
    return clampMs(std::max<std::int64_t>(50, clockMs / 20));
}

bool untimed(const TimeControl& tc) {
    return tc.untimed || (!tc.fixedMoveMs && !tc.clockInGame && tc.depthCap < MaxSearchDepth);
}

std::uint32_t cappedToClock(const TimeControl& tc, std::uint64_t wanted, std::int64_t usedMs) {
    const std::uint32_t want = clampMs(static_cast<std::int64_t>(std::min<std::uint64_t>(wanted, MaxMs)));
    if (tc.clockMs < 0) return want;
    return std::min(want, clampMs(tc.clockMs - clockMarginMs(tc.clockMs) - usedMs));
}

std::uint32_t allotmentWaitMs(const TimeControl& tc, std::int64_t usedMs) {
    if (untimed(tc)) return MaxMs;
    if (!tc.fixedMoveMs) return cappedToClock(tc, tc.moveTimeMs, usedMs);
    // Answer within the time, with room for stopping the search and writing
    // the move: a tenth of it, at most 100 ms.
    const std::uint32_t wait = tc.fixedMoveMs - std::min<std::uint32_t>(100, tc.fixedMoveMs / 10);
    return tc.clockForMove ? cappedToClock(tc, wait, usedMs) : wait;
}

std::uint32_t failLowExtraMs(const TimeControl& tc, bool failing, std::int64_t usedMs) {
    if (!failing || tc.fixedMoveMs || untimed(tc) || tc.moveTimeMs <= 2000) return 0;
    const std::uint64_t wanted = std::uint64_t{tc.movesPerControl} * tc.moveTimeMs / 2;
    if (tc.clockMs < 0) return cappedToClock(tc, wanted, usedMs);
    // However deep the fail low, one move cannot empty the clock, nor can a
    // run of them: each leaves four fifths of it.
    const std::int64_t share = std::int64_t{tc.incrementMs} + tc.clockMs / FailLowShareOfClock;
    return cappedToClock(tc, std::min<std::uint64_t>(wanted, clampMs(share - usedMs)), usedMs);
}
