#include "xboard/numbers.h"

#include <algorithm>

namespace {

constexpr std::int64_t NumberBound = std::int64_t{1} << 40;  // past any real clock

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
