// The evaluation of a game over its moves, drawn as an SVG chart.
#pragma once

#include <string>
#include <vector>

struct ChartPoint {
    int ply;        // plies played from the game's start
    double pawns;   // White's view; a mate counts as the chart's edge
};

struct ChartMark {
    int ply;        // after the marked move
    int severity;   // 1 inaccuracy, 2 mistake, 3 blunder
    std::string label;  // "14. Nf3?"
};

struct ChartData {
    std::string white, black, result, annotator;
    int firstMoveNumber = 1;
    bool blackStarts = false;
    int plies = 0;
    std::vector<ChartPoint> points;
    std::vector<ChartMark> marks;
};

// 800 pixels wide: the evaluation clamped to five pawns either way, White's
// advantage filled above the axis and Black's below, the marked moves with
// their labels, move numbers along the axis, the players and the result on top
// (the names as UTF-8 when they are, else as Latin-1, without control characters).
std::string chartSvg(const ChartData& data);

// The chart's file name: "N-White-Black.svg", the names reduced to letters,
// digits, '-' and '_'.
std::string chartFileName(long gameNumber, const std::string& white, const std::string& black);
