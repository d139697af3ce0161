// Perft over published positions, and a walk over the same trees and smaller
// ones that checks, at every node, the check analysis and squareAttacked
// against a look at the board square by square, the generators against each
// other and against the rules of legality, and make/unmake against the
// position it started from. Then the generators' order, which no count sees.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "support/chess.h"

using namespace testsupport;

namespace {

constexpr const char* StartFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
constexpr const char* Kiwipete = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -";
constexpr const char* RookEndgame = "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -";
constexpr const char* Promotions = "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1";
constexpr const char* PromotionsMirrored = "r2q1rk1/pP1p2pp/Q4n2/bbp1p3/Np6/1B3NBn/pPPP1PPP/R3K2R b KQ - 0 1";
constexpr const char* ChecksAndPins = "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8";
constexpr const char* Middlegame = "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10";
constexpr const char* Underpromotions = "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1";

// The published totals, and stockfish's for en-passant fields that a lost
// capture, or a pinned or discovering en-passant capture, would change.
TEST(Perft, PublishedCounts) {
    const struct {
        const char* fen;
        int depth;
        std::uint64_t leaves;
    } cases[] = {
        {StartFen, 5, 4865609}, {Kiwipete, 4, 4085603}, {RookEndgame, 6, 11030083}, {Promotions, 5, 15833292},
        {PromotionsMirrored, 4, 422333}, {ChecksAndPins, 4, 2103487}, {Middlegame, 4, 3894594},
        {"rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3", 4, 524138},
        {"8/8/8/8/k2Pp2Q/8/8/3K4 b - d3 0 1", 4, 20471}, {"8/8/4k3/4Pp2/8/7B/8/4R1K1 w - f6 0 1", 4, 10090},
        {"8/8/8/2k5/3Pp3/8/8/4K2B b - d3 0 1", 4, 6307}, {Underpromotions, 5, 3605103}, {Underpromotions, 4, 182838},
    };
    for (const auto& c : cases) {
#ifdef __SANITIZE_ADDRESS__
        if (c.leaves > 2000000) continue;  // slow there, and memory errors show in the smaller trees
#endif
        setUpFen(c.fen);
        EXPECT_EQ(perft(board(), c.depth), c.leaves) << c.fen;
    }
    // After c7c8=B Black is in check from the queen behind it, which the check
    // analysis after a promotion does not see: four replies, not seventeen.
    setUpFen("nQ6/P1P1n3/3k4/8/8/8/4Kppp/5N1N w - -");
    std::uint64_t bishopPromotion = 0;
    CountOnly count;
    perftRoot(board(), 2, count, [&](Move m, std::uint64_t n) {
        if (moveText(m) == "c7c8b") bishopPromotion = n;
    });
    EXPECT_EQ(bishopPromotion, 4u);
}

// Chess960, counted by stockfish 15.1 (`setoption name UCI_Chess960 value
// true`, `go perft N`) from the Shredder-FEN forms; each X-FEN form beside one
// is the same position. Kings on b1 with a rook on a1 and on g1 with a rook
// on h1, an inner rook's right (d1 with another on h1), king and rook that
// swap (f1, g1) or stand still, a rook that lifted opens a check (king c1,
// rook b1, an enemy rook on a1), and middle games with castling available.
TEST(Perft, Chess960Counts) {
    const struct {
        const char* fen;
        int depth;
        std::uint64_t leaves;
    } cases[] = {
        {"rknbbqnr/pppppppp/8/8/8/8/PPPPPPPP/RKNBBQNR w HAha - 0 1", 4, 202212},
        {"rknbbqnr/pppppppp/8/8/8/8/PPPPPPPP/RKNBBQNR w KQkq - 0 1", 4, 202212},
        {"rbbnqnkr/pppppppp/8/8/8/8/PPPPPPPP/RBBNQNKR w HAha - 0 1", 4, 204378},
        {"bqnb1rkr/pp3ppp/3ppn2/2p5/5P2/P2P4/NPP1P1PP/BQ1BNRKR w HFhf - 2 9", 4, 326672},
        {"1k1r3r/pppppppp/8/8/8/8/PPPPPPPP/1K1R3R w Dd - 0 1", 3, 16750},
        {"1k1r3r/pppppppp/8/8/8/8/PPPPPPPP/1K1R3R w Hh - 0 1", 3, 15181},
        {"1k1r3r/pppppppp/8/8/8/8/PPPPPPPP/1K1R3R w Kk - 0 1", 3, 15181},
        {"1k6/8/8/8/8/8/8/r1RK3R w HC - 0 1", 4, 50203}, {"4k3/8/8/8/8/8/8/rRK4R w HB - 0 1", 4, 57884},
        {"1r2k1r1/8/8/8/8/8/8/R2K1R2 w FAgb - 0 1", 4, 282678}, {"4k3/8/8/8/8/8/8/rRK5 w B - 0 1", 4, 12489},
        {"bqkr1b2/1ppp1p1r/8/p3p3/2P1nn1p/BP1NPN2/P2PBPPP/2QRKR2 w D - 7 15", 3, 31889},
        {"bb1qrk1r/p1pp2pp/2n4n/1P1PppQ1/8/2N3P1/1PP1PP1P/BB2RKNR w HEhe e6 0 8", 3, 31396},
    };
    const Chess960Rules chess960;
    for (const auto& c : cases) {
        setUpFen(c.fen);
        EXPECT_EQ(perft(board(), c.depth), c.leaves) << c.fen;
    }
}

// Chess960 castlings that the rules allow or refuse, as python-chess judges
// them (chess960=True): the king's path is judged with the castling rook
// lifted, and the squares both cross must be empty; the rook's own square
// may be attacked.
TEST(Perft, Chess960CastlingRules) {
    const struct {
        const char* fen;
        const char* castling;
        bool legal;
    } cases[] = {
        {"4k3/8/8/8/8/8/8/rRK5 w B - 0 1", "c1b1", false},                // the rook on a1 sees c1 past b1
        {"2rkr3/2p1p3/8/8/8/4b3/PPP5/RK6 w A - 0 1", "b1a1", false},      // the bishop sees c1
        {"2rkr3/2p1p3/8/8/8/8/PPP5/RK6 w A - 0 1", "b1a1", true},
        {"4rkr1/4p1p1/8/8/8/8/6PP/6KR w H - 0 1", "g1h1", true},          // the king stays on g1
        {"4k3/8/8/8/8/8/8/5KR1 w G - 0 1", "f1g1", true},                 // king and rook swap
        {"4k3/8/8/8/8/8/8/RK5r w A - 0 1", "b1a1", false},                // in check; d1 would shield c1
        {"4k3/8/8/8/8/8/8/r5KR w H - 0 1", "g1h1", false},                // in check; f1 would shield g1
        {"4k3/8/8/8/8/8/8/1K2N2R w H - 0 1", "b1h1", false},              // a knight on the king's path
        {"4k3/8/8/8/8/8/8/RN1K4 w A - 0 1", "d1a1", false},               // a knight on the rook's path
        {"r3k3/8/8/8/8/8/8/R1K5 w A - 0 1", "c1a1", true},                // only the rook is attacked
    };
    const Chess960Rules chess960;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fen);
        setUpFen(c.fen);
        EXPECT_EQ(legalMoveTexts().count(c.castling) > 0, c.legal);
        EXPECT_GE(moveKind(textToMove(c.castling)), CastleBlackKingSide);  // read as castling, legal or not
    }
}

