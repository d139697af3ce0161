// The libFuzzer targets, one a build of this file (FUZZ_setup, FUZZ_movetext,
// FUZZ_book or FUZZ_commands defined). A broken check prints what it saw and
// aborts, which libFuzzer reports with the input that caused it.
// The fuzz build has the engine's own checks on: every make and unmake
// asserts the position's consistency itself.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "board/fen.h"
#include "board/gamelog.h"
#include "board/movetext.h"
#include "board/tables.h"
#include "book/book.h"
#include "movegen/movegen.h"
#include "movegen/perft.h"
#include "session/engine.h"
#include "session/game.h"
#include "uci/uci.h"
#include "xboard/xboard.h"
#include "search/draw.h"
#include "search/search.h"
#include "search/transtable.h"

#define REQUIRE(condition) require(condition, __LINE__, #condition)

namespace {

void require(bool holds, int line, const char* condition) {
    if (holds) return;
    std::fprintf(stderr, "\n*** check failed at line %d: %s\n", line, condition);
    std::abort();
}

bool same(const void* a, const void* b, std::size_t size) { return std::memcmp(a, b, size) == 0; }

// The input as a text on a heap block of exactly its size and the
// terminator, so that AddressSanitizer sees any read past its end.
[[maybe_unused]] std::unique_ptr<char[]> textOf(const std::uint8_t* data, std::size_t size) {
    std::unique_ptr<char[]> text(new char[size + 1]);
    std::memcpy(text.get(), data, size);
    text[size] = 0;
    return text;
}

// The game's board: the engine's game position and history.
Board& game() { return gameBoard(); }

// The snapshot is the game position as the command thread sees it.
[[maybe_unused]] void requireSnapshotOf(const Position& p) {
    const GameSnapshot& snapshot = game().snapshot;
    REQUIRE(same(snapshot.board, p.board, sizeof p.board) && snapshot.epSquare == p.epSquare);
    REQUIRE(snapshot.castleFlags == p.castleFlags && snapshot.sideToMove == p.sideToMove);
    REQUIRE(snapshot.whiteKingSquare == p.kingSquare[White] && snapshot.blackKingSquare == p.kingSquare[Black]);
}

// The game history from its root, to compare with the same after a run.
[[maybe_unused]] std::vector<HistoryEntry> historyNow() {
    const HistoryEntry* const first = game().history;
    const HistoryEntry* const last = game().historyTop + 1;
    return std::vector<HistoryEntry>(first, last);
}
[[maybe_unused]] bool historyIs(const std::vector<HistoryEntry>& h) {
    return game().historyTop - game().history + 1 == static_cast<long>(h.size()) &&
           same(game().history, h.data(), h.size() * sizeof h[0]);
}

[[maybe_unused]] Move moveOf(std::string_view text) { return gameMoveOfText(text); }

// The generated moves by their texts, each checked to read back as its move
// (the game position and the generator's position the same).
[[maybe_unused]] std::map<std::string, Move> generatedTexts() {
    std::map<std::string, Move> texts;
    ScoredMove list[MoveListSize];
    const ScoredMove* const end = generateMoves(AllMoves, game().position, list);
    REQUIRE(end != nullptr);  // setup refuses a side not to move in check
    for (const ScoredMove* m = list; m < end; ++m) {
        char buffer[8];
        moveToText(buffer, m->move);
        REQUIRE(moveOf(buffer) == m->move);
        texts[buffer] = m->move;
    }
    return texts;
}

#if defined(FUZZ_setup)
// Setup from arbitrary text: an accepted text gives a sound position (every
// make and unmake of a three-ply perft checks itself in this build, and the
// walk gives back the root whole; move texts read back) that a search a few
// plies deep gives back whole too, with a legal move, or none when there is
// none or the game is drawn. A refused text leaves the previous game exactly
// as it was.
void prepare() {}

void fuzz(const std::uint8_t* data, std::size_t size) {
    // A game with rights on both sides, a move played and a table entry.
    Board& b = game();
    REQUIRE(setupPosition("r3k2r/ppp2ppp/2nqbn2/3pp3/3PP3/2NQBN2/PPP2PPP/R3K2R w KQkq - 0 1", false));
    playMove(moveOf("e1g1"));
    ttStoreBookMove(b.position, moveOf("e8c8"));
    const Position position0 = b.position;
    const GameSnapshot snapshot0 = b.snapshot;
    const std::vector<HistoryEntry> history0 = historyNow();
    const std::unique_ptr<char[]> text = textOf(data, size);
    if (!setupPosition(std::string_view(text.get(), size), false)) {
        REQUIRE(same(&position0, &b.position, sizeof b.position) && same(&snapshot0, &b.snapshot, sizeof b.snapshot));
        REQUIRE(historyIs(history0) && ttFind(b.position) && ttFind(b.position)->move() == moveOf("e8c8") && gamePlies() == 1);
        return;
    }
    REQUIRE(positionIsConsistent(b) && b.historyTop == b.history && b.history[0].hashKey == b.position.hashKey);
    REQUIRE(b.position.kingSquare[Black] < 64 && b.position.kingSquare[White] < 64);
    requireSnapshotOf(b.position);
    generatedTexts();
    const Position root = b.position;
    const HistoryEntry* const top = b.historyTop;
    perft(b, 3);
    REQUIRE(b.currentPly == b.plyStack && b.historyTop == top && same(&root, &b.position, sizeof b.position));
    const int reversible = b.history[0].reversibleCount;
    searchSignals.stop = searchSignals.stopAfterIteration = false;
    SearchRequest request;
    request.depthCap = 3;
    searchPool.prepare(b);
    searchPool.run(request);
    const Board& searched = searchPool.main().board;
    REQUIRE(searched.currentPly == searched.plyStack && searched.historyTop == searched.history &&
            same(&root, &searched.position, sizeof root));
    REQUIRE(searched.history[0].hashKey == root.hashKey && searched.history[0].reversibleCount == reversible);
    const Move result = searchPool.main().result().move;
    REQUIRE(result ? isLegalMove(result) : firstLegalMove() == 0 || gameDrawn());
}

#elif defined(FUZZ_movetext)
// Move text: for arbitrary tokens against several game positions,
// textToMove never reads past the token and gives 0 or a move whose text is
// the token; the text of a generated move gives exactly that move.
std::vector<std::pair<GameSnapshot, std::map<std::string, Move>>> games;  // with their moves by text

void prepare() {
    const std::vector<std::pair<const char*, std::vector<const char*>>> starts = {
        {StartPositionText, {}},
        {StartPositionText, {"e2e4"}},                          // an en-passant target nobody can use
        {StartPositionText, {"e2e4", "g8f6", "e4e5", "d7d5"}},  // exd6 en passant
        {"1n2k2r/P1P1P3/8/8/8/8/1p4p1/R1N1K2R w Kk - 0 1", {}},  // promotions and castling
        {"1n2k2r/P1P1P3/8/8/8/8/1p4p1/R1N1K2R b Kk - 0 1", {}},
        {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", {"e1g1"}}};     // castled: the rights are gone
    for (const auto& [fen, moves] : starts) {
        REQUIRE(setupPosition(fen, false));
        for (const char* move : moves) playMove(moveOf(move));
        games.emplace_back(game().snapshot, generatedTexts());
    }
}

void fuzz(const std::uint8_t* data, std::size_t size) {
    const std::unique_ptr<char[]> token = textOf(data, size);
    const std::string_view text(token.get(), size);  // NUL bytes and all
    for (const auto& [snapshot, generated] : games) {
        const Move m = textToMove(snapshot, text);
        const auto move = generated.find(std::string(text));
        REQUIRE(move == generated.end() || m == move->second);
        if (!m) continue;
        char back[8];
        REQUIRE(moveToText(back, m) == back + size && text == back);
    }
}

#elif defined(FUZZ_book)
// Book files: an arbitrary file loaded from the start position leaves the
// position, the snapshot, the history and the ply stack as they were; a file
// the loader calls sound is well formed, and every position of its lines
// holds a legal book move.
int bookFile = -1;
Position start;

using Record = std::pair<const std::uint8_t*, int>;  // the moves of a line, their count

// A header number N >= 1 (blanks before it allowed), the rest of its line,
// then exactly N records of a count byte of at most 64 and as many moves.
bool wellFormed(const std::uint8_t* data, std::size_t size, std::vector<Record>& records) {
    std::size_t i = 0;
    while (i < size && std::isspace(data[i])) ++i;
    if (i < size && data[i] == '+') ++i;
    long long n = 0;
    const std::size_t digits = i;
    while (i < size && std::isdigit(data[i]) && n <= 1LL << 31) n = n * 10 + (data[i++] - '0');
    if (i == digits || n < 1 || n > 0x7FFFFFFF) return false;
    while (i < size && data[i] != '\n') ++i;
    if (i++ == size) return false;
    while (i < size) {
        const int count = data[i++];
        if (count > MaxBookLineMoves || size - i < 2u * count) return false;
        records.emplace_back(data + i, count);
        i += 2u * count;
    }
    return static_cast<long long>(records.size()) == n;
}

void prepare() {
    REQUIRE(setupPosition(StartPositionText, false));
    start = game().position;
    REQUIRE((bookFile = memfd_create("book", 0)) >= 0);
}

void fuzz(const std::uint8_t* data, std::size_t size) {
    REQUIRE(ftruncate(bookFile, 0) == 0 && pwrite(bookFile, data, size, 0) == static_cast<ssize_t>(size));
    Board& b = game();
    const GameSnapshot snapshot = b.snapshot;
    const HistoryEntry top = *b.historyTop;
    HistoryEntry* const topAt = b.historyTop;
    const bool loaded = loadBook(b, ("/proc/self/fd/" + std::to_string(bookFile)).c_str(), [](int lines) { return lines / 2; });
    REQUIRE(same(&start, &b.position, sizeof b.position) && same(&snapshot, &b.snapshot, sizeof snapshot));
    REQUIRE(b.currentPly == b.plyStack && b.historyTop == topAt && b.historyTop->hashKey == top.hashKey &&
            b.historyTop->reversibleCount == top.reversibleCount);
    std::vector<Record> records;
    if (!loaded) return;
    REQUIRE(wellFormed(data, size, records));
    for (const auto& [moves, count] : records) {
        installPosition(b, FenSetup{start});
        for (int k = 0; k < count; ++k) {
            const std::optional<TransEntry> entry = ttFind(b.position);
            REQUIRE(entry && isBookEntry(*entry) && isLegalMove(entry->move()));
            const Move move = static_cast<Move>(moves[2 * k] | (moves[2 * k + 1] << 8));
            REQUIRE(isLegalMove(move));  // a line with an illegal move fails the load
            playGameMove(b, move);
        }
    }
    installPosition(b, FenSetup{start});
}

#elif defined(FUZZ_commands)
// Both front ends, start to end, on an arbitrary byte stream as standard
// input, in a scratch directory with the build's book: the xboard engine,
// then the UCI engine on the same bytes. Each starts its command side afresh,
// so an input reproduces alone. Afterwards the game position is sound, the
// engine thread has ended, every line written is one the protocol knows, and
// under UCI every `go` acted on got exactly one `bestmove` (none lost to a
// `quit` while it searched). The input ends at once, which acts as "move
// now" on a search for a move: searches end in moves, claims and ponder hits,
// whose counts are printed at the end of a run.
const std::regex xboardLine(
    "|feature (done=[01]|setboard=1|ping=1|myname=\"Drozak " DROZAK_VERSION "\"|sigint=0|sigterm=0|analyze=1|memory=1|smp=1|exclude=1|option=\"MultiPV -spin 1 1 64\"|variants=\"normal,fischerandom\")"
    "|Engine works only with xboard protocol ver. 2|tellusererror (BOOK ERROR!|Illegal position)"
    "|(1-0|0-1) \\{Drozak mates 1\\}|1-0 \\{White mates 0\\}|0-1 \\{Black mates 0\\}"
    "|1/2-1/2 \\{Draw: repetition or statemate\\}|pong( .*)?|Error \\(unknown command\\): [ -~]+"
    "|Error \\(variant not supported\\): [ -~]*|Illegal move: [0O]-[0O](-[0O])?"  // Chess960 castlings in letters
    "|(move |Illegal move: )([a-h][1-8][a-h][1-8][qnrb]?|O-O(-O)?)|stat01: \\d+ \\d+ \\d+ \\d+ \\d+ ([a-h][1-8][a-h][1-8][qnrb]?|O-O(-O)?)?"
    "|\\d+ -?\\d+ \\d+ \\d+( [a-h][1-8][a-h][1-8][qnrb]?| O-O(-O)?)*");
const std::regex uciLine(
    "id name Drozak " DROZAK_VERSION "|id author .+|option name .+|uciok|readyok|info string [ -~]+"
    "|info depth \\d+ seldepth \\d+ score (cp|mate) -?\\d+ nodes \\d+ nps \\d+ time \\d+ hashfull \\d+ pv( [a-h][1-8][a-h][1-8][qnrb]?)+"
    "|info nodes \\d+ nps \\d+ time \\d+|bestmove (0000|[a-h][1-8][a-h][1-8][qnrb]?( ponder [a-h][1-8][a-h][1-8][qnrb]?)?)");
const std::regex claimLine("(1-0|0-1|1/2-1/2) .*");
const std::regex actedOn("::cmd::\\s+(go|quit)(\\s.*)?");

struct Reached {
    long inputs = 0, moves = 0, claims = 0, ponderHits = 0, bestmoves = 0, longPositions = 0;
} reached;

// Runs a front end on `input`; returns its output lines and fills `log`.
std::vector<std::string> run(void (*frontEnd)(), const std::string& input, std::string& log) {
    std::ofstream("input", std::ios::binary) << input;
    REQUIRE(std::freopen("input", "rb", stdin) == stdin && std::freopen("output", "wb", stdout) == stdout);
    log.clear();
    gamelog::capture = &log;
    frontEnd();
    gamelog::capture = nullptr;
    std::fflush(stdout);
    const Board& b = game();
    REQUIRE(EngineState == Quitting && b.currentPly == b.plyStack && positionIsConsistent(b));
    if (gameStarted()) requireSnapshotOf(b.position);  // a UCI position refused leaves none
    REQUIRE(b.historyTop >= b.history && b.historyTop < b.history + HistorySize && b.historyTop->hashKey == b.position.hashKey);
    std::ifstream in("output", std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

void requireKnown(const std::vector<std::string>& lines, const std::regex& protocol) {
    for (const std::string& line : lines)
        if (!std::regex_match(line, protocol)) require(false, __LINE__, ("a line the protocol does not know: " + line).c_str());
}

void prepare() {
    std::filesystem::copy_file(DROZAK_BOOK, "Drozak.book", std::filesystem::copy_options::overwrite_existing);
    std::atexit([] {
        std::fprintf(stderr, "commands: %ld inputs, %ld with a move, %ld with a claim, %ld with a ponder hit, %ld with a bestmove, "
                     "%ld with a position line over 4096 bytes\n",
                     reached.inputs, reached.moves, reached.claims, reached.ponderHits, reached.bestmoves, reached.longPositions);
    });
}

void fuzz(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::string log;
    std::vector<std::string> lines = run(runXboard, input, log);
    requireKnown(lines, xboardLine);
    ++reached.inputs;
    reached.moves += std::any_of(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("move ", 0) == 0; });
    reached.claims += std::any_of(lines.begin(), lines.end(), [](const std::string& l) { return std::regex_match(l, claimLine); });
    reached.ponderHits += log.find("-GOOD PONDER") != std::string::npos;

    lines = run(runUci, input, log);
    requireKnown(lines, uciLine);
    long gos = 0, quits = 0;
    std::istringstream logged(log);
    for (std::string line; std::getline(logged, line);) {
        std::smatch m;
        if (std::regex_match(line, m, actedOn)) (m[1] == "go" ? gos : quits) += 1;
    }
    const long bestmoves = std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("bestmove", 0) == 0; });
    REQUIRE(bestmoves == gos || (quits > 0 && bestmoves == gos - 1));
    reached.bestmoves += bestmoves > 0;
    std::istringstream inputLines(input);
    for (std::string line; std::getline(inputLines, line);)
        if (line.size() > 4096 && line.rfind("position", 0) == 0) {
            ++reached.longPositions;
            break;
        }
}

#endif

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    gamelog::stream().close();  // millions of runs would fill the disk with the game log
    gamelog::stream().open("/dev/null");
    initTables();
    prepare();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz(data, size);
    return 0;
}
