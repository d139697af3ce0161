// The engine's command line as users and interfaces give it, run as a program
// in scratch directories: the usage, the version, bad options, the book and
// the log it names, the defaults of a build tree, and an installed tree; and
// the build's own set-up on a machine that lacks packages.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "support/engine_process.h"

namespace {

using namespace testsupport;
namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

std::set<std::string> entries(const fs::path& directory) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory)) names.insert(entry.path().filename().string());
    return names;
}

std::string firstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

// A book of one line, as the book maker makes it (its text beside it).
void makeBook(const fs::path& book, const std::string& line) {
    std::ofstream(book.string() + ".txt") << line << '\n';
    const std::string command =
        std::string(DROZAK_TOOLS) + " makebook " + book.string() + ".txt " + book.string() + " >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
}

// Nothing on standard output for a bad command line, one line on standard
// error and then the usage; no protocol started and no file written.
TEST(CommandLine, UsageVersionAndBadOptions) {
    const std::string usage = "usage: drozak [--book FILE] [--log FILE|none] [--threads N] [--uci]";
    const struct {
        Lines args;
        int status;
        std::string out, error;
    } cases[] = {
        {{"--help"}, 0, usage, ""},
        {{"-h", "--book", "x"}, 0, usage, ""},
        {{"--version"}, 0, "Drozak " DROZAK_VERSION, ""},
        {{"--bogus"}, 2, "", "drozak: unknown option --bogus"},
        {{"--book"}, 2, "", "drozak: option --book needs a file name"},
        {{"--log", "--uci"}, 2, "", "drozak: option --log needs a file name"},
        {{"--log="}, 2, "", "drozak: option --log needs a file name"},
        {{"--version=2"}, 2, "", "drozak: option --version takes no value"},
        {{"--uci", "e2e4"}, 2, "", "drozak: unexpected argument e2e4"},
        {{"--threads"}, 2, "", "drozak: option --threads needs a number of threads from 1 to 256"},
        {{"--threads=0"}, 2, "", "drozak: option --threads needs a number of threads from 1 to 256"},
        {{"--threads", "257"}, 2, "", "drozak: option --threads needs a number of threads from 1 to 256"},
        {{"--threads", "2x"}, 2, "", "drozak: option --threads needs a number of threads from 1 to 256"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0]);
        EngineProcess engine({.binary = {}, .withBook = false, .oldLog = {}, .args = c.args});
        engine.closeInput();
        const auto out = engine.readLine();
        EXPECT_EQ(engine.waitExit(), c.status);
        EXPECT_EQ(out.value_or(""), c.out);
        const std::string error = fileText(engine.directory() / "stderr.txt");
        EXPECT_EQ(firstLine(error), c.error);
        EXPECT_EQ(error.find('\n' + usage + '\n'), c.error.empty() ? std::string::npos : c.error.size());
        EXPECT_EQ(entries(engine.directory()), std::set<std::string>{"stderr.txt"});
    }
}

// Started with no arguments in a directory holding Drozak.book, the engine
// answers and logs exactly as the program did before it had a command line
// (tests/cli/defaults.golden, recorded from that program; times masked; the
// log's first line, the handshake's, added since).
TEST(CommandLine, DefaultsAsBefore) {
    EngineProcess engine;
    makeBook(engine.directory() / "Drozak.book", "e2e4 e7e5 g1f3 b8c6 f1b5");
    Lines out;
    const auto step = [&](const std::string& lines, const std::string& last) {
        engine.send(lines);
        for (const std::string& line : engine.readUntil([&](const std::string& l) { return l.rfind(last, 0) == 0; }))
            out.push_back(std::regex_replace(line, std::regex("^(\\d+ -?\\d+ )\\d+ "), "$1* "));
    };
    step("xboard\nprotover 2", "feature done=1");
    step("new\npost\nsd 5\ngo", "move ");
    for (const char* move : {"e7e5", "b8c6", "a7a6"}) step(move, "move ");
    step("ping 1", "pong 1");
    engine.send("quit");
    ASSERT_EQ(engine.waitExit(), 0);
    std::ostringstream transcript;
    for (const std::string& line : out) transcript << line << '\n';
    transcript << "== Drozak.log\n" << engine.logText();
    EXPECT_EQ(transcript.str(), fileText(fs::path(DROZAK_SOURCE_DIR) / "tests/cli/defaults.golden"));
}

