// Fuzz target: position setup from arbitrary text. An accepted text gives a
// sound position (every move two plies deep made and taken back, move texts
// read back); a refused one leaves the previous game exactly as it was.
#include <cstdint>
#include <vector>

#include "board/movetext.h"
#include "board/tables.h"
#include "fuzz_checks.h"
#include "movegen/movegen.h"
#include "protocol/game.h"
#include "protocol/setup.h"
#include "search/search.h"
#include "search/transtable.h"

namespace {

// Every generated move `depth` plies deep, each taken back to the very byte.
void walk(int depth) {
    ScoredMove list[MoveListSize];
    ScoredMove* const end = generateMoves(AllMoves, list);
    if (!end) return;  // the previous move left a king en prise
    for (const ScoredMove* m = list; m < end; ++m) {
        const Position before = position;
        HistoryEntry* const top = historyTop;
        saveUndo(*currentPly);
        makeMove(m->move);
        ++currentPly;
        FUZZ_REQUIRE(historyTop == top + 1 && historyTop->hashKey == position.hashKey);
        if (depth > 1) walk(depth - 1);
        --currentPly;
        unmakeMove(m->move);
        FUZZ_REQUIRE(historyTop == top && sameBytes(&before, &position, sizeof position));
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    quietLog();
    initTables();
    initSearchState();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const FuzzText text(data, size);
    // A game with rights on both sides, a move played and a table entry.
    FUZZ_REQUIRE(setupPosition("r3k2r/ppp2ppp/2nqbn2/3pp3/3PP3/2NQBN2/PPP2PPP/R3K2R w KQkq - 0 1", false));
    playMove(textToMove("e1g1"));
    ttStoreBookMove(textToMove("e8c8"));
    const Position position0 = position;
    const GameSnapshot snapshot0 = gameSnapshot;
    const std::vector<HistoryEntry> history0(history, historyTop + 1);

    if (!setupPosition(text.get(), false)) {
        FUZZ_REQUIRE(sameBytes(&position0, &position, sizeof position));
        FUZZ_REQUIRE(sameBytes(&snapshot0, &gameSnapshot, sizeof gameSnapshot));
        FUZZ_REQUIRE(historyTop - history + 1 == static_cast<long>(history0.size()));
        FUZZ_REQUIRE(sameBytes(history, history0.data(), history0.size() * sizeof(HistoryEntry)));
        FUZZ_REQUIRE(ttFind() && ttFind()->move() == textToMove("e8c8") && gamePlies() == 1);
        return 0;
    }
    FUZZ_REQUIRE(positionIsConsistent() && historyTop == history && history[0].hashKey == position.hashKey);
    for (int side : {Black, White}) FUZZ_REQUIRE(position.kingSquare[side] < 64);
    requireSnapshotOf(position);
    ScoredMove list[MoveListSize];
    ScoredMove* const end = generateMoves(AllMoves, list);
    FUZZ_REQUIRE(end != nullptr);  // setup refuses a side not to move in check
    for (const ScoredMove* m = list; m < end; ++m) {
        char moveText[8];
        moveToText(moveText, m->move);
        FUZZ_REQUIRE(textToMove(moveText) == m->move);
    }
    walk(2);
    FUZZ_REQUIRE(currentPly == plyStack && positionIsConsistent());
    return 0;
}
