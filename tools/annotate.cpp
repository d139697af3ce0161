// drozak-tools annotate [--movetime MS | --depth D] [--chart DIR] [--jobs N]
// [--threads N] [--lines N] [FILE]: the games of a PGN file (or standard
// input) in export format, each move of the main line with the engine's
// evaluation after it, the inaccuracies, mistakes and blunders marked with
// the better line (or up to N of them, each with its score), and a summary
// per side.
// Each game is annotated in a process of its own, forked from one that never
// searched: a game's annotation depends on the game alone, at any --jobs.
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "board/fen.h"
#include "book/book.h"
#include "book/bookfile.h"
#include "pgn/pgn.h"
#include "movegen/movegen.h"
#include "pgn/san.h"
#include "search/search.h"
#include "search/transtable.h"
#include "tools/analysis.h"
#include "tools/chart.h"
#include "tools/tools.h"

namespace {

struct Options {
    SearchLimits limits{0, 1000};
    std::string chartDirectory;
    int jobs = 1;
    std::string file;  // empty: standard input
};

// The marks, by the loss of winning chances (see moveSeverity).
enum Severity { Good = 0, Inaccuracy = 1, Mistake = 2, Blunder = 3 };
constexpr int SeverityNags[] = {0, 6, 2, 4};
constexpr const char* SeverityGlyphs[] = {"", "?!", "?", "??"};
constexpr int LossCap = 1000;  // centipawns; a mate counts as this

// A score for the side to move, as centipawns capped at LossCap (mates too).
int cappedCentipawns(int score) {
    if (mateMoves(score) != 0) return score > 0 ? LossCap : -LossCap;
    return std::clamp(score, -LossCap, LossCap);
}

// The chance of winning that an evaluation gives, from -1 to 1: the curve that
// lichess fitted to its players' results.
double winningChances(int centipawns) { return 2 / (1 + std::exp(-0.00368208 * centipawns)) - 1; }

// A move is judged by how much of the mover's winning chances it gives away:
// a drop of 300 centipawns decides a level game but not a won one.
Severity moveSeverity(int before, int after) {
    const double drop = winningChances(before) - winningChances(after);
    return drop >= 0.3 ? Blunder : drop >= 0.2 ? Mistake : drop >= 0.1 ? Inaccuracy : Good;
}

// "[%eval 0.35]" or "[%eval #-3]": White's view, pawns.
std::string evalCommand(int score, bool whiteToMove) {
    const int white = whiteToMove ? score : -score;
    char text[40];
    if (mateMoves(score) != 0) std::snprintf(text, sizeof text, "[%%eval #%d]", whiteToMove ? mateMoves(score) : -mateMoves(score));
    else std::snprintf(text, sizeof text, "[%%eval %.2f]", white / 100.0);
    return text;
}

// Our [%eval] first in the move's first comment; an [%eval] there already goes.
void putEval(pgn::MoveNode& node, const std::string& command) {
    for (std::string& c : node.comments)
        for (std::size_t at; (at = c.find("[%eval")) != std::string::npos;) {
            const std::size_t end = c.find(']', at);
            c.replace(at, end == std::string::npos ? std::string::npos : end + 1 - at, " ");
        }
    const auto blank = [](const std::string& c) { return c.find_first_not_of(" \t\r\n") == std::string::npos; };
    std::erase_if(node.comments, blank);
    if (node.comments.empty()) node.comments.push_back(command);
    else node.comments.front() = command + " " + node.comments.front().substr(node.comments.front().find_first_not_of(" \t\r\n"));
}

std::string plural(int n, const char* one, const char* many) { return std::to_string(n) + " " + (n == 1 ? one : many); }

// The number of plies at the game's start that the engine's book holds: each
// played from a position of the book, to a position of the book or as the
// book's own move there. Only the standard start has a book.
int bookPlies(Board& b, const pgn::Game& game, const pgn::Start& start) {
    if (start.fen != pgn::StandardFen || !setUpBoard(b, start.fen)) return 0;
    searchPool.newGame();
    if (!loadBook(b, findBookFile().c_str(), [](int) { return 0; })) return 0;
    const auto bookMove = [&b] {
        const std::optional<TransEntry> entry = ttFind(b.position);
        return entry && isBookEntry(*entry) ? entry->move() : Move{0};
    };
    int plies = 0;
    for (const pgn::MoveNode& node : game.main.moves) {
        const Move expected = bookMove();
        if (!expected) break;
        playLineMove(b, node.move);
        if (node.move != expected && !bookMove()) break;
        ++plies;
    }
    return plies;
}

struct Judged {
    int counts[4] = {0, 0, 0, 0};
    long loss = 0;
    int moves = 0;
    std::string text(const char* side) const {
        const long average = moves ? std::lround(static_cast<double>(loss) / moves) : 0;
        return std::string(side) + " " + plural(counts[Inaccuracy], "inaccuracy", "inaccuracies") + ", " +
               plural(counts[Mistake], "mistake", "mistakes") + ", " + plural(counts[Blunder], "blunder", "blunders") +
               ", average centipawn loss " + std::to_string(average);
    }
};

std::string limitText(const SearchLimits& limits) {
    return limits.depth ? "depth " + std::to_string(limits.depth) : std::to_string(limits.movetimeMs) + " ms a move";
}

struct Annotated {
    std::string text;
    bool whole = true;     // false: copied without annotation
    std::string message;   // for standard error
};

Annotated annotateGame(pgn::Game& game, long number, const Options& options, const std::function<void()>& progress) {
    Board& board = toolBoard();
    pgn::ReplayError error;
    if (!pgn::replay(board, game, error)) {
        const std::string where = "game " + std::to_string(number) + " (line " + std::to_string(game.firstLine) + ")";
        game.main.comments.insert(game.main.comments.begin(), "Not annotated: stopped at " + error.where());
        return {pgn::exportText(game), false, where + ": stopped at " + error.where()};
    }
    pgn::Start start;
    std::string ignored;
    pgn::gameStart(game, start, ignored);
    std::vector<pgn::MoveNode>& moves = game.main.moves;
    const int plies = static_cast<int>(moves.size());
    const int book = bookPlies(board, game, start);

    // Every position from the first out of the book to the last, searched in
    // the game's order with one table, as the engine would meet them.
    struct Line {
        int score = 0;  // for the side to move
        Move first = 0;
        std::vector<std::string> san;
    };
    struct Searched {
        bool terminal = false;  // mate or stalemate: not searched
        int score = 0;          // for the side to move
        Move best = 0;
        std::vector<std::string> line;  // the better line in SAN
        std::vector<Line> lines;        // with --lines: the lines searched, best first
    };
    // A line of moves as SAN, played from the board's position and taken back.
    const auto sanLine = [&board](const std::vector<Move>& line) {
        std::vector<std::string> san;
        const SavedGame before = saveGame(board);
        for (Move m : line) {
            san.push_back(pgn::sanText(board, m));
            playLineMove(board, m);
        }
        restoreGame(board, before);
        return san;
    };
    std::vector<Searched> positions(plies + 1);
    setUpBoard(board, start.fen, nullptr, start.chess960);
    searchPool.newGame();
    for (int i = 0; i < book; ++i) playLineMove(board, moves[i].move);
    for (int i = book; i <= plies; ++i) {
        Searched& p = positions[i];
        const pgn::LegalMoves legal = pgn::legalMoves(board);
        if (legal.count == 0) {
            p.terminal = true;
            p.score = sideToMoveInCheck(board.position) ? -MateScore : 0;
        } else {
            const Analysis analysis = analysePosition(board, options.limits);
            ttNewSearch();
            p.score = analysis.score;
            p.best = analysis.move;
            p.line = sanLine(analysis.line);
            for (const AnalysisLine& line : analysis.lines) p.lines.push_back(Line{line.score, line.moves[0], sanLine(line.moves)});
        }
        progress();
        if (i < plies) playLineMove(board, moves[i].move);
    }

    ChartData chart;
    const auto tagOr = [&](const char* name) {
        const std::string* value = game.tag(name);
        return value ? *value : std::string("?");
    };
    chart.white = tagOr("White");
    chart.black = tagOr("Black");
    chart.result = game.result;
    chart.annotator = "Drozak " DROZAK_VERSION ", " + limitText(options.limits);
    chart.firstMoveNumber = start.moveNumber;
    chart.blackStarts = start.blackToMove;
    chart.plies = plies;
    const auto whiteToMoveAt = [&](int ply) { return (ply % 2 == 0) != start.blackToMove; };
    const auto whitePawns = [&](int ply) {
        const Searched& p = positions[ply];
        const int capped = mateMoves(p.score) != 0 ? (p.score > 0 ? 1 : -1) * 100 * 100 : p.score;
        return (whiteToMoveAt(ply) ? capped : -capped) / 100.0;
    };
    if (book < plies || plies == 0) chart.points.push_back({book, whitePawns(book)});

    Judged judged[2];  // by side: Black 0, White 1
    for (int i = 0; i < plies; ++i) {
        pgn::MoveNode& node = moves[i];
        if (i < book) {
            node.comments.insert(node.comments.begin(), "book");
            continue;
        }
        const Searched& before = positions[i];
        const Searched& after = positions[i + 1];
        const bool white = whiteToMoveAt(i);
        if (!after.terminal) putEval(node, evalCommand(after.score, !white));
        chart.points.push_back({i + 1, whitePawns(i + 1)});

        const int was = cappedCentipawns(before.score), now = cappedCentipawns(-after.score);
        const bool engineMove = node.move == before.best;
        const int loss = engineMove ? 0 : std::clamp(was - now, 0, LossCap);
        const Severity severity = engineMove ? Good : moveSeverity(was, now);
        Judged& side = judged[white ? 1 : 0];
        ++side.moves;
        side.loss += loss;
        if (severity == Good) continue;
        ++side.counts[severity];
        if (std::none_of(node.nags.begin(), node.nags.end(), [](int nag) { return nag >= 1 && nag <= 6; }))
            node.nags.push_back(SeverityNags[severity]);
        if (options.limits.lines == 1) {
            pgn::Line better;
            for (const std::string& san : before.line) better.moves.push_back(pgn::MoveNode{san, 0, {}, {}, {}});
            if (!better.moves.empty()) node.variations.push_back(std::move(better));
        }
        // Several lines: those that keep more than the move played, best
        // first, each with its evaluation after its first move.
        int given = 0;
        for (const Line& line : before.lines) {
            if (given == options.limits.lines || line.first == node.move || cappedCentipawns(line.score) <= now) continue;
            pgn::Line better;
            for (const std::string& san : line.san) better.moves.push_back(pgn::MoveNode{san, 0, {}, {}, {}});
            better.moves[0].comments.push_back(evalCommand(line.score, white));
            node.variations.push_back(std::move(better));
            ++given;
        }
        const int moveNumber = start.moveNumber + (i + (start.blackToMove ? 1 : 0)) / 2;
        chart.marks.push_back({i + 1, severity,
                               std::to_string(moveNumber) + (white ? ". " : "... ") + node.san + SeverityGlyphs[severity]});
    }
    game.main.comments.insert(game.main.comments.begin(),
                              "Drozak " DROZAK_VERSION ": " + judged[1].text("White") + "; " + judged[0].text("Black"));
    game.setTag("Annotator", chart.annotator);

    Annotated out{pgn::exportText(game), true, ""};
    if (!options.chartDirectory.empty()) {
        const std::filesystem::path path =
            std::filesystem::path(options.chartDirectory) / chartFileName(number, chart.white, chart.black);
        std::ofstream file(path);
        file << chartSvg(chart);
        if (!file) out.message = "game " + std::to_string(number) + ": cannot write " + path.string();
    }
    return out;
}

// --- the worker processes ---

bool writeAll(int fd, const std::string& text) {
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// A forked worker writes a '.' per position searched, then a status byte
// ('0' annotated, '1' copied, '2' copied with a chart it could not write) and
// its message line, then the game's text.
struct Worker {
    pid_t pid = -1;
    int fd = -1;
    long number = 0;
    pgn::Game game;  // kept to copy should the worker fail
    std::string received;
    bool headerDone = false;
    int positions = 0;
};

struct Finished {
    std::string text;
    std::string message;
    bool whole = true;
};

pid_t startWorker(Worker& worker, const Options& options) {
    int fds[2];
    if (::pipe(fds) != 0) return -1;
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return -1;
    }
    if (pid == 0) {
        ::close(fds[0]);
        const int out = fds[1];
        const Annotated result =
            annotateGame(worker.game, worker.number, options, [out] { writeAll(out, "."); });
        const char status = result.whole ? (result.message.empty() ? '0' : '2') : '1';
        const bool written = writeAll(out, std::string(1, status) + result.message + "\n" + result.text);
        ::_exit(written ? 0 : 3);
    }
    ::close(fds[1]);
    worker.pid = pid;
    worker.fd = fds[0];
    return pid;
}

Finished finishWorker(Worker& worker) {
    ::close(worker.fd);
    int status = 0;
    ::waitpid(worker.pid, &status, 0);
    Finished done;
    const std::string& r = worker.received;
    const std::size_t newline = r.find('\n');
    const bool complete = WIFEXITED(status) && WEXITSTATUS(status) == 0 && !r.empty() && newline != std::string::npos;
    if (!complete) {
        // The worker died: the game is copied as read, never half written.
        const std::string why = WIFSIGNALED(status) ? "signal " + std::to_string(WTERMSIG(status))
                                                    : "exit " + std::to_string(WEXITSTATUS(status));
        worker.game.main.comments.insert(worker.game.main.comments.begin(), "Not annotated: the analysis failed");
        return {pgn::exportText(worker.game),
                "game " + std::to_string(worker.number) + ": the analysis failed (" + why + ")", false};
    }
    done.whole = r[0] != '1';
    done.message = r.substr(1, newline - 1);
    done.text = r.substr(newline + 1);
    if (r[0] == '2') done.whole = false;
    return done;
}

// --- progress on a terminal ---

class Progress {
public:
    Progress(bool shown, long games, long plies) : shown_(shown), games_(games), plies_(plies) {}
    void update(long gamesDone, long positionsDone, bool force = false) {
        if (!shown_) return;
        const auto now = std::chrono::steady_clock::now();
        if (!force && now - last_ < std::chrono::milliseconds(200) && gamesDone == lastGames_) return;
        last_ = now;
        lastGames_ = gamesDone;
        std::string text = "\r annotate: games " + std::to_string(gamesDone) + (games_ ? "/" + std::to_string(games_) : "") +
                           ", positions " + std::to_string(positionsDone) + (plies_ ? "/" + std::to_string(plies_) : "");
        if (plies_ && positionsDone > 0) {
            const double elapsed = std::chrono::duration<double>(now - start_).count();
            const double left = elapsed / positionsDone * std::max(0L, plies_ - positionsDone);
            char clock[32];
            std::snprintf(clock, sizeof clock, ", %ld:%02ld left", static_cast<long>(left) / 60, static_cast<long>(left) % 60);
            text += clock;
        }
        std::fprintf(stderr, "%s   ", text.c_str());
        std::fflush(stderr);
    }
    void end() {
        if (shown_) std::fprintf(stderr, "\n");
    }

private:
    bool shown_;
    long games_, plies_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now(), last_{};
    long lastGames_ = -1;
};

// Games and main-line positions of a file, for the progress line's totals.
void countGames(const std::string& file, long& games, long& positions) {
    std::ifstream in(file, std::ios::binary);
    pgn::Reader reader(in);
    pgn::Game game;
    std::string message;
    for (pgn::Reader::Status s; (s = reader.next(game, message)) != pgn::Reader::Status::End;) {
        if (s != pgn::Reader::Status::Game) continue;
        ++games;
        positions += static_cast<long>(game.main.moves.size()) + 1;
    }
}

int usage() {
    std::fprintf(stderr, "usage: drozak-tools annotate [--movetime MS | --depth D] [--chart DIR] [--jobs N] [--threads N] [--lines N] [FILE]\n");
    return 2;
}

}  // namespace

