// korvane-scan: lists the media files a RexEdit project refers to that are
// not found, exactly as the dialog's report would.

#include "cli/cli_feedback.h"
#include "scanner/scan.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

enum ExitCode : int {
    kComplete = 0,
    kSomethingMissing = 1,
    kCannotOpenOrUsage = 2,
    kDamaged = 3,
    kCannotWrite = 4,
};

constexpr const char* kUsage =
    "Usage: korvane-scan [--trace] FILE\n"
    "Lists the media files that the RexEdit project FILE (*.dvc) refers to and\n"
    "that are not found, under the headings of their sections.\n"
    "\n"
    "  --trace    print every call of the scan on its feedback instead of the report\n"
    "  --help     show this help and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "The report goes to standard output, each line ended by CR LF, the paths as\n"
    "stored in the project. On a terminal, standard error shows the progress.\n"
    "\n"
    "Exit status: 0 nothing missing, 1 something missing, 2 the file could not be\n"
    "opened or wrong usage, 3 the project file is damaged, 4 the report could not\n"
    "be written.\n";

struct Options {
    bool trace = false;
    std::string file;
};

std::optional<Options> parse(int argc, char** argv, int& exitNow)
{
    Options options;
    bool haveFile = false;
    bool endOfOptions = false;
    exitNow = -1;
    for (int k = 1; k < argc; ++k) {
        const std::string_view arg = argv[k];
        if (!endOfOptions && arg == "--") {
            endOfOptions = true;
        } else if (!endOfOptions && arg == "--help") {
            std::fputs(kUsage, stdout);
            exitNow = kComplete;
            return std::nullopt;
        } else if (!endOfOptions && arg == "--version") {
            std::printf("korvane-scan %s\n", KORVANE_VERSION);
            exitNow = kComplete;
            return std::nullopt;
        } else if (!endOfOptions && arg == "--trace") {
            options.trace = true;
        } else if (!endOfOptions && arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "korvane-scan: unknown option '%s'\n%s", argv[k], kUsage);
            exitNow = kCannotOpenOrUsage;
            return std::nullopt;
        } else if (haveFile) {
            std::fprintf(stderr, "korvane-scan: one project file at a time\n%s", kUsage);
            exitNow = kCannotOpenOrUsage;
            return std::nullopt;
        } else {
            options.file = arg;
            haveFile = true;
        }
    }
    if (!haveFile) {
        std::fputs(kUsage, stderr);
        exitNow = kCannotOpenOrUsage;
        return std::nullopt;
    }
    return options;
}

} // namespace

int main(int argc, char** argv)
{
    int exitNow = -1;
    const std::optional<Options> options = parse(argc, argv, exitNow);
    if (!options)
        return exitNow;

    static char outBuffer[1 << 16];
    std::setvbuf(stdout, outBuffer, _IOFBF, sizeof outBuffer);

    std::optional<korvane::TerminalProgress> progress;
    if (::isatty(STDERR_FILENO))
        progress.emplace(stderr);
    const bool sharedTerminal = progress && ::isatty(STDOUT_FILENO);
    korvane::CliFeedback feedback(stdout, options->trace, progress ? &*progress : nullptr, sharedTerminal);

    const korvane::ScanResult result = korvane::runScan(options->file, feedback);
    if (progress)
        progress->finish();
    if (!result) {
        std::fprintf(stderr, "Can not open dvc file\n%s\n", result.openError.c_str());
        return kCannotOpenOrUsage;
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "korvane-scan: cannot write the report: %s\n", std::strerror(errno));
        return kCannotWrite;
    }
    if (result.damaged) {
        std::fprintf(stderr, "korvane-scan: warning: %s\n", korvane::describeDamage(result).c_str());
        return kDamaged;
    }
    return feedback.anyMissing() ? kSomethingMissing : kComplete;
}
