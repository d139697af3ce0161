// Setting up the game position from FEN text: the board, the snapshot, the
// history, a cleared table with the book, and a fresh search age.
#pragma once

// The standard start position, as `new` and `result` set it up.
inline constexpr const char* StartPositionText = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";

// Replaces the game with the position `text` describes. A rejected text
// returns false and leaves the previous game (position, snapshot, history,
// table) exactly as it was. With `withBook` the book is loaded into the table;
// a book that cannot be loaded (any position but the start) is reported to
// the interface and logged.
bool setupPosition(const char* text, bool withBook);

// Stores the book into the table again (after the table was emptied), as a
// setup of the game's start would: a game still in its book goes on in it.
void storeBookAgain();

// The start position with its book, set up by the engine itself at start-up:
// a book that cannot be loaded is logged, and told to the interface only at
// the first setup it asks for.
void setupStartQuietly();
