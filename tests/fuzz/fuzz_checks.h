// Checks shared by the fuzz targets. A broken check prints what it saw and
// aborts, which libFuzzer reports as a crash with the input that caused it.
#pragma once

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "board/gamelog.h"
#include "board/position.h"
#include "board/tables.h"
#include "board/types.h"

namespace fuzzcheck {

[[noreturn]] inline void fail(const char* file, int line, const char* what) {
    std::fprintf(stderr, "\n*** check failed at %s:%d: %s\n", file, line, what);
    std::abort();
}

#define FUZZ_REQUIRE(condition) \
    do {                        \
        if (!(condition)) ::fuzzcheck::fail(__FILE__, __LINE__, #condition); \
    } while (0)

// The input as a NUL-terminated text on a heap block of exactly its size plus
// the terminator, so that AddressSanitizer sees any read past the end.
class Text {
public:
    Text(const std::uint8_t* data, std::size_t size) : text_(new char[size + 1]) {
        if (size) std::memcpy(text_, data, size);
        text_[size] = 0;
    }
    ~Text() { delete[] text_; }
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;
    const char* get() const { return text_; }

private:
    char* text_;
};

// The game log goes nowhere: millions of runs would otherwise fill the disk.
inline void quietLog() {
    gamelog::stream().close();
    gamelog::stream().open("/dev/null");
}

// Makes a scratch directory the working directory (for a target whose code
// reads and writes files there). libFuzzer reads its corpus directories and
// writes its artifacts later, so the relative paths among its arguments are
// made absolute first.
inline void workInScratchDirectory(const char* name, int* argc, char*** argv) {
    namespace fs = std::filesystem;
    static std::vector<std::string> arguments;  // the rewritten texts live as long as the process
    static std::vector<char*> pointers;
    const fs::path here = fs::current_path();
    for (int i = 0; i < *argc; ++i) {
        std::string arg = (*argv)[i];
        const std::size_t equals = arg.find('=');
        if (i > 0 && arg[0] == '-' && equals != std::string::npos && equals + 1 < arg.size() && arg[equals + 1] != '/') {
            const std::string flag = arg.substr(0, equals + 1);
            if (flag != "-dict=" && flag != "-artifact_prefix=" && flag != "-exact_artifact_path=" &&
                flag != "-seed_inputs=")
                arguments.push_back(arg);
            else
                arguments.push_back(flag + (here / arg.substr(equals + 1)).string());
        } else if (i > 0 && arg[0] != '-' && arg[0] != '/') {
            arguments.push_back((here / arg).string());
        } else {
            arguments.push_back(arg);
        }
    }
    for (std::string& arg : arguments) pointers.push_back(arg.data());
    pointers.push_back(nullptr);
    *argv = pointers.data();
    const fs::path dir = fs::temp_directory_path() / (std::string("drozak-fuzz-") + name + "-" + std::to_string(getpid()));
    fs::create_directories(dir);
    fs::current_path(dir);
    static fs::path scratch = dir;
    std::atexit([] {
        std::error_code ignored;
        fs::remove_all(scratch, ignored);
    });
}

// The square a king stands on; a castling-path value stands for the castling
// destination.
inline int standingSquare(int kingSquare) {
    switch (kingSquare) {
        case WhiteQueenSidePath: return C1;
        case WhiteKingSidePath: return G1;
        case BlackQueenSidePath: return C8;
        case BlackKingSidePath: return G8;
        default: return kingSquare;
    }
}

// Every derived board of `p` agrees with its `board` array and king squares,
// and `materialCount` is the weight sum.
inline void requireConsistent(const Position& p) {
    Bitboard pieces[11] = {};
    Bitboard colours[2] = {};
    int material = 0;
    for (int s = 0; s < 64; ++s) {
        const int code = p.board[s];
        FUZZ_REQUIRE(code <= BlackQueen);
        if (code == Empty) continue;
        pieces[code] |= bitOf(s);
        colours[code & 1] |= bitOf(s);
        material += pieceWeights[code];
    }
    for (int side : {Black, White}) {
        FUZZ_REQUIRE(p.kingSquare[side] < 68);
        const int king = standingSquare(p.kingSquare[side]);
        FUZZ_REQUIRE(p.board[king] == Empty);
        FUZZ_REQUIRE(!(colours[side ^ 1] & bitOf(king)) && !(colours[side] & bitOf(king)));
        colours[side] |= bitOf(king);
    }
    FUZZ_REQUIRE(standingSquare(p.kingSquare[Black]) != standingSquare(p.kingSquare[White]));
    for (int code = 1; code <= BlackQueen; ++code) FUZZ_REQUIRE(p.pieceBoards[code] == pieces[code]);
    FUZZ_REQUIRE(p.colourBoards[Black] == colours[Black]);
    FUZZ_REQUIRE(p.colourBoards[White] == colours[White]);
    FUZZ_REQUIRE(p.occupied == (colours[Black] | colours[White]));
    Position rotated = p;
    rotateOccupancy(rotated);
    FUZZ_REQUIRE(p.occupiedFiles == rotated.occupiedFiles);
    FUZZ_REQUIRE(p.occupiedDiagA1H8 == rotated.occupiedDiagA1H8);
    FUZZ_REQUIRE(p.occupiedDiagA8H1 == rotated.occupiedDiagA8H1);
    FUZZ_REQUIRE(p.materialCount == material);
    FUZZ_REQUIRE(p.sideToMove == White || p.sideToMove == Black);
}

inline void requireSamePosition(const Position& a, const Position& b) {
    FUZZ_REQUIRE(a.occupied == b.occupied);
    FUZZ_REQUIRE(a.occupiedFiles == b.occupiedFiles);
    FUZZ_REQUIRE(a.occupiedDiagA1H8 == b.occupiedDiagA1H8);
    FUZZ_REQUIRE(a.occupiedDiagA8H1 == b.occupiedDiagA8H1);
    for (int code = 0; code <= BlackQueen; ++code) FUZZ_REQUIRE(a.pieceBoards[code] == b.pieceBoards[code]);
    FUZZ_REQUIRE(a.colourBoards[Black] == b.colourBoards[Black]);
    FUZZ_REQUIRE(a.colourBoards[White] == b.colourBoards[White]);
    FUZZ_REQUIRE(a.hashKey == b.hashKey);
    FUZZ_REQUIRE(std::memcmp(a.board, b.board, sizeof a.board) == 0);
    FUZZ_REQUIRE(a.kingSquare[Black] == b.kingSquare[Black]);
    FUZZ_REQUIRE(a.kingSquare[White] == b.kingSquare[White]);
    FUZZ_REQUIRE(a.castleFlags == b.castleFlags);
    FUZZ_REQUIRE(a.epSquare == b.epSquare);
    FUZZ_REQUIRE(a.materialCount == b.materialCount);
    FUZZ_REQUIRE(a.sideToMove == b.sideToMove);
}

inline void requireSameSnapshot(const GameSnapshot& a, const GameSnapshot& b) {
    FUZZ_REQUIRE(std::memcmp(a.board, b.board, sizeof a.board) == 0);
    FUZZ_REQUIRE(a.epSquare == b.epSquare);
    FUZZ_REQUIRE(a.castleFlags == b.castleFlags);
    FUZZ_REQUIRE(a.whiteKingSquare == b.whiteKingSquare);
    FUZZ_REQUIRE(a.blackKingSquare == b.blackKingSquare);
    FUZZ_REQUIRE(a.sideToMove == b.sideToMove);
}

// The snapshot is the game position as the command thread sees it.
inline void requireSnapshotOf(const Position& p) {
    const GameSnapshot& g = gameSnapshot;
    FUZZ_REQUIRE(std::memcmp(g.board, p.board, sizeof g.board) == 0);
    FUZZ_REQUIRE(g.epSquare == p.epSquare);
    FUZZ_REQUIRE(g.castleFlags == p.castleFlags);
    FUZZ_REQUIRE(g.whiteKingSquare == p.kingSquare[White]);
    FUZZ_REQUIRE(g.blackKingSquare == p.kingSquare[Black]);
    FUZZ_REQUIRE(g.sideToMove == p.sideToMove);
}

// A copy of the whole history stack and its top, to see that nothing moved.
struct HistoryCopy {
    HistoryEntry entries[HistorySize];
    std::ptrdiff_t top;

    void take() {
        std::memcpy(entries, history, sizeof entries);
        top = historyTop - history;
    }
    void requireUnchanged() const {
        FUZZ_REQUIRE(historyTop - history == top);
        for (int i = 0; i < HistorySize; ++i) {
            FUZZ_REQUIRE(history[i].hashKey == entries[i].hashKey);
            FUZZ_REQUIRE(history[i].move == entries[i].move);
            FUZZ_REQUIRE(history[i].reversibleCount == entries[i].reversibleCount);
        }
    }
};

}  // namespace fuzzcheck
