// Fuzz target: book files. An arbitrary file loaded from the start position
// leaves the position, the snapshot, the history and the ply stack as they
// were; a file the loader calls sound is well formed and every position of
// its lines holds a legal book move.
#include <sys/mman.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include "board/fen.h"
#include "board/tables.h"
#include "book/book.h"
#include "fuzz_checks.h"
#include "protocol/game.h"
#include "protocol/setup.h"
#include "search/search.h"
#include "search/transtable.h"

namespace {

int bookFile = -1;
std::string bookPath;
Position start;

struct Record {
    const std::uint8_t* moves;
    int count;
};

// A header number N >= 1 (blanks before it allowed), the rest of its line,
// then exactly N records of a count byte of at most 64 and as many moves.
bool wellFormed(const std::uint8_t* data, std::size_t size, std::vector<Record>& records) {
    std::size_t i = 0;
    while (i < size && std::isspace(data[i])) ++i;
    if (i < size && data[i] == '+') ++i;
    long long n = 0;
    const std::size_t digits = i;
    while (i < size && std::isdigit(data[i]) && n <= 1LL << 31) n = n * 10 + (data[i++] - '0');
    if (i == digits || n < 1 || n > 0x7FFFFFFF) return false;
    while (i < size && data[i] != '\n') ++i;
    if (i++ == size) return false;
    while (i < size) {
        const int count = data[i++];
        if (count > MaxBookLineMoves || size - i < 2u * count) return false;
        records.push_back({data + i, count});
        i += 2u * count;
    }
    return static_cast<long long>(records.size()) == n;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    quietLog();
    initTables();
    initSearchState();
    FUZZ_REQUIRE(setupPosition(StartPositionText, false));
    start = position;
    bookFile = memfd_create("book", 0);
    FUZZ_REQUIRE(bookFile >= 0);
    bookPath = "/proc/self/fd/" + std::to_string(bookFile);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FUZZ_REQUIRE(ftruncate(bookFile, 0) == 0 && pwrite(bookFile, data, size, 0) == static_cast<ssize_t>(size));
    const GameSnapshot snapshot = gameSnapshot;
    const HistoryEntry top = *historyTop;
    HistoryEntry* const topAt = historyTop;
    const bool loaded = loadBook(bookPath.c_str(), [](int lines) { return lines / 2; });
    FUZZ_REQUIRE(sameBytes(&start, &position, sizeof position) && sameBytes(&snapshot, &gameSnapshot, sizeof snapshot));
    FUZZ_REQUIRE(currentPly == plyStack && historyTop == topAt);
    FUZZ_REQUIRE(historyTop->hashKey == top.hashKey && historyTop->reversibleCount == top.reversibleCount);
    std::vector<Record> records;
    if (!loaded) return 0;
    FUZZ_REQUIRE(wellFormed(data, size, records));
    for (const Record& r : records) {
        installPosition(start);
        for (int k = 0; k < r.count; ++k) {
            const TransEntry* entry = ttFind();
            FUZZ_REQUIRE(entry && isBookEntry(*entry) && isLegalMove(entry->move()));
            const Move move = static_cast<Move>(r.moves[2 * k] | (r.moves[2 * k + 1] << 8));
            FUZZ_REQUIRE(isLegalMove(move));  // a line with an illegal move fails the load
            playGameMove(move);
        }
    }
    installPosition(start);
    return 0;
}
