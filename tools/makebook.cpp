// drozak-tools makebook IN OUT: turns a text file of opening lines into the
// engine's binary book. Each text line is one line of coordinate moves from
// the start position (e2e4 e7e5 g1f3, castling as the king's move e1g1, a
// promotion with its letter); '#' starts a comment; blank lines are skipped.
// Every move is checked with the engine's own generator and legality rule,
// and nothing is written unless every line is sound.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "board/fen.h"
#include "board/movetext.h"
#include "board/position.h"
#include "book/book.h"
#include "movegen/movegen.h"
#include "search/search.h"
#include "tools/tools.h"

namespace {

using BookLine = std::vector<Move>;
using PositionId = std::pair<std::uint64_t, int>;  // key and side to move

struct Book {
    std::vector<BookLine> lines;
    std::map<PositionId, std::set<Move>> movesByPosition;
    long moveCount = 0;
};

bool setUpStart() { return setUpBoard(toolBoard(), StartFen); }

// The generated move whose text is `token`, or 0. Matching the generator's own
// moves by their text makes the kind (capture, castling, promotion) come from
// the position itself.
Move findMove(const ScoredMove* begin, const ScoredMove* end, const std::string& token) {
    char text[8];
    for (const ScoredMove* entry = begin; entry != end; ++entry) {
        moveToText(text, entry->move);
        if (token == text) return entry->move;
    }
    return 0;
}

// Plays the tokens of one text line from the start position and takes them
// back. On a fault, names it in `error` and returns false.
bool readLine(const std::vector<std::string>& tokens, BookLine& line, Book& book, std::string& error) {
    if (tokens.size() > static_cast<std::size_t>(MaxBookLineMoves)) {
        error = std::to_string(tokens.size()) + " moves, more than the " + std::to_string(MaxBookLineMoves) +
                " a book line holds";
        return false;
    }
    Board& b = toolBoard();
    ScoredMove list[MoveListSize];
    ScoredMove* end = generateMoves(AllMoves, b.position, list);
    bool sound = true;
    for (const std::string& token : tokens) {
        const Move move = end ? findMove(list, end, token) : 0;
        if (!move) {
            error = "illegal move " + token;
            sound = false;
            break;
        }
        book.movesByPosition[{b.position.hashKey, b.position.sideToMove}].insert(move);
        saveUndo(b);
        makeMove(b, move);
        ++b.currentPly;
        line.push_back(move);
        end = generateMoves(AllMoves, b.position, list);
        if (!end) {  // the mover's king is left capturable, or it castled through an attack
            error = "illegal move " + token + " (its king would be in check)";
            sound = false;
            break;
        }
    }
    for (auto move = line.rbegin(); move != line.rend(); ++move) {
        --b.currentPly;
        unmakeMove(b, *move);
    }
    return sound;
}

bool readBookText(const char* inName, Book& book) {
    std::ifstream in(inName);
    if (!in) {
        std::fprintf(stderr, "makebook: cannot read %s\n", inName);
        return false;
    }
    std::string text;
    for (int lineNumber = 1; std::getline(in, text); ++lineNumber) {
        text = text.substr(0, text.find('#'));
        std::istringstream words(text);
        std::vector<std::string> tokens;
        for (std::string token; words >> token;) tokens.push_back(token);
        if (tokens.empty()) continue;

        BookLine line;
        std::string error;
        if (!readLine(tokens, line, book, error)) {
            std::fprintf(stderr, "makebook: %s:%d: %s\n", inName, lineNumber, error.c_str());
            return false;
        }
        book.moveCount += static_cast<long>(line.size());
        book.lines.push_back(std::move(line));
    }
    if (book.lines.empty()) {
        std::fprintf(stderr, "makebook: %s holds no lines\n", inName);
        return false;
    }
    return true;
}

// The header line with the count, then per line a count byte and the moves
// as little-endian 16-bit codes.
bool writeBook(const char* outName, const Book& book) {
    std::ofstream out(outName, std::ios::binary | std::ios::trunc);
    out << book.lines.size() << '\n';
    for (const BookLine& line : book.lines) {
        out.put(static_cast<char>(line.size()));
        for (Move move : line) {
            out.put(static_cast<char>(move & 0xFF));
            out.put(static_cast<char>(move >> 8));
        }
    }
    out.close();
    return static_cast<bool>(out);
}

int firstLine(int) { return 0; }

}  // namespace

int makebookCommand(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: drozak-tools makebook IN OUT\n");
        return 2;
    }
    const char* inName = argv[0];
    const char* outName = argv[1];
    if (!setUpStart()) return 1;

    Book book;
    if (!readBookText(inName, book)) return 1;

    // The engine's own loader must take the written file whole.
    bool written = writeBook(outName, book);
    if (written) {
        setUpStart();
        searchPool.newGame();
        written = loadBook(toolBoard(), outName, firstLine);
    }
    if (!written) {
        std::remove(outName);
        std::fprintf(stderr, "makebook: could not write a loadable book to %s\n", outName);
        return 1;
    }

    long choices = 0;
    for (const auto& entry : book.movesByPosition) choices += entry.second.size() > 1;
    std::printf("makebook: %zu lines, %ld moves, %zu positions (%ld with more than one book move) -> %s\n",
                book.lines.size(), book.moveCount, book.movesByPosition.size(), choices, outName);
    return 0;
}
