// Drozak in a web worker: drozak-uci's engine, compiled to WebAssembly, fed by
// the worker's messages instead of standard input (worker-pre.js turns each
// message into a line of input and each line of output into a message).
#include <emscripten/emscripten.h>

#include "board/gamelog.h"
#include "book/bookfile.h"
#include "session/input.h"
#include "uci/uci.h"

// One line of input, from the worker's message handler on the runtime's own
// thread; the command loop takes it on main's thread.
extern "C" EMSCRIPTEN_KEEPALIVE void drozak_input(const char* line) { commandInput().pushLine(line); }

int main() {
    // No log: a browser's file system is the tab's memory, and nobody could
    // read the file there.
    gamelog::logTo("");
    // The build preloads the book into the worker's file system.
    chooseBookFile("/Drozak.book");
    commandInput().startExternal();
    runUci();
    return 0;
}
