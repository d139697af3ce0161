#include "board/gamelog.h"

namespace gamelog {

namespace {
// A function's static, so that it is there whoever logs first.
std::string& logPath() {
    static std::string path = "Drozak.log";
    return path;
}
}  // namespace

// Opened (and emptied) the first time anyone logs; the engine asks for it at
// start-up, so that the file exists from the start.
std::ofstream& stream() {
    static std::ofstream log =
        logPath().empty() ? std::ofstream() : std::ofstream(logPath(), std::ios::out | std::ios::trunc);
    return log;
}

void logTo(const std::string& path) { logPath() = path; }

std::string* capture = nullptr;

std::mutex& lineMutex() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace gamelog
