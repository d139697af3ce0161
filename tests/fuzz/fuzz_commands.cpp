// Fuzz target: the whole command loop, handshake to shut-down, on an arbitrary
// byte stream as its standard input. Afterwards the game position is sound,
// the engine thread has ended, and every line written is one the protocol knows.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

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

// The handshake, moves, claims, errors, pongs, thinking and status lines.
const std::regex protocolLine(
    "|feature (done=[01]|setboard=1|ping=1|myname=\"Drozak " DROZAK_VERSION "\"|sigint=0|sigterm=0|analyze=1|memory=1)"
    "|Engine works only with xboard protocol ver. 2|tellusererror (BOOK ERROR!|Illegal position)"
    "|(1-0|0-1) \\{Drozak mates 1\\}|1-0 \\{White mates 0\\}|0-1 \\{Black mates 0\\}"
    "|1/2-1/2 \\{Draw: repetition or statemate\\}|pong( .*)?|Error \\(unknown command\\): .+"
    "|(move |Illegal move: )[a-h][1-8][a-h][1-8][qnrb]?|stat01: \\d+ \\d+ \\d+ \\d+ \\d+ ([a-h][1-8][a-h][1-8][qnrb]?)?"
    "|\\d+ -?\\d+ \\d+ \\d+( [a-h][1-8][a-h][1-8][qnrb]?)*");

void runCommandLoop(const std::uint8_t* bytes, std::size_t size) {
    std::FILE* file = std::fopen("input", "wb");
    FUZZ_REQUIRE(file && std::fwrite(bytes, 1, size, file) == size);
    std::fclose(file);
    FUZZ_REQUIRE(std::freopen("input", "rb", stdin) == stdin && std::freopen("output", "wb", stdout) == stdout);
    maxSearchDepth = 3;
    commandLoop();
    std::fflush(stdout);
}

}  // namespace

// Run from a scratch directory: the engine reads its book and writes there.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    quietLog();
    std::filesystem::copy_file(DROZAK_BOOK, "Drozak.book", std::filesystem::copy_options::overwrite_existing);
    static const std::uint8_t first[] = "xboard\nnew\nquit\n";  // a game exists from here on
    runCommandLoop(first, sizeof first - 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FUZZ_REQUIRE(setupPosition(StartPositionText, false));
    applyLevel(40, 0);
    moveTimeMs = 0;
    runCommandLoop(data, size);
    FUZZ_REQUIRE(EngineState == Quitting && currentPly == plyStack && positionIsConsistent());
    requireSnapshotOf(position);
    FUZZ_REQUIRE(historyTop >= history && historyTop < history + HistorySize && historyTop->hashKey == position.hashKey);
    std::ifstream in("output", std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        if (!std::regex_match(line, protocolLine)) std::fprintf(stderr, "unexpected output line: \"%s\"\n", line.c_str());
        FUZZ_REQUIRE(std::regex_match(line, protocolLine));
    }
    return 0;
}
