#include "board/position.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "board/tables.h"


void checkFailed(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
    std::abort();
}

namespace {

// A right's key enters the hash key at the moment it is lost.
inline void removeRight(Position& p, std::uint16_t right) {
    if (castlingRightUsable(p.castleFlags, right)) {
        p.castleFlags &= ~right;
        p.hashKey ^= castlingRightKey(right);
    }
}

// The right whose rook starts on s, or 0: a capture there takes it away.
inline std::uint16_t rookRightOn(const Position& p, int s) {
    const Square* rooks = p.castling.rookSquare;
    return s == rooks[1] ? WhiteKingSideRight
           : s == rooks[3] ? WhiteQueenSideRight
           : s == rooks[0] ? BlackKingSideRight
           : s == rooks[2] ? BlackQueenSideRight
                           : 0;
}

inline void flipRotated(Position& p, int s) {
    p.occupiedFiles ^= fileRotBit[s];
    p.occupiedDiagA1H8 ^= diagA1H8Bit[s];
    p.occupiedDiagA8H1 ^= diagA8H1Bit[s];
}

inline void setRotated(Position& p, int s) {
    p.occupiedFiles |= fileRotBit[s];
    p.occupiedDiagA1H8 |= diagA1H8Bit[s];
    p.occupiedDiagA8H1 |= diagA8H1Bit[s];
}

inline void captureOn(Position& p, PlyRecord& undo, int to, int opponent, int gain) {
    const int captured = p.board[to];
    undo.capturedPiece = static_cast<std::uint8_t>(captured);
    if (p.castleFlags & CastlingState) {
        if (const std::uint16_t right = rookRightOn(p, to)) removeRight(p, right);
    }
    undo.materialDelta = static_cast<std::int8_t>(gain - pieceWeights[captured]);
    p.materialCount = static_cast<std::uint8_t>(p.materialCount + undo.materialDelta);
    p.pieceBoards[captured] ^= bitOf(to);
    p.colourBoards[opponent] ^= bitOf(to);
    p.hashKey ^= zobristKeys[captured][to];
}

// Moves the piece (or king) on `from` to `to`, for quiet moves and captures.
inline void movePiece(Position& p, PlyRecord& undo, int from, int to, int side, HistoryEntry* top) {
    flipRotated(p, from);
    const int piece = p.board[from];
    if (piece == Empty) {
        p.kingSquare[side] = static_cast<Square>(to);
        p.board[to] = Empty;
        p.hashKey ^= zobristKeys[kingPiece(side)][from] ^ zobristKeys[kingPiece(side)][to];
        if (side == White) {
            removeRight(p, WhiteKingSideRight);
            removeRight(p, WhiteQueenSideRight);
        } else {
            removeRight(p, BlackKingSideRight);
            removeRight(p, BlackQueenSideRight);
        }
    } else {
        undo.savedMoverBoard = p.pieceBoards[piece];
        p.pieceBoards[piece] ^= bitOf(from) | bitOf(to);
        p.board[to] = static_cast<std::uint8_t>(piece);
        p.hashKey ^= zobristKeys[piece][from] ^ zobristKeys[piece][to];
        if (piece <= BlackPawn) {
            top->reversibleCount = 0;
            if (from - to == 16 || to - from == 16) {
                p.epSquare = static_cast<Square>((from + to) / 2);
                p.hashKey ^= zobristKeys[0][p.epSquare];
            }
        } else if (piece == WhiteRook) {
            if (from == p.castling.rookSquare[3]) removeRight(p, WhiteQueenSideRight);
            else if (from == p.castling.rookSquare[1]) removeRight(p, WhiteKingSideRight);
        } else if (piece == BlackRook) {
            if (from == p.castling.rookSquare[2]) removeRight(p, BlackQueenSideRight);
            else if (from == p.castling.rookSquare[0]) removeRight(p, BlackKingSideRight);
        }
    }
    p.board[from] = Empty;
    p.colourBoards[side] ^= bitOf(from) | bitOf(to);
    p.occupied = p.colourBoards[0] | p.colourBoards[1];
}

struct CastlingMove {
    int kingFrom, kingTo, rookFrom, rookTo, rook;
    Square path;
    std::uint16_t otherRight, usedRight, setBits;
    int side;
};

// Indexed by kind - 12.
constexpr CastlingMove castlings[4] = {
    {E8, G8, H8, F8, BlackRook, BlackKingSidePath, BlackQueenSideRight, BlackKingSideRight, BlackCastledKingSide | BlackCastling | BlackKingSideRight, Black},
    {E1, G1, H1, F1, WhiteRook, WhiteKingSidePath, WhiteQueenSideRight, WhiteKingSideRight, WhiteCastledKingSide | WhiteCastling | WhiteKingSideRight, White},
    {E8, C8, A8, D8, BlackRook, BlackQueenSidePath, BlackKingSideRight, BlackQueenSideRight, BlackCastledQueenSide | BlackCastling | BlackQueenSideRight, Black},
    {E1, C1, A1, D1, WhiteRook, WhiteQueenSidePath, WhiteKingSideRight, WhiteQueenSideRight, WhiteCastledQueenSide | WhiteCastling | WhiteQueenSideRight, White},
};

// A castling of a shuffled game, its attacks tested by the generator: made
// whole, the king on its square and both rights gone. King and rook may start
// on each other's destination or stay where they are, so their squares are
// toggled, never set.
void makeShuffledCastling(Position& p, const CastlingMove& c, int kingFrom, int index) {
    const int rookFrom = p.castling.rookSquare[index];
    removeRight(p, c.otherRight);
    removeRight(p, c.usedRight);
    p.kingSquare[c.side] = static_cast<Square>(c.kingTo);
    p.board[rookFrom] = Empty;
    p.board[c.rookTo] = static_cast<std::uint8_t>(c.rook);
    p.hashKey ^= zobristKeys[kingPiece(c.side)][kingFrom] ^ zobristKeys[kingPiece(c.side)][c.kingTo] ^
                 zobristKeys[c.rook][rookFrom] ^ zobristKeys[c.rook][c.rookTo];
    p.pieceBoards[c.rook] ^= bitOf(rookFrom) ^ bitOf(c.rookTo);
    const Bitboard changed = bitOf(kingFrom) ^ bitOf(c.kingTo) ^ bitOf(rookFrom) ^ bitOf(c.rookTo);
    p.colourBoards[c.side] ^= changed;
    p.occupied ^= changed;
    for (int s : {kingFrom, c.kingTo, rookFrom, c.rookTo}) flipRotated(p, s);
}

// Queen, knight, rook, bishop: 0-3 for the promotion kinds 3-11 (kind 3 is a
// queen, like kinds 4 and 8).
constexpr int promotionIndex(int kind) { return kind == PromoteQueenAlias ? 0 : (kind - 4) & 3; }

// The piece a promotion kind makes for a side.
constexpr int promotedPiece(int kind, int side) {
    constexpr int base[4] = {10, 4, 8, 6};
    return base[promotionIndex(kind)] - side;
}
constexpr int promotionGain(int kind) {
    constexpr int gain[4] = {8, 2, 4, 2};
    return gain[promotionIndex(kind)];
}

}  // namespace

