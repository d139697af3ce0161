// The interface's input, a line at a time. A reader thread of its own fills a
// queue with read(2) on the descriptor (nothing of stdio's locking of stdin),
// so that the command loop can look at what arrives while the engine searches.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

struct InputLine {
    std::string text;      // without its line end
    bool tooLong = false;  // longer than LineLimit: only the first LineLimit characters are kept
};

class InputQueue {
public:
    // Characters of a line, its end not counted: far more than the longest
    // game an interface sends in one `position` line. A longer line is
    // refused whole.
    static constexpr std::size_t LineLimit = std::size_t{1} << 20;

    // Starts reading the descriptor `fd` on the reader thread; after
    // startExternal() it starts nothing.
    void start(int fd);
    // The lines come from pushLine() from now on, not from a descriptor: no
    // reader thread, and the input never ends by itself. A web worker has no
    // standard input (its descriptor 0 is at its end at once); its messages
    // are its lines. Lines pushed before this call stay queued.
    void startExternal();
    // Queues `text` as if the reader had read it followed by a line end: the
    // same limit, a `\r` before a line end dropped, several lines if it holds
    // line ends. Any thread may call it.
    void pushLine(const std::string& text);
    // Ends the reader: waits for it when the input is a file (which ends by
    // itself), lets it go otherwise (a pipe may never end; the process does).
    void finish();

    // The next line, waiting as long as it takes; nothing at the end of the input.
    std::optional<InputLine> take();
    // The next line if one has arrived; nothing otherwise.
    std::optional<InputLine> tryTake();
    // Whether the input has ended and every line of it has been taken.
    bool exhausted();

private:
    void read(int fd);
    // Adds `n` bytes to the partial `line`, queueing every line they end.
    void feed(InputLine& line, const char* bytes, std::size_t n);
    void push(InputLine line);

    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<InputLine> lines_;
    bool ended_ = false;
    bool regularFile_ = false;
    bool external_ = false;
    std::thread reader_;
};

// The queue of the program's standard input.
InputQueue& commandInput();

// The first word of a line and the rest after the blanks that follow it.
struct Words {
    std::string first;
    std::string rest;
};
Words splitFirstWord(const std::string& line);

// A word as the interface may be shown it: every byte outside printable
// ASCII written as \xNN, so that no control byte or NUL goes back raw.
std::string printable(const std::string& text);