// The piece on s, kings included (they stand on real squares at every node).
int pieceAt(int s) {
    if (position().board[s]) return position().board[s];
    return s == position().kingSquare[White] ? WhiteKing : s == position().kingSquare[Black] ? BlackKing : Empty;
}

struct Attacker {
    int square, kind;  // 1 pawn, 2 knight, 3 diagonal, 4 straight, 5 king
};

// The pieces of `side` that attack `target`, found by walking the board with
// the men on `lifted` taken off.
std::vector<Attacker> attackersOf(int target, int side, Bitboard lifted = 0) {
    Bitboard occupied = 0;
    for (int s = 0; s < 64; ++s) occupied |= pieceAt(s) ? bitOf(s) : 0;
    occupied &= ~lifted;
    std::vector<Attacker> found;
    const auto add = [&](Bitboard from, int whiteCode, int kind) {
        const int code = whiteCode + (side == White ? 0 : 1);
        for (; from; from &= from - 1)
            if (pieceAt(lowestSquare(from)) == code) found.push_back({lowestSquare(from), kind});
    };
    const int behind = side == White ? 1 : -1;  // a pawn stands behind its target
    add(walk(target, behind, -1, false) | walk(target, behind, 1, false), WhitePawn, 1);
    add(steps(target, false), WhiteKnight, 2);
    for (const int slider : {WhiteBishop, WhiteQueen}) add(lines(target, true, occupied), slider, 3);
    for (const int slider : {WhiteRook, WhiteQueen}) add(lines(target, false, occupied), slider, 4);
    add(steps(target, true), WhiteKing, 5);
    return found;
}