void Board::takeGameFrom(const Board& other) {
    position = other.position;
    snapshot = other.snapshot;
    setupCastleFlags = other.setupCastleFlags;

    const HistoryEntry* const top = other.historyTop;
    std::copy(other.history, top + 1, history);
    historyTop = history + (top - other.history);
    currentPly = plyStack;
    plyStack[0].current = plyStack[0].moves;
}

void saveUndo(const Position& p, PlyRecord& record) {
    record.savedOccupied = p.occupied;
    record.savedOwnPieces = p.colourBoards[p.sideToMove];
    record.savedFiles = p.occupiedFiles;
    record.savedDiagA1H8 = p.occupiedDiagA1H8;
    record.savedDiagA8H1 = p.occupiedDiagA8H1;
    record.savedHash = p.hashKey;
    record.savedCastleFlags = p.castleFlags;
    record.savedEpSquare = p.epSquare;
}

void makeMove(Board& b, Move m) {
    Position& p = b.position;
    PlyRecord& undo = *b.currentPly;
    const int from = moveFrom(m), to = moveTo(m), kind = moveKind(m);
    const int side = p.sideToMove, opponent = side ^ 1;

    b.historyTop->move = m;
    HistoryEntry* const previous = b.historyTop;
    HistoryEntry* const top = ++b.historyTop;
    top->reversibleCount = 0;

    if (p.epSquare) {
        p.hashKey ^= zobristKeys[0][p.epSquare];
        p.epSquare = 0;
    }

    switch (kind) {
        case Quiet:
            setRotated(p, to);
            top->reversibleCount = static_cast<std::uint16_t>(previous->reversibleCount + 1);
            movePiece(p, undo, from, to, side, top);
            break;
        case Capture:
            captureOn(p, undo, to, opponent, 0);
            movePiece(p, undo, from, to, side, top);
            break;
        case EnPassant: {
            const int mover = p.board[from];
            const int x = side == White ? to + 8 : to - 8;
            const int captured = p.board[x];
            undo.savedMoverBoard = p.pieceBoards[mover];
            undo.capturedPiece = static_cast<std::uint8_t>(captured);
            p.board[to] = static_cast<std::uint8_t>(mover);
            p.board[from] = Empty;
            p.board[x] = Empty;
            p.materialCount -= 1;
            p.hashKey ^= zobristKeys[captured][x] ^ zobristKeys[mover][from] ^ zobristKeys[mover][to];
            p.pieceBoards[captured] ^= bitOf(x);
            p.colourBoards[opponent] ^= bitOf(x);
            p.pieceBoards[mover] ^= bitOf(from) | bitOf(to);
            p.colourBoards[side] ^= bitOf(from) | bitOf(to);
            p.occupied = p.colourBoards[0] | p.colourBoards[1];
            flipRotated(p, from);
            p.occupiedFiles ^= epFileRotBits[to];
            p.occupiedDiagA1H8 ^= epDiagA1H8Bits[to];
            p.occupiedDiagA8H1 ^= epDiagA8H1Bits[to];
            break;
        }
        case CastleBlackKingSide:
        case CastleWhiteKingSide:
        case CastleBlackQueenSide:
        case CastleWhiteQueenSide: {
            const CastlingMove& c = castlings[kind - 12];
            if (p.castling.shuffled) [[unlikely]] {
                makeShuffledCastling(p, c, from, kind - 12);
                break;
            }
            removeRight(p, c.otherRight);
            p.hashKey ^= castlingRightKey(c.usedRight);
            p.castleFlags |= c.setBits;
            p.kingSquare[side] = c.path;
            p.board[c.rookTo] = static_cast<std::uint8_t>(c.rook);
            p.board[c.rookFrom] = Empty;
            p.hashKey ^= zobristKeys[kingPiece(side)][c.kingFrom] ^ zobristKeys[kingPiece(side)][c.kingTo] ^
                         zobristKeys[c.rook][c.rookFrom] ^ zobristKeys[c.rook][c.rookTo];
            const Bitboard rookMove = bitOf(c.rookFrom) | bitOf(c.rookTo);
            const Bitboard all = rookMove | bitOf(c.kingFrom) | bitOf(c.kingTo);
            p.pieceBoards[c.rook] ^= rookMove;
            p.colourBoards[side] ^= all;
            p.occupied ^= all;
            for (int s : {c.kingFrom, c.kingTo, c.rookFrom, c.rookTo}) flipRotated(p, s);
            break;
        }
        default: {  // promotions, kinds 3-11
            const int piece = promotedPiece(kind, side);
            const int pawn = side == White ? WhitePawn : BlackPawn;
            if (kind < CapturePromoteQueen) {
                undo.materialDelta = static_cast<std::int8_t>(promotionGain(kind));
                p.materialCount = static_cast<std::uint8_t>(p.materialCount + undo.materialDelta);
                setRotated(p, to);
            } else {
                captureOn(p, undo, to, opponent, promotionGain(kind));
            }
            flipRotated(p, from);
            undo.savedMoverBoard = p.pieceBoards[pawn];
            p.board[from] = Empty;
            p.board[to] = static_cast<std::uint8_t>(piece);
            p.hashKey ^= zobristKeys[pawn][from] ^ zobristKeys[piece][to];
            p.pieceBoards[piece] |= bitOf(to);
            p.pieceBoards[pawn] ^= bitOf(from);
            p.colourBoards[side] ^= bitOf(from) | bitOf(to);
            p.occupied = p.colourBoards[0] | p.colourBoards[1];
            break;
        }
    }

    p.sideToMove ^= 1;
    top->hashKey = p.hashKey;
    DROZAK_CHECK(positionIsConsistent(b));
}

