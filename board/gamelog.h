// The game log, Drozak.log in the working directory unless the program chose
// another file (or none) first: every command read and every decision taken,
// one line at a time, each line flushed at once.
#pragma once

#include <fstream>
#include <mutex>
#include <sstream>
#include <utility>

#include <string>

namespace gamelog {
std::ofstream& stream();
// The log's file instead of Drozak.log, or no log at all when `path` is
// empty; before the stream is first asked for, which opens (and empties) it.
void logTo(const std::string& path);
std::mutex& lineMutex();
// Tests may collect the lines in memory too (null: no copy).
extern std::string* capture;
}  // namespace gamelog

// Writes one whole line: the parts, a newline, a flush. Both threads log, so a
// line is written under a lock and never interleaves with another.
template <typename... Parts>
void logLine(const Parts&... parts) {
    std::ostringstream line;
    (line << ... << parts);
    line << '\n';
    std::lock_guard<std::mutex> lock(gamelog::lineMutex());
    gamelog::stream() << line.str() << std::flush;
    if (gamelog::capture) *gamelog::capture += line.str();
}
