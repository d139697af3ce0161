// How long the engine thinks: the allotment from `level` and `time`, the
// stretched first search after the book, extra time after a fail low, and a
// safety margin on the engine's clock that no wait ever eats into.
#pragma once

#include <cstdint>

extern std::uint32_t movesPerControl;  // the divisor of the remaining time
extern std::uint32_t incrementMs;
extern std::uint32_t moveTimeMs;       // the allotment of the next search
// `st`: the same time for every move, in milliseconds; 0 while `level` rules.
extern std::uint32_t fixedMoveMs;

// The numbers of `time` and `level` as interfaces write them. Each returns
// false, leaving `out` alone, for a text that is not such a number; values too
// large to matter are held at a bound instead of wrapping.
bool parseWhole(const char* text, std::int64_t& out);         // "40", "-3"
bool parseSecondsAsMs(const char* text, std::int64_t& out);   // "3", "0.5"
bool parseBaseSeconds(const char* text, std::int64_t& out);   // "5", "0:30", "1.5"

// `level MOVES BASE INC`: MOVES 0 (or less) means 40; the base is not used,
// as `time` brings the clock before every move. Replaces an `st` setting.
void applyLevel(std::int64_t moves, std::int64_t incrementMsValue);

// `st SECONDS` in milliseconds: at most that long for every move, with no
// stretch after the book and no extra time after a fail low. Replaces the
// `level` setting; false (nothing changed) for a time of 0 or less.
bool applyMoveTime(std::int64_t ms);

// Whether a search runs to its depth cap without a time limit: a finite `sd`
// is in force, and neither `st` nor a `time` since the last `new` sets a clock
// (as a console or a script asking for a depth expects).
bool untimedToDepth();

// What the move cycle lets the next search run before it ends it: under `st`
// the fixed time less a small margin, else the allotment of `time`; never past
// the margin of a clock sent for this move; no end at all when untimed.
std::uint32_t searchAllotmentMs();

// `time CENTISECONDS`: the allotment from the engine's clock, which is also
// remembered for the safety margin. A negative clock counts as empty.
void applyTime(std::int64_t centiseconds);

// The move cycle is over: a clock sent from now on is for the next move.
void endMoveClock();
// A new game: no clock has been sent in it yet.
void newGameClock();
// Every setting back to the program's start: 40 moves, no increment, no `st`,
// no clock.
void resetTimeControl();

// The allotment of the first search after the book: three times the normal
// one, or movesPerControl / 10 times it when that is less.
std::uint32_t stretchedAfterBook(std::uint32_t allotment, std::uint32_t moves);

// The clock's safety margin: max(50 ms, 5% of the clock).
std::uint32_t clockMarginMs(std::int64_t clockMs);

// Starts the clock of one move cycle.
void startMoveClock();
// `wanted` milliseconds, or less so that the time used since startMoveClock
// stays within the last clock sent less its margin.
std::uint32_t cappedWait(std::uint64_t wanted);

// The extra time a search gets when its iteration is failing low: half the
// allotment times the moves per control, when the allotment is over two
// seconds; never past the clock's margin.
std::uint32_t extraTimeAfterFailLow(bool failing);

// The allotment is over: the search starts no further iteration. Returns the
// extra time it gets when its iteration is failing low (0 for none).
std::uint32_t endAllotment();

// Stops the search, but never before it holds a move to play (the table's
// move for the root or its first completed iteration's). Returns once the
// engine thread is parked.
void stopSearchWithMove();

// Both, with the extra time waited for in full.
void finishSearch();
