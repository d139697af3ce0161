// drozak-referee: a soak of many complete games of the engine against itself.
// Two engine processes play over pipes the way an xboard interface drives
// them; the referee keeps the game in this process, checks every move with
// the engine's own legality rule, checks every result claim against the
// board, and gives each move a deadline. Between moves it sends, at random,
// what interfaces send: clocks, `level`, `force` and `go`, `new` and
// `setboard` in the middle of a game, words it does not know; and it restarts
// the engines now and then.
//
//   drozak-referee --engine PATH --fens FILE [--games N] [--seed S]
//                  [--move-timeout-ms MS] [--max-plies P] [--restart-every N]
//                  [--clock-slack-ms MS]
//
// Exits 0 when every game went through; on a crash, a hang, an illegal move,
// a refused legal move, a false claim or a move past the engine's clock it
// prints what happened (the game so far, the engine's stderr and log tail)
// and exits 1.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "board/gamelog.h"
#include "board/movetext.h"
#include "board/position.h"
#include "board/tables.h"
#include "protocol/game.h"
#include "protocol/setup.h"
#include "search/search.h"
#include "support/engine_process.h"

namespace {

using testsupport::EngineProcess;
using Clock = std::chrono::steady_clock;

struct Settings {
    std::string engine;
    std::string fens;
    int games = 100;
    unsigned seed = 0;
    int moveTimeoutMs = 10000;
    int maxPlies = 160;
    int restartEvery = 25;
    int clockSlackMs = 0;  // a move may pass its clock by this much (loaded or instrumented runs)
};

struct Stats {
    int games = 0;
    int mates = 0;
    int drawClaims = 0;
    int fifty = 0;
    int plyLimit = 0;
    int aborted = 0;
    int claimsWithoutMove = 0;
    long plies = 0;
    long bookErrors = 0;
    int missedClaims = 0;
    int restarts = 0;
    long maxMoveMs = 0;
    long leastClockLeftMs = -1;  // the closest a move came to its clock
    std::vector<std::string> oddLines;
};

// Where a failure is reported from: the whole story, then exit 1.
struct Failure {
    std::string what;
};

// ---------------------------------------------------------------- the board

// The game as the referee keeps it: the engine's own position code in this
// process, and the identity of every position since the last irreversible
// move for the repetition rule.
class Board {
public:
    void setUp(const std::string& fen) {
        fen_ = fen;
        moves_.clear();
        if (!setupPosition(fen.c_str(), false)) throw Failure{"the referee's own setup refused " + fen};
        reversible_ = 0;
        seen_.assign(1, identity());
    }

    // The move `text` names, if it is legal here.
    Move legalMove(const std::string& text) const {
        if (text.size() < 4 || text.size() > 5) return 0;
        const Move m = textToMove(text.c_str());
        return isLegalMove(m) ? m : 0;
    }

    void play(Move m, const std::string& text) {
        const int piece = position.board[moveFrom(m)];
        const bool irreversible = piece == WhitePawn || piece == BlackPawn || position.board[moveTo(m)] != Empty ||
                                  moveKind(m) == EnPassant || (moveKind(m) >= 8 && moveKind(m) <= 11);
        playMove(m);
        moves_.push_back(text);
        if (irreversible) {
            reversible_ = 0;
            seen_.clear();
        } else {
            ++reversible_;
        }
        seen_.push_back(identity());
    }

    int sideToMove() const { return gameSnapshot.sideToMove; }
    bool noLegalMove() const { return firstLegalMove() == 0; }
    bool inCheck() const { return sideToMoveInCheck(); }
    bool mated() const { return noLegalMove() && inCheck(); }
    bool stalemated() const { return noLegalMove() && !inCheck(); }
    bool fiftyMoves() const { return reversible_ >= 100; }
    bool threefold() const {
        int count = 0;
        for (const std::string& id : seen_) count += id == seen_.back();
        return count >= 3;
    }
    // No pawn, rook or queen, and at most one minor piece on the board.
    bool deadMaterial() const {
        int minors = 0;
        for (int s = 0; s < 64; ++s) {
            const int code = position.board[s];
            if (code == Empty) continue;
            if (code <= BlackPawn || code >= WhiteRook) return false;
            ++minors;
        }
        return minors <= 1;
    }
    bool drawn() const { return stalemated() || deadMaterial() || fiftyMoves() || threefold(); }

