#include "protocol/setup.h"

#include <cstdio>

#include "board/fen.h"
#include "board/gamelog.h"
#include "board/position.h"
#include "book/book.h"
#include "search/search.h"

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
    searchNewGame();
    if (withBook && !loadBook("Drozak.book")) {
        std::printf("tellusererror BOOK ERROR!\n");
        logLine("-\ttellusererror BOOK ERROR!\n");
    }
    return true;
}
