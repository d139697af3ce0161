// The game as the command thread keeps it: legality of game moves, playing
// them with room kept on the history stack, and the side to move.
#pragma once

#include "board/types.h"

// Whether `move` may be played in the game position: it is among the
// generated moves and, once made, the opponent cannot take the king (nor
// attack the path of a castling).
bool isLegalMove(Move move);

// The first legal move of the game position, or 0 when there is none.
Move firstLegalMove();

// Whether the side to move in the game position is in check.
bool sideToMoveInCheck();

// The history entries kept when the stack is compacted: the draw test looks
// back at most this far (101 reversible plies make a fifty-move draw).
constexpr int KeptHistory = 102;
// Compaction starts when fewer entries than this are left for a search line.
constexpr int SearchRoom = 160;

// Moves the newest KeptHistory entries to the bottom of the history stack once
// fewer than SearchRoom entries are left above the top; every draw answer
// stays the same.
void compactHistory();

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
