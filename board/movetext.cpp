#include "board/movetext.h"

#include <cstring>
#include <sstream>

#include "board/position.h"

namespace {

constexpr char promotionLetters[] = "qnrb";  // kinds 4-7 and 8-11 in this order

// The square that file letter `f` and rank digit `r` name, or -1.
constexpr int squareOf(char f, char r) {
    if (f < 'a' || f > 'h' || r < '1' || r > '8') return -1;
    return (f - 'a') + 8 * ('8' - r);
}

// The castling kind a king move from `from` to `to` stands for while the rights
// in `flags` allow it, or 0.
constexpr int castlingKind(int from, int to, std::uint16_t flags) {
    struct Castling {
        int from, to;
        std::uint16_t right;
        int kind;
    };
    constexpr Castling castlings[4] = {{E8, C8, BlackQueenSideRight, CastleBlackQueenSide},
                                       {E8, G8, BlackKingSideRight, CastleBlackKingSide},
                                       {E1, C1, WhiteQueenSideRight, CastleWhiteQueenSide},
                                       {E1, G1, WhiteKingSideRight, CastleWhiteKingSide}};
    for (const Castling& c : castlings)
        if (from == c.from && to == c.to && castlingRightUsable(flags, c.right)) return c.kind;
    return 0;
}

}  // namespace

char* moveToText(char* buffer, Move move) {
    const int kind = moveKind(move);
    char* out = buffer;
    squareText(moveFrom(move), out);
    squareText(moveTo(move), out + 2);
    out += 4;
    if (kind >= PromoteQueen && kind <= CapturePromoteBishop) *out++ = promotionLetters[(kind - PromoteQueen) & 3];
    *out = 0;
    return out;
}

char* moveToText(char* buffer, Move move, const CastlingRules& rules) {
    const int kind = moveKind(move);
    if (kind < CastleBlackKingSide || rules.text == CastlingText::KingTwoSquares) return moveToText(buffer, move);
    const bool kingSide = kind == CastleBlackKingSide || kind == CastleWhiteKingSide;
    if (rules.text == CastlingText::Letters) {
        const char* text = kingSide ? "O-O" : "O-O-O";
        std::strcpy(buffer, text);
        return buffer + std::strlen(text);
    }
    squareText(moveFrom(move), buffer);
    squareText(rules.rookSquare[kind - CastleBlackKingSide], buffer + 2);
    buffer[4] = 0;
    return buffer + 4;
}

bool isCastlingWord(std::string_view token) {
    return token == "O-O" || token == "O-O-O" || token == "0-0" || token == "0-0-0";
}

namespace {

// The castling a Chess960 game's word names: O-O or O-O-O, or the king taking
// its own rook; 0 for any other word.
Move chess960Castling(const GameSnapshot& game, std::string_view token) {
    const int side = game.sideToMove;
    const int king = side == White ? game.whiteKingSquare : game.blackKingSquare;
    for (const bool kingSide : {true, false}) {
        const int kind = side == White ? (kingSide ? CastleWhiteKingSide : CastleWhiteQueenSide)
                                       : (kingSide ? CastleBlackKingSide : CastleBlackQueenSide);
        const std::uint16_t right = side == White ? (kingSide ? WhiteKingSideRight : WhiteQueenSideRight)
                                                  : (kingSide ? BlackKingSideRight : BlackQueenSideRight);
        if (!castlingRightUsable(game.castleFlags, right)) continue;
        const int rook = game.castling.rookSquare[kind - CastleBlackKingSide];
        const bool letters = isCastlingWord(token) && kingSide == (token.size() == 3);
        const bool takesRook = token.size() == 4 && squareOf(token[0], token[1]) == king && squareOf(token[2], token[3]) == rook;
        if (letters || takesRook) return makeMoveCode(king, (side == White ? 56 : 0) + (kingSide ? 6 : 2), kind);
    }
    return 0;
}

}  // namespace

Move textToMove(const GameSnapshot& game, std::string_view token) {
    // In Chess960 a castling is written only as above; e1g1 there is whatever
    // stands on e1 going to g1 (a queen, say, while the rights are intact).
    const bool chess960 = game.castling.text != CastlingText::KingTwoSquares;
    if (chess960) {
        if (const Move castling = chess960Castling(game, token)) return castling;
    }
    // Four characters, or five with a promotion letter; anything longer (a
    // command such as "force") is no move.
    const std::size_t length = token.size();
    if (length != 4 && length != 5) return 0;
    const int from = squareOf(token[0], token[1]);
    const int to = squareOf(token[2], token[3]);
    if (from < 0 || to < 0) return 0;

    if (length == 4 && !chess960) {
        if (const int kind = castlingKind(from, to, game.castleFlags)) return makeMoveCode(from, to, kind);
    }

    const bool capture = game.board[to] != Empty;
    const int piece = game.board[from];
    if (piece == WhitePawn || piece == BlackPawn) {
        if (length == 5) {
            // A fifth character other than a promotion letter makes no move,
            // rather than a quiet move that might really be a capture.
            const char* letter = std::strchr(promotionLetters, token[4]);
            if (!letter || !*letter) return 0;
            const int kind = static_cast<int>(letter - promotionLetters) + (capture ? CapturePromoteQueen : PromoteQueen);
            return makeMoveCode(from, to, kind);
        }
        if (game.epSquare != 0 && game.epSquare == to) return makeMoveCode(from, to, EnPassant);
    } else if (length == 5) {
        return 0;  // only a pawn promotes
    }
    return makeMoveCode(from, to, capture ? Capture : Quiet);
}

bool looksLikeMove(std::string_view token) {
    const std::size_t length = token.size();
    if (length != 4 && length != 5) return false;
    if (squareOf(token[0], token[1]) < 0 || squareOf(token[2], token[3]) < 0) return false;
    return length == 4 || (token[4] && std::strchr(promotionLetters, token[4]));
}

std::string movesOfLine(const char* line) {
    std::string moves;
    std::istringstream words(line);
    for (std::string word; words >> word;)
        if (looksLikeMove(word) || isCastlingWord(word)) moves += " " + word;
    return moves;
}