int annotateCommand(int argc, char** argv) {
    Options options;
    if (!takeThreadsOption(argc, argv)) return usage();
    for (int i = 0; i < argc; ++i) {
        const int taken = readLimitOption(argc, argv, i, options.limits);
        if (taken < 0) return usage();
        if (taken > 0) {
            i += taken - 1;
        } else if (std::strcmp(argv[i], "--chart") == 0 && i + 1 < argc) {
            options.chartDirectory = argv[++i];
        } else if (std::strcmp(argv[i], "--lines") == 0 && i + 1 < argc) {
            options.limits.lines = std::atoi(argv[++i]);
            if (options.limits.lines < 1 || options.limits.lines > MaxSearchLines) return usage();
        } else if (std::strcmp(argv[i], "--jobs") == 0 && i + 1 < argc) {
            options.jobs = std::atoi(argv[++i]);
            if (options.jobs < 1 || options.jobs > 256) return usage();
        } else if (argv[i][0] == '-' && argv[i][1]) {
            return usage();
        } else if (options.file.empty()) {
            options.file = argv[i];
        } else {
            return usage();
        }
    }
    // Each worker process searches with the threads asked for: more of them
    // all than there are cores only slow every game down.
    const long cores = ::sysconf(_SC_NPROCESSORS_ONLN);
    if (cores > 0 && static_cast<long>(options.jobs) * searchPool.threadCount() > cores)
        std::fprintf(stderr, "annotate: warning: %d jobs of %d threads each are %d threads on %ld cores\n", options.jobs,
                     searchPool.threadCount(), options.jobs * searchPool.threadCount(), cores);
    std::ifstream file;
    if (!options.file.empty() && options.file != "-") {
        file.open(options.file, std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "annotate: cannot read %s\n", options.file.c_str());
            return 2;
        }
    }
    std::istream& in = file.is_open() ? static_cast<std::istream&>(file) : std::cin;
    if (!options.chartDirectory.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(options.chartDirectory, ec);
        if (ec) {
            std::fprintf(stderr, "annotate: cannot make %s: %s\n", options.chartDirectory.c_str(), ec.message().c_str());
            return 2;
        }
    }

    const bool terminal = ::isatty(STDERR_FILENO);
    long totalGames = 0, totalPositions = 0;
    if (terminal && file.is_open() && std::filesystem::is_regular_file(options.file))
        countGames(options.file, totalGames, totalPositions);
    Progress progress(terminal, totalGames, totalPositions);

    pgn::Reader reader(in);
    std::vector<std::unique_ptr<Worker>> running;
    std::map<long, Finished> waiting;  // finished out of turn
    long read = 0, written = 0, positionsDone = 0, games = 0;
    bool failed = false, inputEnded = false;
    const auto emit = [&](Finished& f) {
        if (!f.message.empty()) {
            progress.update(written, positionsDone);
            std::fprintf(stderr, "%sannotate: %s\n", terminal ? "\n" : "", f.message.c_str());
        }
        failed |= !f.whole;
        std::fwrite(f.text.data(), 1, f.text.size(), stdout);
        std::fflush(stdout);
    };

    while (!inputEnded || !running.empty()) {
        while (!inputEnded && static_cast<int>(running.size()) < options.jobs) {
            auto worker = std::make_unique<Worker>();
            std::string message;
            const pgn::Reader::Status status = reader.next(worker->game, message);
            if (status == pgn::Reader::Status::End) {
                inputEnded = true;
                break;
            }
            ++read;
            if (status == pgn::Reader::Status::Error) {
                // Its place in the order is kept; it has no text to write.
                waiting[read] = Finished{"", "game " + std::to_string(read) + ": " + message + "; skipped", false};
                continue;
            }
            ++games;
            worker->number = read;
            if (startWorker(*worker, options) < 0) {
                std::fprintf(stderr, "annotate: cannot start a worker process\n");
                return 2;
            }
            running.push_back(std::move(worker));
        }
        for (auto it = waiting.begin(); it != waiting.end() && it->first == written + 1; it = waiting.erase(it)) {
            emit(it->second);
            ++written;
        }
        if (running.empty()) continue;

        std::vector<pollfd> fds;
        for (const auto& w : running) fds.push_back({w->fd, POLLIN, 0});
        ::poll(fds.data(), fds.size(), 500);
        for (std::size_t i = running.size(); i-- > 0;) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            Worker& w = *running[i];
            char buffer[65536];
            const ssize_t n = ::read(w.fd, buffer, sizeof buffer);
            if (n > 0) {
                std::size_t start = 0;
                if (!w.headerDone) {
                    while (start < static_cast<std::size_t>(n) && buffer[start] == '.') {
                        ++start;
                        ++positionsDone;
                    }
                    if (start < static_cast<std::size_t>(n)) w.headerDone = true;
                }
                w.received.append(buffer + start, static_cast<std::size_t>(n) - start);
                continue;
            }
            waiting[w.number] = finishWorker(w);
            running.erase(running.begin() + static_cast<long>(i));
        }
        progress.update(written, positionsDone);
    }
    for (auto& [number, f] : waiting) {  // only when numbering broke: nothing should be left
        emit(f);
        ++written;
    }
    progress.update(written, positionsDone, true);
    progress.end();
    if (games == 0 && read == 0) {
        std::fprintf(stderr, "annotate: no game in %s\n", options.file.empty() ? "the input" : options.file.c_str());
        return 1;
    }
    return failed ? 1 : 0;
}
