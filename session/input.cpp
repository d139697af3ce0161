#include "session/input.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "session/events.h"

namespace {
bool isBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
}  // namespace

void InputQueue::start(int fd) {
    if (external_) return;
    struct stat info {};
    regularFile_ = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.clear();
        ended_ = false;
    }
    reader_ = std::thread([this, fd] { read(fd); });
}

void InputQueue::finish() {
    if (!reader_.joinable()) return;
    bool ended;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ended = ended_;
    }
    if (ended || regularFile_) reader_.join();
    else reader_.detach();
}

void InputQueue::startExternal() {
    std::lock_guard<std::mutex> lock(mutex_);
    external_ = true;
    ended_ = false;
}

void InputQueue::pushLine(const std::string& text) {
    InputLine line;
    feed(line, text.data(), text.size());
    feed(line, "\n", 1);
}

void InputQueue::feed(InputLine& line, const char* bytes, std::size_t n) {
    for (std::size_t i = 0; i < n;) {
        const char* end = static_cast<const char*>(std::memchr(bytes + i, '\n', n - i));
        const std::size_t stop = end ? static_cast<std::size_t>(end - bytes) : n;
        const std::size_t room = LineLimit - std::min(LineLimit, line.text.size());
        const std::size_t taken = std::min(room, stop - i);
        line.text.append(bytes + i, taken);
        if (taken < stop - i) line.tooLong = true;
        i = stop + 1;
        if (!end) break;
        if (!line.tooLong && !line.text.empty() && line.text.back() == '\r') line.text.pop_back();
        push(std::move(line));
        line = InputLine{};
    }
}

void InputQueue::read(int fd) {
    InputLine line;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        feed(line, buffer, static_cast<std::size_t>(n));
    }
    if (!line.text.empty() || line.tooLong) push(std::move(line));  // a last line without its end
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ended_ = true;
    }
    arrived_.notify_all();
    commandWake.set();
}

void InputQueue::push(InputLine line) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.push_back(std::move(line));
    }
    arrived_.notify_all();
    commandWake.set();
}

std::optional<InputLine> InputQueue::take() {
    std::unique_lock<std::mutex> lock(mutex_);
    arrived_.wait(lock, [this] { return !lines_.empty() || ended_; });
    if (lines_.empty()) return std::nullopt;
    InputLine line = std::move(lines_.front());
    lines_.pop_front();
    return line;
}

std::optional<InputLine> InputQueue::tryTake() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (lines_.empty()) return std::nullopt;
    InputLine line = std::move(lines_.front());
    lines_.pop_front();
    return line;
}

bool InputQueue::exhausted() {
    std::lock_guard<std::mutex> lock(mutex_);
    return ended_ && lines_.empty();
}

// Never destroyed: a reader thread that waits on a pipe outlives the command
// loop, and may still take a line while the program exits.
InputQueue& commandInput() {
    static InputQueue* const queue = new InputQueue;
    return *queue;
}

Words splitFirstWord(const std::string& line) {
    std::size_t i = 0;
    while (i < line.size() && isBlank(line[i])) ++i;
    std::size_t end = i;
    while (end < line.size() && !isBlank(line[end])) ++end;
    std::size_t rest = end;
    while (rest < line.size() && isBlank(line[rest])) ++rest;
    return {line.substr(i, end - i), line.substr(rest)};
}

std::string printable(const std::string& text) {
    std::string shown;
    for (const unsigned char c : text) {
        if (c >= 0x20 && c < 0x7f) {
            shown += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            shown += escaped;
        }
    }
    return shown;
}
