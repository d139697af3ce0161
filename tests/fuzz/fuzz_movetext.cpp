// Fuzz target: move text. For arbitrary tokens against several game
// positions, textToMove never reads past the token and gives 0 or a move whose
// text is the token and whose kind the position gives it; every generated move
// of the position is read from its own text.
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "board/movetext.h"
#include "board/tables.h"
#include "fuzz_checks.h"
#include "movegen/movegen.h"
#include "protocol/game.h"
#include "protocol/setup.h"
#include "search/search.h"

namespace {

struct Game {
    GameSnapshot snapshot;
    std::set<std::string> generated;
};
std::vector<Game> games;

void addGame(const char* fen, const std::vector<const char*>& moves) {
    FUZZ_REQUIRE(setupPosition(fen, false));
    for (const char* text : moves) playMove(textToMove(text));
    Game game{gameSnapshot, {}};
    ScoredMove list[MoveListSize];
    for (const ScoredMove* m = list, *end = generateMoves(AllMoves, list); m < end; ++m) {
        char text[8];
        moveToText(text, m->move);
        game.generated.insert(text);
    }
    games.push_back(game);
}

bool isPawn(int code) { return code == WhitePawn || code == BlackPawn; }

// The kind of `m` is the one the snapshot gives its token.
bool kindFits(Move m, std::size_t length) {
    const GameSnapshot& g = gameSnapshot;
    const int from = moveFrom(m), to = moveTo(m), kind = moveKind(m);
    const bool taking = g.board[to] != Empty;
    if (kind == Quiet || kind == Capture) return length == 4 && taking == (kind == Capture);
    if (kind == EnPassant) return length == 4 && isPawn(g.board[from]) && g.epSquare == to;
    if (kind >= CastleBlackKingSide) {
        constexpr std::uint16_t rights[4] = {BlackKingSideRight, WhiteKingSideRight, BlackQueenSideRight, WhiteQueenSideRight};
        return length == 4 && from == (kind & 1 ? E1 : E8) && castlingRightUsable(g.castleFlags, rights[kind - 12]);
    }
    return kind != PromoteQueenAlias && length == 5 && isPawn(g.board[from]) && (kind >= CapturePromoteQueen) == taking;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    quietLog();
    initTables();
    initSearchState();
    addGame(StartPositionText, {});
    addGame(StartPositionText, {"e2e4"});                           // an en-passant target nobody can use
    addGame(StartPositionText, {"e2e4", "g8f6", "e4e5", "d7d5"});   // exd6 en passant
    addGame("1n2k2r/P1P1P3/8/8/8/8/1p4p1/R1N1K2R w Kk - 0 1", {});  // promotions and castling
    addGame("1n2k2r/P1P1P3/8/8/8/8/1p4p1/R1N1K2R b Kk - 0 1", {});
    addGame("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", {"e1g1"});       // castled: the rights are gone
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const FuzzText token(data, size);
    for (const Game& game : games) {
        gameSnapshot = game.snapshot;
        const Move m = textToMove(token.get());
        if (m == 0) {
            FUZZ_REQUIRE(!game.generated.count(token.get()));  // a move of the position is always read
            continue;
        }
        const std::size_t length = std::strlen(token.get());
        char text[8];
        FUZZ_REQUIRE(moveToText(text, m) == text + length && std::strcmp(text, token.get()) == 0);
        FUZZ_REQUIRE(kindFits(m, length));
    }
    return 0;
}
