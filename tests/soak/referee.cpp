// drozak-referee: many complete games of the engine against itself. Two engine
// processes play over pipes as an xboard interface drives them; the referee
// keeps the game with the engine's own position code, checks every move with
// its legality rule and every result claim against the board, and gives each
// move a deadline. Between moves it sends, at random, what interfaces send
// (clocks, `level`, `force` and `go`, `new` and `setboard` in mid-game, words
// that change nothing) and now and then restarts the engines. On a failure it
// prints the game, the last lines sent and the engines' log tails, and exits 1.
//
//   drozak-referee --engine PATH --fens FILE [--games N] [--seed S]
//                  [--max-plies P] [--restart-every N] [--clock-slack-ms MS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "board/fen.h"
#include "board/gamelog.h"
#include "board/movetext.h"
#include "board/position.h"
#include "board/tables.h"
#include "session/game.h"
#include "search/search.h"
#include "support/engine_process.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
constexpr milliseconds MoveTimeout{10000};

struct Failure {
    std::string what;
};

struct Player {
    std::unique_ptr<testsupport::EngineProcess> process;
    std::string name;
    bool answersMoves = false;  // waiting for the opponent's move to answer it
};

milliseconds until(Clock::time_point deadline) {
    return std::max(milliseconds(0), std::chrono::duration_cast<milliseconds>(deadline - Clock::now()));
}

std::string resultOf(const std::string& line) {
    for (const std::string r : {"1-0", "0-1", "1/2-1/2"})
        if (line.rfind(r, 0) == 0 && (line.size() == r.size() || line[r.size()] == ' ')) return r;
    return "";
}

// Placement, kings, side, rights, and the en-passant square only when a pawn
// can take there: what the rule of repetition counts.
std::string identity() {
    const GameSnapshot& g = gameBoard().snapshot;
    std::string id(reinterpret_cast<const char*>(g.board), 64);
    id += {char(g.whiteKingSquare), char(g.blackKingSquare), char(g.sideToMove), char(g.castleFlags & CastlingState)};
    if (const int target = g.epSquare) {
        const int behind = g.sideToMove == White ? target + 8 : target - 8;
        for (int from : {behind - 1, behind + 1})
            if (rowOf(from) == rowOf(behind) && isLegalMove(makeMoveCode(from, target, EnPassant))) id += char(target);
    }
    return id;
}

// No pawn, rook or queen, and at most one minor piece.
bool deadMaterial() {
    int minors = 0;
    for (int code : gameBoard().position.board)
        if (code != Empty && (code <= BlackPawn || code >= WhiteRook || ++minors > 1)) return false;
    return true;
}

class Referee {
public:
    explicit Referee(std::map<std::string, std::string> options) : options_(std::move(options)) {
        if (!options_.count("--seed"))
            options_["--seed"] = std::to_string(std::chrono::system_clock::now().time_since_epoch().count() % 100000);
        random_.seed(std::stoul(options_["--seed"]));
        std::ifstream in(options_["--fens"]);
        for (std::string line; std::getline(in, line);)
            if (!line.empty() && line[0] != '#') fens_.push_back(line);
        if (fens_.empty()) throw Failure{"no positions in " + options_["--fens"]};
    }

