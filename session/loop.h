// The command loop, one per process, for either protocol: it reads the
// interface's lines and hands them to the front end. While a search for the
// engine's move runs, the loop waits on one event for a line, the engine
// parking, or the search's deadline, and asks the front end what each line
// means then: it waits for the move, acts at once, or makes the engine give
// the move up (and then acts).
#pragma once

#include <string>

enum class DuringSearch { Hold, Now, Abandon };

class FrontEnd {
public:
    virtual ~FrontEnd() = default;
    // Acts on one line (logged already).
    virtual void handle(const std::string& line) = 0;
    // Refuses a line longer than the input takes, of which `start` is the
    // beginning (logged already).
    virtual void refuseLongLine(const std::string& start) = 0;
    // What a line does while a search for the engine's move runs.
    virtual DuringSearch duringSearch(const std::string& line) = 0;
    // The front end has read its last command.
    virtual bool quitting() const = 0;
};

// Logs a line read from the interface, as every line read is logged: a front
// end that takes its first line itself logs it with this.
void logCommandLine(const std::string& text);

// Reads the command input (started by the front end, which may have taken its
// first line) until the front end quits or the input ends; then ends it. The end
// of the input while a search for a move runs acts as "move now": the move is
// written, the lines before the end are handled, and then the loop ends.
void runCommandLoop(FrontEnd& frontEnd);
