// Fuzz target: the whole command loop fed an arbitrary byte stream, in this
// process: the bytes become standard input, the loop runs the handshake, every
// command and the shut-down of the engine thread, and returns at the end of
// the input. Afterwards the game position must still be a sound one, and
// every line the engine wrote must be one of the lines the protocol knows.
//
// Searches are held to a few plies so that a `go` or a move costs
// milliseconds whatever clock the input sends; libFuzzer's -timeout catches a
// loop that does not come back.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "board/position.h"
#include "fuzz_checks.h"
#include "protocol/commands.h"
#include "protocol/engine.h"
#include "protocol/setup.h"
#include "protocol/timecontrol.h"
#include "search/search.h"

#ifndef DROZAK_BOOK
#error "DROZAK_BOOK names the book the command loop loads"
#endif

namespace {

using namespace fuzzcheck;

constexpr int SearchDepthLimit = 2;
std::string inputPath;
std::string outputPath;

bool isMoveText(const std::string& text) {
    if (text.size() != 4 && text.size() != 5) return false;
    for (int i : {0, 2})
        if (text[i] < 'a' || text[i] > 'h' || text[i + 1] < '1' || text[i + 1] > '8') return false;
    return text.size() == 4 || std::strchr("qnrb", text[4]) != nullptr;
}

// Thinking output: depth, score, centiseconds, nodes, then moves.
bool isThinkingLine(const std::string& line) {
    std::istringstream words(line);
    long depth, score, time, nodes;
    if (!(words >> depth >> score >> time >> nodes) || depth < 1 || time < 0 || nodes < 0) return false;
    for (std::string move; words >> move;)
        if (!isMoveText(move)) return false;
    return true;
}

// The lines of the interface: the handshake, moves, result claims, the book
// and position errors, pongs, the answers to a move that is not legal and to
// a word that is no command, thinking output.
bool isProtocolLine(const std::string& line) {
    static const char* const fixed[] = {
        "", "feature done=0", "feature setboard=1", "feature ping=1", "feature myname=\"Drozak " DROZAK_VERSION "\"",
        "feature sigint=0", "feature sigterm=0", "feature analyze=1", "feature memory=1", "feature done=1",
        "Engine works only with xboard protocol ver. 2", "tellusererror BOOK ERROR!", "tellusererror Illegal position",
        "1-0 {Drozak mates 1}", "0-1 {Drozak mates 1}", "1-0 {White mates 0}", "0-1 {Black mates 0}",
        "1/2-1/2 {Draw: repetition or statemate}", "pong"};
    for (const char* text : fixed)
        if (line == text) return true;
    if (line.rfind("move ", 0) == 0) return isMoveText(line.substr(5));
    if (line.rfind("Illegal move: ", 0) == 0) return isMoveText(line.substr(14));
    if (line.rfind("pong ", 0) == 0 || line.rfind("Error (unknown command): ", 0) == 0) return true;
    if (line.rfind("stat01: ", 0) == 0) return true;
    return isThinkingLine(line);
}

void requireProtocolOutput() {
    std::fflush(stdout);
    std::ifstream in(outputPath, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        if (!isProtocolLine(line)) std::fprintf(stderr, "unexpected output line: \"%s\"\n", line.c_str());
        FUZZ_REQUIRE(isProtocolLine(line));
    }
}

// Runs the command loop on `bytes` as standard input.
void runCommandLoop(const std::uint8_t* bytes, std::size_t size) {
    std::FILE* file = std::fopen(inputPath.c_str(), "wb");
    FUZZ_REQUIRE(file);
    FUZZ_REQUIRE(std::fwrite(bytes, 1, size, file) == size);
    std::fclose(file);
    FUZZ_REQUIRE(std::freopen(inputPath.c_str(), "rb", stdin) == stdin);
    FUZZ_REQUIRE(std::freopen(outputPath.c_str(), "wb", stdout) == stdout);
    commandLoop();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    workInScratchDirectory("commands", argc, argv);
    quietLog();
    std::filesystem::copy_file(DROZAK_BOOK, "Drozak.book", std::filesystem::copy_options::overwrite_existing);
    inputPath = (std::filesystem::current_path() / "input").string();
    outputPath = (std::filesystem::current_path() / "output").string();
    maxSearchDepth = SearchDepthLimit;
    // A game exists from here on, as after any first `new`: every input then
    // starts from the same state.
    static const std::uint8_t first[] = "xboard\nnew\nquit\n";
    runCommandLoop(first, sizeof first - 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FUZZ_REQUIRE(setupPosition(StartPositionText, false));
    movesPerControl = 40;
    incrementMs = 0;
    moveTimeMs = 0;
    runCommandLoop(data, size);

    FUZZ_REQUIRE(EngineState == Quitting);
    FUZZ_REQUIRE(currentPly == plyStack);
    requireConsistent(position);
    requireSnapshotOf(position);
    FUZZ_REQUIRE(historyTop >= history && historyTop < history + HistorySize);
    FUZZ_REQUIRE(historyTop->hashKey == position.hashKey);
    requireProtocolOutput();
    return 0;
}
