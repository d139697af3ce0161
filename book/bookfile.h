// Where the engine finds its opening book: the one place that knows.
#pragma once

#include <string>

constexpr const char* BookFileName = "Drozak.book";

// The book the command line names; empty (the default) lets findBookFile look.
void chooseBookFile(std::string path);

// The book installed with this program: ../share/games/drozak/Drozak.book
// from the program's own path, when that file exists; empty otherwise (a
// program run from its build tree).
std::string installedBookFile();

// The book to read: the chosen one; else Drozak.book in the working directory
// when there is one; else the installed book; else Drozak.book in the working
// directory all the same, so that a missing book is reported as ever.
std::string findBookFile();
