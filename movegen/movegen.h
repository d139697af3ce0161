// The six move generators and the check analysis.
#pragma once

#include "board/position.h"
#include "board/types.h"

// A generator writes scored pseudo-legal moves from `list` on and returns one
// past the last, or null when the side to move can capture the opponent's king
// (or attack the path of its castling): the previous move was illegal.
// Only the evasion generators read (and narrow) the check info.
using MoveGenerator = ScoredMove* (*)(ScoredMove* list, CheckInfo* info);

enum GeneratorKind { AllMoves = 0, Captures = 1, Evasions = 2 };

// Indexed by 2 * kind + side.
extern const MoveGenerator moveGenerators[6];

inline ScoredMove* generateMoves(GeneratorKind kind, ScoredMove* list, CheckInfo* info = nullptr) {
    return moveGenerators[2 * kind + position.sideToMove](list, info);
}

// Fills `info` for the side to move, right after `move` was made: the check by
// the piece that moved and any check it uncovered, double checks included.
// The side to move's king must stand on a real square (castling completed).
void analyseCheck(CheckInfo& info, Move move);

// The same record from a look at every enemy piece, for a position without a
// previous move (right after a setup).
void analyseCheckFromScratch(CheckInfo& info);

// Whether the side to move can capture the opponent's king, or attacks the path
// of the opponent's castling: exactly when every generator would return null.
bool kingCapturable();

// What a generator does last, alone: a castling of the opponent on the
// previous ply, whose path has proved safe, is completed (its king moves to
// its real square). Only after kingCapturable() said no.
void completeCastling();

// Whether any piece of `bySide` attacks square `s` in the current position.
bool squareAttacked(int s, int bySide);
