// Bounded reading of the interface's input: whitespace-separated tokens and
// the rest of a line, never more than a buffer holds, with one token of
// look-ahead for the numbers that follow `time` and `level`.
#pragma once

#include <cstddef>
#include <cstdio>

class CommandInput {
public:
    static constexpr std::size_t BufferSize = 256;  // 255 characters and the terminator
    static constexpr std::size_t LineLimit = 254;   // characters of a line, newline not counted

    enum class Status { Ok, TooLong, End };

    explicit CommandInput(std::FILE* in) : in_(in) {}

    // The next token. A longer one is consumed whole and cut to 255
    // characters (TooLong). The character that ended it stays unread.
    Status next(char (&token)[BufferSize]);

    // The next token without taking it, or null at the end of the input;
    // take() takes it, otherwise next() returns it later.
    const char* peek();
    void take() { hasPending_ = false; }

    // The rest of the current line, newline kept when there is one. A line of
    // more than 254 characters is consumed whole, its first 254 characters
    // are kept and TooLong is returned.
    Status restOfLine(char (&line)[BufferSize]);

private:
    Status readToken(char (&token)[BufferSize]);

    std::FILE* in_;
    char pending_[BufferSize] = {};
    Status pendingStatus_ = Status::Ok;
    bool hasPending_ = false;
};
