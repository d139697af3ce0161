// The game as the command thread keeps it: setting it up from FEN text with
// the book, legality of game moves, playing them with room kept on the
// history stack, taking them back, and the side to move.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "board/position.h"
#include "board/types.h"

// The game's board: its position, snapshot and history. The command thread
// alone changes it; searches run on copies of it.
Board& gameBoard();

// The standard start position, as `new` and `result` set it up.
inline constexpr const char* StartPositionText = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";

// The rules of the games set up from now on: standard chess, or Chess960 (FEN
// castling fields of both forms, see readFen) with its castlings written as
// `text`. Standard chess until said otherwise.
void setChess960(bool on, CastlingText text = CastlingText::KingTakesRook);

// Replaces the game with the position the FEN `text` describes. A rejected
// text returns false, says why in `reason` (when given) and leaves the
// previous game (position, snapshot, history, table) exactly as it was. With
// `withBook` the book is loaded into the table.
bool setupPosition(std::string_view text, bool withBook, std::string* reason = nullptr);

// The start position with its book, set up by the engine itself at start-up:
// a book that cannot be loaded is logged, and told to the interface only at
// the next setup with the book or by tellPendingBookError().
void setupStartQuietly();

// Stores the book into the table again (after the table was emptied), as a
// setup of the game's start would: a game still in its book goes on in it.
void storeBookAgain();

// The same, when the game starts from the book's start, is still within the
// book's reach, and the table holds no book move for the game position: the
// searches of an interface that sends every position anew, without a new
// game, wear the book's slots away.
void storeBookIfWorn();

// How a book that cannot be loaded is told to the interface: once a run (the
// log has it every time), as the file does not come back by itself.
void setBookErrorReport(void (*report)());
// Tells now a failure of the quiet start-up setup that nobody was told of.
void tellPendingBookError();

// Makes the position `text` describes the game position with no moves played,
// the table and the book left as they are (for an interface that sends the
// whole game before every move). False, nothing changed, for a refused text.
bool setGamePosition(std::string_view text, std::string* reason = nullptr);

// The game is gone (an interface's position was refused): gameStarted() is
// false until the next setup.
void forgetGame();

// Whether `move` may be played in the game position: it is among the
// generated moves and, once made, the opponent cannot take the king (nor
// attack the path of a castling).
bool isLegalMove(Move move);

// The first legal move of the game position, or 0 when there is none.
Move firstLegalMove();

// Every legal move of the game position, in the generator's order.
std::vector<Move> legalGameMoves();

// The move to play for a search's `searched` move: that move when it is
// legal in the game position, otherwise any legal move rather than none (a
// silent engine loses on time); 0 when there is no legal move.
Move playableMove(Move searched);

// Whether the side to move in the game position is in check.
bool gameInCheck();

// The side to move of the game position.
int gameSideToMove();

// The move a word names in the game position (textToMove on its snapshot).
Move gameMoveOfText(std::string_view text);

// Whether the game position is drawn by the rules: a third occurrence, the
// fifty-move rule, or material that cannot mate.
bool gameDrawn();


// Plays a game move (snapshot, history, key line in the log), keeps room on
// the history stack for the searches to come, and records it for take-backs.
void playMove(Move move);

// The game starts afresh from the position as it stands (after a setup, or a
// change of the side to move): no move before it can be taken back.
void startGameRecord();

// The plies of the game since its record started.
int gamePlies();
// Whether a game exists: no game exists before the first setup.
bool gameStarted();

// The reply the table expects after the engine's `move` in the game
// position, when it is legal there; 0 otherwise. The game stays as it is.
Move expectedReply(Move move);

// Rebuilds the game position from the game's start, calling `atStart` (if
// not null) on the start position before the moves are played again.
void replayGame(void (*atStart)());

// Takes back the last `plies` plies of the game: position, snapshot, history
// and every draw answer as they were before them, rebuilt from the game's
// start. False, changing nothing, when the game holds fewer plies.
bool takeBack(int plies);

// Sets the side to move of the game position (the old `white` and `black`
// commands). The repetition record of the game does not carry over to the
// other side's turn, so the history starts afresh at the current position.
void setSideToMove(int side);
