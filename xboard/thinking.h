// Thinking output: the lines `depth score time nodes pv` that the interface
// shows while the engine searches (after `post`, and always in analysis), and
// the analysis status line.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "session/session.h"

// `post` / `nopost`: whether searches for a move print their thinking.
extern std::atomic<bool> postThinking;

// A search score as the interface reads it: centipawns, or 100000 + N for a
// mate in N moves and -100000 - N for being mated in N.
int interfaceScore(int score);

// One thinking line, without its newline; of the principal variation only
// its moves.
std::string thinkingLine(int depth, int score, long centiseconds, std::uint64_t nodes, const char* pv);

// The search observer for the search about to start; its clock starts now.
// A search for a move (or on the opponent's time) shows its lines only after
// `post`; analysis shows every iteration and every change of the best move.
const SearchObserver* startThinking(SearchPurpose purpose);
// The search has ended (the engine thread is parked): one line for a new
// best move of an iteration the search did not complete, when there is one.
void finishThinking();
// The answer to `.`: stat01: TIME NODES DEPTH MOVESLEFT MOVESTOTAL MOVE.
void printAnalysisStatus();
