#include "xboard/xboard.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "board/gamelog.h"
#include "board/movetext.h"
#include "board/position.h"
#include "search/search.h"
#include "session/game.h"
#include "session/input.h"
#include "session/loop.h"
#include "session/session.h"
#include "xboard/numbers.h"
#include "xboard/thinking.h"

#ifndef DROZAK_VERSION
#define DROZAK_VERSION "dev"
#endif

namespace {

bool quitRead = false;  // `quit` came
bool ponderEnabled = false;  // `hard` / `easy`

constexpr const char* DrawLine = "1/2-1/2 {Draw: repetition or statemate}";

struct Feature {
    const char* name;
    const char* value;
};
// done=0 first and setboard=1 second, as interfaces have always seen them;
// done=1 comes once the engine is ready.
constexpr Feature features[] = {
    {"done", "0"},        {"setboard", "1"}, {"ping", "1"},    {"myname", "\"Drozak " DROZAK_VERSION "\""},
    {"sigint", "0"},      {"sigterm", "0"},  {"analyze", "1"}, {"memory", "1"},
    {"smp", "1"},         {"exclude", "1"},  {"option", "\"MultiPV -spin 1 1 64\""},
    {"variants", "\"normal,fischerandom\""},
};

// The words of a line after its command, as a number.
template <typename Parse>
bool readNumber(Parse parse, const std::string& args, std::int64_t& value) {
    const Words words = splitFirstWord(args);
    return !words.first.empty() && parse(words.first.c_str(), value);
}

// ---------------------------------------------------------------- the engine's move

void announce(Move move, const char* logPrefix) {
    char text[8];
    moveToText(text, move, gameBoard().position.castling);
    std::printf("move %s\n", text);
    logLine(logPrefix, text);
}

// The line after the engine's move: a mate or a draw only when the board
// shows it. Returns whether it claimed: the game is then over.
bool claimAfterMove(int engineSide, int score) {
    if (!firstLegalMove()) {
        if (gameInCheck()) {
            const char* text = engineSide == White ? "1-0 {Drozak mates 1}" : "0-1 {Drozak mates 1}";
            std::printf("%s\n", text);
            logLine("-M: ", text, score);
        } else {
            std::printf("%s\n", DrawLine);
            logLine("-M: 1/2-1/2 {Draw: stalemate} (case 4)");
        }
    } else if (gameDrawn()) {
        std::printf("%s\n", DrawLine);
        logLine("-M: 1/2-1/2 {Draw: repetition} (case 4)");
    } else {
        return false;
    }
    return true;
}

// No move to play: the engine is mated or stalemated, or the game position is
// drawn already.
void claimWithoutMove(int engineSide) {
    if (!firstLegalMove() && gameInCheck()) {
        const char* text = engineSide == White ? "0-1 {Black mates 0}\n" : "1-0 {White mates 0}\n";
        std::printf("%s", text);
        logLine("-M: ", text);
    } else {
        std::printf("%s\n", DrawLine);
        logLine("-M: 1/2-1/2 {Draw: repetition or statemate} (case 1)");
    }
}

// The engine's move is played on the game and announced, with a claim when
// the board shows the game over; a game position drawn already is claimed
// instead. Then, when it ponders, the engine thinks on the opponent's time.
void moveChosen(const MoveChoice& choice) {
    finishThinking();
    const int engineSide = gameSideToMove();
    if (choice.fromBook) {
        playMove(choice.move);
        announce(choice.move, "-M: move(book): ");
        return;
    }
    bool gameGoesOn = false;
    if (const Move move = gameDrawn() ? 0 : playableMove(choice.move)) {
        playMove(move);
        announce(move, "move ");
        if (searchPool.main().mateFound) logLine("-M: mate? ", choice.score);
        gameGoesOn = !claimAfterMove(engineSide, choice.score);
    } else {
        if (searchPool.main().mateFound) logLine("-M: mate? ", choice.score);
        claimWithoutMove(engineSide);
    }
    if (gameGoesOn && ponderEnabled) session::startPondering();
}

void bookMissing() { std::printf("tellusererror BOOK ERROR!\n"); }

// ---------------------------------------------------------------- commands

void timeCommand(const std::string& args) {
    std::int64_t centiseconds;
    if (!readNumber(parseWhole, args, centiseconds)) {
        logLine("-M: time without a clock value, ignored");
        return;
    }
    applyClock(session::timeControl(), centiseconds);
}

// The opponent's clock: read, and not used for the allotment.
void otimCommand(const std::string& args) {
    std::int64_t centiseconds;
    if (!readNumber(parseWhole, args, centiseconds)) logLine("-M: otim without a clock value, ignored");
}

// "level MOVES BASE INC"; BASE may be minutes:seconds, INC fractional. The
// base is not used: `time` brings the clock before every move.
void levelCommand(const std::string& args) {
    const Words moves = splitFirstWord(args);
    const Words base = splitFirstWord(moves.rest);
    const Words increment = splitFirstWord(base.rest);
    std::int64_t movesValue, baseSeconds, incrementMs;
    if (!parseWhole(moves.first.c_str(), movesValue) || !parseBaseSeconds(base.first.c_str(), baseSeconds) ||
        !parseSecondsAsMs(increment.first.c_str(), incrementMs)) {
        logLine("-M: level without MOVES BASE INC, ignored");
        return;
    }
    applyLevel(session::timeControl(), movesValue, incrementMs);
}

void stCommand(const std::string& args) {
    std::int64_t ms;
    if (!readNumber(parseSecondsAsMs, args, ms) || !applyMoveTime(session::timeControl(), ms))
        logLine("-M: st without a positive time, ignored");
}

// "sd DEPTH": no iteration deeper; 0 means no limit, and iterations start at 2.
void sdCommand(const std::string& args) {
    std::int64_t depth;
    if (!readNumber(parseWhole, args, depth) || !applyDepth(session::timeControl(), depth))
        logLine("-M: sd without a depth, ignored");
}

// The engine plays the side to move, from now on.
void goCommand(const std::string&) {
    session::setMode(Mode::Play);
    session::thinkForMove();
}

// A new game, which the engine plays as Black; analysis goes on in it.
void startNewGame() {
    session::newGame();
    if (session::mode() != Mode::Analyse) session::setMode(Mode::Play);
}

// A new game of standard chess: `variant` comes after it for any other.
void newCommand(const std::string&) {
    setChess960(false);
    startNewGame();
}

// The words after "result" are its reason, whatever they look like.
void resultCommand(const std::string&) { startNewGame(); }

// `variant fischerandom`: Chess960, its castlings O-O and O-O-O either way;
// `variant normal`: standard chess. The game starts again from the start
// position under them (the interface sends the variant right after `new`).
// Any other variant changes nothing.
void variantCommand(const std::string& args) {
    const std::string name = splitFirstWord(args).first;
    if (name != "normal" && name != "fischerandom") {
        std::printf("Error (variant not supported): %s\n", printable(name).c_str());
        logLine("-M: variant not supported: ", name);
        return;
    }
    setChess960(name == "fischerandom", CastlingText::Letters);
    setupPosition(StartPositionText, true);
}

// Force mode: moves are made, not answered. Analysis goes on: it never moves anyway.
void forceCommand(const std::string&) {
    if (session::mode() != Mode::Analyse) session::setMode(Mode::Force);
}

void setboardCommand(const std::string& args) {
    logLine("setboard ", args, "\n");
    if (session::mode() != Mode::Analyse) session::setMode(Mode::Force);
    if (setupPosition(args, true)) return;
    std::printf("tellusererror Illegal position\n");
    logLine("-M: tellusererror Illegal position");
}

void quitCommand(const std::string&) { quitRead = true; }

void setSide(int side) {
    if (session::mode() != Mode::Analyse) session::setMode(Mode::Force);
    setSideToMove(side);
}
void whiteCommand(const std::string&) { setSide(White); }
void blackCommand(const std::string&) { setSide(Black); }

// Every command before it has been carried out when it is read.
void pingCommand(const std::string& args) {
    if (args.empty()) std::printf("pong\n");
    else std::printf("pong %s\n", args.c_str());
}

void postCommand(const std::string&) { postThinking = true; }
void nopostCommand(const std::string&) { postThinking = false; }

// Moves now, when the engine thinks about its move.
void moveNowCommand(const std::string&) { session::moveNow(); }

// `undo` takes back one ply, `remove` two (the engine's move and the one
// before). The mode stays: after `remove` in a game it plays, the engine
// answers the next move as ever; after `undo` it does not start thinking by
// itself (the interface says `go` or `force`).
void takeBackPlies(int plies) {
    if (takeBack(plies)) logLine("-M: took back ", plies, plies == 1 ? " ply" : " plies");
    else logLine("-M: cannot take back ", plies, plies == 1 ? " ply" : " plies", ": the game holds ", gamePlies());
}
void undoCommand(const std::string&) { takeBackPlies(1); }
void removeCommand(const std::string&) { takeBackPlies(2); }

void analyzeCommand(const std::string&) { session::setMode(Mode::Analyse); }  // it starts once the line is done

// Back to force mode from analysis; anywhere else it does not apply, and a
// search for a move or on the opponent's time goes on.
void exitCommand(const std::string&) {
    if (session::mode() != Mode::Analyse) {
        logLine("-M: exit outside analysis, ignored");
        return;
    }
    session::stopAnalysis();
    session::setMode(Mode::Force);
}

void statusCommand(const std::string&) {
    if (session::mode() == Mode::Analyse) printAnalysisStatus();
}

void hardCommand(const std::string&) { ponderEnabled = true; }
void easyCommand(const std::string&) { ponderEnabled = false; }

// `memory N`: the table gets what fits N MiB, cleared, with the book again.
void memoryCommand(const std::string& args) {
    std::int64_t mib;
    if (!readNumber(parseWhole, args, mib) || mib < 0) {
        logLine("-M: memory without a size, ignored");
        return;
    }
    session::resizeTable(static_cast<std::uint64_t>(mib));
}

// `option NAME=VALUE`: MultiPV, the lines each search shows; other names
// are taken silently, as options of other engines may be sent to any.
void optionCommand(const std::string& args) {
    const std::size_t equals = args.find('=');
    if (equals == std::string::npos || args.substr(0, equals) != "MultiPV") return;
    std::int64_t lines;
    if (!parseWhole(args.substr(equals + 1).c_str(), lines) || lines < 1 || lines > MaxSearchLines) {
        logLine("-M: option MultiPV without a number from 1 to ", MaxSearchLines, ", ignored");
        return;
    }
    session::setLines(static_cast<int>(lines));
}

// The root moves analysis leaves out (`exclude`, `include`): every change of
// the game position brings them all back.
struct Exclusions {
    std::uint64_t key = 0;  // the position they are for
    bool all = false;       // `exclude all`: the moves listed are the ones included
    std::vector<Move> moves;
} exclusions;

Exclusions& exclusionsHere() {
    const std::uint64_t key = gameBoard().position.hashKey ^ static_cast<std::uint64_t>(gamePlies());
    if (exclusions.key != key) exclusions = Exclusions{key, false, {}};
    return exclusions;
}

// `exclude MOVE|all`, `include MOVE|all`: the analysis starts again on the
// moves left.
void excludeOrInclude(const std::string& args, bool exclude) {
    Exclusions& e = exclusionsHere();
    const std::string word = splitFirstWord(args).first;
    if (word == "all") {
        e.all = exclude;
        e.moves.clear();
        return;
    }
    const Move move = gameMoveOfText(word);
    if (!isLegalMove(move)) {
        std::printf("Illegal move: %s\n", printable(word).c_str());
        return;
    }
    // The list holds the exceptions to `all`: excluded moves, or after
    // `exclude all` the included ones.
    const bool listed = exclude != e.all;
    std::erase(e.moves, move);
    if (listed) e.moves.push_back(move);
}
void excludeCommand(const std::string& args) { excludeOrInclude(args, true); }
void includeCommand(const std::string& args) { excludeOrInclude(args, false); }

// The root moves the analysis may search; false when none is left.
bool analysisRootMoves(SearchRequest& request) {
    const Exclusions& e = exclusionsHere();
    if (!e.all && e.moves.empty()) return true;
    for (Move move : legalGameMoves())
        if ((std::find(e.moves.begin(), e.moves.end(), move) != e.moves.end()) == e.all) request.allowOnly(move);
    return request.rootMoveCount > 0;
}

// `cores N`: the search threads, from the next search on.
void coresCommand(const std::string& args) {
    std::int64_t count;
    if (!readNumber(parseWhole, args, count) || count < 1) {
        logLine("-M: cores without a number of at least 1, ignored");
        return;
    }
    searchPool.setThreadCount(static_cast<int>(std::min<std::int64_t>(count, MaxSearchThreads)));
}

void ignored(const std::string&) {}

// ---------------------------------------------------------------- the table

// The document's commands match on their keyword's length alone ("gonzo" is
// go); the others only as whole words, so that `st` is not taken for `stop`.
enum class Match { Prefix, Word };

// What a command does to a search on the opponent's time or an analysis:
// leaves it running, or stops it first (taking the expected move back).
enum class Background { Keep, Stop };

struct Command {
    const char* name;
    Match match;
    DuringSearch duringSearch;
    Background background;
    void (*run)(const std::string& args);
};

constexpr auto Hold = DuringSearch::Hold;
constexpr auto Abandon = DuringSearch::Abandon;
constexpr auto Keep = Background::Keep;
constexpr auto Stop = Background::Stop;

// In the order they are tested. `time` comes before the move test, the rest after it.
constexpr Command timeEntry{"time", Match::Prefix, Hold, Keep, timeCommand};
constexpr Command commands[] = {
    {"go", Match::Prefix, Hold, Stop, goCommand},
    {"new", Match::Prefix, Abandon, Stop, newCommand},
    {"result", Match::Prefix, Abandon, Stop, resultCommand},
    {"level", Match::Prefix, Hold, Keep, levelCommand},
    {"force", Match::Prefix, Abandon, Stop, forceCommand},
    {"setboard", Match::Prefix, Abandon, Stop, setboardCommand},
    {"quit", Match::Prefix, Abandon, Stop, quitCommand},
    {"white", Match::Prefix, Abandon, Stop, whiteCommand},
    {"black", Match::Prefix, Abandon, Stop, blackCommand},
    {"ping", Match::Word, Hold, Keep, pingCommand},
    {"st", Match::Word, Hold, Keep, stCommand},
    {"sd", Match::Word, Hold, Keep, sdCommand},
    {"otim", Match::Word, Hold, Keep, otimCommand},
    {"post", Match::Word, Hold, Keep, postCommand},
    {"nopost", Match::Word, Hold, Keep, nopostCommand},
    {"?", Match::Word, DuringSearch::Now, Keep, moveNowCommand},
    {"undo", Match::Word, Abandon, Stop, undoCommand},
    {"remove", Match::Word, Abandon, Stop, removeCommand},
    {"analyze", Match::Word, Abandon, Stop, analyzeCommand},
    {"exit", Match::Word, Hold, Keep, exitCommand},
    {".", Match::Word, Hold, Keep, statusCommand},
    {"hard", Match::Word, Hold, Keep, hardCommand},
    {"easy", Match::Word, Hold, Stop, easyCommand},
    {"memory", Match::Word, Hold, Stop, memoryCommand},
    {"cores", Match::Word, Hold, Keep, coresCommand},
    {"option", Match::Word, Hold, Stop, optionCommand},
    {"exclude", Match::Word, Hold, Stop, excludeCommand},
    {"include", Match::Word, Hold, Stop, includeCommand},
    {"variant", Match::Word, Abandon, Stop, variantCommand},
    // Commands of the protocol the engine does not act on: taken silently,
    // since some interfaces treat any error line as fatal.
    {"xboard", Match::Word, Hold, Keep, ignored},
    {"protover", Match::Word, Hold, Keep, ignored},
    {"accepted", Match::Word, Hold, Keep, ignored},
    {"rejected", Match::Word, Hold, Keep, ignored},
    {"random", Match::Word, Hold, Keep, ignored},
    {"computer", Match::Word, Hold, Keep, ignored},
    {"name", Match::Word, Hold, Keep, ignored},
    {"rating", Match::Word, Hold, Keep, ignored},
    {"ics", Match::Word, Hold, Keep, ignored},
    {"draw", Match::Word, Hold, Keep, ignored},
    {"hint", Match::Word, Hold, Keep, ignored},
    {"bk", Match::Word, Hold, Keep, ignored},
    {"egtpath", Match::Word, Hold, Keep, ignored},
    {"nps", Match::Word, Hold, Keep, ignored},
};

bool matches(const Command& c, const std::string& word) {
    if (c.match == Match::Word) return word == c.name;
    return word.compare(0, std::strlen(c.name), c.name) == 0;
}

const Command* findCommand(const std::string& word) {
    for (const Command& c : commands)
        if (matches(c, word)) return &c;
    return nullptr;
}

// Whether a word is an opponent's move: a move of the game position, or while
// pondering any word of a move's form (the board holds the expected move
// then); in Chess960, O-O and O-O-O whenever. A word with a NUL byte is none,
// whatever comes before the NUL.
bool isMoveWord(const std::string& word) {
    if (isCastlingWord(word) && gameBoard().position.castling.text == CastlingText::Letters) return true;
    return session::expectedMove() ? looksLikeMove(word) : gameMoveOfText(word) != 0;
}

// An opponent move: made when legal, answered in Play. While pondering, the
// expected move lets the search go on; any other ends it first (and is read
// on the board without the expected move).
void opponentMove(const std::string& word) {
    if (const Move expected = session::expectedMove()) {
        char text[8];
        moveToText(text, expected, gameBoard().position.castling);
        if (word == text) {
            logLine("-GOOD PONDER");
            session::ponderHit();
            return;
        }
        logLine("-BAD PONDER");
    }
    session::stopBackgroundSearch();
    const Move move = gameMoveOfText(word);
    if (!isLegalMove(move)) {
        std::printf("Illegal move: %s\n", printable(word).c_str());
        logLine("-M: Illegal move: ", word);
        return;
    }
    playMove(move);
    if (session::mode() == Mode::Play) session::thinkForMove();
}

class Xboard : public FrontEnd {
public:
    // Acts on one line; a search in the background goes on or stops as the
    // command needs, and analysis restarts on the position the command left.
    void handle(const std::string& line) override {
        const Words words = splitFirstWord(line);
        if (words.first.empty()) return;
        if (matches(timeEntry, words.first)) {
            timeEntry.run(words.rest);
        } else if (isMoveWord(words.first)) {
            opponentMove(words.first);
        } else if (const Command* c = findCommand(words.first)) {
            if (c->background == Stop) session::stopBackgroundSearch();
            c->run(words.rest);
        } else {
            std::printf("Error (unknown command): %s\n", printable(words.first).c_str());
        }
        if (session::mode() == Mode::Analyse && !quitRead && !session::analysisRunning()) {
            SearchRequest rootMoves;
            if (analysisRootMoves(rootMoves)) session::startAnalysis(rootMoves);
        }
    }

