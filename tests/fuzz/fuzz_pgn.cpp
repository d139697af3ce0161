// libFuzzer target for the PGN reader (built as fuzz_pgn): any bytes are read
// game by game without a crash; a game that replays is written in export
// format, and that text reads back as one game that writes the same text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "board/tables.h"
#include "pgn/pgn.h"

namespace {

void require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "\n*** check failed: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool ready = (initTables(), true);
    (void)ready;
    static Board& board = *new Board;
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    pgn::Reader reader(in);
    pgn::Game game;
    std::string message;
    for (pgn::Reader::Status s; (s = reader.next(game, message)) != pgn::Reader::Status::End;) {
        require(s == pgn::Reader::Status::Game || !message.empty(), "an error without a message");
        pgn::ReplayError error;
        if (s != pgn::Reader::Status::Game || !pgn::replay(board, game, error)) continue;
        const std::string text = pgn::exportText(game);
        std::istringstream again(text);
        pgn::Reader second(again);
        pgn::Game copy;
        require(second.next(copy, message) == pgn::Reader::Status::Game, "the export reads back");
        require(pgn::replay(board, copy, error), "the export replays");
        require(pgn::exportText(copy) == text, "the export writes the same text again");
        require(second.next(copy, message) == pgn::Reader::Status::End, "the export holds one game");
    }
    return 0;
}
