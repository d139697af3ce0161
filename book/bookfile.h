// Where the engine finds its opening book: the one place that knows.
#pragma once

#include <string>

constexpr const char* BookFileName = "Drozak.book";

// The book file as the engine finds it: Drozak.book in the working directory.
std::string findBookFile();
