// korvane: the dialog that lists the media files a RexEdit project refers to
// and that are not found.

#include "ui/background_task.h"
#include "ui/scan_app.h"

#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr const char* kUsage =
    "Usage: korvane [FILE]\n"
    "Opens the dialog that lists the media files which the RexEdit project\n"
    "FILE (*.dvc) refers to and which are not found; FILE goes into its path box.\n"
    "\n"
    "  --help     show this help and exit\n"
    "  --version  show the version and exit\n";

constexpr const char* kVersionNotice =
    "Copyright (C) 2026 The korvane developers.\n"
    "License MIT: <https://opensource.org/licenses/MIT>.\n"
    "This is free software: you are free to change and redistribute it.\n"
    "There is NO WARRANTY, to the extent permitted by law.\n";

enum ExitCode : int { kDone = 0, kUsageError = 2 };

} // namespace

int main(int argc, char** argv)
{
    // Answered before the window system is reached, so they work without a display.
    for (int k = 1; k < argc && std::strcmp(argv[k], "--") != 0; ++k) {
        if (std::strcmp(argv[k], "--version") == 0) {
            std::printf("korvane %s\n%s", KORVANE_VERSION, kVersionNotice);
            return kDone;
        }
        if (std::strcmp(argv[k], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return kDone;
        }
    }

    korvane::CScanApp app(argc, argv);
    // Qt has taken its own options out of the arguments.
    QString projectPath;
    bool haveFile = false;
    bool endOfOptions = false;
    const QStringList arguments = app.arguments();
    for (qsizetype k = 1; k < arguments.size(); ++k) {
        const QString& arg = arguments[k];
        if (!endOfOptions && arg == QLatin1String("--")) {
            endOfOptions = true;
        } else if (!endOfOptions && arg.size() > 1 && arg.startsWith(QLatin1Char('-'))) {
            std::fprintf(stderr, "korvane: unknown option '%s'\n%s", qPrintable(arg), kUsage);
            return kUsageError;
        } else if (haveFile) {
            std::fprintf(stderr, "korvane: one project file at a time\n%s", kUsage);
            return kUsageError;
        } else {
            projectPath = arg;
            haveFile = true;
        }
    }

    app.InitInstance(projectPath);
    // Work whose window went away and that could not stop at once only
    // reads (a search, a plan, the check of an undo): the program does not
    // wait for it, nor run the destructors it may still need.
    if (korvane::ui::BackgroundTask::abandonedRunning() > 0) {
        std::fflush(nullptr);
        std::_Exit(kDone);
    }
    return kDone;
}