    // Whether `result` ("1-0", "0-1", "1/2-1/2") is true on the board.
    bool claimHolds(const std::string& result) const {
        if (result == "1-0") return mated() && sideToMove() == Black;
        if (result == "0-1") return mated() && sideToMove() == White;
        if (result == "1/2-1/2") return drawn();
        return false;
    }

    std::string story() const {
        std::string text = "setboard " + fen_ + "\nmoves:";
        for (const std::string& m : moves_) text += " " + m;
        return text;
    }
    int plies() const { return static_cast<int>(moves_.size()); }

private:
    // Placement, kings, side, castling rights, and the en-passant square only
    // when a pawn can take there (the rule of repetition counts no more).
    std::string identity() const {
        std::string id(reinterpret_cast<const char*>(gameSnapshot.board), 64);
        id += static_cast<char>(gameSnapshot.whiteKingSquare);
        id += static_cast<char>(gameSnapshot.blackKingSquare);
        id += static_cast<char>(gameSnapshot.sideToMove);
        id += static_cast<char>(gameSnapshot.castleFlags & (WhiteKingSideRight | WhiteQueenSideRight | BlackKingSideRight | BlackQueenSideRight));
        char ep = 0;
        if (const int target = gameSnapshot.epSquare) {
            const int white = gameSnapshot.sideToMove == White;
            const int row = white ? target + 8 : target - 8;  // the square of the pawns that may take
            for (int side : {-1, 1}) {
                const int from = row + side;
                if (fileOf(from) != fileOf(row) + side) continue;
                if (gameSnapshot.board[from] == (white ? WhitePawn : BlackPawn))
                    ep = isLegalMove(makeMoveCode(from, target, EnPassant)) ? static_cast<char>(target) : ep;
            }
        }
        id += ep;
        return id;
    }

    std::string fen_;
    std::vector<std::string> moves_;
    int reversible_ = 0;
    std::vector<std::string> seen_;
};

// ---------------------------------------------------------------- the players

struct Player {
    std::unique_ptr<EngineProcess> process;
    const char* name;
    bool answersMoves = false;  // Waiting: a move sent to it is answered
};

class Referee {
public:
    explicit Referee(Settings settings) : s_(std::move(settings)), random_(s_.seed) { loadFens(); }

    int run() {
        try {
            startEngines();
            for (int game = 1; game <= s_.games; ++game) {
                if (game > 1 && s_.restartEvery > 0 && (game - 1) % s_.restartEvery == 0) {
                    stopEngines();
                    startEngines();
                    ++stats_.restarts;
                }
                playGame(game);
            }
            stopEngines();
        } catch (const Failure& f) {
            report(f);
            return 1;
        }
        summary();
        return 0;
    }

private:
    // ------------------------------------------------------------ set-up

    void loadFens() {
        std::ifstream in(s_.fens);
        if (!in) throw std::runtime_error("cannot read " + s_.fens);
        for (std::string line; std::getline(in, line);) {
            if (line.empty() || line[0] == '#') continue;
            if (!setupPosition(line.c_str(), false)) throw std::runtime_error("the engine refuses " + line);
            fens_.push_back(line);
        }
        if (fens_.empty()) throw std::runtime_error("no positions in " + s_.fens);
    }

    void startEngines() {
        for (int i = 0; i < 2; ++i) {
            EngineProcess::Options options;
            options.binary = s_.engine;
            options.withBook = true;
            players_[i].process = std::make_unique<EngineProcess>(options);
            players_[i].name = i == 0 ? "engine A" : "engine B";
            players_[i].answersMoves = false;
            if (!players_[i].process->handshake()) fail(players_[i], "no handshake (feature done=1)");
            // What xboard answers the feature lines with. The engine takes the
            // word setboard for the command, with an empty position: refused
            // and logged, nothing else.
            send(players_[i], "accepted done");
            send(players_[i], "accepted setboard");
        }
    }

    // `quit` (or the end of the input), a clean exit, and nothing ever written
    // to standard error: a sanitizer report of an instrumented engine goes
    // there.
    void stopEngines() {
        for (Player& p : players_) {
            if (!p.process) continue;
            // An interface that goes away closes the pipe instead.
            const bool closing = chance(0.3);
            if (closing) p.process->closeInput();
            else send(p, "quit");
            const char* how = closing ? "the end of its input" : "quit";
            const std::optional<int> code = p.process->waitExit(std::chrono::milliseconds(s_.moveTimeoutMs));
            if (!code) fail(p, std::string("still running after ") + how);
            if (*code != 0) fail(p, "exit code " + std::to_string(*code) + " after " + how);
            if (!errorOutput(p).empty()) fail(p, "wrote to standard error");
        }
        for (Player& p : players_) p.process.reset();
    }