void unmakeMove(Board& b, Move m) {
    Position& p = b.position;
    const PlyRecord& undo = *b.currentPly;
    const int from = moveFrom(m), to = moveTo(m), kind = moveKind(m);
    p.sideToMove ^= 1;
    const int side = p.sideToMove, opponent = side ^ 1;

    p.occupiedFiles = undo.savedFiles;
    p.occupiedDiagA1H8 = undo.savedDiagA1H8;
    p.occupiedDiagA8H1 = undo.savedDiagA8H1;
    p.occupied = undo.savedOccupied;
    p.colourBoards[side] = undo.savedOwnPieces;
    p.epSquare = undo.savedEpSquare;
    p.hashKey = undo.savedHash;

    switch (kind) {
        case Quiet:
        case Capture: {
            p.castleFlags = undo.savedCastleFlags;
            if (kind == Capture) {
                p.materialCount = static_cast<std::uint8_t>(p.materialCount - undo.materialDelta);
                p.pieceBoards[undo.capturedPiece] |= bitOf(to);
                p.colourBoards[opponent] |= bitOf(to);
            }
            const int piece = p.board[to];
            p.board[from] = static_cast<std::uint8_t>(piece);
            if (piece != Empty) p.pieceBoards[piece] = undo.savedMoverBoard;
            else p.kingSquare[side] = static_cast<Square>(from);
            p.board[to] = kind == Capture ? undo.capturedPiece : std::uint8_t{Empty};
            break;
        }
        case EnPassant: {
            const int mover = p.board[to];
            const int x = side == White ? to + 8 : to - 8;
            p.board[from] = static_cast<std::uint8_t>(mover);
            p.board[to] = Empty;
            p.materialCount += 1;
            p.board[x] = undo.capturedPiece;
            p.colourBoards[opponent] |= bitOf(x);
            p.pieceBoards[undo.capturedPiece] |= bitOf(x);
            p.pieceBoards[mover] = undo.savedMoverBoard;
            break;
        }
        case CastleBlackKingSide:
        case CastleWhiteKingSide:
        case CastleBlackQueenSide:
        case CastleWhiteQueenSide: {
            // The destination is cleared first: a rook that did not move (a
            // shuffled game's rook on f1) stays.
            const CastlingMove& c = castlings[kind - 12];
            const int rookFrom = p.castling.rookSquare[kind - 12];
            p.castleFlags = undo.savedCastleFlags;
            p.kingSquare[side] = static_cast<Square>(from);
            p.board[c.rookTo] = Empty;
            p.board[rookFrom] = static_cast<std::uint8_t>(c.rook);
            p.pieceBoards[c.rook] ^= bitOf(rookFrom) ^ bitOf(c.rookTo);
            break;
        }
        default: {  // promotions
            const int pawn = side == White ? WhitePawn : BlackPawn;
            p.materialCount = static_cast<std::uint8_t>(p.materialCount - undo.materialDelta);
            p.board[from] = static_cast<std::uint8_t>(pawn);
            p.pieceBoards[pawn] = undo.savedMoverBoard;
            p.pieceBoards[p.board[to]] ^= bitOf(to);
            if (kind >= CapturePromoteQueen) {
                p.castleFlags = undo.savedCastleFlags;
                p.pieceBoards[undo.capturedPiece] |= bitOf(to);
                p.colourBoards[opponent] |= bitOf(to);
                p.board[to] = undo.capturedPiece;
            } else {
                p.board[to] = Empty;
            }
            break;
        }
    }
    --b.historyTop;
    DROZAK_CHECK(positionIsConsistent(b));
}

