#include "session/loop.h"

#include <chrono>
#include <deque>
#include <limits>

#include "board/gamelog.h"
#include "session/events.h"
#include "session/input.h"
#include "session/session.h"

namespace {

using Clock = std::chrono::steady_clock;

void act(FrontEnd& frontEnd, const InputLine& line) {
    if (!line.tooLong) {
        logCommandLine(line.text);
        frontEnd.handle(line.text);
        return;
    }
    logCommandLine(line.text.substr(0, 80) + "...");
    logLine("-M: line longer than ", InputQueue::LineLimit, " characters, refused");
    frontEnd.refuseLongLine(line.text);
}

// One step of a search for the engine's move: a line arrived, the input
// ended, the search ended by itself, or its deadline passed; otherwise waits
// for the first of them. Lines that wait for the move go to `held`.
void watchSearch(FrontEnd& frontEnd, InputQueue& input, std::deque<InputLine>& held) {
    if (std::optional<InputLine> line = input.tryTake()) {
        const DuringSearch effect = line->tooLong ? DuringSearch::Hold : frontEnd.duringSearch(line->text);
        if (effect == DuringSearch::Now) {
            act(frontEnd, *line);
            return;
        }
        if (effect == DuringSearch::Abandon) session::abandonMove();  // the line acts after the ones before it
        held.push_back(std::move(*line));
        return;
    }
    if (input.exhausted()) return session::moveNow();  // a script that piped its commands still gets the move
    if (session::moveDue()) return session::moveNow();
    const auto deadline = session::deadline();
    const auto now = Clock::now();
    if (deadline && now >= *deadline) return session::deadlinePassed();
    std::uint32_t wait = std::numeric_limits<std::uint32_t>::max();
    if (deadline) wait = static_cast<std::uint32_t>(std::chrono::ceil<std::chrono::milliseconds>(*deadline - now).count());
    commandWake.waitFor(wait);
}

}  // namespace

void logCommandLine(const std::string& text) { logLine("::cmd:: ", text); }

void runCommandLoop(FrontEnd& frontEnd) {
    InputQueue& input = commandInput();
    std::deque<InputLine> held;
    while (!frontEnd.quitting()) {
        if (session::searchingForMove()) {
            watchSearch(frontEnd, input, held);
            continue;
        }
        std::optional<InputLine> line;
        if (!held.empty()) {
            line = std::move(held.front());
            held.pop_front();
        } else {
            line = input.take();
        }
        if (!line) {
            logLine("-M: end of input");  // the interface is gone: end as on quit
            break;
        }
        act(frontEnd, *line);
    }
    input.finish();
}
