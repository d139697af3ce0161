// Fuzz target: a short root search on every position that setup accepts. The
// search must take back everything it makes (position, history, ply stack),
// and its result must be a legal move, or no move when the position has none
// or is drawn already.
#include <cstddef>
#include <cstdint>

#include "board/position.h"
#include "board/tables.h"
#include "fuzz_checks.h"
#include "protocol/game.h"
#include "protocol/setup.h"
#include "search/draw.h"
#include "search/search.h"
#include "search/transtable.h"

namespace {

using namespace fuzzcheck;

constexpr int SearchDepthLimit = 3;
HistoryCopy historyBefore;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    quietLog();
    initTables();
    initSearchState();
    maxSearchDepth = SearchDepthLimit;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Text text(data, size);
    if (!setupPosition(text.get(), false)) return 0;

    const Position before = position;
    historyBefore.take();
    stopSearch = false;
    stopAfterIteration = false;
    rootSearch();

    FUZZ_REQUIRE(currentPly == plyStack);
    requireSamePosition(before, position);
    FUZZ_REQUIRE(historyTop - history == historyBefore.top);
    for (std::ptrdiff_t i = 0; i <= historyBefore.top; ++i) {
        FUZZ_REQUIRE(history[i].hashKey == historyBefore.entries[i].hashKey);
        FUZZ_REQUIRE(history[i].reversibleCount == historyBefore.entries[i].reversibleCount);
    }
    requireSnapshotOf(position);

    const Move result = rootResultEntry().move;
    if (result) FUZZ_REQUIRE(isLegalMove(result));
    else FUZZ_REQUIRE(firstLegalMove() == 0 || isDraw(2));
    return 0;
}
