// The six move generators and the check analysis, over a position.
#pragma once

#include "board/position.h"
#include "board/types.h"

// A generator writes scored pseudo-legal moves from `list` on and returns one
// past the last, or null when the side to move can capture the opponent's king
// (or attack the path of its castling): the previous move was illegal. It
// completes a castling of the previous ply in the position whose path proved
// safe. Only the evasion generators read (and narrow) the check info.
using MoveGenerator = ScoredMove* (*)(Position& p, ScoredMove* list, CheckInfo* info);

enum GeneratorKind { AllMoves = 0, Captures = 1, Evasions = 2 };

// Indexed by 2 * kind + side.
extern const MoveGenerator moveGenerators[6];

inline ScoredMove* generateMoves(GeneratorKind kind, Position& p, ScoredMove* list, CheckInfo* info = nullptr) {
    return moveGenerators[2 * kind + p.sideToMove](p, list, info);
}

// Fills `info` for the side to move, right after `move` was made: the check by
// the piece that moved and any check it uncovered, double checks included.
// The side to move's king must stand on a real square (castling completed).
void analyseCheck(const Position& p, CheckInfo& info, Move move);

// The same record from a look at every enemy piece, for a position without a
// previous move (right after a setup).
void analyseCheckFromScratch(const Position& p, CheckInfo& info);

// Whether the side to move can capture the opponent's king, or attacks the path
// of the opponent's castling: exactly when every generator would return null.
bool kingCapturable(const Position& p);

// What a generator does last, alone: a castling of the opponent on the
// previous ply, whose path has proved safe, is completed (its king moves to
// its real square). Only after kingCapturable() said no.
void completeCastling(Position& p);

// Whether any piece of `bySide` attacks square `s`.
bool squareAttacked(const Position& p, int s, int bySide);

// Whether the side to move's king is attacked.
bool sideToMoveInCheck(const Position& p);