    static std::string errorOutput(Player& p) {
        std::ifstream err(p.process->directory() / "stderr.txt");
        std::stringstream text;
        text << err.rdbuf();
        return text.str();
    }

    // ------------------------------------------------------------ one game

    void playGame(int number) {
        ++stats_.games;
        white_ = &players_[random_() % 2];
        black_ = white_ == &players_[0] ? &players_[1] : &players_[0];
        const bool fromStart = chance(0.3);
        fen_ = fromStart ? std::string(StartPositionText) : fens_[random_() % fens_.size()];
        board_.setUp(fen_);

        for (Player* p : {white_, black_}) {
            noise(*p);
            if (fromStart) {
                send(*p, "new");
                p->answersMoves = true;
            } else {
                if (chance(0.5)) send(*p, "new");
                if (chance(0.3)) send(*p, "force");
                send(*p, "setboard " + fen_);
                p->answersMoves = false;
            }
            sendLevel(*p);
        }
        gameLabel_ = "game " + std::to_string(number);

        if (board_.noLegalMove()) {
            claimWithoutMove(mover());
            return;
        }
        Player* toMove = &mover();
        sendClock(*toMove);
        send(*toMove, "go");
        for (;;) {
            const std::string text = awaitMove(*toMove);
            if (text.empty()) return;  // it claimed a result on the board and made no move
            const Move m = board_.legalMove(text);
            if (!m) fail(*toMove, "illegal move " + text);
            board_.play(m, text);
            ++stats_.plies;
            toMove->answersMoves = true;
            if (gameOver(*toMove)) return;
            if (board_.plies() >= s_.maxPlies) {
                ++stats_.plyLimit;
                endGame("1/2-1/2 {ply limit}");
                return;
            }
            if (chance(0.003)) {  // the interface starts something else
                ++stats_.aborted;
                interruptGame();
                return;
            }
            toMove = &mover();
            relay(*toMove, text);
        }
    }

    Player& mover() { return board_.sideToMove() == White ? *white_ : *black_; }
    Player& other(Player& p) { return &p == white_ ? *black_ : *white_; }

    // The opponent's move reaches `p`, which is to answer it.
    void relay(Player& p, const std::string& move) {
        noise(other(p));
        if (chance(0.05)) {
            send(p, "force");
            p.answersMoves = false;
        }
        if (chance(0.02)) sendLevel(p);
        if (p.answersMoves) {
            sendClock(p);
            send(p, move);
        } else {
            send(p, move);
            sendClock(p);
            send(p, "go");
        }
    }

    // The engine to move has no move on the board (mate or stalemate from the
    // setup): asked to move, it must say which.
    void claimWithoutMove(Player& p) {
        sendClock(p);
        send(p, "go");
        const std::string text = awaitMove(p);
        if (!text.empty()) fail(p, "a move " + text + " in a position without moves");
    }

    // Reads the engine's lines up to its move. A result line before a move is
    // a claim about the board as it stands; a true one ends the game (and the
    // empty text is returned).
    std::string awaitMove(Player& p) {
        const auto start = Clock::now();
        const auto deadline = start + std::chrono::milliseconds(s_.moveTimeoutMs);
        for (;;) {
            const std::string line = readLine(p, deadline);
            if (line.rfind("move ", 0) == 0) {
                const long ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
                stats_.maxMoveMs = std::max(stats_.maxMoveMs, ms);
                if (clockMs_ >= 0) {
                    if (ms > clockMs_ + s_.clockSlackMs)
                        fail(p, "move after " + std::to_string(ms) + " ms on a clock of " + std::to_string(clockMs_) +
                                    " ms");
                    if (stats_.leastClockLeftMs < 0 || clockMs_ - ms < stats_.leastClockLeftMs)
                        stats_.leastClockLeftMs = clockMs_ - ms;
                }
                return line.substr(5);
            }
            if (const std::string result = resultOf(line); !result.empty()) {
                if (!board_.claimHolds(result))
                    fail(p, "false claim \"" + line + "\" (after its previous move or instead of this one)");
                ++stats_.claimsWithoutMove;
                countEnd(result);
                endGame(line);
                return "";
            }
            ordinaryLine(p, line);
        }
    }

