#include "support/engine_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
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

EngineProcess::EngineProcess(Options options) {
    ::signal(SIGPIPE, SIG_IGN);  // a write to an engine that has gone fails instead
    const std::string binary = options.binary.empty() ? std::string(DROZAK_BINARY) : options.binary;
    std::error_code ignored;
    if (options.withBook) fs::copy_file(fs::path(DROZAK_BUILD_DIR) / "Drozak.book", dir_.path() / "Drozak.book", ignored);
    if (!options.oldLog.empty()) std::ofstream(dir_.path() / "Drozak.log", std::ios::binary) << options.oldLog;
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) std::abort();
    const std::string directory = dir_.path().string(), errors = (dir_.path() / "stderr.txt").string();
    pid_ = fork();
    if (pid_ == 0) {
        if (chdir(directory.c_str()) != 0) _exit(126);
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        const int err = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (err >= 0) dup2(err, STDERR_FILENO);
        std::vector<char*> argv = {const_cast<char*>(binary.c_str())};
        for (const std::string& arg : options.args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(binary.c_str(), argv.data());
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
        waitpid(pid_, nullptr, 0);
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

std::optional<std::string> EngineProcess::readLine(std::chrono::milliseconds timeout) {
    return readLineBy(Clock::now() + scaled(timeout));
}

std::optional<std::string> EngineProcess::readLineBy(Clock::time_point deadline) {
    for (std::size_t end; (end = pending_.find('\n')) == std::string::npos;) {
        if (outputEnded_) return std::nullopt;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd p{fromEngine_, POLLIN, 0};
        if (poll(&p, 1, left > 0 ? static_cast<int>(left) : 0) <= 0) return std::nullopt;
        char buffer[4096];
        const ssize_t n = read(fromEngine_, buffer, sizeof buffer);
        if (n <= 0) outputEnded_ = true;
        else pending_.append(buffer, static_cast<std::size_t>(n));
    }
    const std::size_t end = pending_.find('\n');
    std::string line = pending_.substr(0, end);
    pending_.erase(0, end + 1);
    return line;
}

std::vector<std::string> EngineProcess::readUntil(const std::function<bool(const std::string&)>& done,
                                                  std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + scaled(timeout);
    std::vector<std::string> lines;
    while (const auto line = readLineBy(deadline)) {
        lines.push_back(*line);
        if (done(*line)) break;
    }
    return lines;
}

bool EngineProcess::handshake() {
    const auto lines = send("xboard\nprotover 2") ? readUntil([](const std::string& l) { return l == "feature done=1"; })
                                                   : std::vector<std::string>{};
    return !lines.empty() && lines.back() == "feature done=1";
}

std::optional<int> EngineProcess::waitExit(std::chrono::milliseconds timeout) {
    for (const auto deadline = Clock::now() + scaled(timeout); !exitCode_; usleep(2000)) {
        int status;
        if (waitpid(pid_, &status, WNOHANG) == pid_)
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        else if (Clock::now() >= deadline) break;
    }
    return exitCode_;
}

void EngineProcess::signal(int sig) {
    if (pid_ > 0 && !exitCode_) kill(pid_, sig);
}

std::chrono::milliseconds scaled(std::chrono::milliseconds bound) {
    static const double factor = [] {
        const char* text = std::getenv("DROZAK_TIME_SCALE");
        return text ? std::max(1.0, std::atof(text)) : 1.0;
    }();
    return std::chrono::milliseconds(static_cast<long>(bound.count() * factor));
}

std::string fileText(const fs::path& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

std::string EngineProcess::logText() const { return fileText(dir_.path() / "Drozak.log"); }

std::vector<std::string> EngineProcess::logLines() const {
    std::vector<std::string> lines;
    std::istringstream text(logText());
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> linesBeforePong(EngineProcess& engine, int n, std::chrono::milliseconds timeout) {
    const std::string pong = "pong " + std::to_string(n);
    engine.send("ping " + std::to_string(n));
    std::vector<std::string> lines = engine.readUntil([&](const std::string& l) { return l == pong; }, timeout);
    if (!lines.empty() && lines.back() == pong) lines.pop_back();
    else lines.push_back("(no " + pong + ")");  // no comparison of lines passes then
    return lines;
}

}  // namespace testsupport
