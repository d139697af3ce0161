// Analysis mode (`analyze` ... `exit`): the engine searches the game position
// without end and without moving, and shows its thinking whatever `post` says.
#pragma once

// In analysis mode: a change of the position restarts the search.
extern bool analysing;

// Starts the search of the game position (the engine parked in its loop).
// A position without a legal move is not searched: there is nothing to show.
void startAnalysis();
// Whether an analysis search was started and has not been stopped since.
bool analysisRunning();
// Stops the analysis search; the mode stays.
void stopAnalysis();
// The answer to `.`: stat01: TIME NODES DEPTH MOVESLEFT MOVESTOTAL MOVE.
void printAnalysisStatus();