    // After a move of `p`: a game that is over on the board ends here, with
    // the engine's claim checked when it makes one.
    bool gameOver(Player& p) {
        const bool mate = board_.mated();
        const bool claimable = mate || board_.stalemated() || board_.deadMaterial() || board_.threefold();
        if (!claimable) {
            if (!board_.fiftyMoves()) return false;
            ++stats_.fifty;  // the engine claims one ply later than the rule allows
            endGame("1/2-1/2 {fifty moves}");
            return true;
        }
        const auto deadline = Clock::now() + std::chrono::milliseconds(2000);
        std::string claim;
        while (claim.empty()) {
            const std::optional<std::string> line = p.process->readLine(millisecondsUntil(deadline));
            if (!line) break;
            if (resultOf(*line).empty()) ordinaryLine(p, *line);
            else claim = *line;
        }
        const std::string truth = mate ? (board_.sideToMove() == Black ? "1-0" : "0-1") : "1/2-1/2";
        if (claim.empty()) {
            ++stats_.missedClaims;
            std::fprintf(stderr, "%s: no claim from %s for %s after %s\n", gameLabel_.c_str(), p.name,
                         truth.c_str(), board_.story().c_str());
            countEnd(truth);
            endGame(truth + " {referee}");
            return true;
        }
        if (resultOf(claim) != truth) fail(p, "claim \"" + claim + "\" where the board says " + truth);
        countEnd(truth);
        endGame(claim);
        return true;
    }

    void countEnd(const std::string& result) {
        if (result == "1/2-1/2") ++stats_.drawClaims;
        else ++stats_.mates;
    }

    // The game ends as xboard ends it: the result to both engines.
    void endGame(const std::string& resultLine) {
        for (Player* p : {white_, black_}) {
            send(*p, "result " + resultLine);
            p->answersMoves = true;
        }
    }

    // `new` or a `setboard` in the middle of a game, to both engines; the
    // next game starts over anyway.
    void interruptGame() {
        const std::string fen = fens_[random_() % fens_.size()];
        for (Player* p : {white_, black_}) send(*p, chance(0.5) ? "new" : "setboard " + fen);
    }

    // ------------------------------------------------------------ lines

    static std::string resultOf(const std::string& line) {
        for (const char* r : {"1-0", "0-1", "1/2-1/2"})
            if (line.rfind(r, 0) == 0 && (line.size() == std::strlen(r) || line[std::strlen(r)] == ' ')) return r;
        return "";
    }

    void ordinaryLine(Player& p, const std::string& line) {
        if (line.rfind("Illegal move", 0) == 0) fail(p, "refused a legal move: " + line);
        if (line.rfind("tellusererror BOOK ERROR!", 0) == 0) {
            ++stats_.bookErrors;  // every setboard of a position other than the start
            return;
        }
        if (line.empty() || line.rfind("feature ", 0) == 0) return;
        if (stats_.oddLines.size() < 20) stats_.oddLines.push_back(std::string(p.name) + ": " + line);
    }

    std::string readLine(Player& p, Clock::time_point deadline) {
        const std::optional<std::string> line = p.process->readLine(millisecondsUntil(deadline));
        if (line) return *line;
        if (const std::optional<int> code = p.process->waitExit(std::chrono::milliseconds(300)))
            fail(p, "the engine ended with code " + std::to_string(*code));
        fail(p, "no move within " + std::to_string(s_.moveTimeoutMs) + " ms");
    }

    static std::chrono::milliseconds millisecondsUntil(Clock::time_point deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        return left.count() > 0 ? left : std::chrono::milliseconds(0);
    }

    void send(Player& p, const std::string& text) {
        if (!p.process->send(text)) {
            if (const std::optional<int> code = p.process->waitExit(std::chrono::milliseconds(300)))
                fail(p, "the engine ended with code " + std::to_string(*code) + " (writing \"" + text + "\")");
            fail(p, "cannot write \"" + text + "\"");
        }
        transcript_.push_back(std::string(p.name) + " < " + text);
        if (transcript_.size() > 40) transcript_.erase(transcript_.begin());
    }

    // A few hundred centiseconds on the clock: moves of tens of milliseconds.
    void sendClock(Player& p) {
        if (chance(0.1)) {
            clockMs_ = -1;  // no clock this move: the last allotment stands
            return;
        }
        const int centiseconds = 20 + static_cast<int>(random_() % 230);
        clockMs_ = centiseconds * 10L;
        send(p, "time " + std::to_string(centiseconds));
        send(p, "otim " + std::to_string(20 + random_() % 230));
    }

