// drozak-tools: perft, bench, search, makebook, evalbench, annotate and epd for
// the engine.
#include <cstdio>
#include <cstring>
#include <string>

#include "board/gamelog.h"
#include "board/tables.h"
#include "cli/options.h"
#include "tools/tools.h"

namespace {

struct Subcommand {
    const char* name;
    int (*run)(int, char**);
    const char* usage;
};

const Subcommand subcommands[] = {
    {"perft", perftCommand, "perft DEPTH [--chess960] [FEN]"},
    {"bench", benchCommand, "bench [DEPTH] [--threads N]"},
    {"search", searchCommand, "search DEPTH [FEN] [--threads N]"},
    {"makebook", makebookCommand, "makebook IN OUT"},
    {"evalbench", evalbenchCommand, "evalbench [SECONDS]"},
    {"annotate", annotateCommand, "annotate [--movetime MS | --depth D] [--chart DIR] [--jobs N] [--threads N] [--lines N] [FILE]"},
    {"epd", epdCommand, "epd [--movetime MS | --depth D] [--threads N] [--chess960] FILE"},
};

// On standard error for a bad command line, on standard output for --help.
int usage(std::FILE* out, int status) {
    std::fprintf(out, "usage: drozak-tools COMMAND ...\n");
    for (const Subcommand& s : subcommands) std::fprintf(out, "  %s\n", s.usage);
    return status;
}

}  // namespace

std::string fenArgument(int argc, char** argv) {
    std::string fen;
    for (int i = 0; i < argc; ++i) fen += (i > 0 ? " " : "") + std::string(argv[i]);
    return fen.empty() ? StartFen : fen;
}

int main(int argc, char** argv) {
    if (argc < 2) return usage(stderr, 2);
    if (std::strcmp(argv[1], "--help") == 0) return usage(stdout, 0);
    if (std::strcmp(argv[1], "--version") == 0) {
        std::puts("Drozak " DROZAK_VERSION);
        return 0;
    }
    // The developer tools' searches log as the engine does, and where it
    // does; the analysis tools, run on a user's files by several workers at
    // once, log nothing.
    const bool analysis = std::strcmp(argv[1], "annotate") == 0 || std::strcmp(argv[1], "epd") == 0;
    std::string noLog;
    gamelog::logTo(analysis ? std::string() : cli::logFileFor({}, noLog));
    initTables();
    for (const Subcommand& s : subcommands)
        if (std::strcmp(argv[1], s.name) == 0) return s.run(argc - 2, argv + 2);
    return usage(stderr, 2);
}
