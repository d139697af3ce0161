// Fuzz target: the whole command loop fed an arbitrary byte stream, in this
// process: the bytes become standard input, the loop runs the handshake, every
// command and the shut-down of the engine thread, and returns at the end of
// the input. Afterwards the game position must still be a sound one.
//
// Searches are held to a few plies so that a `go` or a move costs
// milliseconds whatever clock the input sends; libFuzzer's -timeout catches a
// loop that does not come back.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "board/position.h"
#include "fuzz_checks.h"
#include "protocol/commands.h"
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

// Runs the command loop on `bytes` as standard input.
void runCommandLoop(const std::uint8_t* bytes, std::size_t size) {
    std::FILE* file = std::fopen(inputPath.c_str(), "wb");
    FUZZ_REQUIRE(file);
    FUZZ_REQUIRE(std::fwrite(bytes, 1, size, file) == size);
    std::fclose(file);
    FUZZ_REQUIRE(std::freopen(inputPath.c_str(), "rb", stdin) == stdin);
    commandLoop();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    workInScratchDirectory("commands", argc, argv);
    quietLog();
    std::filesystem::copy_file(DROZAK_BOOK, "Drozak.book", std::filesystem::copy_options::overwrite_existing);
    inputPath = (std::filesystem::current_path() / "input").string();
    FUZZ_REQUIRE(std::freopen("/dev/null", "w", stdout) == stdout);
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
    return 0;
}