    void sendLevel(Player& p) {
        // Increments of a second would make every move last that long.
        static const char* levels[] = {"level 0 0:05 0", "level 40 5 0", "level 0 0:20 0.05", "level 0 0:30 0",
                                       "level 60 1 0"};
        if (chance(0.5)) send(p, levels[random_() % 5]);
    }

    // Words interfaces send that change nothing here.
    void noise(Player& p) {
        static const char* words[] = {"post", "nopost", "hard", "easy", "random", "computer",
                                      "rejected usermove", "ping 7", "name someone", "rating 2000 1800"};
        if (chance(0.05)) send(p, words[random_() % 10]);
    }

    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(random_) < p; }

    // ------------------------------------------------------------ reports

    [[noreturn]] void fail(Player& p, const std::string& what) {
        throw Failure{gameLabel_ + ", " + p.name + ": " + what + "\n" + board_.story()};
    }

    void report(const Failure& f) {
        std::printf("SOAK FAILED: %s\n", f.what.c_str());
        std::printf("-- last commands sent:\n");
        for (const std::string& line : transcript_) std::printf("   %s\n", line.c_str());
        for (Player& p : players_) {
            if (!p.process) continue;
            std::printf("-- %s stderr:\n%s\n", p.name, errorOutput(p).c_str());
            const std::vector<std::string> log = p.process->logLines();
            std::printf("-- %s Drozak.log (last lines):\n", p.name);
            for (std::size_t i = log.size() > 30 ? log.size() - 30 : 0; i < log.size(); ++i)
                std::printf("   %s\n", log[i].c_str());
        }
        summary();
    }

    void summary() {
        std::printf("soak: %d games, %ld plies: %d mates, %d draws claimed, %d fifty-move, %d at the ply limit, "
                    "%d interrupted, %d claims without a move, %d restarts; longest move %ld ms, least clock left "
                    "%ld ms; %d missed claims, %ld book errors (setboard), seed %u\n",
                    stats_.games, stats_.plies, stats_.mates, stats_.drawClaims, stats_.fifty, stats_.plyLimit,
                    stats_.aborted, stats_.claimsWithoutMove, stats_.restarts, stats_.maxMoveMs,
                    stats_.leastClockLeftMs, stats_.missedClaims, stats_.bookErrors, s_.seed);
        for (const std::string& line : stats_.oddLines) std::printf("  unexpected line from %s\n", line.c_str());
    }

    Settings s_;
    std::mt19937 random_;
    std::vector<std::string> fens_;
    Player players_[2];
    Player* white_ = nullptr;
    Player* black_ = nullptr;
    Board board_;
    std::string fen_;
    std::string gameLabel_ = "start-up";
    long clockMs_ = -1;
    std::vector<std::string> transcript_;
    Stats stats_;
};

Settings parseArguments(int argc, char** argv) {
    Settings s;
    s.seed = static_cast<unsigned>(std::chrono::system_clock::now().time_since_epoch().count());
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string flag = argv[i], value = argv[i + 1];
        if (flag == "--engine") s.engine = std::filesystem::absolute(value).string();  // started elsewhere
        else if (flag == "--fens") s.fens = value;
        else if (flag == "--games") s.games = std::stoi(value);
        else if (flag == "--seed") s.seed = static_cast<unsigned>(std::stoul(value));
        else if (flag == "--move-timeout-ms") s.moveTimeoutMs = std::stoi(value);
        else if (flag == "--max-plies") s.maxPlies = std::stoi(value);
        else if (flag == "--restart-every") s.restartEvery = std::stoi(value);
        else if (flag == "--clock-slack-ms") s.clockSlackMs = std::stoi(value);
        else {
            std::fprintf(stderr, "unknown option %s\n", flag.c_str());
            std::exit(2);
        }
    }
    if (s.engine.empty() || s.fens.empty()) {
        std::fprintf(stderr, "usage: %s --engine PATH --fens FILE [--games N] [--seed S] [--move-timeout-ms MS] "
                             "[--max-plies P] [--restart-every N] [--clock-slack-ms MS]\n", argv[0]);
        std::exit(2);
    }
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    const Settings settings = parseArguments(argc, argv);
    // The referee's own game would log every move to ./Drozak.log.
    gamelog::stream().close();
    gamelog::stream().open("/dev/null");
    initTables();
    initSearchState();
    try {
        Referee referee(settings);
        return referee.run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "drozak-referee: %s\n", e.what());
        return 2;
    }
}
