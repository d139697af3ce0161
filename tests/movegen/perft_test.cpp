// Perft over published positions, and a walk over the same trees that checks,
// at every node, the check analysis against a square-by-square look at the
// board, the three generators against each other and against the legality of
// each move, and make/unmake against the position it started from.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "board/fen.h"
#include "movegen_support.h"

using namespace movegen_test;

namespace {

constexpr const char* Kiwipete = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -";
constexpr const char* RookEndgame = "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -";
constexpr const char* Promotions = "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1";
constexpr const char* PromotionsMirrored = "r2q1rk1/pP1p2pp/Q4n2/bbp1p3/Np6/1B3NBn/pPPP1PPP/R3K2R b KQ - 0 1";
constexpr const char* ChecksAndPins = "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8";
constexpr const char* Middlegame = "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10";

struct PerftCase {
    const char* fen;
    int depth;
    std::uint64_t leaves;
};

TEST(Perft, PublishedCountsAtShallowDepths) {
    const PerftCase cases[] = {
        {StartFen, 5, 4865609},   {Kiwipete, 4, 4085603},           {RookEndgame, 6, 11030083},
        {Promotions, 5, 15833292}, {PromotionsMirrored, 4, 422333}, {ChecksAndPins, 4, 2103487},
        {Middlegame, 4, 3894594},
    };
    for (const PerftCase& c : cases) {
        SCOPED_TRACE(c.fen);
        setUpFen(c.fen);
        EXPECT_EQ(perft(c.depth), c.leaves);
    }
}

// En-passant fields of the FEN count: these totals (stockfish's) change when
// the capture is lost or when a pinned or discovering en-passant capture is
// mishandled.
TEST(Perft, EnPassantFieldsOfTheSetup) {
    const PerftCase cases[] = {
        {"rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3", 4, 524138},
        {"8/8/8/8/k2Pp2Q/8/8/3K4 b - d3 0 1", 4, 20471},
        {"8/8/4k3/4Pp2/8/7B/8/4R1K1 w - f6 0 1", 4, 10090},
        {"8/8/8/2k5/3Pp3/8/8/4K2B b - d3 0 1", 4, 6307},
    };
    for (const PerftCase& c : cases) {
        SCOPED_TRACE(c.fen);
        setUpFen(c.fen);
        EXPECT_EQ(perft(c.depth), c.leaves);
    }
}

// Runs drozak-tools and returns its standard output and exit code.
std::pair<std::string, int> runTools(const std::string& arguments) {
    const std::string command = std::string(DROZAK_TOOLS) + " " + arguments + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return {"", -1};
    std::string out;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    const int status = pclose(pipe);
    return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

// One line per legal root move in generation order (the pinned en-passant
// capture e4d3 is left out; the counts are stockfish's), then the total. The
// FEN may come as one argument or as several.
TEST(PerftTool, PrintsEachLegalRootMoveAndTheTotal) {
    const std::string expected = "e4e3 22\na4b3 22\na4a3 23\na4b4 23\na4b5 23\na4a5 23\ntotal 136\n";
    EXPECT_EQ(runTools("perft 2 '8/8/8/8/k2Pp2Q/8/8/3K4 b - d3 0 1'"), std::make_pair(expected, 0));
    EXPECT_EQ(runTools("perft 2 8/8/8/8/k2Pp2Q/8/8/3K4 b - d3 0 1"), std::make_pair(expected, 0));
    EXPECT_EQ(runTools("perft 0"), std::make_pair(std::string(), 2));
    EXPECT_EQ(runTools("perft 2 '8/8/8/8/8/8/8/8 w - -'"), std::make_pair(std::string(), 2));
}

// What the walk saw at its leaves, the statistics that perft tables publish.
struct LeafCounts {
    std::uint64_t leaves = 0, captures = 0, enPassant = 0, castles = 0, promotions = 0;
    std::uint64_t checks = 0, discoveredChecks = 0, doubleChecks = 0, checkmates = 0;
};

class NodeChecker {
public:
    static constexpr bool expandLeaves = true;

    NodeChecker(std::uint16_t setupFlags, int depth) : setupFlags_(setupFlags), depth_(depth) {}

    const LeafCounts& leafCounts() const { return leaves_; }
    std::uint64_t evasionNodes() const { return evasionNodes_; }

    void node(Move last, const ScoredMove* begin, const ScoredMove* end) {
        if (::testing::Test::HasFailure()) return;  // one node's report is enough
        SCOPED_TRACE("after " + lineText());
        expectConsistent(position);
        EXPECT_EQ(position.hashKey, computeHashKey(setupFlags_));
        EXPECT_EQ(historyTop->hashKey, position.hashKey);
        const CheckInfo check = checkAnalysis(last);
        generators(check, begin, end);
        if (line_.size() == static_cast<std::size_t>(depth_)) countLeaf(last, check);
    }

    void beforeMake(Move move) {
        saved_.push_back(position);
        tops_.push_back(historyTop);
        line_.push_back(move);
    }

    void afterUnmake(Move) {
        if (!::testing::Test::HasFailure() && !samePosition(saved_.back(), position)) {
            SCOPED_TRACE("unmaking " + lineText());
            expectSamePosition(saved_.back(), position);
        }
        EXPECT_EQ(historyTop, tops_.back());
        saved_.pop_back();
        tops_.pop_back();
        line_.pop_back();
    }

private:
    std::string lineText() const {
        std::string out = line_.empty() ? "the root" : "";
        for (Move m : line_) out += text(m) + " ";
        return out;
    }

    static bool samePosition(const Position& a, const Position& b) {
        for (int code = 0; code <= BlackQueen; ++code)
            if (a.pieceBoards[code] != b.pieceBoards[code]) return false;
        for (int s = 0; s < 64; ++s)
            if (a.board[s] != b.board[s]) return false;
        return a.occupied == b.occupied && a.occupiedFiles == b.occupiedFiles &&
               a.occupiedDiagA1H8 == b.occupiedDiagA1H8 && a.occupiedDiagA8H1 == b.occupiedDiagA8H1 &&
               a.colourBoards[0] == b.colourBoards[0] && a.colourBoards[1] == b.colourBoards[1] &&
               a.hashKey == b.hashKey && a.kingSquare[0] == b.kingSquare[0] && a.kingSquare[1] == b.kingSquare[1] &&
               a.castleFlags == b.castleFlags && a.epSquare == b.epSquare && a.materialCount == b.materialCount &&
               a.sideToMove == b.sideToMove;
    }

    // analyseCheck (after the last move) and the look from scratch both agree
    // with the attackers found by walking the board; so does squareAttacked,
    // on every square of the inner nodes.
    CheckInfo checkAnalysis(Move last) {
        const int side = position.sideToMove, them = side ^ 1;
        const int king = position.kingSquare[side];
        EXPECT_LT(king, 64) << "the side to move's king stands on a castling path";
        Bitboard checkers = 0;
        int kinds = 0;
        for (const Attacker& a : attackersOf(king, them)) {
            EXPECT_NE(a.kind, 5) << "the kings touch";
            checkers |= bitOf(a.square);
            kinds += a.kind;
        }
        const int count = std::popcount(checkers);
        const Square square = count == 0 ? NoSquare : count == 1 ? static_cast<Square>(lowestSquare(checkers)) : DoubleCheck;
        auto expectAgrees = [&](const CheckInfo& info, const char* who) {
            SCOPED_TRACE(who);
            EXPECT_EQ(info.checkers, checkers);
            EXPECT_EQ(info.checkKind, kinds);
            EXPECT_EQ(info.checkerSquare, square);
            if (count == 1 && kinds >= 3) {
                EXPECT_EQ(info.lineMask, walkedLines(square, kinds == 3));
            }
            if (count > 1) {
                EXPECT_EQ(info.lineMask, 0u);
            }
        };
        CheckInfo fromScratch;
        analyseCheckFromScratch(fromScratch);
        expectAgrees(fromScratch, "analyseCheckFromScratch");
        if (last) {
            CheckInfo info;
            analyseCheck(info, last);
            expectAgrees(info, "analyseCheck");
        }
        if (line_.size() == static_cast<std::size_t>(depth_)) return fromScratch;  // leaves are many
        for (int s = 0; s < 64; ++s)
            for (int by : {Black, White})
                EXPECT_EQ(squareAttacked(s, by), attackedByWalking(s, by)) << "square " << s << " by side " << by;
        return fromScratch;
    }

    // A move is legal when its mover's king is not attacked afterwards and a
    // castling king starts, crosses and lands on unattacked squares.
    bool legalByTheRules(Move move) {
        const int side = position.sideToMove;
        if (moveKind(move) >= CastleBlackKingSide) {
            const int from = moveFrom(move), step = moveTo(move) > from ? 1 : -1;
            for (int s : {from, from + step})
                if (attackedByWalking(s, side ^ 1)) return false;
        }
        saveUndo(*currentPly);
        makeMove(move);
        const bool safe = !attackedByWalking(standingSquare(position.kingSquare[side]), side ^ 1);
        unmakeMove(move);
        return safe;
    }

    // The engine's rule: the opponent's generator after the move does not return null.
    bool legalByTheEngine(Move move) {
        ScoredMove reply[MoveListSize];
        saveUndo(*currentPly);
        makeMove(move);
        const bool legal = generateMoves(Captures, reply) != nullptr;
        unmakeMove(move);
        return legal;
    }

    // The legal moves of a list, sorted.
    std::vector<Move> legalMoves(const std::vector<ScoredMove>& moves) {
        std::vector<Move> legal;
        for (const ScoredMove& e : moves) {
            const bool engine = legalByTheEngine(e.move);
            EXPECT_EQ(engine, legalByTheRules(e.move)) << text(e.move);
            if (engine) legal.push_back(e.move);
        }
        std::sort(legal.begin(), legal.end());
        return legal;
    }

    // The moves of a list, sorted; none may be listed twice.
    static std::vector<Move> movesOf(const std::vector<ScoredMove>& list) {
        std::vector<Move> out;
        for (const ScoredMove& e : list) out.push_back(e.move);
        std::sort(out.begin(), out.end());
        EXPECT_TRUE(std::adjacent_find(out.begin(), out.end()) == out.end()) << "a move listed twice";
        return out;
    }

    static bool sameList(const std::vector<ScoredMove>& a, const std::vector<ScoredMove>& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                          [](const ScoredMove& x, const ScoredMove& y) { return x.move == y.move && x.score == y.score; });
    }

    static void expectSameList(const std::vector<ScoredMove>& actual, const std::vector<ScoredMove>& expected) {
        if (!sameList(actual, expected)) {
            EXPECT_EQ(describe(actual), describe(expected));
        }
    }

    void generators(CheckInfo check, const ScoredMove* begin, const ScoredMove* end) {
        const Generated all = generate(AllMoves);
        const Generated captures = generate(Captures);
        ASSERT_FALSE(all.illegal);
        ASSERT_FALSE(captures.illegal);
        const std::vector<Move> pseudo = movesOf(all.moves);
        const std::vector<Move> legal = legalMoves(all.moves);

        // The captures generator: the captures and quiet promotions of all moves, same scores.
        auto byMove = [](const ScoredMove& x, const ScoredMove& y) { return x.move < y.move; };
        std::vector<ScoredMove> expectedCaptures, listedCaptures = captures.moves;
        for (const ScoredMove& e : all.moves)
            if (moveKind(e.move) != Quiet && moveKind(e.move) < CastleBlackKingSide) expectedCaptures.push_back(e);
        std::sort(expectedCaptures.begin(), expectedCaptures.end(), byMove);
        std::sort(listedCaptures.begin(), listedCaptures.end(), byMove);
        expectSameList(listedCaptures, expectedCaptures);

        const std::vector<ScoredMove> walked(begin, end);
        if (!check.checkKind) {
            expectSameList(walked, all.moves);
            return;
        }
        ++evasionNodes_;
        const Generated evasions = generate(Evasions, &check);
        ASSERT_FALSE(evasions.illegal);
        expectSameList(walked, evasions.moves);
        for (Move m : movesOf(evasions.moves)) {
            EXPECT_TRUE(std::binary_search(pseudo.begin(), pseudo.end(), m)) << text(m) << " is no move of the position";
            if (check.checkerSquare == DoubleCheck) {
                EXPECT_EQ(moveFrom(m), position.kingSquare[position.sideToMove]) << text(m) << " in double check";
            }
        }
        EXPECT_EQ(legalMoves(evasions.moves), legal);
        if (legal.empty()) ++leaves_.checkmates;
    }

    void countLeaf(Move last, const CheckInfo& check) {
        const int kind = moveKind(last);
        ++leaves_.leaves;
        if (kind == Capture || kind == EnPassant || (kind >= CapturePromoteQueen && kind <= CapturePromoteBishop))
            ++leaves_.captures;
        if (kind == EnPassant) ++leaves_.enPassant;
        if (kind >= CastleBlackKingSide) ++leaves_.castles;
        if (kind >= PromoteQueen && kind <= CapturePromoteBishop) ++leaves_.promotions;
        if (!check.checkKind) return;
        ++leaves_.checks;
        if (check.checkerSquare == DoubleCheck) ++leaves_.doubleChecks;
        const int checkerHome = kind >= CastleBlackKingSide ? -1 : moveTo(last);
        if (kind < CastleBlackKingSide && !(check.checkers & bitOf(checkerHome))) ++leaves_.discoveredChecks;
    }

    std::uint16_t setupFlags_;
    int depth_;
    std::vector<Position> saved_;
    std::vector<HistoryEntry*> tops_;
    std::vector<Move> line_;
    LeafCounts leaves_;
    std::uint64_t evasionNodes_ = 0;
};

struct WalkCase {
    const char* fen;
    int depth;
    std::uint64_t leaves;
    bool published;       // the perft tables give the statistics below
    LeafCounts expected;  // leaves, captures, e.p., castles, promotions, checks, discovered, double, mates
};

TEST(Perft, WalkChecksEveryNodeOfThePublishedTrees) {
    const WalkCase cases[] = {
        {StartFen, 3, 8902, true, {8902, 34, 0, 0, 0, 12, 0, 0, 0}},
        {Kiwipete, 3, 97862, true, {97862, 17102, 45, 3162, 0, 993, 0, 0, 1}},
        {RookEndgame, 4, 43238, true, {43238, 3348, 123, 0, 0, 1680, 106, 0, 17}},
        {Promotions, 3, 9467, false, {}},
        {PromotionsMirrored, 3, 9467, false, {}},
        {ChecksAndPins, 3, 62379, false, {}},
        {Middlegame, 3, 89890, false, {}},
    };
    for (const WalkCase& c : cases) {
        SCOPED_TRACE(c.fen);
        setUpFen(c.fen);
        Position setup;
        ASSERT_TRUE(readFen(c.fen, setup));
        NodeChecker checker(setup.castleFlags, c.depth);
        EXPECT_EQ(perftRoot(c.depth, checker, NoReport{}), c.leaves);
        const LeafCounts& seen = checker.leafCounts();
        EXPECT_EQ(seen.leaves, c.leaves);
        EXPECT_GT(checker.evasionNodes(), 0u);
        if (!c.published) continue;
        EXPECT_EQ(seen.captures, c.expected.captures);
        EXPECT_EQ(seen.enPassant, c.expected.enPassant);
        EXPECT_EQ(seen.castles, c.expected.castles);
        EXPECT_EQ(seen.promotions, c.expected.promotions);
        EXPECT_EQ(seen.checks, c.expected.checks);
        EXPECT_EQ(seen.discoveredChecks, c.expected.discoveredChecks);
        EXPECT_EQ(seen.doubleChecks, c.expected.doubleChecks);
        EXPECT_EQ(seen.checkmates, c.expected.checkmates);
    }
}

}  // namespace
