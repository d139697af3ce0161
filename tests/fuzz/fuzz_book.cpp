// Fuzz target: the book reader on arbitrary files. Whatever the bytes, the
// load must leave the start position, the game snapshot, the history and the
// ply stack as they were; a load that reports success must have read a
// well-formed file, and every position of its lines must then hold a legal
// book move in the table.
#include <sys/mman.h>
#include <unistd.h>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "board/fen.h"
#include "board/position.h"
#include "board/tables.h"
#include "book/book.h"
#include "fuzz_checks.h"
#include "protocol/game.h"
#include "protocol/setup.h"
#include "search/search.h"
#include "search/transtable.h"

namespace {

using namespace fuzzcheck;

int bookFile = -1;
std::string bookPath;
Position start;

// The middle line: a fixed choice keeps every run of an input alike.
int middleLine(int lineCount) { return lineCount / 2; }

struct Record {
    const std::uint8_t* moves;
    int count;
};

// The records of a file the loader may call whole: a header number N of at
// least 1 (leading blanks allowed), the rest of its line, then exactly N
// records of a count byte of at most 64 and as many 16-bit moves.
bool wellFormed(const std::uint8_t* data, std::size_t size, std::vector<Record>& records) {
    std::size_t i = 0;
    while (i < size && std::isspace(data[i])) ++i;
    bool negative = false;
    if (i < size && (data[i] == '+' || data[i] == '-')) negative = data[i++] == '-';
    long long n = 0;
    const std::size_t digits = i;
    while (i < size && std::isdigit(data[i]) && n <= 1LL << 31) n = n * 10 + (data[i++] - '0');
    if (i == digits || negative || n < 1 || n > 0x7FFFFFFF) return false;
    while (i < size && data[i] != '\n') ++i;
    if (i == size) return false;
    ++i;
    records.clear();
    while (i < size) {
        const int count = data[i++];
        if (count > MaxBookLineMoves || size - i < 2u * count) return false;
        records.push_back({data + i, count});
        i += 2u * count;
    }
    return static_cast<long long>(records.size()) == n;
}

// Every position along every line holds a book move that is legal there.
void requireLinesStored(const std::vector<Record>& records) {
    for (const Record& r : records) {
        installPosition(start);
        for (int k = 0; k < r.count; ++k) {
            const Move move = static_cast<Move>(r.moves[2 * k] | (r.moves[2 * k + 1] << 8));
            const TransEntry* entry = ttFind();
            FUZZ_REQUIRE(entry && isBookEntry(*entry) && isLegalMove(entry->move()));
            FUZZ_REQUIRE(isLegalMove(move));  // a line with an illegal move fails the load
            playGameMove(move);
        }
    }
    installPosition(start);
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
    FUZZ_REQUIRE(ftruncate(bookFile, 0) == 0);
    FUZZ_REQUIRE(pwrite(bookFile, data, size, 0) == static_cast<ssize_t>(size));

    const GameSnapshot snapshot = gameSnapshot;
    HistoryEntry* const top = historyTop;
    const HistoryEntry topEntry = *historyTop;
    PlyRecord* const ply = currentPly;

    const bool loaded = loadBook(bookPath.c_str(), middleLine);

    requireSamePosition(start, position);
    requireSameSnapshot(snapshot, gameSnapshot);
    FUZZ_REQUIRE(currentPly == ply);
    FUZZ_REQUIRE(historyTop == top);
    FUZZ_REQUIRE(historyTop->hashKey == topEntry.hashKey);
    FUZZ_REQUIRE(historyTop->reversibleCount == topEntry.reversibleCount);

    std::vector<Record> records;
    if (loaded) {
        FUZZ_REQUIRE(wellFormed(data, size, records));
        requireLinesStored(records);
    }
    return 0;
}