bool attacked(int target, int side, Bitboard lifted = 0) { return !attackersOf(target, side, lifted).empty(); }

// At every node: the history entry the last move pushed (key, move, count of
// reversible plies); the check analysis and squareAttacked against the board;
// all moves, captures and evasions against each other and the rules of
// legality; and after every unmake, the position as it was.
class NodeChecker {
public:
    static constexpr bool expandLeaves = true;
    explicit NodeChecker(int depth) : depth_(depth) {}
    std::uint64_t evasionNodes = 0;

    void node(Move last, const ScoredMove*, const ScoredMove*) {
        if (::testing::Test::HasFailure()) return;  // one node's report is enough
        SCOPED_TRACE("after " + lineText());
        EXPECT_TRUE(positionIsConsistent(board()));
        EXPECT_EQ(board().historyTop->hashKey, position().hashKey);
        if (last) {
            EXPECT_EQ((board().historyTop - 1)->move, last);
            EXPECT_EQ(board().historyTop->reversibleCount, reversible_.back());
        }
        const CheckInfo check = checkAnalysis(last);
        for (int s = 0; line_.size() < static_cast<std::size_t>(depth_) && s < 64; ++s)  // leaves are many
            for (int by : {Black, White}) EXPECT_EQ(squareAttacked(position(), s, by), attacked(s, by)) << s << " by " << by;
        generators(check);
    }
    void beforeMake(Move move) {
        saved_.push_back(position());
        line_.push_back(move);
        const int piece = position().board[moveFrom(move)];  // kings are not on the board
        const bool irreversible = piece == WhitePawn || piece == BlackPawn || moveKind(move) != Quiet;
        reversible_.push_back(irreversible ? 0 : board().historyTop->reversibleCount + 1);
    }
    void afterUnmake(Move) {
        EXPECT_TRUE(::testing::Test::HasFailure() || samePosition(position(), saved_.back()))
            << "unmaking " << lineText();
        saved_.pop_back();
        line_.pop_back();
        reversible_.pop_back();
    }

private:
    std::string lineText() const {
        std::string out = "the root";
        for (Move m : line_) out += " " + moveText(m);
        return out;
    }

