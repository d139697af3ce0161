// Fuzz target: position setup from arbitrary text. An accepted text must give
// a position whose every board agrees with the others, whose key is the key
// computed from scratch, and on which every generated move can be made and
// taken back two plies deep; a refused text must leave the previous game
// (position, snapshot, history, table) exactly as it was.
#include <cstddef>
#include <cstdint>

#include "board/movetext.h"
#include "board/position.h"
#include "board/tables.h"
#include "fuzz_checks.h"
#include "movegen/movegen.h"
#include "protocol/game.h"
#include "protocol/setup.h"
#include "search/search.h"
#include "search/transtable.h"

namespace {

using namespace fuzzcheck;

// The game every input starts from: rights on both sides and a move played,
// so that the history holds two entries and the snapshot differs from a
// fresh setup.
constexpr const char* KnownFen = "r3k2r/ppp2ppp/2nqbn2/3pp3/3PP3/2NQBN2/PPP2PPP/R3K2R w KQkq - 0 1";

HistoryCopy historyBefore;

// The first and the last rank, where no pawn may stand.
constexpr Bitboard BackRanks = 0xFF000000000000FFull;

// Makes and takes back every generated move `depth` plies deep, checking the
// boards and the key after each make and the whole position after each
// unmake.
void walk(int depth, std::uint16_t setupFlags) {
    ScoredMove list[MoveListSize];
    ScoredMove* const end = generateMoves(AllMoves, list);
    if (!end) return;  // the previous move left a king en prise
    FUZZ_REQUIRE(end - list <= MoveListSize);
    for (const ScoredMove* m = list; m < end; ++m) {
        const Position before = position;
        HistoryEntry* const top = historyTop;
        const HistoryEntry topEntry = *historyTop;
        PlyRecord* const ply = currentPly;

        saveUndo(*currentPly);
        makeMove(m->move);
        ++currentPly;
        requireConsistent(position);
        FUZZ_REQUIRE(position.hashKey == computeHashKey(setupFlags));
        FUZZ_REQUIRE(historyTop == top + 1);
        FUZZ_REQUIRE(historyTop->hashKey == position.hashKey);
        FUZZ_REQUIRE(position.sideToMove == (before.sideToMove ^ 1));
        if (depth > 1) walk(depth - 1, setupFlags);
        --currentPly;
        unmakeMove(m->move);

        FUZZ_REQUIRE(currentPly == ply);
        FUZZ_REQUIRE(historyTop == top);
        FUZZ_REQUIRE(historyTop->hashKey == topEntry.hashKey);
        FUZZ_REQUIRE(historyTop->reversibleCount == topEntry.reversibleCount);
        requireSamePosition(before, position);
    }
}

// What an accepted setup must have installed.
void requireFreshGame() {
    const Position& p = position;
    requireConsistent(p);
    for (int side : {Black, White}) FUZZ_REQUIRE(p.kingSquare[side] < 64);
    FUZZ_REQUIRE(p.hashKey == computeHashKey(p.castleFlags));
    FUZZ_REQUIRE((p.castleFlags & ~(WhiteKingSideRight | WhiteQueenSideRight | BlackKingSideRight | BlackQueenSideRight)) == 0);
    if (p.castleFlags & (WhiteKingSideRight | WhiteQueenSideRight)) FUZZ_REQUIRE(p.kingSquare[White] == E1);
    if (p.castleFlags & (BlackKingSideRight | BlackQueenSideRight)) FUZZ_REQUIRE(p.kingSquare[Black] == E8);
    if (p.castleFlags & WhiteKingSideRight) FUZZ_REQUIRE(p.board[H1] == WhiteRook);
    if (p.castleFlags & WhiteQueenSideRight) FUZZ_REQUIRE(p.board[A1] == WhiteRook);
    if (p.castleFlags & BlackKingSideRight) FUZZ_REQUIRE(p.board[H8] == BlackRook);
    if (p.castleFlags & BlackQueenSideRight) FUZZ_REQUIRE(p.board[A8] == BlackRook);
    if (p.epSquare) {
        // the target of the double step just made, behind the pawn that made it
        const bool whiteToMove = p.sideToMove == White;
        FUZZ_REQUIRE(rowOf(p.epSquare) == (whiteToMove ? 2 : 5));
        FUZZ_REQUIRE(p.board[p.epSquare] == Empty && !(p.occupied & bitOf(p.epSquare)));
        FUZZ_REQUIRE(p.board[whiteToMove ? p.epSquare + 8 : p.epSquare - 8] == (whiteToMove ? BlackPawn : WhitePawn));
    }
    for (int side : {Black, White}) FUZZ_REQUIRE(std::popcount(p.colourBoards[side]) <= 16);
    FUZZ_REQUIRE(((p.pieceBoards[WhitePawn] | p.pieceBoards[BlackPawn]) & BackRanks) == 0);
    FUZZ_REQUIRE(historyTop == history);
    FUZZ_REQUIRE(history[0].hashKey == p.hashKey);
    FUZZ_REQUIRE(history[0].reversibleCount == 0);
    requireSnapshotOf(p);
    FUZZ_REQUIRE(!mateFound);
    FUZZ_REQUIRE(searchAge == 1);
}

// Every generated root move that is legal reads back from its own text.
void requireMoveTextsReadBack() {
    ScoredMove list[MoveListSize];
    ScoredMove* const end = generateMoves(AllMoves, list);
    FUZZ_REQUIRE(end != nullptr);  // setup refuses a position whose side not to move is in check
    for (const ScoredMove* m = list; m < end; ++m) {
        char text[8];
        moveToText(text, m->move);
        FUZZ_REQUIRE(textToMove(text) == m->move);
    }
    if (const Move first = firstLegalMove()) FUZZ_REQUIRE(isLegalMove(first));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    quietLog();
    initTables();
    initSearchState();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Text text(data, size);

    FUZZ_REQUIRE(setupPosition(KnownFen, false));
    playMove(textToMove("e1g1"));
    ttStoreBookMove(textToMove("e8c8"));  // a table entry a refused text must leave alone
    mateFound = true;
    searchAge = 7;
    const Position positionBefore = position;
    const GameSnapshot snapshotBefore = gameSnapshot;
    historyBefore.take();

    if (!setupPosition(text.get(), false)) {
        requireSamePosition(positionBefore, position);
        requireSameSnapshot(snapshotBefore, gameSnapshot);
        historyBefore.requireUnchanged();
        const TransEntry* entry = ttFind();
        FUZZ_REQUIRE(entry && isBookEntry(*entry) && entry->move() == textToMove("e8c8"));
        FUZZ_REQUIRE(mateFound);
        FUZZ_REQUIRE(searchAge == 7);
        return 0;
    }
    requireFreshGame();
    requireMoveTextsReadBack();
    FUZZ_REQUIRE(currentPly == plyStack);
    walk(2, position.castleFlags);
    FUZZ_REQUIRE(currentPly == plyStack);
    requireFreshGame();
    return 0;
}
