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

// The right, and its index in CastlingRules (castling kind - 12), of a side's wing.
constexpr std::uint16_t wingRight(int side, bool kingSide) {
    return side == White ? (kingSide ? WhiteKingSideRight : WhiteQueenSideRight)
                         : (kingSide ? BlackKingSideRight : BlackQueenSideRight);
}
constexpr int wingIndex(int side, bool kingSide) { return (kingSide ? CastleBlackKingSide : CastleBlackQueenSide) + side - 12; }

// The outermost rook of a side on one wing of its home rank, or -1.
int outermostRook(const Position& p, int side, bool kingSide) {
    const int king = p.kingSquare[side], row = rowOf(king);
    const int rook = side == White ? WhiteRook : BlackRook;
    const int first = kingSide ? 7 : 0, step = kingSide ? -1 : 1;
    for (int file = first; file != fileOf(king); file += step)
        if (p.board[row * 8 + file] == rook) return row * 8 + file;
    return -1;
}

// A Chess960 castling field: '-', or distinct rights, each K, Q, k or q (the
// outermost rook of that wing, X-FEN) or the rook's file (A-H White's, a-h
// Black's: Shredder-FEN, and X-FEN for an inner rook). A right without its
// king on the home rank, or without its rook, is dropped.
bool readChess960Castling(std::string_view field, Position& p, std::string& reason) {
    if (field == "-") return true;
    for (const char c : field) {
        const bool white = (c >= 'A' && c <= 'H') || c == 'K' || c == 'Q';
        const bool black = (c >= 'a' && c <= 'h') || c == 'k' || c == 'q';
        if (!white && !black) return refuse(reason, "castling field " + fieldName(field) + ": " + characterName(c));
        const int side = white ? White : Black;
        const int king = p.kingSquare[side];
        int rook = -1;
        if (c == 'K' || c == 'k' || c == 'Q' || c == 'q') {
            rook = outermostRook(p, side, c == 'K' || c == 'k');
        } else {
            const int square = (side == White ? 56 : 0) + (c - (white ? 'A' : 'a'));
            if (p.board[square] == (side == White ? WhiteRook : BlackRook) && fileOf(square) != fileOf(king)) rook = square;
        }
        const bool onHomeRank = rowOf(king) == (side == White ? 7 : 0);
        if (!onHomeRank || rook < 0 || rowOf(rook) != rowOf(king)) continue;
        const bool kingSide = fileOf(rook) > fileOf(king);
        const std::uint16_t right = wingRight(side, kingSide);
        if (p.castleFlags & right) return refuse(reason, "castling field " + fieldName(field) + ": two rights of one wing");
        p.castleFlags |= right;
        p.castling.rookSquare[wingIndex(side, kingSide)] = static_cast<Square>(rook);
    }
    return true;
}

// The squares from a to b, both included, along a rank.
Bitboard rankSpan(int a, int b) {
    Bitboard span = 0;
    for (int s = std::min(a, b); s <= std::max(a, b); ++s) span |= bitOf(s);
    return span;
}

// The paths of every right held, and whether any king or rook starts off the
// standard squares.
void prepareCastling(Position& p) {
    CastlingRules& rules = p.castling;
    for (int index = 0; index < 4; ++index) {
        const int side = index & 1;
        const bool kingSide = index < 2;
        if (!(p.castleFlags & wingRight(side, kingSide))) continue;
        const int row = side == White ? 56 : 0;
        const int king = p.kingSquare[side], rook = rules.rookSquare[index];
        const int kingTo = row + (kingSide ? 6 : 2), rookTo = row + (kingSide ? 5 : 3);
        rules.kingPath[index] = rankSpan(king, kingTo);
        rules.mustBeEmpty[index] = (rules.kingPath[index] | rankSpan(rook, rookTo)) & ~(bitOf(king) | bitOf(rook));
        if (king != row + 4 || rook != row + (kingSide ? 7 : 0)) rules.shuffled = true;
    }
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

bool readFen(std::string_view text, FenSetup& out, std::string& reason, bool chess960) {
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

    if (chess960) {
        if (count > 2 && !readChess960Castling(fields[2], p, reason)) return false;
        p.castling.text = CastlingText::KingTakesRook;
    } else {
        if (count > 2 && !readCastling(fields[2], p.castleFlags, reason)) return false;
        // A right is kept only where its king and rook stand at home: castling
        // without them would move pieces that are not there.
        if (p.kingSquare[White] != E1 || p.board[H1] != WhiteRook) p.castleFlags &= ~WhiteKingSideRight;
        if (p.kingSquare[White] != E1 || p.board[A1] != WhiteRook) p.castleFlags &= ~WhiteQueenSideRight;
        if (p.kingSquare[Black] != E8 || p.board[H8] != BlackRook) p.castleFlags &= ~BlackKingSideRight;
        if (p.kingSquare[Black] != E8 || p.board[A8] != BlackRook) p.castleFlags &= ~BlackQueenSideRight;
    }
    prepareCastling(p);

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

bool readFen(std::string_view text, FenSetup& out, bool chess960) {
    std::string ignored;
    return readFen(text, out, ignored, chess960);
}

bool namesRookFiles(std::string_view fen) {
    std::string_view fields[8];
    if (splitFields(fen, fields) < 3) return false;
    return std::any_of(fields[2].begin(), fields[2].end(), [](char c) { return (c >= 'A' && c <= 'H') || (c >= 'a' && c <= 'h'); });
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
    game.castling = p.castling;
    std::copy(std::begin(p.board), std::end(p.board), game.board);
    b.currentPly = b.plyStack;
}

bool setUpBoard(Board& b, std::string_view fen, std::string* reason, bool chess960) {
    FenSetup setup;
    std::string why;
    if (!readFen(fen, setup, why, chess960)) {
        if (reason) *reason = why;
        return false;
    }
    installPosition(b, setup);
    return true;
}

namespace {

// X-FEN: a right's letter, or its rook's file where another rook of the side
// stands further out on that wing.
char castlingLetter(const GameSnapshot& game, std::uint16_t right, char letter) {
    if (!game.castling.shuffled) return letter;
    const bool white = right & WhiteRights, kingSide = right & (WhiteKingSideRight | BlackKingSideRight);
    const int rook = game.castling.rookSquare[wingIndex(white ? White : Black, kingSide)];
    const int own = white ? WhiteRook : BlackRook;
    for (int file = kingSide ? 7 : 0; file != fileOf(rook); file += kingSide ? -1 : 1)
        if (game.board[rowOf(rook) * 8 + file] == own) return static_cast<char>((white ? 'A' : 'a') + fileOf(rook));
    return letter;
}

}  // namespace

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
            if (castlingRightUsable(game.castleFlags, right)) *out++ = castlingLetter(game, right, letter);
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