// --book wins over the working directory's book; --log writes that file and
// no other, `none` writes none, and one that cannot be opened is said once on
// standard error while the engine plays on. A book that cannot be read is
// told once, as without the option.
TEST(CommandLine, BookAndLogWhereAsked) {
    TempDir files;
    const std::string book = (files.path() / "one.book").string(), log = (files.path() / "game.log").string();
    makeBook(book, "b1c3 d7d5 e2e4");
    const std::string noDirectory = "/nonexistent/Drozak.log", missing = (files.path() / "missing.book").string();
    const struct {
        Lines args;
        Lines moves;  // the engine's first two moves, or the book error and a move
        bool logged;
        std::string error;
    } cases[] = {
        {{"--book", book, "--log", log}, {"move b1c3", "move e2e4"}, true, ""},
        {{"--log=none", "--book=" + book}, {"move b1c3", "move e2e4"}, false, ""},
        {{"--book", book, "--log", noDirectory}, {"move b1c3", "move e2e4"}, false,
         "drozak: cannot write the log " + noDirectory + ": No such file or directory; playing on without a log\n"},
        {{"--book", missing, "--log", log}, {BookError, "move"}, true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[1]);
        EngineProcess engine({.binary = {}, .withBook = true, .oldLog = {}, .args = c.args});
        ASSERT_TRUE(engine.handshake());
        engine.send("new\nsd 2\ngo");
        Lines moves = engine.readUntil(isMoveLine);
        engine.send("d7d5");
        moves.push_back(engine.readUntil(isMoveLine).back());
        EXPECT_EQ(moves[0], c.moves[0]);
        EXPECT_EQ(moves[1].substr(0, c.moves[1].size()), c.moves[1]);
        engine.send("new");
        EXPECT_EQ(linesBeforePong(engine, 2), Lines{});  // the book error once a run
        engine.send("quit");
        EXPECT_EQ(engine.waitExit(), 0);
        EXPECT_EQ(fileText(engine.directory() / "stderr.txt"), c.error);
        EXPECT_EQ(entries(engine.directory()), (std::set<std::string>{"Drozak.book", "stderr.txt"}));
        std::set<std::string> expected = {"one.book", "one.book.txt"};
        if (c.logged) expected.insert("game.log");
        EXPECT_EQ(entries(files.path()), expected);
        EXPECT_EQ(fileText(log).find("::cmd:: d7d5\n") != std::string::npos, c.logged);
        fs::remove(log);
    }
}

