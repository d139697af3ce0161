#include "board/fen.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <utility>

#include "board/tables.h"

namespace {

int codeOfLetter(char c) {
    const char* found = std::strchr(pieceLetters + 1, c);
    return (found && c) ? static_cast<int>(found - pieceLetters) : 0;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The blank-separated fields of a text.
int splitFields(std::string_view text, std::string_view (&fields)[8]) {
    int count = 0;
    for (std::size_t i = 0; i < text.size();) {
        while (i < text.size() && isBlank(text[i])) ++i;
        std::size_t end = i;
        while (end < text.size() && !isBlank(text[end])) ++end;
        if (end > i) {
            if (count == 8) return 9;
            fields[count++] = text.substr(i, end - i);
        }
        i = end;
    }
    return count;
}

// A character as a reason may name it: 'x', or its byte when it is no printable ASCII.
std::string characterName(char c) {
    char text[16];
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x21 && byte < 0x7f) std::snprintf(text, sizeof text, "'%c'", c);
    else std::snprintf(text, sizeof text, "byte 0x%02x", byte);
    return text;
}

std::string fieldName(std::string_view field) {
    std::string shown;
    for (char c : field) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f) {
            shown += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            shown += escaped;
        }
    }
    return "'" + shown + "'";
}

bool refuse(std::string& reason, std::string why) {
    reason = std::move(why);
    return false;
}

// Whether `bySide` attacks square s in p (a plain look at every piece kind).
bool attacked(const Position& p, int s, int bySide) {
    const Bitboard pawns = p.pieceBoards[bySide == White ? WhitePawn : BlackPawn];
    // a white pawn attacks s from the squares diagonally below it
    Bitboard pawnSources = 0;
    const int row = rowOf(s), file = fileOf(s);
    const int fromRow = bySide == White ? row + 1 : row - 1;
    if (fromRow >= 0 && fromRow < 8) {
        if (file > 0) pawnSources |= bitOf(fromRow * 8 + file - 1);
        if (file < 7) pawnSources |= bitOf(fromRow * 8 + file + 1);
    }
    if (pawns & pawnSources) return true;
    if (knightAttacks[s] & p.pieceBoards[bySide == White ? WhiteKnight : BlackKnight]) return true;
    if (kingAttacks[s] & squareBit[p.kingSquare[bySide]]) return true;
    const Bitboard queens = p.pieceBoards[bySide == White ? WhiteQueen : BlackQueen];
    const Bitboard rooks = p.pieceBoards[bySide == White ? WhiteRook : BlackRook] | queens;
    const Bitboard bishops = p.pieceBoards[bySide == White ? WhiteBishop : BlackBishop] | queens;
    return (rookAttacksFrom(s, p) & rooks) || (bishopAttacksFrom(s, p) & bishops);
}

// The placement field: eight ranks of eight squares from the eighth rank down,
// separated by slashes. Enters the men and counts them; the kings go to
// their squares only.
bool readPlacement(std::string_view field, Position& p, int (&kings)[2], int (&men)[2], std::string& reason) {
    int rank = 0, file = 0;
    for (const char c : field) {
        if (c == '/') {
            if (file != 8) return refuse(reason, "rank " + std::to_string(8 - rank) + " has " + std::to_string(file) + " squares, not 8");
            if (++rank == 8) return refuse(reason, "more than eight ranks");
            file = 0;
            continue;
        }
        if (c >= '1' && c <= '8') {
            file += c - '0';
        } else if (const int code = codeOfLetter(c)) {
            if (file < 8) {
                const int square = rank * 8 + file;
                const int side = code == WhiteKing ? White : code == BlackKing ? Black : code & 1;
                ++men[side];
                p.hashKey ^= zobristKeys[code][square];
                if (code >= WhiteKing) {
                    ++kings[side];
                    p.kingSquare[side] = static_cast<Square>(square);
                } else {
                    // pawns on the first or last rank cannot be played with
                    if (code <= BlackPawn && (rank == 0 || rank == 7))
                        return refuse(reason, "a pawn on the " + std::string(rank == 0 ? "eighth" : "first") + " rank");
                    p.board[square] = static_cast<std::uint8_t>(code);
                    p.pieceBoards[code] |= bitOf(square);
                    p.materialCount = static_cast<std::uint8_t>(p.materialCount + pieceWeights[code]);
                }
            }
            ++file;
        } else {
            return refuse(reason, characterName(c) + " in the placement");
        }
        if (file > 8) return refuse(reason, "rank " + std::to_string(8 - rank) + " has more than 8 squares");
    }
    if (file != 8) return refuse(reason, "rank " + std::to_string(8 - rank) + " has " + std::to_string(file) + " squares, not 8");
    if (rank != 7) return refuse(reason, std::to_string(rank + 1) + " ranks, not 8");
    return true;
}

