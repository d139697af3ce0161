// Placeholder until the bench tool lands.
#include <cstdio>
#include "tools/tools.h"
int benchCommand(int, char**) { std::fprintf(stderr, "bench: not built yet\n"); return 1; }
