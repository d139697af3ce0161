// drozak-tools epd [--movetime MS | --depth D] [--chess960] FILE: a test suite
// of EPD lines (four FEN fields or six, then operations such as bm, am, id),
// each position searched from a cleared table as the engine searches after
// `setboard` (no book), one line per position and `solved N/M` at the end.
// Chess960 positions by the switch, or by rook files in a castling field.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "board/fen.h"
#include "pgn/pgn.h"
#include "pgn/san.h"
#include "search/search.h"
#include "tools/analysis.h"
#include "tools/tools.h"

namespace {

struct EpdLine {
    std::string fen, id;
    std::vector<std::string> best, avoid;  // the bm and am moves as written
};

// Splits the operations at the semicolons that are not inside a quoted string.
std::vector<std::string> operations(const std::string& text) {
    std::vector<std::string> out;
    std::string current;
    bool quoted = false;
    for (char c : text) {
        if (c == '"') quoted = !quoted;
        if (c == ';' && !quoted) {
            out.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (current.find_first_not_of(" \t\r") != std::string::npos) out.push_back(current);
    return out;
}

bool isCount(const std::string& word) {
    return !word.empty() && word.size() < 10 && std::all_of(word.begin(), word.end(), [](unsigned char c) { return std::isdigit(c); });
}

// The four FEN fields, or six with the counters; the operations after them.
// The position's FEN has six fields: the counters from hmvc and fmvn when the
// line has them, else as written, else 0 and 1.
bool parseLine(const std::string& text, EpdLine& line, std::string& error) {
    std::istringstream words(text);
    std::string fields[4];
    for (std::string& f : fields)
        if (!(words >> f)) {
            error = "fewer than four FEN fields";
            return false;
        }
    std::string halfmoves = "0", moveNumber = "1";
    std::string rest;
    std::getline(words, rest);
    std::istringstream counters(rest);
    std::string first, second;
    if (counters >> first && isCount(first)) {
        if (!(counters >> second) || !isCount(second)) {
            error = "five FEN fields";
            return false;
        }
        halfmoves = first;
        moveNumber = second;
        std::getline(counters, rest);
    }
    for (const std::string& op : operations(rest)) {
        std::istringstream parts(op);
        std::string code, operand;
        parts >> code;
        if (code == "bm" || code == "am") {
            while (parts >> operand) (code == "bm" ? line.best : line.avoid).push_back(operand);
        } else if (code == "id") {
            std::getline(parts, operand);
            const std::size_t first = operand.find('"'), last = operand.rfind('"');
            line.id = first != std::string::npos && last > first ? operand.substr(first + 1, last - first - 1) : operand;
        } else if (code == "hmvc" || code == "fmvn") {
            if (!(parts >> operand) || !isCount(operand)) {
                error = "a bad " + code + " operand";
                return false;
            }
            (code == "hmvc" ? halfmoves : moveNumber) = operand;
        }
    }
    line.fen = fields[0] + " " + fields[1] + " " + fields[2] + " " + fields[3] + " " + halfmoves + " " + moveNumber;
    if (line.best.empty() && line.avoid.empty()) {
        error = "no bm or am operation";
        return false;
    }
    return true;
}

// The moves a list names in the game position; false at the first unknown one.
bool readMoves(Board& b, const std::vector<std::string>& texts, std::vector<Move>& moves, std::string& error) {
    const pgn::LegalMoves legal = pgn::legalMoves(b);
    for (const std::string& text : texts) {
        const pgn::SanReading reading = pgn::readSan(b.position, text, legal);
        if (reading.error != pgn::SanError::None) {
            error = "the move " + text + " is " + pgn::sanErrorText(reading.error);
            return false;
        }
        moves.push_back(reading.move);
    }
    return true;
}

std::string joined(const char* code, const std::vector<std::string>& moves) {
    std::string out;
    for (const std::string& m : moves) out += (out.empty() ? std::string(code) + " " : " ") + m;
    return out;
}

}  // namespace

int epdCommand(int argc, char** argv) {
    SearchLimits limits{0, 1000};
    std::string file;
    bool chess960 = false;
    if (!takeThreadsOption(argc, argv)) argc = -1;
    if (argc < 0) {
        std::fprintf(stderr, "usage: drozak-tools epd [--movetime MS | --depth D] [--threads N] [--chess960] FILE\n");
        return 2;
    }
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--chess960") == 0) {
            chess960 = true;
            continue;
        }
        const int taken = readLimitOption(argc, argv, i, limits);
        if (taken > 0) i += taken - 1;
        else if (taken == 0 && file.empty() && argv[i][0] != '-') file = argv[i];
        else file = "";
        if (taken < 0 || (taken == 0 && file.empty())) {
            std::fprintf(stderr, "usage: drozak-tools epd [--movetime MS | --depth D] [--threads N] [--chess960] FILE\n");
            return 2;
        }
    }
    std::ifstream in(file);
    if (file.empty() || !in) {
        std::fprintf(stderr, "epd: cannot read %s\n", file.empty() ? "(no file)" : file.c_str());
        return 2;
    }
    int solved = 0, total = 0, lineNumber = 0;
    std::printf("%-18s %-20s %-8s %-6s %5s %8s\n", "id", "expected", "found", "solved", "depth", "seconds");
    for (std::string text; std::getline(in, text);) {
        ++lineNumber;
        if (!text.empty() && text.back() == '\r') text.pop_back();
        if (text.find_first_not_of(" \t") == std::string::npos || text[text.find_first_not_of(" \t")] == '#') continue;
        EpdLine line;
        std::string error;
        std::vector<Move> best, avoid;
        Board& board = toolBoard();
        std::string why;
        if (!parseLine(text, line, error) ||
            (!setUpBoard(board, line.fen, &why, chess960 || namesRookFiles(line.fen)) &&
             (error = "a bad FEN (" + why + "): " + line.fen, true)) ||
            !readMoves(board, line.best, best, error) || !readMoves(board, line.avoid, avoid, error)) {
            std::fflush(stdout);
            std::fprintf(stderr, "epd: line %d skipped: %s\n", lineNumber, error.c_str());
            continue;
        }
        searchPool.newGame();
        const Analysis analysis = analysePosition(board, limits);
        const std::string found = analysis.move ? pgn::sanText(board, analysis.move) : "none";
        const auto listed = [&](const std::vector<Move>& moves) {
            return std::find(moves.begin(), moves.end(), analysis.move) != moves.end();
        };
        const bool ok = analysis.move && (best.empty() || listed(best)) && !listed(avoid);
        ++total;
        solved += ok;
        std::string expected = joined("bm", line.best);
        if (!line.avoid.empty()) expected += (expected.empty() ? "" : " ") + joined("am", line.avoid);
        std::printf("%-18s %-20s %-8s %-6s %5d %8.2f\n", line.id.empty() ? ("line " + std::to_string(lineNumber)).c_str() : line.id.c_str(),
                    expected.c_str(), found.c_str(), ok ? "yes" : "no", analysis.depth, analysis.seconds);
        std::fflush(stdout);
    }
    std::printf("solved %d/%d\n", solved, total);
    return 0;
}
