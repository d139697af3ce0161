// Drozak: a chess engine for xboard-protocol interfaces.
#include <csignal>

#include "board/gamelog.h"
#include "protocol/commands.h"

int main() {
    gamelog::stream();  // Drozak.log is emptied at every start, logged to or not
    // xboard sends SIGINT with every move it makes; the default action would
    // end the engine at its first move.
    std::signal(SIGINT, SIG_IGN);
    commandLoop();
    return 0;
}