// An installed tree in a scratch DESTDIR: its engine, started in an empty
// directory, plays a move of its installed book (book/lines.txt is the
// oracle) and logs under XDG_STATE_HOME, nowhere else.
TEST(CommandLine, InstalledTreeFindsItsBook) {
    TempDir stage;
    // The component's own manifest, so that a user's install_manifest.txt stays.
    const std::string install = "DESTDIR=" + stage.path().string() + " cmake --install " DROZAK_BUILD_DIR
                                " --prefix /usr --component Unspecified >/dev/null";
    ASSERT_EQ(std::system(install.c_str()), 0);
    const fs::path usr = stage.path() / "usr";
    for (const char* file : {"games/drozak-tools", "share/man/man6/drozak.6.gz", "share/man/man6/drozak-tools.6.gz",
                             "share/games/plugins/xboard/drozak.eng", "share/doc/drozak/copyright"})
        EXPECT_TRUE(fs::exists(usr / file)) << file;
    setenv("XDG_STATE_HOME", (stage.path() / "state").c_str(), 1);
    EngineProcess engine({.binary = (usr / "games/drozak").string(), .withBook = false, .oldLog = {}});
    unsetenv("XDG_STATE_HOME");
    ASSERT_TRUE(engine.handshake());
    engine.send("new\ngo");
    const std::string move = engine.readUntil(isMoveLine).back().substr(5);
    engine.send("quit");
    EXPECT_EQ(engine.waitExit(), 0);
    std::set<std::string> firstMoves;
    std::ifstream lines(fs::path(DROZAK_SOURCE_DIR) / "book/lines.txt");
    for (std::string line; std::getline(lines, line);)
        if (!line.empty() && line[0] != '#') firstMoves.insert(line.substr(0, 4));
    EXPECT_EQ(firstMoves.count(move), 1u) << move;
    EXPECT_NE(fileText(stage.path() / "state/drozak/Drozak.log").find("-M: move(book): " + move), std::string::npos);
    EXPECT_EQ(entries(engine.directory()), std::set<std::string>{"stderr.txt"});
    EXPECT_EQ(entries(usr / "share/games/drozak"), std::set<std::string>{"Drozak.book"});
}

// .ci/deps (what `make` runs first) where cmake and g++ are missing, with
// stand-ins for id, sudo and apt-get: root installs them, a user through sudo
// when it asks no password; otherwise the packages and the command that
// installs them are named, nothing is run, and the build stops.
TEST(BuildDeps, InstallAsRootOrThroughSudoOrNameTheCommand) {
    const struct {
        const char* uid;
        int sudoProbe;  // the status of `sudo -n true`; -1: no sudo
        int status;
        const char* calls;  // regular expressions
        const char* error;
    } cases[] = {
        {"0", -1, 0, "apt-get update -qq\napt-get install -y -qq cmake g\\+\\+.*\n", ""},
        {"1000", 0, 0, "sudo -n true\n(sudo -n DEBIAN_FRONTEND=noninteractive apt-get (update -qq|install -y -qq cmake g\\+\\+.*)\n){2}", ""},
        {"1000", 1, 1, "sudo -n true\n", ".ci/deps: missing packages: cmake g\\+\\+.*\n  sudo apt-get install cmake g\\+\\+.*\n"},
        {"1000", -1, 1, "", ".ci/deps: missing packages: cmake g\\+\\+.*\n  su -c 'apt-get install cmake g\\+\\+.*'\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "uid " << c.uid << ", sudo " << c.sudoProbe);
        TempDir dir;
        const fs::path bin = dir.path() / "bin", calls = dir.path() / "calls";
        fs::create_directory(bin);
        const auto standIn = [&](const char* name, const std::string& body) {
            std::ofstream(bin / name) << "#!/bin/sh\n" << body << "\n";
            fs::permissions(bin / name, fs::perms::owner_all);
        };
        standIn("id", std::string("echo ") + c.uid);
        standIn("apt-get", "echo \"apt-get $*\" >>" + calls.string());
        if (c.sudoProbe >= 0)
            standIn("sudo", "echo \"sudo $*\" >>" + calls.string() + "\n[ \"$*\" != \"-n true\" ] || exit " +
                                std::to_string(c.sudoProbe));
        const std::string command = "cd " + dir.path().string() + " && /usr/bin/env -i PATH=" + bin.string() +
                                    " /bin/bash " DROZAK_SOURCE_DIR "/.ci/deps 2>err";
        const int status = std::system(command.c_str());
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, c.status);
        EXPECT_TRUE(std::regex_match(fileText(calls), std::regex(c.calls))) << fileText(calls);
        EXPECT_TRUE(std::regex_match(fileText(dir.path() / "err"), std::regex(c.error))) << fileText(dir.path() / "err");
    }
}

}  // namespace
