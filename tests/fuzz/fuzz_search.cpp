// Fuzz target: searches of arbitrary positions (set up from FEN-like text) a
// few plies deep: the position and the history come back whole, and the
// result is a legal move, or none when there is none or the game is drawn.
#include <cstdint>
#include <vector>

#include "board/tables.h"
#include "fuzz_checks.h"
#include "protocol/game.h"
#include "protocol/setup.h"
#include "search/draw.h"
#include "search/search.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    quietLog();
    initTables();
    initSearchState();
    maxSearchDepth = 3;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const FuzzText text(data, size);
    if (!setupPosition(text.get(), false)) return 0;
    const Position before = position;
    const std::vector<HistoryEntry> historyBefore(history, historyTop + 1);
    stopSearch = false;
    stopAfterIteration = false;
    rootSearch();
    FUZZ_REQUIRE(currentPly == plyStack && sameBytes(&before, &position, sizeof position));
    FUZZ_REQUIRE(historyTop - history + 1 == static_cast<long>(historyBefore.size()));
    for (std::size_t i = 0; i < historyBefore.size(); ++i)
        FUZZ_REQUIRE(history[i].hashKey == historyBefore[i].hashKey &&
                     history[i].reversibleCount == historyBefore[i].reversibleCount);
    requireSnapshotOf(position);
    const Move result = rootResultEntry().move;
    FUZZ_REQUIRE(result ? isLegalMove(result) : firstLegalMove() == 0 || isDraw(2));
    return 0;
}
