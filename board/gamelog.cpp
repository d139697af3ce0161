#include "board/gamelog.h"

namespace gamelog {

// Opened (and emptied) the first time anyone logs; static initialisation of
// the engine calls it before main, so the file exists from the start.
std::ofstream& stream() {
    static std::ofstream log("Drozak.log", std::ios::out | std::ios::trunc);
    return log;
}

std::string* capture = nullptr;

std::mutex& lineMutex() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace gamelog
