// The interface's input, a line at a time. A reader thread of its own fills a
// queue, so that the command thread can look at what arrives while the engine
// searches.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdio>
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
    // Characters of a line, its end not counted; a longer line is ignored whole.
    static constexpr std::size_t LineLimit = 4096;

    // Starts reading `in` on the reader thread.
    void start(std::FILE* in);
    // Ends the reader: waits for it when the input is a file (which ends by
    // itself), lets it go otherwise (a pipe may never end; the process does).
    void finish();

    // The next line, waiting as long as it takes; nothing at the end of the input.
    std::optional<InputLine> take();

    // Lines that have arrived and not been taken, looked at without taking
    // them: line i (from 0), if there is one yet.
    std::optional<InputLine> peek(std::size_t i);
    void erase(std::size_t i);
    // Whether the input has ended after the lines waiting in the queue.
    bool ended();

private:
    void read(std::FILE* in);
    void push(InputLine line);

    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<InputLine> lines_;
    bool ended_ = false;
    bool regularFile_ = false;
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