// The castling field: '-' or distinct letters of KQkq, in any order.
bool readCastling(std::string_view field, std::uint16_t& flags, std::string& reason) {
    if (field == "-") return true;
    for (const char c : field) {
        const std::uint16_t right = c == 'K'   ? WhiteKingSideRight
                                    : c == 'Q' ? WhiteQueenSideRight
                                    : c == 'k' ? BlackKingSideRight
                                    : c == 'q' ? BlackQueenSideRight
                                               : 0;
        if (!right) return refuse(reason, "castling field " + fieldName(field) + ": " + characterName(c));
        if (flags & right) return refuse(reason, "castling field " + fieldName(field) + ": " + characterName(c) + " twice");
        flags |= right;
    }
    return true;
}

// A counter: digits only, of any size (held at a bound no game reaches).
bool readCounter(std::string_view field, const char* name, int& value, std::string& reason) {
    constexpr int Bound = 1000000;
    if (field.empty() || !std::all_of(field.begin(), field.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return refuse(reason, std::string(name) + " " + fieldName(field) + " is not a number");
    value = 0;
    for (const char c : field) value = std::min(Bound, value * 10 + (c - '0'));
    return true;
}

}  // namespace

bool readFen(std::string_view text, FenSetup& out, std::string& reason) {
    std::string_view fields[8];
    const int count = splitFields(text, fields);
    if (count == 0) return refuse(reason, "no placement");
    if (count == 1) return refuse(reason, "no side to move");
    if (count > 6) return refuse(reason, "text after the move number: " + fieldName(fields[6]));

    FenSetup setup;
    Position& p = setup.position;
    int kings[2] = {0, 0};
    int men[2] = {0, 0};
    if (!readPlacement(fields[0], p, kings, men, reason)) return false;
    if (kings[White] != 1 || kings[Black] != 1) {
        const int side = kings[White] != 1 ? White : Black;
        return refuse(reason, std::string(kings[side] ? "two " : "no ") + (side == White ? "white" : "black") + " king" + (kings[side] ? "s" : ""));
    }
    if (men[White] > 16 || men[Black] > 16) return refuse(reason, "more than sixteen men a side");

    if (fields[1] == "w") p.sideToMove = White;
    else if (fields[1] == "b") p.sideToMove = Black;
    else return refuse(reason, "side to move " + fieldName(fields[1]) + ", not w or b");

    if (count > 2 && !readCastling(fields[2], p.castleFlags, reason)) return false;
    // A right is kept only where its king and rook stand at home: castling
    // without them would move pieces that are not there.
    if (p.kingSquare[White] != E1 || p.board[H1] != WhiteRook) p.castleFlags &= ~WhiteKingSideRight;
    if (p.kingSquare[White] != E1 || p.board[A1] != WhiteRook) p.castleFlags &= ~WhiteQueenSideRight;
    if (p.kingSquare[Black] != E8 || p.board[H8] != BlackRook) p.castleFlags &= ~BlackKingSideRight;
    if (p.kingSquare[Black] != E8 || p.board[A8] != BlackRook) p.castleFlags &= ~BlackQueenSideRight;

    int target = -1;
    if (count > 3 && fields[3] != "-") {
        const std::string_view ep = fields[3];
        if (ep.size() != 2 || ep[0] < 'a' || ep[0] > 'h' || (ep[1] != '3' && ep[1] != '6'))
            return refuse(reason, "en-passant field " + fieldName(ep) + ", not '-' or a square of the third or sixth rank");
        target = (ep[0] - 'a') + 8 * ('8' - ep[1]);
    }
    if (count > 4 && !readCounter(fields[4], "half-move clock", setup.halfmoveClock, reason)) return false;
    if (count > 5 && !readCounter(fields[5], "move number", setup.fullmoveNumber, reason)) return false;

    for (int side : {Black, White}) {
        p.colourBoards[side] = bitOf(p.kingSquare[side]);
        for (int code = 2 - side; code <= BlackQueen; code += 2) p.colourBoards[side] |= p.pieceBoards[code];
    }
    p.occupied = p.colourBoards[0] | p.colourBoards[1];
    rotateOccupancy(p);

    if (attacked(p, p.kingSquare[p.sideToMove ^ 1], p.sideToMove))
        return refuse(reason, std::string("the side not to move (") + (p.sideToMove == White ? "Black" : "White") + ") is in check");

    if (target >= 0) {
        // a pawn of the side that just moved stands in front of the target
        const int pawnSquare = p.sideToMove == White ? target + 8 : target - 8;
        const int pawn = p.sideToMove == White ? BlackPawn : WhitePawn;
        const bool fits = (p.sideToMove == White) == (target < 32);
        if (fits && p.board[pawnSquare] == pawn && !(p.occupied & bitOf(target))) {
            p.epSquare = static_cast<Square>(target);
            p.hashKey ^= zobristKeys[0][target];
        }
    }
    out = setup;
    return true;
}

bool readFen(std::string_view text, FenSetup& out) {
    std::string ignored;
    return readFen(text, out, ignored);
}

void installPosition(Board& b, const FenSetup& setup) {
    const Position& p = setup.position;
    b.position = p;
    b.setupCastleFlags = p.castleFlags;
    for (HistoryEntry* e = b.historyTop; e > b.history; --e) *e = HistoryEntry{};
    b.historyTop = b.history;
    // The clock as plies behind the position: the draw test counts from it.
    *b.historyTop = HistoryEntry{p.hashKey, 0, static_cast<std::uint16_t>(std::min(setup.halfmoveClock, 1000))};
    GameSnapshot& game = b.snapshot;
    game.epSquare = p.epSquare;
    game.castleFlags = p.castleFlags;
    game.whiteKingSquare = p.kingSquare[White];
    game.blackKingSquare = p.kingSquare[Black];
    game.sideToMove = p.sideToMove;
    std::copy(std::begin(p.board), std::end(p.board), game.board);
    b.currentPly = b.plyStack;
}

bool setUpBoard(Board& b, std::string_view fen, std::string* reason) {
    FenSetup setup;
    std::string why;
    if (!readFen(fen, setup, why)) {
        if (reason) *reason = why;
        return false;
    }
    installPosition(b, setup);
    return true;
}

char* positionText(const GameSnapshot& game, char* buffer) {
    char* out = buffer;
    int empty = 0;
    for (int s = 0; s < 64; ++s) {
        if (s > 0 && fileOf(s) == 0) {
            if (empty) out += std::sprintf(out, "%d", empty);
            empty = 0;
            *out++ = '/';
        }
        char letter = 0;
        if (game.board[s]) letter = pieceLetters[game.board[s]];
        else if (s == game.whiteKingSquare) letter = 'K';
        else if (s == game.blackKingSquare) letter = 'k';
        if (!letter) {
            ++empty;
            continue;
        }
        if (empty) out += std::sprintf(out, "%d", empty);
        empty = 0;
        *out++ = letter;
    }
    if (empty) out += std::sprintf(out, "%d", empty);
    *out++ = ' ';
    *out++ = game.sideToMove == White ? 'w' : 'b';
    *out++ = ' ';
    if (!(game.castleFlags & CastlingState)) {
        *out++ = '-';
    } else {
        constexpr std::pair<std::uint16_t, char> rights[4] = {
            {WhiteKingSideRight, 'K'}, {WhiteQueenSideRight, 'Q'}, {BlackKingSideRight, 'k'}, {BlackQueenSideRight, 'q'}};
        for (const auto& [right, letter] : rights)
            if (castlingRightUsable(game.castleFlags, right)) *out++ = letter;
    }
    *out++ = ' ';
    if (game.epSquare) {
        squareText(game.epSquare, out);
        out += 2;
    } else {
        *out++ = '-';
    }
    *out = 0;
    return buffer;
}
