#include "cli/options.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "board/gamelog.h"
#include "book/bookfile.h"
#include "search/search.h"

#ifndef DROZAK_VERSION
#define DROZAK_VERSION "dev"
#endif

namespace cli {

namespace fs = std::filesystem;

std::variant<Options, std::string> parseOptions(int argc, const char* const* argv, Options options) {
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i], value;
        const std::size_t equals = name.rfind("--", 0) == 0 ? name.find('=') : std::string::npos;
        const bool attached = equals != std::string::npos;  // --book=FILE
        if (attached) {
            value = name.substr(equals + 1);
            name.resize(equals);
        }
        if (name == "--book" || name == "--log" || name == "--threads") {
            // The next word is the value unless it looks like another option.
            if (!attached && i + 1 < argc && argv[i + 1][0] != '-') value = argv[++i];
            if (name == "--threads") {
                char* end = nullptr;
                const long count = value.empty() ? 0 : std::strtol(value.c_str(), &end, 10);
                if (value.empty() || *end || count < 1 || count > MaxSearchThreads)
                    return "option --threads needs a number of threads from 1 to " + std::to_string(MaxSearchThreads);
                options.threads = static_cast<int>(count);
                continue;
            }
            if (value.empty()) return "option " + name + " needs a file name";
            if (name == "--book") {
                options.book = value;
            } else {
                options.log = value == "none" ? Options::Log::None : Options::Log::File;
                options.logFile = value;
            }
        } else if (attached) {
            return "option " + name + " takes no value";
        } else if (name == "--uci") {
            options.uci = true;
        } else if (name == "--help" || name == "-h") {
            options.help = true;
        } else if (name == "--version") {
            options.version = true;
        } else {
            return (name[0] == '-' ? "unknown option " : "unexpected argument ") + name;
        }
    }
    return options;
}

std::string usageText(const std::string& program) {
    const std::string indent(program.size() + 8, ' ');
    return "usage: " + program + " [--book FILE] [--log FILE|none] [--threads N] [--uci]\n" +
           indent + "--help | --version\n"
           "A chess engine for xboard (protocol 2) and UCI interfaces.\n"
           "  --book FILE   the opening book (default: Drozak.book in the working\n"
           "                directory, else the book installed with the program)\n"
           "  --log FILE    the log, emptied at start (default: Drozak.log in the\n"
           "                working directory; $XDG_STATE_HOME/drozak/Drozak.log\n"
           "                for an installed engine)\n"
           "  --log none    no log\n"
           "  --threads N   search with N threads (default 1; the interface's\n"
           "                Threads or cores setting changes it)\n"
           "  --uci         speak UCI instead of xboard (as drozak-uci does)\n"
           "  --help, -h    this text\n"
           "  --version     the version\n"
           "See drozak(6).\n";
}

namespace {

// The XDG base directory for state (relative values are to be ignored).
fs::path stateDirectory() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && state[0] == '/') return fs::path(state) / "drozak";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return fs::path(home) / ".local/state/drozak";
    return {};
}

}  // namespace

std::string logFileFor(const Options& options, std::string& error) {
    if (options.log == Options::Log::None) return {};
    if (options.log == Options::Log::File) return options.logFile;
    // An engine run from its build tree logs where it always has.
    if (installedBookFile().empty()) return "Drozak.log";
    const fs::path directory = stateDirectory();
    if (directory.empty()) {
        error = "no place for the log: neither XDG_STATE_HOME nor HOME is set";
        return {};
    }
    std::error_code failure;
    fs::create_directories(directory, failure);
    if (failure) {
        error = "cannot make " + directory.string() + ": " + failure.message();
        return {};
    }
    return (directory / "Drozak.log").string();
}

std::variant<Options, int> startUp(int argc, const char* const* argv, Options defaults) {
    const std::string program = argc > 0 ? fs::path(argv[0]).filename().string() : "drozak";
    const std::variant<Options, std::string> parsed = parseOptions(argc, argv, defaults);
    if (const std::string* error = std::get_if<std::string>(&parsed)) {
        std::fprintf(stderr, "%s: %s\n%s", program.c_str(), error->c_str(), usageText(program).c_str());
        return 2;
    }
    const Options& options = std::get<Options>(parsed);
    if (options.help) {
        std::fputs(usageText(program).c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::puts("Drozak " DROZAK_VERSION);
        return 0;
    }
    chooseBookFile(options.book);
    searchPool.setThreadCount(options.threads);
    std::string error;
    const std::string logFile = logFileFor(options, error);
    gamelog::logTo(logFile);
    if (!logFile.empty() && !gamelog::stream().is_open()) error = "cannot write the log " + logFile + ": " + std::strerror(errno);
    if (!error.empty()) std::fprintf(stderr, "%s: %s; playing on without a log\n", program.c_str(), error.c_str());
    return options;
}

}  // namespace cli
