#include "cli/cli_options.h"

#include <cstdio>
#include <string_view>
#include <sys/stat.h>

namespace korvane {

const char* const kUsage =
    "Usage: korvane-scan [--trace] FILE\n"
    "       korvane-scan [--map ROOT=FOLDER]... [--codepage NAME] [--utf8] [--explain]\n"
    "                    [--search DIR]... [--json] FILE\n"
    "Lists the media files that the RexEdit project FILE (*.dvc) refers to and\n"
    "that are not found, under the headings of their sections.\n"
    "\n"
    "  --trace              print every call of the scan on its feedback instead of\n"
    "                       the report\n"
    "  --map ROOT=FOLDER    look for the files of the drive (D:), share\n"
    "                       (\\\\server\\share) or folder on one (D:\\Video) ROOT below\n"
    "                       FOLDER; repeatable, the last one for a root wins\n"
    "  --codepage NAME      the code page of the names in the project: auto (the\n"
    "                       default: CP932 for a name that is valid CP932, else\n"
    "                       WINDOWS-1252) or a name iconv knows, such as CP932\n"
    "  --utf8               write the report's paths decoded to UTF-8 instead of as\n"
    "                       stored\n"
    "  --explain            after the report, say for each missing path where it\n"
    "                       was looked for and why it was not found\n"
    "  --search DIR         after the report, look for the missing files in DIR and\n"
    "                       the folders below it (repeatable), and suggest mappings\n"
    "  --json               write one JSON document instead: the project, the\n"
    "                       missing paths and what --search found\n"
    "  --help               show this help and exit\n"
    "  --version            show the version and exit\n"
    "\n"
    "Windows paths (D:\\..., \\\\server\\share\\...) are looked for below the folder\n"
    "mapped to the longest root they start with (a drive, a share or a folder on\n"
    "one), without regard to case. Mappings come from --map, then the\n"
    "configuration file $XDG_CONFIG_HOME/korvane/korvane.conf\n"
    "(~/.config/korvane/korvane.conf; lines such as \"map D: = /media/video\" and\n"
    "\"codepage = CP932\"), then the Wine prefix ($WINEPREFIX or ~/.wine), then\n"
    "WSL's /mnt/<letter>. Drives and shares without one are named on standard\n"
    "error: their paths are listed as missing without having been looked for.\n"
    "\n"
    "The report goes to standard output, each line ended by CR LF, the paths as\n"
    "stored in the project; --explain and --search add their parts after a blank\n"
    "line. On a terminal, standard error shows the progress.\n"
    "\n"
    "Exit status: 0 nothing missing, 1 something missing, 2 the file could not be\n"
    "opened or wrong usage, 3 the project file is damaged, 4 the report could not\n"
    "be written.\n";

namespace {

// An option that takes a value: "--map SPEC" or "--map=SPEC".
struct ValueOption {
    std::string_view name;
    std::optional<std::string_view> inlineValue;
};

std::optional<ValueOption> valueOption(std::string_view arg)
{
    for (const std::string_view name : {"--map", "--codepage", "--search"}) {
        if (arg == name)
            return ValueOption{name, std::nullopt};
        if (arg.size() > name.size() && arg.starts_with(name) && arg[name.size()] == '=')
            return ValueOption{name, arg.substr(name.size() + 1)};
    }
    return std::nullopt;
}

bool isFolder(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void addMapping(std::vector<DriveMapping>& maps, DriveMapping mapping)
{
    for (DriveMapping& earlier : maps) {
        if (rootKey(earlier.root) == rootKey(mapping.root)) {
            earlier.folder = std::move(mapping.folder);
            return;
        }
    }
    maps.push_back(std::move(mapping));
}

// Options that change nothing together with another are refused, rather
// than silently ignored.
const char* conflict(const CliOptions& o)
{
    if (o.trace && (o.utf8 || o.explain || !o.searchFolders.empty() || o.json))
        return "--trace replaces the report: it cannot be combined with --utf8, --explain, --search or --json";
    if (o.json && o.utf8)
        return "--json writes every path both as stored and decoded: --utf8 is not needed";
    if (o.json && o.explain)
        return "--explain cannot be combined with --json";
    return nullptr;
}

} // namespace

std::optional<CliOptions> parseCommandLine(int argc, char** argv, int& exitStatus)
{
    CliOptions options;
    bool haveFile = false;
    bool endOfOptions = false;
    exitStatus = -1;
    const auto usageError = [&](const std::string& message, bool withUsage) -> std::optional<CliOptions> {
        std::fprintf(stderr, "korvane-scan: %s\n%s", message.c_str(),
                     withUsage ? kUsage : "Try 'korvane-scan --help' for more information.\n");
        exitStatus = kCannotOpenOrUsage;
        return std::nullopt;
    };
    for (int k = 1; k < argc; ++k) {
        const std::string_view arg = argv[k];
        const std::optional<ValueOption> withValue = endOfOptions ? std::nullopt : valueOption(arg);
        if (!endOfOptions && arg == "--") {
            endOfOptions = true;
        } else if (!endOfOptions && arg == "--help") {
            std::fputs(kUsage, stdout);
            exitStatus = kComplete;
            return std::nullopt;
        } else if (!endOfOptions && arg == "--version") {
            std::printf("korvane-scan %s\n", KORVANE_VERSION);
            exitStatus = kComplete;
            return std::nullopt;
        } else if (!endOfOptions && arg == "--trace") {
            options.trace = true;
        } else if (!endOfOptions && arg == "--utf8") {
            options.utf8 = true;
        } else if (!endOfOptions && arg == "--explain") {
            options.explain = true;
        } else if (!endOfOptions && arg == "--json") {
            options.json = true;
        } else if (withValue) {
            std::string value;
            if (withValue->inlineValue) {
                value = *withValue->inlineValue;
            } else if (k + 1 < argc) {
                value = argv[++k];
            } else {
                return usageError(std::string(withValue->name) + " needs a value", true);
            }
            if (withValue->name == "--map") {
                std::string error;
                std::optional<DriveMapping> mapping = parseMapArgument(value, &error);
                if (!mapping)
                    return usageError("--map '" + value + "': " + error, false);
                addMapping(options.maps, std::move(*mapping));
            } else if (withValue->name == "--codepage") {
                options.codePage = value;
            } else {
                if (!isFolder(value))
                    return usageError("--search " + value + ": not a folder", false);
                options.searchFolders.push_back(value);
            }
        } else if (!endOfOptions && arg.size() > 1 && arg[0] == '-') {
            return usageError("unknown option '" + std::string(arg) + "'", true);
        } else if (haveFile) {
            return usageError("one project file at a time", true);
        } else {
            options.file = arg;
            haveFile = true;
        }
    }
    if (!haveFile) {
        std::fputs(kUsage, stderr);
        exitStatus = kCannotOpenOrUsage;
        return std::nullopt;
    }
    if (const char* why = conflict(options))
        return usageError(why, false);
    return options;
}

} // namespace korvane
