// Placeholder until the search tool lands.
#include <cstdio>
#include "tools/tools.h"
int searchCommand(int, char**) { std::fprintf(stderr, "search: not built yet\n"); return 1; }
