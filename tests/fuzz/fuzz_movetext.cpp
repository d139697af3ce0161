// Fuzz target: move text read from arbitrary tokens against a few game
// positions. The reader must never look past the token's terminator; it gives
// 0 or a move whose text is exactly the token, whose squares are the token's
// squares and whose kind fits the game snapshot; and every generated move's
// own text is read as a move.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "board/movetext.h"
#include "board/position.h"
#include "board/tables.h"
#include "fuzz_checks.h"
#include "movegen/movegen.h"
#include "protocol/game.h"
#include "protocol/setup.h"
#include "search/search.h"

namespace {

using namespace fuzzcheck;

struct Game {
    GameSnapshot snapshot;
    std::vector<std::string> generatedTexts;
};

std::vector<Game> games;

// Sets up `fen`, plays `moves`, and keeps the snapshot with the texts of the
// moves generated there.
void addGame(const char* fen, std::initializer_list<const char*> moves) {
    FUZZ_REQUIRE(setupPosition(fen, false));
    for (const char* move : moves) {
        const Move m = textToMove(move);
        FUZZ_REQUIRE(isLegalMove(m));
        playMove(m);
    }
    Game game{gameSnapshot, {}};
    ScoredMove list[MoveListSize];
    ScoredMove* const end = generateMoves(AllMoves, list);
    FUZZ_REQUIRE(end != nullptr);
    for (const ScoredMove* m = list; m < end; ++m) {
        char text[8];
        moveToText(text, m->move);
        game.generatedTexts.push_back(text);
    }
    games.push_back(game);
}

int squareOf(char file, char rank) { return (file - 'a') + 8 * ('8' - rank); }

bool isPawn(int code) { return code == WhitePawn || code == BlackPawn; }

// The kind of `m` is the one the snapshot gives its token.
void requireKindFits(Move m, std::size_t length) {
    const GameSnapshot& g = gameSnapshot;
    const int from = moveFrom(m), to = moveTo(m), kind = moveKind(m);
    const bool occupiedTo = g.board[to] != Empty;
    switch (kind) {
        case Quiet: FUZZ_REQUIRE(!occupiedTo && length == 4); break;
        case Capture: FUZZ_REQUIRE(occupiedTo && length == 4); break;
        case EnPassant:
            FUZZ_REQUIRE(isPawn(g.board[from]) && g.epSquare != 0 && g.epSquare == to && length == 4);
            break;
        case PromoteQueenAlias: FUZZ_REQUIRE(false); break;
        case CastleBlackKingSide:
        case CastleBlackQueenSide:
            FUZZ_REQUIRE(from == E8 && length == 4 && !(g.castleFlags & BlackCastling));
            FUZZ_REQUIRE(g.castleFlags & (kind == CastleBlackKingSide ? BlackKingSideRight : BlackQueenSideRight));
            break;
        case CastleWhiteKingSide:
        case CastleWhiteQueenSide:
            FUZZ_REQUIRE(from == E1 && length == 4 && !(g.castleFlags & WhiteCastling));
            FUZZ_REQUIRE(g.castleFlags & (kind == CastleWhiteKingSide ? WhiteKingSideRight : WhiteQueenSideRight));
            break;
        default:  // promotions
            FUZZ_REQUIRE(isPawn(g.board[from]) && length == 5);
            FUZZ_REQUIRE((kind >= CapturePromoteQueen) == occupiedTo);
            break;
    }
}

void checkToken(const char* token, const Game& game) {
    gameSnapshot = game.snapshot;
    const Move m = textToMove(token);
    bool generated = false;
    for (const std::string& text : game.generatedTexts) generated |= text == token;
    if (m == 0) {
        FUZZ_REQUIRE(!generated);  // a move of the position is always read
        return;
    }
    const std::size_t length = std::strlen(token);
    FUZZ_REQUIRE(length == 4 || length == 5);
    FUZZ_REQUIRE(moveFrom(m) == squareOf(token[0], token[1]));
    FUZZ_REQUIRE(moveTo(m) == squareOf(token[2], token[3]));
    char text[8];
    FUZZ_REQUIRE(moveToText(text, m) == text + length);
    FUZZ_REQUIRE(std::strcmp(text, token) == 0);
    requireKindFits(m, length);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    quietLog();
    initTables();
    initSearchState();
    addGame(StartPositionText, {});
    addGame(StartPositionText, {"e2e4"});                  // an en-passant target nobody can use
    addGame(StartPositionText, {"e2e4", "g8f6", "e4e5", "d7d5"});  // exd6 en passant
    addGame("1n2k2r/P1P1P3/8/8/8/8/1p4p1/R1N1K2R w Kk - 0 1", {});  // promotions and castling
    addGame("1n2k2r/P1P1P3/8/8/8/8/1p4p1/R1N1K2R b Kk - 0 1", {});
    addGame("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", {"e1g1"});      // castled: the rights are gone
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Text token(data, size);
    for (const Game& game : games) checkToken(token.get(), game);
    return 0;
}
