// How long the engine thinks, as pure functions of a time control: the
// allotment from the engine's clock, moves to go and increment; a fixed time
// a move; a depth cap that, without a clock, leaves the search untimed; the
// stretched first search after the book; extra time after a fail low; and a
// safety margin on the engine's clock that no wait ever eats into. Both
// protocols fill a TimeControl; the session waits as these functions say.
#pragma once

#include <cstdint>

#include "search/search.h"

struct TimeControl {
    std::uint32_t movesPerControl = 40;  // the divisor of the remaining time
    std::uint32_t incrementMs = 0;
    std::uint32_t fixedMoveMs = 0;       // the same time for every move (`st`, `movetime`); 0 none
    std::uint32_t moveTimeMs = 0;        // the clock rule's allotment of the next search
    std::int64_t clockMs = -1;           // the engine's clock as last sent; -1 before any
    bool clockForMove = false;           // a clock was sent for the coming move
    bool clockInGame = false;            // a clock was sent since the game started
    int depthCap = MaxSearchDepth;       // the last iteration a search runs
    bool untimed = false;                // no deadline: the search ends by its own limits
};

// `level MOVES BASE INC` (or a clock's moves to go): MOVES 0 or less means 40.
// Replaces a fixed time a move.
void applyLevel(TimeControl& tc, std::int64_t moves, std::int64_t incrementMs);

// A fixed time for every move, in milliseconds; false (nothing changed) for a
// time of 0 or less.
bool applyMoveTime(TimeControl& tc, std::int64_t ms);

// The engine's clock in centiseconds: the allotment of the next search by the
// clock rule, and the clock kept for the safety margin. A negative clock
// counts as empty.
void applyClock(TimeControl& tc, std::int64_t centiseconds);

// The depth cap: 0 means none; iterations start at 2. False for a negative depth.
bool applyDepth(TimeControl& tc, std::int64_t depth);

// A new game: no clock has been sent in it yet.
void newGameClock(TimeControl& tc);

// The clock rule: the increment and the clock less a second's reserve (when
// there is one to keep) over the moves per control, with integer division.
std::uint32_t allotmentFromClock(std::int64_t centiseconds, std::uint32_t movesPerControl, std::uint32_t incrementMs);

// The allotment of the first search after the book: three times the normal
// one, or movesPerControl / 10 times it when that is less.
std::uint32_t stretchedAfterBook(std::uint32_t allotment, std::uint32_t movesPerControl);

// The clock's safety margin: max(50 ms, 5% of the clock).
std::uint32_t clockMarginMs(std::int64_t clockMs);

// Whether a search runs to its depth cap with no time limit: a finite cap is
// in force, and neither a fixed time nor a clock since the game started sets
// one (as a console or a script asking for a depth expects); or the time
// control says it has none.
bool untimed(const TimeControl& tc);

// `wanted` milliseconds, or less so that the time used so far in the move
// (`usedMs`) stays within a clock sent for it less the margin.
std::uint32_t cappedToClock(const TimeControl& tc, std::uint64_t wanted, std::int64_t usedMs);

// How long the search may run before its allotment is over: under a fixed
// time that time less a tenth of it (at most 100 ms), else the clock rule's
// allotment; never past the margin of a clock sent for the move; the
// largest wait when untimed.
std::uint32_t allotmentWaitMs(const TimeControl& tc, std::int64_t usedMs);

// The extra time a search gets when its iteration is failing low: half the
// allotment times the moves per control, when the allotment is over two
// seconds and the time is not fixed; never past the clock's margin, nor past
// a fifth of the clock (beyond the increment) for the whole move.
std::uint32_t failLowExtraMs(const TimeControl& tc, bool failing, std::int64_t usedMs);