    DuringSearch duringSearch(const std::string& line) override {
        const std::string word = splitFirstWord(line).first;
        if (word.empty() || matches(timeEntry, word) || isMoveWord(word)) return Hold;
        const Command* c = findCommand(word);
        return c ? c->duringSearch : Hold;
    }

    // A line too long to be any command (a setboard leaves the game as it was).
    void refuseLongLine(const std::string& start) override {
        std::printf("Error (line longer than %zu characters): %s\n", InputQueue::LineLimit,
                    printable(splitFirstWord(start.substr(0, 64)).first).c_str());
    }

    bool quitting() const override { return quitRead; }
};

// Answers the first line with the feature lines, starts the session (the
// engine thread, the tables, the start position) and says it is ready.
void handshake() {
    const std::optional<InputLine> first = commandInput().take();
    if (first) logCommandLine(first->text);
    if (!first || splitFirstWord(first->text).first.compare(0, 6, "xboard") != 0)
        std::printf("Engine works only with xboard protocol ver. 2\n");
    std::printf("\n");
    std::printf("feature %s=%s\n", features[0].name, features[0].value);
    std::printf("feature %s=%s\n", features[1].name, features[1].value);
    session::start(SessionReports{startThinking, moveChosen});
    for (std::size_t i = 2; i < std::size(features); ++i) std::printf("feature %s=%s\n", features[i].name, features[i].value);
    std::printf("feature done=1\n");
}

}  // namespace

void runXboard() {
    quitRead = false;
    ponderEnabled = false;
    postThinking = false;
    setChess960(false);
    setBookErrorReport(bookMissing);
    // Not fflush(nullptr), nor stdio's input: nothing waits on a lock the
    // reader thread holds.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    commandInput().start(STDIN_FILENO);
    handshake();
    Xboard frontEnd;
    runCommandLoop(frontEnd);
    session::end();
}
