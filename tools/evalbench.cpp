// Placeholder until the evalbench tool lands.
#include <cstdio>
#include "tools/tools.h"
int evalbenchCommand(int, char**) { std::fprintf(stderr, "evalbench: not built yet\n"); return 1; }
