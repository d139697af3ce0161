#include "book/bookfile.h"

std::string findBookFile() { return BookFileName; }
