#include "book/bookfile.h"

#include <filesystem>
#include <system_error>
#include <utility>

namespace fs = std::filesystem;

namespace {

std::string chosenBook;

bool isFile(const fs::path& path) {
    std::error_code ignored;
    return fs::is_regular_file(path, ignored);
}

}  // namespace

void chooseBookFile(std::string path) { chosenBook = std::move(path); }

// Looked up from /proc/self/exe, not argv[0], so that it holds whatever
// directory or PATH the program was started from, under any prefix.
std::string installedBookFile() {
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    if (error) return {};
    const fs::path book = (program.parent_path() / "../share/games/drozak" / BookFileName).lexically_normal();
    return isFile(book) ? book.string() : std::string();
}

std::string findBookFile() {
    if (!chosenBook.empty()) return chosenBook;
    if (isFile(BookFileName)) return BookFileName;
    std::string installed = installedBookFile();
    return installed.empty() ? BookFileName : installed;
}