    // analyseCheck after the last move and the look from scratch: the checkers,
    // the sum of their kinds, and a single slider's lines of its kind.
    CheckInfo checkAnalysis(Move last) {
        const int side = position().sideToMove;
        Bitboard checkers = 0;
        int kinds = 0;
        for (const Attacker& a : attackersOf(position().kingSquare[side], side ^ 1)) {
            EXPECT_NE(a.kind, 5) << "the kings touch";
            checkers |= bitOf(a.square);
            kinds += a.kind;
        }
        const int count = std::popcount(checkers);
        const int square = count == 0 ? NoSquare : count == 1 ? lowestSquare(checkers) : DoubleCheck;
        CheckInfo fromScratch{}, info{};
        analyseCheckFromScratch(position(), fromScratch);
        if (last) analyseCheck(position(), info, last);
        for (const CheckInfo* i : {&fromScratch, last ? &info : &fromScratch}) {
            EXPECT_EQ(i->checkers, checkers);
            EXPECT_EQ(i->checkKind, kinds);
            EXPECT_EQ(i->checkerSquare, square);
            const Bitboard line = count > 1 || kinds < 3 ? 0  // the tables are checked against ray walks
                                  : kinds == 3       ? bishopAttacksFrom(square, position())
                                                     : rookAttacksFrom(square, position());
            if (count > 1 || kinds >= 3) { EXPECT_EQ(i->lineMask, line); }
        }
        return fromScratch;
    }

    // Legal by the rules: the mover's king is not attacked afterwards, and a
    // castling king starts, crosses and lands on squares unattacked with it
    // and its rook lifted. By the engine: the opponent's generator after the
    // move is not null.
    std::vector<Move> legalMoves(const std::vector<ScoredMove>& list) {
        const int side = position().sideToMove;
        std::vector<Move> legal;
        for (const ScoredMove& e : list) {
            const int from = moveFrom(e.move), to = moveTo(e.move), kind = moveKind(e.move);
            bool rules = kind < CastleBlackKingSide;
            if (!rules) {
                const Bitboard lifted = bitOf(from) | bitOf(position().castling.rookSquare[kind - CastleBlackKingSide]);
                rules = true;
                for (int s = std::min(from, to); s <= std::max(from, to); ++s) rules &= !attacked(s, side ^ 1, lifted);
            }
            play(e.move);
            const bool engine = !generate(Captures).illegal;
            if (moveKind(e.move) < CastleBlackKingSide) rules = !attacked(position().kingSquare[side], side ^ 1);
            takeBackPly(e.move);
            EXPECT_EQ(engine, rules) << moveText(e.move);
            if (engine) legal.push_back(e.move);
        }
        std::sort(legal.begin(), legal.end());
        EXPECT_TRUE(std::adjacent_find(legal.begin(), legal.end()) == legal.end()) << "a move listed twice";
        return legal;
    }

    // The captures generator lists the captures and promotions of all moves,
    // scored alike. In check the evasions are moves of the position with the
    // same legal ones, only king moves in double check.
    void generators(const CheckInfo& check) {
        const Generated all = generate(AllMoves), captures = generate(Captures);
        EXPECT_FALSE(all.illegal || captures.illegal);
        auto text = [](std::vector<ScoredMove> list, bool capturesOnly) {
            std::vector<std::string> out;
            for (const ScoredMove& e : list)
                if (!capturesOnly || (moveKind(e.move) != Quiet && moveKind(e.move) < CastleBlackKingSide))
                    out.push_back(moveText(e.move) + ":" + std::to_string(e.score));
            std::sort(out.begin(), out.end());
            return out;
        };
        EXPECT_EQ(text(captures.moves, false), text(all.moves, true));
        const std::vector<Move> legal = legalMoves(all.moves);
        if (!check.checkKind) return;
        ++evasionNodes;
        CheckInfo info = check;
        const Generated evasions = generate(Evasions, &info);
        EXPECT_FALSE(evasions.illegal);
        for (const ScoredMove& e : evasions.moves) {
            auto same = [&](const ScoredMove& a) { return a.move == e.move; };
            EXPECT_TRUE(std::any_of(all.moves.begin(), all.moves.end(), same)) << moveText(e.move);
            const int king = position().kingSquare[position().sideToMove];
            EXPECT_TRUE(check.checkerSquare != DoubleCheck || moveFrom(e.move) == king) << moveText(e.move);
        }
        EXPECT_EQ(legalMoves(evasions.moves), legal);
    }

