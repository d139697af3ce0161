// Placeholder until the perft tool lands.
#include <cstdio>
#include "tools/tools.h"
int perftCommand(int, char**) { std::fprintf(stderr, "perft: not built yet\n"); return 1; }
