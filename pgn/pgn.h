// PGN games: a reader that streams one game at a time from real files, the
// replay that proves every move on the board and rewrites it as standard SAN,
// and a writer in export format.
#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "board/position.h"
#include "board/types.h"

namespace pgn {

struct Line;

struct MoveNode {
    std::string san;                    // as read; the standard text once replayed
    Move move = 0;                      // set by the replay
    std::vector<int> nags;              // glyphs such as '?!' become their NAGs
    std::vector<std::string> comments;  // the comments after the move
    std::vector<Line> variations;       // alternatives to this move
};

struct Line {
    std::vector<std::string> comments;  // before its first move
    std::vector<MoveNode> moves;
};

struct Game {
    std::vector<std::pair<std::string, std::string>> tags;
    Line main;
    std::string result = "*";  // the termination marker ("*" when the text had none)
    long firstLine = 0;        // where the game starts in its file

    const std::string* tag(const std::string& name) const;
    void setTag(const std::string& name, const std::string& value);
};

// Reads games one by one; after an error the reader skips to where the next
// game can start, so that one broken game costs no other.
class Reader {
public:
    explicit Reader(std::istream& in) : in_(in) {}

    enum class Status { Game, Error, End };
    // The next game; on Error, `message` says what and where, and the game is
    // not to be used. A file that is no text at all ends the reading.
    Status next(Game& game, std::string& message);
    long line() const { return line_; }

private:
    int get();
    int peek();
    void skipLine();
    bool skipSpace();  // and escape lines; false at the end of the input
    void readTag(Game& game, std::string& error);  // sets `error` for a malformed one
    bool readComment(std::string& text, std::string& error);
    std::string readSymbol();
    void skipToNextGame();

    std::istream& in_;
    long line_ = 1;
    bool lineStart_ = true;
    bool started_ = false;
    bool binary_ = false;
    long binaryLine_ = 0;
};

// Where a replay stopped: the move that failed and why.
struct ReplayError {
    int ply = 0;           // of the game from its start position
    std::string text;      // the move as written
    std::string reason;
    std::string where() const;  // "14... Nf3 (not a legal move)", or the reason alone
    int moveNumber = 0;
    bool black = false;
};

// The start of a game: its FEN tag when SetUp asks for it (or when a FEN tag
// stands alone), the standard position otherwise; the move number and side
// of its first move; whether its Variant tag says Chess960 (or Fischerandom),
// whose FEN is read with Chess960's castling fields. False for a FEN the
// engine cannot set up.
struct Start {
    std::string fen;
    int moveNumber = 1;
    bool blackToMove = false;
    bool chess960 = false;
};
bool gameStart(const Game& game, Start& start, std::string& error);

// Sets the game's start position up on the board and plays every move of the
// main line and its variations there, filling in each move's code and
// standard SAN. Leaves the board at the start. False, with where it
// stopped, for a variant other than Chess960, a FEN the engine refuses, a
// null move, or a move that is not legal or cannot be read.
bool replay(Board& b, Game& game, ReplayError& error);

// The game in export format: the seven tags of the roster first (with "?"
// where the game has none), the others in the order read; the movetext with
// move numbers where export format wants them, in lines of at most 79
// characters; a blank line after the tags and after the game.
std::string exportText(const Game& game);

constexpr const char* StandardFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

}  // namespace pgn