    int depth_;
    std::vector<Position> saved_;
    std::vector<Move> line_;
    std::vector<int> reversible_;  // the count each move of the line must leave
};

// The walk's leaves are the bulk count's. Under AddressSanitizer every tree is
// walked a ply shallower: the walk is slow there, and memory errors show at
// any depth. Beside the published trees, small ones with what those seldom
// hold: checks given by promotions, en passant, castling and captures along
// the board's edges, and castlings out of, through and into attacks.
TEST(Perft, WalkChecksEveryNode) {
#ifdef __SANITIZE_ADDRESS__
    constexpr int shallower = 1;
#else
    constexpr int shallower = 0;
#endif
    const std::pair<const char*, int> roots[] = {
        {StartFen, 3}, {Kiwipete, 3}, {RookEndgame, 4}, {Promotions, 3}, {PromotionsMirrored, 3},
        {ChecksAndPins, 3}, {Middlegame, 3},
        {"8/8/8/8/p7/7K/8/4k3 b - -", 3}, {"8/k7/7P/8/8/8/8/4K3 w - -", 3}, {"8/4P3/5k2/8/8/8/8/4K3 w - -", 3},
        {"4k3/8/8/8/4N3/8/8/K3R3 w - -", 3}, {"4k3/8/8/8/4B3/8/8/K3R3 w - -", 3}, {"7k/8/8/8/3R4/8/8/Q3K3 w - -", 3},
        {"8/8/8/RPp4k/8/8/8/K7 w - c6", 3}, {"8/8/4k3/4Pp2/8/7B/8/4R1K1 w - f6", 3}, {"8/R3Pk2/8/8/8/8/8/4K3 w - -", 3},
        {"4k3/8/8/8/8/8/r4pK1/6N1 b - -", 3}, {"4k2r/8/8/8/8/8/5K2/8 b k -", 3}, {"8/8/8/8/8/8/8/R3K2k w Q -", 3},
        {"r3k2r/3P4/8/8/8/8/8/4K3 b kq -", 2}, {"r3k2r/5P2/8/8/8/8/8/4K3 b kq -", 2}, {"r3k2r/7P/8/8/8/8/8/4K3 b kq -", 2},
        {"r3k2r/8/4N3/8/8/8/8/4K3 b kq -", 2}, {"r3k2r/8/8/8/8/B7/8/4K3 b kq -", 2}, {"r3k2r/8/8/8/8/8/8/1R2K1R1 b kq -", 2},
        {"r3k2r/8/8/8/8/8/8/2Q1K3 b kq -", 2}, {"r3k2r/6K1/8/8/8/8/8/8 b kq -", 2}, {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq -", 3},
    };
    // Chess960: the unusual kings and rooks of Chess960Counts, castlings into
    // checks by a rook they uncover, and rights lost to captures on the rook.
    const std::pair<const char*, int> chess960Roots[] = {
        {"rknbbqnr/pppppppp/8/8/8/8/PPPPPPPP/RKNBBQNR w HAha - 0 1", 3}, {"1k6/8/8/8/8/8/8/r1RK3R w HC - 0 1", 3},
        {"4k3/8/8/8/8/8/8/rRK4R w HB - 0 1", 3}, {"1r2k1r1/8/8/8/8/8/8/R2K1R2 w FAgb - 0 1", 3},
        {"1k1r3r/pppppppp/8/8/8/8/PPPPPPPP/1K1R3R w Dd - 0 1", 3}, {"r5kr/8/8/8/8/8/8/R5KR b HAha - 0 1", 3},
        {"rk5r/8/8/8/8/8/8/RK5R w HAha - 0 1", 3}, {"2r1k3/8/8/8/8/8/8/r2RK1R1 w GDc - 0 1", 3},
    };
    std::uint64_t evasionNodes = 0, leaves = 0;
    for (const auto& [fen, fullDepth] : roots) {
        SCOPED_TRACE(fen);
        const int depth = fullDepth - shallower;
        setUpFen(fen);
        NodeChecker checker(depth);
        const std::uint64_t walked = perftRoot(board(), depth, checker, NoReport{});
        EXPECT_EQ(walked, perft(board(), depth));
        leaves += walked;
        evasionNodes += checker.evasionNodes;
    }
    const Chess960Rules chess960;
    for (const auto& [fen, fullDepth] : chess960Roots) {
        SCOPED_TRACE(fen);
        setUpFen(fen);
        NodeChecker checker(fullDepth - shallower);
        EXPECT_EQ(perftRoot(board(), fullDepth - shallower, checker, NoReport{}), perft(board(), fullDepth - shallower));
    }
    EXPECT_GT(leaves, 5000u);  // the walk reached its trees, a ply shallower too
    EXPECT_GT(evasionNodes, 100u);
}

// The generators' lists in the order the search takes them, with their scores.
// Knights from the h-side on, then double steps and single steps from the
// h-file on, scored by the table gain (Black reads the tables turned round).
// Rooks, the king, then castling. En passant leads its direction, then
// capture-promotions, captures, quiet promotions, which the captures
// generator lists too. In double check only the king moves.
TEST(Generators, OrderAndScores) {
    const struct {
        const char* fen;
        GeneratorKind kind;
        const char* list;
    } cases[] = {
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", AllMoves,
         "g1h3:-27986 g1f3:-27972 b1c3:-27972 b1a3:-27986 h2h4:-28000 g2g4:-28000 f2f4:-27997 e2e4:-27979 d2d4:-27979 "
         "c2c4:-27997 b2b4:-28000 a2a4:-28000 h2h3:-28000 g2g3:-28001 f2f3:-28001 e2e3:-27989 d2d3:-27989 c2c3:-27999 "
         "b2b3:-28001 a2a3:-28000 "},
        {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq -", AllMoves,
         "g8h6:-27986 g8f6:-27972 b8c6:-27972 b8a6:-27986 h7h5:-28000 g7g5:-28000 f7f5:-27997 e7e5:-27979 d7d5:-27979 "
         "c7c5:-27997 b7b5:-28000 a7a5:-28000 h7h6:-28000 g7g6:-28001 f7f6:-27999 e7e6:-27989 d7d6:-27989 c7c6:-28001 "
         "b7b6:-28001 a7a6:-28000 "},
        {"4k3/8/8/8/8/p1p4p/P1P4P/R3K2R w KQ -", AllMoves,
         "h1g1:-27998 h1f1:-27992 a1d1:-27991 a1c1:-27992 a1b1:-27998 e1f1:-28002 e1d1:-28000 e1f2:-28000 e1e2:-27998 "
         "e1d2:-27998 e1g1:-27980 e1c1:-27990 "},
        {"4k3/8/8/6p1/2Pp1N2/8/1p6/R3K3 b - c3", Captures,
         "d4c3:-19950 b2a1q:-18650 b2a1n:-19500 b2a1r:-19530 b2a1b:-19540 g5f4:-19740 b2b1q:-19200 b2b1n:-20050 "
         "b2b1r:-20080 b2b1b:-20090 "},
        {"4r1k1/8/8/1Q6/8/3n4/R7/4K3 w - -", Evasions, "e1f1:-21002 e1d1:-21000 e1f2:-21000 e1e2:-20998 e1d2:-20998 "},
    };
    for (const auto& c : cases) {
        setUpFen(c.fen);
        CheckInfo info{};
        analyseCheckFromScratch(position(), info);
        std::string listed;
        for (const ScoredMove& e : generate(c.kind, &info).moves)
            listed += moveText(e.move) + ":" + std::to_string(e.score) + " ";
        EXPECT_EQ(listed, c.list) << c.fen;
    }
}

}  // namespace
