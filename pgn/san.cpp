#include "pgn/san.h"

#include <cctype>
#include <cstring>

#include "board/movetext.h"
#include "movegen/movegen.h"

namespace pgn {

namespace {

// The piece on a square, kings included (the board array leaves them out).
int pieceOn(const Position& p, int s) {
    if (p.board[s]) return p.board[s];
    if (s == p.kingSquare[White]) return WhiteKing;
    if (s == p.kingSquare[Black]) return BlackKing;
    return Empty;
}

// The piece kind without its colour: 1 pawn, 2 knight, 3 bishop, 4 rook,
// 5 queen, 6 king.
int kindOf(int piece) { return (piece + 1) / 2; }

constexpr char kindLetters[] = "?PNBRQK";

bool isCastling(Move m) { return moveKind(m) >= CastleBlackKingSide; }
bool isPromotion(Move m) { return moveKind(m) >= PromoteQueenAlias && moveKind(m) <= CapturePromoteBishop; }
bool isCapture(Move m) {
    const int kind = moveKind(m);
    return kind == Capture || kind == EnPassant || (kind >= CapturePromoteQueen && kind <= CapturePromoteBishop);
}
// The promoted kind's letter: kinds 4-7 and 8-11 run queen, knight, rook, bishop.
char promotionLetter(Move m) {
    const int kind = moveKind(m);
    return kind == PromoteQueenAlias ? 'Q' : "QNRB"[(kind - PromoteQueen) & 3];
}

// Makes a legal move and finishes what the next generator would: a castled
// king moves from its path to its square. Undone by unmakeMove alone.
void makeWhole(Board& b, Move m) {
    saveUndo(b);
    makeMove(b, m);
    completeCastling(b.position);
}

bool hasLegalMove(Board& b) {
    ScoredMove list[MoveListSize];
    const ScoredMove* end = generateMoves(AllMoves, b.position, list);
    if (!end) return false;
    ++b.currentPly;
    saveUndo(b);
    bool found = false;
    for (const ScoredMove* e = list; e != end && !found; ++e) {
        makeMove(b, e->move);
        found = !kingCapturable(b.position);
        unmakeMove(b, e->move);
    }
    --b.currentPly;
    return found;
}

int squareOf(char file, char rank) { return (file - 'a') + 8 * ('8' - rank); }

}  // namespace

bool LegalMoves::contains(Move m) const {
    for (Move legal : *this)
        if (legal == m) return true;
    return false;
}

LegalMoves legalMoves(Board& b) {
    LegalMoves out;
    ScoredMove list[MoveListSize];
    const ScoredMove* end = generateMoves(AllMoves, b.position, list);
    if (!end) return out;
    // The generator completes a castling of the previous ply; the legality
    // rule is the engine's: the opponent's generator must not find the king
    // (or the castling path) attacked.
    saveUndo(b);
    for (const ScoredMove* e = list; e != end; ++e) {
        makeMove(b, e->move);
        if (!kingCapturable(b.position)) out.moves[out.count++] = e->move;
        unmakeMove(b, e->move);
    }
    return out;
}

std::string sanText(Board& b, Move move, const LegalMoves& legal) {
    const Position& p = b.position;
    std::string text;
    const int from = moveFrom(move), to = moveTo(move);
    char square[2];
    if (isCastling(move)) {
        text = (moveKind(move) == CastleBlackKingSide || moveKind(move) == CastleWhiteKingSide) ? "O-O" : "O-O-O";
    } else if (const int kind = kindOf(pieceOn(p, from)); kind == 1) {
        if (isCapture(move)) text += {static_cast<char>('a' + fileOf(from)), 'x'};
        squareText(to, square);
        text.append(square, 2);
        if (isPromotion(move)) text += {'=', promotionLetter(move)};
    } else {
        text += kindLetters[kind];
        bool rival = false, sameFile = false, sameRank = false;
        for (Move other : legal) {
            if (other == move || moveTo(other) != to || isCastling(other) || kindOf(pieceOn(p, moveFrom(other))) != kind)
                continue;
            rival = true;
            sameFile |= fileOf(moveFrom(other)) == fileOf(from);
            sameRank |= rowOf(moveFrom(other)) == rowOf(from);
        }
        squareText(from, square);
        if (rival && (!sameFile || sameRank)) text += square[0];
        if (rival && sameFile) text += square[1];
        if (isCapture(move)) text += 'x';
        squareText(to, square);
        text.append(square, 2);
    }
    makeWhole(b, move);
    if (sideToMoveInCheck(b.position)) text += hasLegalMove(b) ? '+' : '#';
    unmakeMove(b, move);
    return text;
}

SanReading readSan(const Position& p, std::string_view text, const LegalMoves& legal) {
    // What follows the move itself: check marks and annotation glyphs.
    while (!text.empty() && std::strchr("+#!?", text.back())) text.remove_suffix(1);
    if (text == "--" || text == "Z0" || text == "0000" || text == "@@@@") return {0, SanError::NullMove};
    const auto found = [&](auto&& fits) {
        SanReading reading{0, SanError::Illegal};
        for (Move m : legal) {
            if (!fits(m)) continue;
            if (reading.move) return SanReading{0, SanError::Ambiguous};
            reading = {m, SanError::None};
        }
        return reading;
    };

    if (text == "O-O" || text == "0-0" || text == "O-O-O" || text == "0-0-0") {
        const bool kingSide = text.size() == 3;
        return found([&](Move m) {
            return isCastling(m) && kingSide == (moveKind(m) == CastleBlackKingSide || moveKind(m) == CastleWhiteKingSide);
        });
    }
    if (looksLikeMove(text)) {  // coordinates, as interfaces write them
        const std::string wanted(text);
        return found([&](Move m) {
            char coordinates[8];
            moveToText(coordinates, m, p.castling);
            return wanted == coordinates;
        });
    }

    // [piece] [from file] [from rank] [x or -] square [=][promotion]
    std::size_t i = 0;
    int kind = 1;
    if (i < text.size() && std::strchr("NBRQK", text[i]) && text[i]) kind = static_cast<int>(std::strchr(kindLetters, text[i++]) - kindLetters);
    else if (i < text.size() && text[i] == 'P') ++i;
    char promotion = 0;
    const std::size_t last = text.size();
    std::size_t end = last;
    if (end > i && std::strchr("QNRBqnrb", text[end - 1]) && text[end - 1]) {
        promotion = static_cast<char>(std::toupper(static_cast<unsigned char>(text[end - 1])));
        --end;
        if (end > i && (text[end - 1] == '=' || text[end - 1] == '/')) --end;
    }
    if (end < i + 2) return {0, SanError::Unreadable};
    const char toFile = text[end - 2], toRank = text[end - 1];
    if (toFile < 'a' || toFile > 'h' || toRank < '1' || toRank > '8') return {0, SanError::Unreadable};
    const int to = squareOf(toFile, toRank);
    std::size_t middle = end - 2;
    if (middle > i && (text[middle - 1] == 'x' || text[middle - 1] == '-' || text[middle - 1] == ':')) --middle;
    int fromFile = -1, fromRank = -1;
    if (i < middle && text[i] >= 'a' && text[i] <= 'h') fromFile = text[i++] - 'a';
    if (i < middle && text[i] >= '1' && text[i] <= '8') fromRank = '8' - text[i++];
    if (i != middle) return {0, SanError::Unreadable};
    if (promotion && kind != 1) return {0, SanError::Unreadable};

    return found([&](Move m) {
        const int from = moveFrom(m);
        if (isCastling(m) || moveTo(m) != to || kindOf(pieceOn(p, from)) != kind) return false;
        if ((fromFile >= 0 && fileOf(from) != fromFile) || (fromRank >= 0 && rowOf(from) != fromRank)) return false;
        return isPromotion(m) ? promotionLetter(m) == promotion : promotion == 0;
    });
}

const char* sanErrorText(SanError error) {
    switch (error) {
        case SanError::None: return "no error";
        case SanError::Unreadable: return "not a move";
        case SanError::Illegal: return "not a legal move";
        case SanError::Ambiguous: return "ambiguous";
        case SanError::NullMove: return "a null move";
    }
    return "?";
}

}  // namespace pgn
