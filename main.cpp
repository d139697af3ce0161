// Drozak: a chess engine for xboard-protocol interfaces and, started with
// --uci (or as drozak-uci), for UCI interfaces.
#include <csignal>
#include <cstdio>
#include <cstring>

#include "board/gamelog.h"
#include "uci/uci.h"
#include "xboard/xboard.h"

int main(int argc, char** argv) {
    bool uci = false;
#ifdef DROZAK_UCI_PROGRAM
    uci = true;
#endif
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--uci") == 0) {
            uci = true;
        } else {
            std::fprintf(stderr, "drozak: unknown option %s\nusage: drozak [--uci]\n", argv[i]);
            return 2;
        }
    }
    gamelog::stream();  // Drozak.log is emptied at every start, logged to or not
    // xboard sends SIGINT with every move it makes; the default action would
    // end the engine at its first move.
    std::signal(SIGINT, SIG_IGN);
    if (uci) runUci();
    else runXboard();
    return 0;
}
