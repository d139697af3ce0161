// Drozak: a chess engine for xboard-protocol interfaces and, started with
// --uci (or as drozak-uci), for UCI interfaces.
#include <csignal>
#include <variant>

#include "cli/options.h"
#include "uci/uci.h"
#include "xboard/xboard.h"

int main(int argc, char** argv) {
    cli::Options defaults;
#ifdef DROZAK_UCI_PROGRAM
    defaults.uci = true;
#endif
    // The book and the log (Drozak.log emptied at every start, logged to or
    // not), or the usage, the version, a bad option.
    const std::variant<cli::Options, int> start = cli::startUp(argc, argv, defaults);
    if (const int* status = std::get_if<int>(&start)) return *status;
    // xboard sends SIGINT with every move it makes; the default action would
    // end the engine at its first move.
    std::signal(SIGINT, SIG_IGN);
    if (std::get<cli::Options>(start).uci) runUci();
    else runXboard();
    return 0;
}
