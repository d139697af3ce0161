// Helpers of the protocol tests: the game played in this process to compute
// what the engine must log and may answer.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "board/movetext.h"
#include "board/position.h"
#include "board/tables.h"
#include "movegen/movegen.h"
#include "protocol/game.h"
#include "protocol/setup.h"
#include "search/search.h"
#include "support/engine_process.h"

// The key line of the game log: high and low halves in lower-case hex.
inline std::string keyLine(std::uint64_t key) {
    char text[32];
    std::snprintf(text, sizeof text, "%x %x", static_cast<unsigned>(key >> 32), static_cast<unsigned>(key));
    return text;
}

// Sets up `fen` in this process (no book) and plays `moves`; returns the key
// line of each move.
inline std::vector<std::string> playInProcess(const char* fen, const std::vector<std::string>& moves) {
    initTables();
    initSearchState();
    std::vector<std::string> keys;
    EXPECT_TRUE(setupPosition(fen, false)) << fen;
    for (const std::string& text : moves) {
        const Move m = textToMove(text.c_str());
        EXPECT_TRUE(isLegalMove(m)) << text;
        playMove(m);
        keys.push_back(keyLine(position.hashKey));
    }
    return keys;
}

// The texts of the legal moves of the position set up in this process.
inline std::set<std::string> legalMoveTexts() {
    std::set<std::string> texts;
    ScoredMove list[MoveListSize];
    ScoredMove* end = generateMoves(AllMoves, list);
    if (!end) return texts;
    for (const ScoredMove* m = list; m < end; ++m) {
        if (!isLegalMove(m->move)) continue;
        char text[8];
        moveToText(text, m->move);
        texts.insert(text);
    }
    return texts;
}

inline const std::string BookError = "tellusererror BOOK ERROR!";

// Sends `ping N` and returns the lines the engine writes before its `pong N`
// (failing the test when the pong does not come).
inline std::vector<std::string> linesBeforePong(testsupport::EngineProcess& engine, int n,
                                                std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) {
    const std::string pong = "pong " + std::to_string(n);
    engine.send("ping " + std::to_string(n));
    std::vector<std::string> lines = engine.readUntil([&](const std::string& l) { return l == pong; }, timeout);
    EXPECT_TRUE(!lines.empty() && lines.back() == pong) << "no " << pong;
    if (!lines.empty() && lines.back() == pong) lines.pop_back();
    return lines;
}

inline bool isMoveLine(const std::string& line) { return line.rfind("move ", 0) == 0; }