bool playGameMove(Board& b, Move m) {
    if (m == 0) return false;
    Position& p = b.position;
    makeMove(b, m);
    switch (moveKind(m)) {
        case CastleBlackKingSide: p.kingSquare[Black] = G8; break;
        case CastleWhiteKingSide: p.kingSquare[White] = G1; break;
        case CastleBlackQueenSide: p.kingSquare[Black] = C8; break;
        case CastleWhiteQueenSide: p.kingSquare[White] = C1; break;
        default: break;
    }
    if (moveKind(m) >= CastleBlackKingSide) {
        const std::uint16_t sideBits = (moveKind(m) & 1) ? WhiteRights | WhiteCastling : BlackRights | BlackCastling;
        p.castleFlags &= static_cast<std::uint16_t>(~sideBits);
    }
    GameSnapshot& game = b.snapshot;
    game.epSquare = p.epSquare;
    game.castleFlags = p.castleFlags;
    game.whiteKingSquare = p.kingSquare[White];
    game.blackKingSquare = p.kingSquare[Black];
    std::copy(std::begin(p.board), std::end(p.board), game.board);
    game.sideToMove ^= 1;
    return true;
}

namespace {
constexpr int realKingSquare(int s) {
    switch (s) {
        case WhiteQueenSidePath: return C1;
        case WhiteKingSidePath: return G1;
        case BlackQueenSidePath: return C8;
        case BlackKingSidePath: return G8;
        default: return s;
    }
}
}  // namespace

