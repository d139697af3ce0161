// The command line of the engine's programs (drozak, drozak-uci): the book to
// read, the log to write, the protocol to speak. It is read and acted on
// before any protocol output.
#pragma once

#include <string>
#include <variant>

namespace cli {

struct Options {
    std::string book;  // --book FILE; empty: found as ever (findBookFile)
    enum class Log { Default, None, File } log = Log::Default;
    std::string logFile;  // the file of --log FILE
    bool uci = false;      // --uci
    int threads = 1;       // --threads N: the search threads
    bool help = false;     // --help or -h
    bool version = false;  // --version
};

// The options argv[1] to argv[argc - 1] set on top of `defaults`, or a
// one-line message saying what is wrong.
std::variant<Options, std::string> parseOptions(int argc, const char* const* argv, Options defaults = {});

// The usage text, several lines, for a program started as `program`.
std::string usageText(const std::string& program);

// The log's file: the one named, "" for none, or by default Drozak.log in the
// working directory, unless the program is an installed one (its book is
// installed beside it): then $XDG_STATE_HOME/drozak/Drozak.log, its directory
// created if needed ("" and a message in `error` when there is none to use).
std::string logFileFor(const Options& options, std::string& error);

// Reads the command line and does what it asks before the protocol starts:
// the usage, the version or a bad option end the program, and the exit status
// is returned; otherwise the book is chosen, the log opened (or said on
// standard error, once, why not), the search threads set, and the options
// returned.
std::variant<Options, int> startUp(int argc, const char* const* argv, Options defaults = {});

}  // namespace cli
