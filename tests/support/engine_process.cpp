#include "support/engine_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace testsupport {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "drozak-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

ScopedWorkingDir::ScopedWorkingDir() : previous_(fs::current_path()) { fs::current_path(dir_.path()); }

ScopedWorkingDir::~ScopedWorkingDir() { fs::current_path(previous_); }

EngineProcess::EngineProcess(Options options) {
    // A write to an engine that has gone must fail, not end the test program.
    ::signal(SIGPIPE, SIG_IGN);
    const std::string binary = options.binary.empty() ? std::string(DROZAK_BINARY) : options.binary;
    if (options.withBook) {
        const fs::path book = fs::path(DROZAK_BUILD_DIR) / "Drozak.book";
        std::error_code ignored;
        fs::copy_file(book, dir_.path() / "Drozak.book", ignored);
    }
    if (!options.oldLog.empty()) std::ofstream(dir_.path() / "Drozak.log", std::ios::binary) << options.oldLog;
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) std::abort();
    const std::string directory = dir_.path().string();
    const std::string errors = (dir_.path() / "stderr.txt").string();
    pid_ = fork();
    if (pid_ == 0) {
        if (chdir(directory.c_str()) != 0) _exit(126);
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        const int err = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (err >= 0) dup2(err, STDERR_FILENO);
        execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    toEngine_ = in[1];
    fromEngine_ = out[0];
}

EngineProcess::~EngineProcess() {
    closeInput();
    if (pid_ > 0 && !exitCode_) {
        kill(pid_, SIGKILL);
        int status;
        waitpid(pid_, &status, 0);
    }
    if (fromEngine_ >= 0) close(fromEngine_);
}

bool EngineProcess::sendRaw(std::string_view bytes) {
    while (!bytes.empty() && toEngine_ >= 0) {
        const ssize_t n = write(toEngine_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return bytes.empty();
}

void EngineProcess::closeInput() {
    if (toEngine_ >= 0) close(toEngine_);
    toEngine_ = -1;
}

// Reads what is there (waiting until the deadline for something); false at
// the deadline or the end of the output.
bool EngineProcess::fill(Clock::time_point deadline) {
    if (outputEnded_) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd p{fromEngine_, POLLIN, 0};
    const int ready = poll(&p, 1, left > 0 ? static_cast<int>(left) : 0);
    if (ready <= 0) return false;
    char buffer[4096];
    const ssize_t n = read(fromEngine_, buffer, sizeof buffer);
    if (n <= 0) {
        outputEnded_ = true;
        return false;
    }
    pending_.append(buffer, static_cast<std::size_t>(n));
    return true;
}

std::optional<std::string> EngineProcess::readLine(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const std::size_t end = pending_.find('\n');
        if (end != std::string::npos) {
            std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            return line;
        }
        if (!fill(deadline)) return std::nullopt;
    }
}

std::vector<std::string> EngineProcess::readUntil(const std::function<bool(const std::string&)>& done,
                                                  std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    std::vector<std::string> lines;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        std::optional<std::string> line = readLine(left.count() > 0 ? left : 0ms);
        if (!line) return lines;
        lines.push_back(*line);
        if (done(*line)) return lines;
    }
}

std::string EngineProcess::readQuiet(std::chrono::milliseconds quiet) {
    while (fill(Clock::now() + quiet)) {
    }
    std::string all;
    all.swap(pending_);
    return all;
}

std::string EngineProcess::readRawUntil(std::string_view marker, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const std::size_t at = pending_.find(marker);
        if (at != std::string::npos) {
            std::string head = pending_.substr(0, at + marker.size());
            pending_.erase(0, at + marker.size());
            return head;
        }
        if (!fill(deadline)) {
            std::string all;
            all.swap(pending_);
            return all;
        }
    }
}

bool EngineProcess::handshake() {
    if (!send("xboard") || !send("protover 2")) return false;
    const std::vector<std::string> lines = readUntil([](const std::string& l) { return l == "feature done=1"; });
    return !lines.empty() && lines.back() == "feature done=1";
}

std::optional<int> EngineProcess::waitExit(std::chrono::milliseconds timeout) {
    if (exitCode_) return exitCode_;
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        int status;
        const pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return exitCode_;
        }
        if (Clock::now() >= deadline) return std::nullopt;
        usleep(2000);
    }
}

void EngineProcess::signal(int sig) {
    if (pid_ > 0 && !exitCode_) kill(pid_, sig);
}

std::string EngineProcess::logText() const {
    std::ifstream in(dir_.path() / "Drozak.log", std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> EngineProcess::logLines() const { return splitLines(logText()); }

std::vector<std::string> linesBeforePong(EngineProcess& engine, int n, std::chrono::milliseconds timeout) {
    const std::string pong = "pong " + std::to_string(n);
    engine.send("ping " + std::to_string(n));
    std::vector<std::string> lines = engine.readUntil([&](const std::string& l) { return l == pong; }, timeout);
    if (!lines.empty() && lines.back() == pong) lines.pop_back();
    else lines.push_back("(no " + pong + ")");  // no comparison of lines passes then
    return lines;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace testsupport