std::uint64_t computeHashKey(const Position& p, std::uint16_t setupFlags) {
    std::uint64_t key = 0;
    for (int s = 0; s < 64; ++s)
        if (p.board[s]) key ^= zobristKeys[p.board[s]][s];
    key ^= zobristKeys[WhiteKing][realKingSquare(p.kingSquare[White])];
    key ^= zobristKeys[BlackKing][realKingSquare(p.kingSquare[Black])];
    if (p.epSquare) key ^= zobristKeys[0][p.epSquare];
    for (std::uint16_t right : {WhiteKingSideRight, WhiteQueenSideRight, BlackKingSideRight, BlackQueenSideRight})
        if ((setupFlags & right) && !castlingRightUsable(p.castleFlags, right)) key ^= castlingRightKey(right);
    return key;
}

bool positionIsConsistent(const Board& b) {
    const Position& p = b.position;
    Bitboard pieces[11] = {};
    Bitboard colours[2] = {};
    int material = 0;
    for (int s = 0; s < 64; ++s) {
        const int code = p.board[s];
        if (code > BlackQueen) return false;
        if (code == Empty) continue;
        pieces[code] |= bitOf(s);
        colours[code & 1] |= bitOf(s);
        material += pieceWeights[code];
    }
    for (int side : {Black, White}) {
        const int king = realKingSquare(p.kingSquare[side]);
        if (king > 63 || p.board[king] != Empty) return false;
        colours[side] |= bitOf(king);
    }
    if (realKingSquare(p.kingSquare[Black]) == realKingSquare(p.kingSquare[White])) return false;
    for (int code = 1; code <= BlackQueen; ++code)
        if (p.pieceBoards[code] != pieces[code]) return false;
    Position rotated = p;
    rotated.occupied = colours[Black] | colours[White];
    rotateOccupancy(rotated);
    return p.colourBoards[Black] == colours[Black] && p.colourBoards[White] == colours[White] &&
           p.occupied == rotated.occupied && p.occupiedFiles == rotated.occupiedFiles &&
           p.occupiedDiagA1H8 == rotated.occupiedDiagA1H8 && p.occupiedDiagA8H1 == rotated.occupiedDiagA8H1 &&
           p.materialCount == material && p.hashKey == computeHashKey(p, b.setupCastleFlags);
}

std::uint64_t startPositionKey() {
    static const char* const ranks[8] = {"rnbqkbnr", "pppppppp", "........", "........",
                                         "........", "........", "PPPPPPPP", "RNBQKBNR"};
    std::uint64_t key = 0;
    for (int s = 0; s < 64; ++s) {
        const char c = ranks[rowOf(s)][fileOf(s)];
        for (int code = 1; code <= BlackKing; ++code)
            if (pieceLetters[code] == c) key ^= zobristKeys[code][s];
    }
    return key;
}

void compactHistory(Board& b) {
    if (b.historyTop - b.history < HistorySize - SearchRoom) return;
    HistoryEntry* const first = b.historyTop - (KeptHistory - 1);
    std::copy(first, b.historyTop + 1, b.history);
    std::fill(b.history + KeptHistory, b.historyTop + 1, HistoryEntry{});
    b.historyTop = b.history + (KeptHistory - 1);
}

void playLineMove(Board& b, Move m) {
    playGameMove(b, m);
    compactHistory(b);
}

SavedGame saveGame(const Board& b) {
    const HistoryEntry* const top = b.historyTop;
    return SavedGame{b.position, b.snapshot, std::vector<HistoryEntry>(b.history, top + 1), b.setupCastleFlags};
}

void restoreGame(Board& b, const SavedGame& saved) {
    b.position = saved.position;
    b.snapshot = saved.snapshot;
    std::copy(saved.history.begin(), saved.history.end(), b.history);
    b.historyTop = b.history + (saved.history.size() - 1);
    b.setupCastleFlags = saved.setupFlags;
    b.currentPly = b.plyStack;
}
