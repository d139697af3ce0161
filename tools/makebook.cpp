// Placeholder until the makebook tool lands.
#include <cstdio>
#include "tools/tools.h"
int makebookCommand(int, char**) { std::fprintf(stderr, "makebook: not built yet\n"); return 1; }
