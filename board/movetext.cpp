#include "board/movetext.h"

#include <cstring>
#include <sstream>

#include "board/position.h"

namespace {

constexpr char promotionLetters[] = "qnrb";  // kinds 4-7 and 8-11 in this order

constexpr const char* castlingTexts[4] = {"e8g8", "e1g1", "e8c8", "e1c1"};  // kinds 12-15

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
    if (kind >= CastleBlackKingSide) {
        std::memcpy(buffer, castlingTexts[kind - CastleBlackKingSide], 5);
        return buffer + 4;
    }
    char* out = buffer;
    squareText(moveFrom(move), out);
    squareText(moveTo(move), out + 2);
    out += 4;
    if (kind >= PromoteQueen && kind <= CapturePromoteBishop) *out++ = promotionLetters[(kind - PromoteQueen) & 3];
    *out = 0;
    return out;
}

Move textToMove(const GameSnapshot& game, std::string_view token) {
    // Four characters, or five with a promotion letter; anything longer (a
    // command such as "force") is no move.
    const std::size_t length = token.size();
    if (length != 4 && length != 5) return 0;
    const int from = squareOf(token[0], token[1]);
    const int to = squareOf(token[2], token[3]);
    if (from < 0 || to < 0) return 0;

    if (length == 4) {
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
        if (looksLikeMove(word)) moves += " " + word;
    return moves;
}
