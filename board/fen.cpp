#include "board/fen.h"

#include <algorithm>
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

const char* skipBlanks(const char* s) {
    while (*s == ' ') ++s;
    return s;
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

}  // namespace

bool readFen(const char* text, Position& out, Square* epOut) {
    Position p{};
    int kings[2] = {0, 0};
    int men[2] = {0, 0};

    const char* c = skipBlanks(text);
    for (int square = 0; square < 64; ++c) {
        const char ch = *c;
        if (ch >= '1' && ch <= '8') {
            square += ch - '0';
        } else if (ch == '/') {
            continue;
        } else if (const int code = codeOfLetter(ch)) {
            const int side = code == WhiteKing ? White : code == BlackKing ? Black : code & 1;
            ++men[side];
            p.hashKey ^= zobristKeys[code][square];
            if (code >= WhiteKing) {
                ++kings[side];
                p.kingSquare[side] = static_cast<Square>(square);
            } else {
                // pawns on the first or last rank cannot be played with
                if (code <= BlackPawn && (rowOf(square) == 0 || rowOf(square) == 7)) return false;
                p.board[square] = static_cast<std::uint8_t>(code);
                p.pieceBoards[code] |= bitOf(square);
                p.materialCount = static_cast<std::uint8_t>(p.materialCount + pieceWeights[code]);
            }
            ++square;
        } else {
            return false;
        }
        if (square > 64) return false;  // a digit ran past the last square
    }
    // exactly one king a side, at most sixteen men a side
    if (kings[White] != 1 || kings[Black] != 1 || men[White] > 16 || men[Black] > 16) return false;

    c = skipBlanks(c);
    if (*c == 'w' || *c == 'W') p.sideToMove = White;
    else if (*c == 'b' || *c == 'B') p.sideToMove = Black;
    else return false;
    ++c;

    c = skipBlanks(c);
    const char* const castlingField = c;
    for (int i = 0; i < 4 && *c; ++i) {
        const char ch = *c++;
        if (ch == 'K') p.castleFlags |= WhiteKingSideRight;
        else if (ch == 'Q') p.castleFlags |= WhiteQueenSideRight;
        else if (ch == 'k') p.castleFlags |= BlackKingSideRight;
        else if (ch == 'q') p.castleFlags |= BlackQueenSideRight;
        else break;
    }
    // A right is kept only where its king and rook stand at home: castling
    // without them would move pieces that are not there.
    if (p.kingSquare[White] != E1 || p.board[H1] != WhiteRook) p.castleFlags &= ~WhiteKingSideRight;
    if (p.kingSquare[White] != E1 || p.board[A1] != WhiteRook) p.castleFlags &= ~WhiteQueenSideRight;
    if (p.kingSquare[Black] != E8 || p.board[H8] != BlackRook) p.castleFlags &= ~BlackKingSideRight;
    if (p.kingSquare[Black] != E8 || p.board[A8] != BlackRook) p.castleFlags &= ~BlackQueenSideRight;

    for (int side : {Black, White}) {
        p.colourBoards[side] = bitOf(p.kingSquare[side]);
        for (int code = 2 - side; code <= BlackQueen; code += 2) p.colourBoards[side] |= p.pieceBoards[code];
    }
    p.occupied = p.colourBoards[0] | p.colourBoards[1];
    rotateOccupancy(p);

    // The side that just moved may not be in check.
    if (attacked(p, p.kingSquare[p.sideToMove ^ 1], p.sideToMove)) return false;

    if (epOut) {
        *epOut = 0;
        const char* field = castlingField;
        while (*field && *field != ' ') ++field;  // past the castling field
        field = skipBlanks(field);
        if (field[0] >= 'a' && field[0] <= 'h' && (field[1] == '3' || field[1] == '6')) {
            const int target = (field[0] - 'a') + 8 * ('8' - field[1]);
            // a pawn of the side that just moved stands in front of the target
            const int pawnSquare = p.sideToMove == White ? target + 8 : target - 8;
            const int pawn = p.sideToMove == White ? BlackPawn : WhitePawn;
            const bool fits = (p.sideToMove == White) == (field[1] == '6');
            if (fits && p.board[pawnSquare] == pawn && !(p.occupied & bitOf(target))) *epOut = static_cast<Square>(target);
        }
    }
    out = p;
    return true;
}

bool readPlayableFen(const char* text, Position& out) {
    Square epSquare = 0;
    if (!readFen(text, out, &epSquare)) return false;
    if (epSquare) {
        out.epSquare = epSquare;
        out.hashKey ^= zobristKeys[0][epSquare];
    }
    return true;
}

void installPosition(const Position& p) {
    position = p;
    setupCastleFlags = p.castleFlags;
    for (HistoryEntry* e = historyTop; e > history; --e) *e = HistoryEntry{};
    historyTop = history;
    *historyTop = HistoryEntry{p.hashKey, 0, 0};
    gameSnapshot.epSquare = p.epSquare;
    gameSnapshot.castleFlags = p.castleFlags;
    gameSnapshot.whiteKingSquare = p.kingSquare[White];
    gameSnapshot.blackKingSquare = p.kingSquare[Black];
    gameSnapshot.sideToMove = p.sideToMove;
    std::copy(std::begin(p.board), std::end(p.board), gameSnapshot.board);
}

char* positionText(char* buffer) {
    const GameSnapshot& game = gameSnapshot;
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