    int run() {
        const int games = number("--games", 100), restartEvery = number("--restart-every", 25);
        int status = 0;
        try {
            for (int game = 1; game <= games; ++game) {
                if (game > 1 && restartEvery > 0 && (game - 1) % restartEvery == 0) stopEngines();
                if (!players_[0].process) startEngines();
                label_ = "game " + std::to_string(game);
                playGame();
            }
            stopEngines();
        } catch (const Failure& f) {
            std::printf("SOAK FAILED: %s\n%s\n-- last lines sent:\n", f.what.c_str(), story_.c_str());
            for (const std::string& line : sent_) std::printf("   %s\n", line.c_str());
            for (Player& p : players_) {
                if (!p.process) continue;
                const std::vector<std::string> log = p.process->logLines();
                std::printf("-- %s Drozak.log, last lines:\n", p.name.c_str());
                for (std::size_t i = log.size() > 30 ? log.size() - 30 : 0; i < log.size(); ++i)
                    std::printf("   %s\n", log[i].c_str());
            }
            status = 1;
        }
        std::printf("soak: %d games, %ld plies: %d mates, %d draws claimed; longest move %ld ms; seed %s\n",
                    games_, plies_, mates_, draws_, longestMoveMs_, options_["--seed"].c_str());
        return status;
    }

private:
    int number(const char* option, int fallback) { return options_.count(option) ? std::stoi(options_[option]) : fallback; }
    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(random_) < p; }
    const std::string& anyFen() { return fens_[random_() % fens_.size()]; }
    [[noreturn]] void fail(Player& p, const std::string& what) { throw Failure{label_ + ", " + p.name + ": " + what}; }

    void startEngines() {
        for (int i = 0; i < 2; ++i) {
            Player& p = players_[i] = {std::make_unique<testsupport::EngineProcess>(testsupport::EngineProcess::Options{
                                           std::filesystem::absolute(options_["--engine"]).string(), true, {}}),
                                       i == 0 ? "engine A" : "engine B"};
            if (!p.process->handshake()) fail(p, "no handshake (feature done=1)");
            send(p, "accepted done");  // as xboard answers the features
        }
    }

    // `quit` or the end of the input, a clean exit, and nothing ever on
    // standard error (where an instrumented engine's sanitizer reports go).
    void stopEngines() {
        for (Player& p : players_) {
            if (chance(0.3)) p.process->closeInput();
            else send(p, "quit");
            const std::optional<int> code = p.process->waitExit(MoveTimeout);
            if (code != 0) fail(p, code ? "exit code " + std::to_string(*code) : "still running after quit");
            if (std::filesystem::file_size(p.process->directory() / "stderr.txt") > 0) fail(p, "wrote to standard error");
            p.process.reset();
        }
    }

    // What the board says a claim must be ("1-0", "0-1", "1/2-1/2"; "" while
    // the game goes on), the fifty-move rule left out on request.
    std::string truth(bool fiftyMoves = true) const {
        const bool noMove = !firstLegalMove();
        if (noMove && gameInCheck()) return gameSideToMove() == Black ? "1-0" : "0-1";
        const bool threefold = std::count(seen_.begin(), seen_.end(), seen_.back()) >= 3;
        return noMove || deadMaterial() || threefold || (fiftyMoves && reversible_ >= 100) ? "1/2-1/2" : "";
    }

    void playGame() {
        ++games_;
        white_ = &players_[random_() % 2];
        black_ = white_ == &players_[0] ? &players_[1] : &players_[0];
        const bool fromStart = chance(0.3);
        const std::string fen = fromStart ? std::string(StartPositionText) : anyFen();
        if (!setupPosition(fen.c_str(), false)) throw Failure{"the referee's own setup refused " + fen};
        story_ = "setboard " + fen + "\nmoves:";
        int plies = reversible_ = 0;
        seen_.assign(1, identity());
        for (Player* p : {white_, black_}) {
            noise(*p);
            if (!fromStart && chance(0.5)) send(*p, "new");
            if (!fromStart && chance(0.3)) send(*p, "force");
            send(*p, fromStart ? "new" : "setboard " + fen);
            p->answersMoves = fromStart;
            if (chance(0.5)) sendLevel(*p);
        }
        Player* toMove = mover();
        sendClock(*toMove);
        send(*toMove, "go");
        for (;;) {
            const std::string text = awaitMove(*toMove);
            if (text.empty()) return;  // it claimed a true result instead of moving
            const Move m = text.size() <= 5 ? gameMoveOfText(text) : 0;
            if (!isLegalMove(m)) fail(*toMove, "illegal move " + text);
            const int piece = gameBoard().position.board[moveFrom(m)];
            const bool irreversible = piece == WhitePawn || piece == BlackPawn || moveKind(m) != Quiet;
            playMove(m);
            story_ += " " + text;
            ++plies, ++plies_;
            reversible_ = irreversible ? 0 : reversible_ + 1;
            if (irreversible) seen_.clear();
            seen_.push_back(identity());
            toMove->answersMoves = true;
            if (gameOver(*toMove)) return;
            if (plies >= number("--max-plies", 160)) return endGame("1/2-1/2 {ply limit}");
            if (chance(0.003)) {  // the interface starts something else
                for (Player* p : {white_, black_}) send(*p, chance(0.5) ? "new" : "setboard " + anyFen());
                return;
            }
            toMove = mover();
            noise(toMove == white_ ? *black_ : *white_);  // the move reaches the other engine
            if (chance(0.05)) {
                send(*toMove, "force");
                toMove->answersMoves = false;
            }
            if (chance(0.02)) sendLevel(*toMove);
            if (toMove->answersMoves) sendClock(*toMove);
            send(*toMove, text);
            if (!toMove->answersMoves) {
                sendClock(*toMove);
                send(*toMove, "go");
            }
        }
    }

    Player* mover() { return gameSideToMove() == White ? white_ : black_; }

    // The engine's lines up to its move; a result line instead is a claim
    // about the board as it stands, which must hold (and ends the game).
    std::string awaitMove(Player& p) {
        const auto start = Clock::now();
        for (;;) {
            const std::optional<std::string> line = p.process->readLine(until(start + MoveTimeout));
            if (!line) {
                if (const std::optional<int> code = p.process->waitExit(milliseconds(300)))
                    fail(p, "the engine ended with code " + std::to_string(*code));
                fail(p, "no move within " + std::to_string(MoveTimeout.count()) + " ms");
            }
            if (testsupport::isMoveLine(*line)) {
                const long ms = std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
                longestMoveMs_ = std::max(longestMoveMs_, ms);
                if (clockMs_ >= 0 && ms > clockMs_ + number("--clock-slack-ms", 0))
                    fail(p, "move after " + std::to_string(ms) + " ms on a clock of " + std::to_string(clockMs_) + " ms");
                return line->substr(5);
            }
            if (const std::string result = resultOf(*line); !result.empty()) {
                if (result != truth()) fail(p, "false claim \"" + *line + "\"");
                endGame(*line);
                return "";
            }
            if (line->rfind("Illegal move", 0) == 0) fail(p, "refused a legal move: " + *line);
        }
    }

    // After a move of `p`: a game over on the board ends here with the
    // engine's claim, which must be the board's; a missing one fails. The
    // engine claims the fifty-move draw one ply later than the rule allows.
    bool gameOver(Player& p) {
        const std::string truth = this->truth(false);
        if (truth.empty()) {
            if (reversible_ < 100) return false;
            endGame("1/2-1/2 {fifty moves}");
            return true;
        }
        std::string claim;
        for (const auto deadline = Clock::now() + std::chrono::seconds(2); claim.empty();) {
            const auto line = p.process->readLine(until(deadline));
            if (!line) break;
            if (!resultOf(*line).empty()) claim = *line;
        }
        char fen[96];
        if (claim.empty()) fail(p, "no claim where the board says " + truth + ": " + positionText(gameBoard().snapshot, fen));
        if (resultOf(claim) != truth) fail(p, "claim \"" + claim + "\" where the board says " + truth + ": " + positionText(gameBoard().snapshot, fen));
        ++(truth == "1/2-1/2" ? draws_ : mates_);
        endGame(claim);
        return true;
    }

    // As xboard ends a game: the result to both engines.
    void endGame(const std::string& resultLine) {
        for (Player* p : {white_, black_}) {
            send(*p, "result " + resultLine);
            p->answersMoves = true;
        }
    }

    void send(Player& p, const std::string& text) {
        if (!p.process->send(text)) fail(p, "cannot write \"" + text + "\"");
        sent_.push_back(p.name + " < " + text);
        if (sent_.size() > 40) sent_.erase(sent_.begin());
    }

    // A few hundred centiseconds on the clock (or, one time in ten, none:
    // the last allotment stands): moves of tens of milliseconds.
    void sendClock(Player& p) {
        clockMs_ = chance(0.1) ? -1 : 10L * (20 + random_() % 230);
        if (clockMs_ < 0) return;
        send(p, "time " + std::to_string(clockMs_ / 10));
        send(p, "otim " + std::to_string(20 + random_() % 230));
    }

    void sendLevel(Player& p) {
        static const char* levels[] = {"level 0 0:05 0", "level 40 5 0", "level 0 0:20 0.05", "level 0 0:30 0", "level 60 1 0"};
        send(p, levels[random_() % 5]);
    }

    // Words interfaces send: nothing that changes the game (pondering aside).
    void noise(Player& p) {
        static const char* words[] = {"post", "nopost", "hard", "easy", "computer", "rejected usermove",
                                      "ping 7", "name someone", "rating 2000 1800", "sd 0"};
        if (chance(0.05)) send(p, words[random_() % 10]);
    }

    std::map<std::string, std::string> options_;
    std::mt19937 random_;
    std::vector<std::string> fens_, seen_, sent_;  // seen_: identities since the last irreversible move
    Player players_[2];
    Player *white_ = nullptr, *black_ = nullptr;
    std::string label_ = "start-up", story_;
    long clockMs_ = -1, plies_ = 0, longestMoveMs_ = 0;
    int reversible_ = 0, games_ = 0, mates_ = 0, draws_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    std::map<std::string, std::string> options;
    for (int i = 1; i + 1 < argc; i += 2) options[argv[i]] = argv[i + 1];
    if (!options.count("--engine") || !options.count("--fens")) {
        std::fprintf(stderr, "usage: %s --engine PATH --fens FILE [--games N] [--seed S] [--max-plies P] "
                             "[--restart-every N] [--clock-slack-ms MS]\n", argv[0]);
        return 2;
    }
    gamelog::stream().close();  // the referee's own game would log every move to ./Drozak.log
    gamelog::stream().open("/dev/null");
    initTables();
    try {
        return Referee(options).run();
    } catch (const Failure& f) {
        std::fprintf(stderr, "drozak-referee: %s\n", f.what.c_str());
        return 2;
    }
}
