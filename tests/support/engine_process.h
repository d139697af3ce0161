// Test helpers shared by the areas' tests: the engine binary driven over
// pipes the way an interface drives it, and a scratch working directory.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The tests that drive the engine count in milliseconds: 200ms, 3000ms.
using namespace std::chrono_literals;

namespace testsupport {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Makes a fresh temporary directory the working directory for the object's
// life (the book and the log are found there by the engine code in-process).
class ScopedWorkingDir {
public:
    ScopedWorkingDir();
    ~ScopedWorkingDir();
    const std::filesystem::path& path() const { return dir_.path(); }

private:
    TempDir dir_;
    std::filesystem::path previous_;
};

// The engine program started in a fresh temporary directory with its
// standard input and output on pipes. Every read and wait has a deadline, so
// a hung engine fails a test instead of hanging it; the process is killed, if
// still running, when the object goes.
class EngineProcess {
public:
    struct Options {
        std::string binary;   // empty: the engine built with the tests
        bool withBook = false;  // copy the build's Drozak.book into the directory
        std::string oldLog;     // a Drozak.log left there by an earlier run
    };

    EngineProcess();
    explicit EngineProcess(Options options);
    ~EngineProcess();
    EngineProcess(const EngineProcess&) = delete;
    EngineProcess& operator=(const EngineProcess&) = delete;

    // Writes `text` and a newline; false once the engine no longer reads.
    bool send(std::string_view text);
    bool sendRaw(std::string_view bytes);
    void closeInput();

    // The next output line without its newline; nothing when the deadline
    // passes first or the output ends.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout = 3000ms);
    // Lines up to and including the first that `done` accepts; stops early
    // (without such a line) at the deadline.
    std::vector<std::string> readUntil(const std::function<bool(const std::string&)>& done,
                                       std::chrono::milliseconds timeout = 3000ms);
    // Every byte that arrives within `quiet` of the previous one.
    std::string readQuiet(std::chrono::milliseconds quiet = 200ms);
    // Raw bytes up to and including the first occurrence of `marker`.
    std::string readRawUntil(std::string_view marker, std::chrono::milliseconds timeout = 3000ms);

    // "xboard" and "protover 2", then the feature lines up to done=1.
    bool handshake();

    // The exit code once the process has ended (128 + the signal when a
    // signal ended it); nothing when it is still running at the deadline.
    std::optional<int> waitExit(std::chrono::milliseconds timeout = 3000ms);
    void signal(int sig);
    pid_t pid() const { return pid_; }

    const std::filesystem::path& directory() const { return dir_.path(); }
    std::string logText() const;
    std::vector<std::string> logLines() const;

private:
    bool fill(std::chrono::steady_clock::time_point deadline);

    TempDir dir_;
    pid_t pid_ = -1;
    int toEngine_ = -1;
    int fromEngine_ = -1;
    std::string pending_;
    bool outputEnded_ = false;
    std::optional<int> exitCode_;
};

// Splits text into lines (a last line without newline included).
std::vector<std::string> splitLines(const std::string& text);

inline const std::string BookError = "tellusererror BOOK ERROR!";
inline bool isMoveLine(const std::string& line) { return line.rfind("move ", 0) == 0; }

// Sends `ping N` and returns the lines the engine writes before its `pong N`;
// without the pong, a last line "(no pong N)".
std::vector<std::string> linesBeforePong(EngineProcess& engine, int n, std::chrono::milliseconds timeout = 5000ms);

}  // namespace testsupport
