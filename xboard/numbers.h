// The numbers of `time`, `level`, `st` and the like as interfaces write them.
// Each returns false, leaving `out` alone, for a text that is not such a
// number; values too large to matter are held at a bound instead of wrapping.
#pragma once

#include <cstdint>

bool parseWhole(const char* text, std::int64_t& out);        // "40", "-3"
bool parseSecondsAsMs(const char* text, std::int64_t& out);  // "3", "0.5"
bool parseBaseSeconds(const char* text, std::int64_t& out);  // "5", "0:30", "1.5"
