#include "protocol/setup.h"

#include <cstdio>

#include "board/fen.h"
#include "board/gamelog.h"
#include "board/position.h"
#include "book/book.h"
#include "protocol/game.h"
#include "search/search.h"

namespace {

// Whether a book that cannot be loaded is told to the interface: once a run
// (the log has it every time), as the file does not come back by itself
// between games; and not by the engine's own setup at start-up, which no
// interface asked for, so that the first game the interface starts tells it.
bool bookErrorTold = false;
bool tellBookError = true;

// The book serves the start position alone: any other is set up without it,
// which is no error.
void loadTheBook() {
    if (!isBookStart()) {
        logLine("-M: not the start position, no book");
        return;
    }
    if (loadBook("Drozak.book")) return;
    logLine("-\ttellusererror BOOK ERROR!\n");
    if (bookErrorTold || !tellBookError) return;
    std::printf("tellusererror BOOK ERROR!\n");
    bookErrorTold = true;
}

}  // namespace

void storeBookAgain() {
    if (gameStarted()) replayGame(loadTheBook);
}

void setupStartQuietly() {
    tellBookError = false;
    setupPosition(StartPositionText, true);
    tellBookError = true;
}

bool setupPosition(const char* text, bool withBook) {
    // Validate into a scratch position first, so that a bad text cannot leave a
    // half-built board behind.
    Position fresh;
    Square epSquare = 0;
    if (!readFen(text, fresh, &epSquare)) return false;
    // An en-passant target the text names stays usable for the first move; its
    // key enters the hash key as make would have put it there.
    if (epSquare) {
        fresh.epSquare = epSquare;
        fresh.hashKey ^= zobristKeys[0][epSquare];
    }
    DROZAK_CHECK(!searchRunning);
    installPosition(fresh);
    startGameRecord();
    searchNewGame();
    if (withBook) loadTheBook();
    return true;
}
