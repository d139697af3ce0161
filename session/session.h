// The session: the one owner of the command side's state, for both
// protocols. It holds the game (game.h), the mode, the time control, and the
// searches the engine runs: for its own move, on the opponent's time, and in
// analysis. Front ends turn their lines into these verbs and format what the
// session reports; neither keeps game state of its own.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "board/types.h"
#include "search/search.h"
#include "session/timing.h"

// Force: moves are only made. Play: the engine answers the opponent's moves.
// Analyse: the engine searches the game position without end and never moves.
enum class Mode { Force, Play, Analyse };

// A search for the engine's move beyond its time control.
struct MoveSearch {
    bool useBook = true;
    // The move waits for moveNow() or ponderHit(), even when the search ends
    // by itself (an analysis the interface ends, a search on its time).
    bool holdMove = false;
    // The search runs on the opponent's time: its allotment counts from ponderHit().
    bool ponder = false;
    // Its node limit and root moves; the session sets the rest of the request
    // (purpose, depth cap, allotment, observer).
    SearchRequest request;
};

// What a search for the engine's move came to.
struct MoveChoice {
    Move move = 0;  // the search's move (0: it has none) or the book's
    int score = 0;
    bool fromBook = false;
};

// How the session tells its front end what happens. Called on the command
// thread; the thinking itself the front end hears through the search's
// observer, which searchStarting() returns (null: none).
struct SessionReports {
    const SearchObserver* (*searchStarting)(SearchPurpose purpose);
    // The search for the engine's move is over (the engine is parked), or the
    // book answered at once. The game is as it was: the front end plays the
    // move on it or not.
    void (*moveChosen)(const MoveChoice& choice);
};

namespace session {

// Starts the engine thread, builds the tables and sets up the start position
// in force mode with its book, every setting as the program starts.
void start(const SessionReports& reports);
// Stops every search and ends the engine thread.
void end();

Mode mode();
void setMode(Mode mode);
TimeControl& timeControl();

// How many lines every search reports (1 to MaxSearchLines); the engine
// plays the first line's move.
void setLines(int lines);
int lines();

// Stops every search; the start position with its book, no depth cap, no clock
// since the start of the game.
void newGame();

// The engine's move: a book move at once (reported before this returns), or a
// search that the command loop watches until its move is due.
void thinkForMove(const MoveSearch& options = {});
bool searchingForMove();
// The search has ended by itself and its move is not held back.
bool moveDue();
// When the allotment (or the extra time after a fail low) is over; none
// while the search has no time limit.
std::optional<std::chrono::steady_clock::time_point> deadline();
// The deadline is over: the search starts no further iteration and gets its
// extra time when failing low, or ends with its move.
void deadlinePassed();
// Ends the search with the best move it has and reports it.
void moveNow();
// The interface has moved on: the search ends and its move is given up.
void abandonMove();

// A search on the opponent's time, after the engine's move: the reply the
// principal variation expects is made on the board and searched. Not when it
// is not legal, nor when the book or the end of the game would answer it.
void startPondering();
// The move expected while pondering; 0 while not.
Move expectedMove();
// The opponent played the expected move (or the interface says so): the
// search goes on for the engine's move, its allotment counted from now.
void ponderHit();
// Ends pondering: the search stops and the expected move is taken back.
void stopPondering();

// Analysis: a search of the game position without end, never moving, of
// the root moves `rootMoves` allows (none listed: all). A position without a
// legal move is not searched.
void startAnalysis(const SearchRequest& rootMoves = {});
bool analysisRunning();
void stopAnalysis();
// Ends pondering or an analysis search, whichever runs.
void stopBackgroundSearch();

// A table that fits `mib` MiB (stops every search); false, the table kept,
// when the memory cannot be had. The book is stored again either way.
bool resizeTable(std::uint64_t mib);
// Empties the table and stores the book again.
void clearTable();

}  // namespace session
