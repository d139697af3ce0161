#include "book/book.h"

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <limits>

#include "board/position.h"
#include "movegen/movegen.h"
#include "search/search.h"
#include "search/transtable.h"

namespace {

// The hash key carries neither the side to move nor the castling rights, so
// the key alone would also admit the start placement with Black to move or
// without rights, where the lines cannot be played.
}  // namespace

bool isBookStart(const Position& p) {
    return p.hashKey == startPositionKey() && p.sideToMove == White &&
           p.castleFlags == (WhiteRights | BlackRights) && p.epSquare == 0;
}

namespace {

bool listed(const ScoredMove* begin, const ScoredMove* end, Move move) {
    for (const ScoredMove* entry = begin; entry != end; ++entry)
        if (entry->move == move) return true;
    return false;
}

enum class Record { Read, End, Broken };

// One line record: a count byte, then as many little-endian 16-bit moves. A
// record that announces more moves than a line holds, or ends early, is
// broken: nothing after it can be trusted.
Record readRecord(std::istream& in, Move (&moves)[MaxBookLineMoves], std::uint8_t& count) {
    char countByte;
    if (!in.get(countByte)) return Record::End;
    count = static_cast<std::uint8_t>(countByte);
    if (count > MaxBookLineMoves) return Record::Broken;
    unsigned char bytes[2 * MaxBookLineMoves];
    if (!in.read(reinterpret_cast<char*>(bytes), 2 * count)) return Record::Broken;
    for (int i = 0; i < count; ++i)
        moves[i] = static_cast<Move>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return Record::Read;
}

}  // namespace

int randomBookLine(int lineCount) {
    if (lineCount < 2) return 0;
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    // Draws at or above the last whole multiple of lineCount would favour the
    // first lines; draw again instead.
    const long long span = static_cast<long long>(RAND_MAX) + 1;
    const long long limit = span - span % lineCount;
    long long draw;
    do draw = std::rand(); while (draw >= limit);
    return static_cast<int>(draw % lineCount);
}

bool storeBookLine(Board& b, const Move* moves, std::uint8_t count) {
    // Every ply of the line needs an undo block and a history entry above the
    // current ones.
    if (count > MaxBookLineMoves || (b.currentPly - b.plyStack) + count >= PlyStackSize ||
        (b.historyTop - b.history) + count >= HistorySize)
        return false;

    ScoredMove list[MoveListSize];
    ScoredMove* end = generateMoves(AllMoves, b.position, list);
    int made = 0;
    bool legal = true;
    while (made < count) {
        if (!end || end == list || !listed(list, end, moves[made])) {
            legal = false;
            break;
        }
        saveUndo(b);
        makeMove(b, moves[made]);
        ++b.currentPly;
        ++made;
        // A move that leaves its own king capturable, or castles through an
        // attacked square, is refused by the opponent's generator. Checked
        // after the last move too, which no later move would test.
        end = generateMoves(AllMoves, b.position, list);
        if (!end) {
            legal = false;
            break;
        }
    }
    while (made > 0) {
        --made;
        --b.currentPly;
        unmakeMove(b, moves[made]);
        if (legal) ttStoreBookMove(b.position, moves[made]);
    }
    return legal;
}

bool loadBook(Board& b, const char* fileName, int (*chooseLine)(int lineCount)) {
    DROZAK_CHECK(!searchPool.running());
    if (!isBookStart(b.position)) return false;
    std::ifstream in(fileName, std::ios::binary);
    if (!in) return false;

    int lineCount;
    if (!(in >> lineCount) || lineCount < 1) return false;
    // The rest of the header line is free text of any length.
    in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');

    const int chosen = chooseLine(lineCount);
    Move chosenMoves[MaxBookLineMoves];
    std::uint8_t chosenCount = 0;

    Move moves[MaxBookLineMoves];
    std::uint8_t count = 0;
    int linesRead = 0;
    Record record;
    while ((record = readRecord(in, moves, count)) == Record::Read) {
        if (linesRead++ == chosen) {
            for (int i = 0; i < count; ++i) chosenMoves[i] = moves[i];
            chosenCount = count;
        } else if (!storeBookLine(b, moves, count)) {
            return false;
        }
    }
    if (chosenCount == 0 || !storeBookLine(b, chosenMoves, chosenCount)) return false;
    return record == Record::End && linesRead == lineCount;
}
