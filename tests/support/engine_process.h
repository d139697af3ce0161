// The engine program driven over pipes as an interface drives it, in a fresh
// scratch directory; every read and wait has a deadline, so a hung engine
// fails a test instead of hanging it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using namespace std::chrono_literals;

namespace testsupport {

// A bound on how long something may take, stretched by the factor in
// DROZAK_TIME_SCALE (the sanitizer runs set it: their engines are slower).
// Every wait below is stretched by it too.
std::chrono::milliseconds scaled(std::chrono::milliseconds bound);

// A fresh directory under the system's temporary directory, removed with all in it.
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

class EngineProcess {
public:
    struct Options {
        std::string binary;     // empty: the engine built with the tests
        bool withBook = false;  // the build's Drozak.book in the directory
        std::string oldLog;     // a Drozak.log left there by an earlier run
        std::vector<std::string> args = {};  // the command line after the program's name
    };
    EngineProcess() : EngineProcess(Options{}) {}
    explicit EngineProcess(Options options);
    ~EngineProcess();  // kills the engine if it still runs
    EngineProcess(const EngineProcess&) = delete;
    EngineProcess& operator=(const EngineProcess&) = delete;

    // One line, or several separated by '\n'; false once the engine no longer reads.
    bool send(std::string_view lines) { return sendRaw(std::string(lines) + "\n"); }
    bool sendRaw(std::string_view bytes);
    void closeInput();
    // The next line without its end; nothing at the deadline or the end of the output.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout = 3000ms);
    // Lines up to and including the first `done` accepts (or all until the deadline).
    std::vector<std::string> readUntil(const std::function<bool(const std::string&)>& done,
                                       std::chrono::milliseconds timeout = 3000ms);
    bool handshake();  // "xboard", "protover 2", then the feature lines up to done=1
    // The exit code (128 + the signal when one ended it); nothing while it runs.
    std::optional<int> waitExit(std::chrono::milliseconds timeout = 3000ms);
    void signal(int sig);

    const std::filesystem::path& directory() const { return dir_.path(); }
    std::string logText() const;
    std::vector<std::string> logLines() const;

private:
    std::optional<std::string> readLineBy(std::chrono::steady_clock::time_point deadline);

    TempDir dir_;
    pid_t pid_ = -1;
    int toEngine_ = -1, fromEngine_ = -1;
    std::string pending_;
    bool outputEnded_ = false;
    std::optional<int> exitCode_;
};

// The whole of a file, or "" when there is none.
std::string fileText(const std::filesystem::path& path);

inline const std::string BookError = "tellusererror BOOK ERROR!";
inline bool isMoveLine(const std::string& line) { return line.rfind("move ", 0) == 0; }

// Sends `ping N` and returns the lines the engine writes before its `pong N`;
// without the pong, a last line "(no pong N)".
std::vector<std::string> linesBeforePong(EngineProcess& engine, int n, std::chrono::milliseconds timeout = 5000ms);

}  // namespace testsupport
