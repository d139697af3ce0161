#include "protocol/input.h"

#include <cctype>
#include <cstring>

namespace {
bool isBlank(int c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
}  // namespace

CommandInput::Status CommandInput::readToken(char (&token)[BufferSize]) {
    int c;
    do c = std::getc(in_);
    while (c != EOF && isBlank(c));
    if (c == EOF) {
        token[0] = 0;
        return Status::End;
    }
    std::size_t length = 0;
    bool cut = false;
    for (; c != EOF && !isBlank(c); c = std::getc(in_)) {
        if (length < BufferSize - 1) token[length++] = static_cast<char>(c);
        else cut = true;
    }
    token[length] = 0;
    // Leave the separator for a following line read (the text after "setboard").
    if (c != EOF) std::ungetc(c, in_);
    return cut ? Status::TooLong : Status::Ok;
}

CommandInput::Status CommandInput::next(char (&token)[BufferSize]) {
    if (hasPending_) {
        hasPending_ = false;
        std::memcpy(token, pending_, BufferSize);
        return pendingStatus_;
    }
    return readToken(token);
}

const char* CommandInput::peek() {
    if (!hasPending_) {
        pendingStatus_ = readToken(pending_);
        if (pendingStatus_ == Status::End) return nullptr;
        hasPending_ = true;
    }
    return pending_;
}

CommandInput::Status CommandInput::restOfLine(char (&line)[BufferSize]) {
    std::size_t length = 0;
    bool cut = false;
    if (hasPending_) {  // a token looked at but not taken begins the line
        hasPending_ = false;
        length = std::strlen(pending_);
        std::memcpy(line, pending_, length);
        cut = pendingStatus_ == Status::TooLong || length > LineLimit;
        if (length > LineLimit) length = LineLimit;
    }
    int c;
    while ((c = std::getc(in_)) != EOF) {
        if (c == '\n') {
            if (!cut) line[length++] = '\n';
            break;
        }
        if (length < LineLimit) line[length++] = static_cast<char>(c);
        else cut = true;
    }
    line[length] = 0;
    return cut ? Status::TooLong : Status::Ok;
}
