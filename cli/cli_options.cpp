#include "cli/cli_options.h"

#include "cli/messages.h"

#include <getopt.h>
#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <iterator>
#include <string_view>

namespace korvane {

const char* const kUsage = N_(
    "Usage: korvane-scan [--trace] FILE...\n"
    "       korvane-scan [--map ROOT=FOLDER]... [--codepage NAME] [--utf8] [--explain]\n"
    "                    [--search DIR]... [--candidates N] [--one-file-system]\n"
    "                    [--jobs N] [--json] FILE...\n"
    "       korvane-scan --search DIR... --restore [--apply [--copy]]\n"
    "                    [--restore-root DIR]... [options] FILE\n"
    "       korvane-scan --undo JOURNAL\n"
    "       korvane-scan --catalogue DIR...\n"
    "       korvane-scan --forget DISK...\n"
    "Lists the media files that the RexEdit project FILE (*.dvc) refers to and\n"
    "that are not found, under the headings of their sections. A FILE that is a\n"
    "folder stands for every *.dvc file below it.\n"
    "\n"
    "  --trace              print every call of the scan on its feedback instead of\n"
    "                       the report\n"
    "  --map ROOT=FOLDER    look for the files of the drive (D:), share\n"
    "                       (\\\\server\\share) or folder on one (D:\\Video) ROOT below\n"
    "                       FOLDER; repeatable, the last one for a root wins\n"
    "  --codepage NAME      the code page of the names in the project: auto (the\n"
    "                       default: CP932 or WINDOWS-1252, decided for the project\n"
    "                       from its names) or a name iconv knows, such as CP932\n"
    "  --utf8               write the report's paths decoded to UTF-8 instead of as\n"
    "                       stored\n"
    "  --explain            after the report, say for each missing path where it\n"
    "                       was looked for and why it was not found\n"
    "  --search DIR         after the report, look for the missing files in DIR and\n"
    "                       the folders below it (repeatable), and suggest mappings\n"
    "  --prefer DIR         with --search, where different files of a missing file\n"
    "                       are found and nothing tells them apart, take the one\n"
    "                       below DIR (repeatable, the first that holds one wins)\n"
    "  --candidates N       show at most N places (1 or more; default 5) where each\n"
    "                       missing file was found, best first, and count the rest\n"
    "  --one-file-system    search only the file systems the DIRs are on: do not\n"
    "                       enter disks mounted below them\n"
    "  --jobs N             on a disk that proves slow (a network share), look\n"
    "                       for up to N files at once and read up to N folders\n"
    "                       of --search at once (1 to 256, default 32); the\n"
    "                       output is the same whatever N\n"
    "  --json               write one JSON document instead: the project, the\n"
    "                       missing paths and what --search found\n"
    "  --restore            after --search, plan putting each missing file found\n"
    "                       back in the place its path names through the\n"
    "                       mappings, or say why it is left; changes nothing.\n"
    "                       A file goes back only below the folder of its\n"
    "                       mapping (never made), through real folders, with no\n"
    "                       hidden name. One project FILE only\n"
    "  --restore-root DIR   with --restore, let names that are not Windows paths\n"
    "                       go back below DIR (repeatable); without it, only\n"
    "                       relative names go back, below the project's folder\n"
    "  --apply              with --restore, do it: make the missing folders, then\n"
    "                       hard-link each file (copy it across file systems),\n"
    "                       never replacing anything; record what was made in a\n"
    "                       journal under $XDG_STATE_HOME/korvane\n"
    "                       (~/.local/state/korvane), then scan the project again\n"
    "                       and exit with that scan's status\n"
    "  --copy               with --apply, copy every file rather than link it\n"
    "  --no-catalogue       with --search, do not consult the catalogue of disks\n"
    "                       (by default it names the disks not connected that\n"
    "                       hold missing files)\n"
    "  --remember           remember in the catalogue of disks the size, mtime,\n"
    "                       fingerprint and place of every file the project\n"
    "                       refers to that was found: --search then knows it\n"
    "                       again under any name\n"
    "  --changed            after the report, list the files found whose size or\n"
    "                       content is not what was remembered of them\n"
    "  --undo JOURNAL       remove what the --apply run of JOURNAL made, newest\n"
    "                       first, only where it proves that run made it and\n"
    "                       nobody changed it since; anything else is left and\n"
    "                       named. Exits 0, or 1 when something was left\n"
    "  --catalogue          record or refresh the disk of each folder DIR in the\n"
    "                       catalogue $XDG_DATA_HOME/korvane/catalogue.sqlite\n"
    "                       (~/.local/share/korvane): the volume, and the size,\n"
    "                       mtime and fingerprint of every file below DIR; files\n"
    "                       unchanged since are not read again. Exits 0, or 1 when\n"
    "                       something could not be read\n"
    "  --forget DISK        remove the disk DISK (its label, UUID or share, or a\n"
    "                       folder on it) and its files from the catalogue\n"
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
    "Several projects: each one's output as if checked alone, after a line\n"
    "\"==> FILE <==\", in the order given (a folder's sorted), then a summary:\n"
    "a line \"STATUS MISSING  FILE\" for each (ok, missing, damaged,\n"
    "cannot-open) and the totals. With --json, one document a line.\n"
    "\n"
    "Exit status: 0 nothing missing, 1 something missing, 2 the file could not be\n"
    "opened or wrong usage, 3 the project file is damaged, 4 the report could not\n"
    "be written. Of several projects, the highest of their statuses (0 to 3); 2\n"
    "also when a folder could not be read or held no project.\n");

namespace {

const char* const kVersionNotice =
    "Copyright (C) 2026 The korvane developers.\n"
    "License MIT: <https://opensource.org/licenses/MIT>.\n"
    "This is free software: you are free to change and redistribute it.\n"
    "There is NO WARRANTY, to the extent permitted by law.\n";

enum OptionCode : int {
    kFile = 1, // a name that is not an option, in its place among the options
    kTrace = 256,
    kUtf8,
    kExplain,
    kJson,
    kHelp,
    kVersion,
    kMap,
    kCodePage,
    kSearch,
    kCandidates,
    kOneFileSystem,
    kJobs,
    kRestore,
    kApply,
    kCopy,
    kUndo,
    kCatalogue,
    kForget,
    kNoCatalogue,
    kRestoreRoot,
    kPrefer,
    kRemember,
    kChanged,
};

const option kLongOptions[] = {
    {"trace", no_argument, nullptr, kTrace},
    {"utf8", no_argument, nullptr, kUtf8},
    {"explain", no_argument, nullptr, kExplain},
    {"json", no_argument, nullptr, kJson},
    {"help", no_argument, nullptr, kHelp},
    {"version", no_argument, nullptr, kVersion},
    {"map", required_argument, nullptr, kMap},
    {"codepage", required_argument, nullptr, kCodePage},
    {"search", required_argument, nullptr, kSearch},
    {"candidates", required_argument, nullptr, kCandidates},
    {"one-file-system", no_argument, nullptr, kOneFileSystem},
    {"jobs", required_argument, nullptr, kJobs},
    {"restore", no_argument, nullptr, kRestore},
    {"apply", no_argument, nullptr, kApply},
    {"copy", no_argument, nullptr, kCopy},
    {"undo", required_argument, nullptr, kUndo},
    {"catalogue", no_argument, nullptr, kCatalogue},
    {"forget", required_argument, nullptr, kForget},
    {"no-catalogue", no_argument, nullptr, kNoCatalogue},
    {"restore-root", required_argument, nullptr, kRestoreRoot},
    {"prefer", required_argument, nullptr, kPrefer},
    {"remember", no_argument, nullptr, kRemember},
    {"changed", no_argument, nullptr, kChanged},
    {nullptr, 0, nullptr, 0},
};

// Whether `arg` names a long option in full: "--map" or "--map=VALUE", not
// an abbreviation such as "--ma".
bool spelledOut(std::string_view arg, const option& o)
{
    if (!arg.starts_with("--"))
        return false;
    arg.remove_prefix(2);
    const std::string_view name = o.name;
    return arg.starts_with(name) && (arg.size() == name.size() || arg[name.size()] == '=');
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
        return _("--trace replaces the report: it cannot be combined with --utf8, --explain, --search or --json");
    if (o.json && o.utf8)
        return _("--json writes every path both as stored and decoded: --utf8 is not needed");
    if (o.json && o.explain)
        return _("--explain cannot be combined with --json");
    if (o.candidatesGiven && o.searchFolders.empty())
        return _("--candidates needs --search");
    if (!o.prefer.empty() && o.searchFolders.empty())
        return _("--prefer chooses among what --search finds: give the folders to search");
    if (o.oneFileSystem && o.searchFolders.empty())
        return _("--one-file-system limits --search: give the folders to search");
    if (o.undo && (!o.files.empty() || o.restore || o.apply || o.copy || !o.searchFolders.empty() || o.json ||
                   !o.restoreRoots.empty() || !o.prefer.empty() ||
                   o.trace || o.explain || o.utf8 || !o.maps.empty() || o.codePage || o.remember || o.changed))
        return _("--undo JOURNAL is given alone");
    const bool scanning = o.trace || o.utf8 || o.explain || o.json || !o.searchFolders.empty() || o.restore ||
                          o.apply || o.copy || o.undo || !o.maps.empty() || o.codePage || o.candidatesGiven ||
                          o.oneFileSystem || !o.restoreRoots.empty() || !o.prefer.empty() || o.noCatalogue ||
                          o.remember || o.changed;
    if (o.catalogue && (scanning || !o.forget.empty()))
        return _("--catalogue DIR... is given alone");
    if (o.catalogue && o.files.empty())
        return _("--catalogue needs the folders to catalogue");
    if (!o.forget.empty() && (scanning || !o.files.empty()))
        return _("--forget DISK is given alone");
    if (o.noCatalogue && o.searchFolders.empty())
        return _("--no-catalogue limits --search: give the folders to search");
    if ((o.remember || o.changed) && o.noCatalogue)
        return _("--remember and --changed use the catalogue: they cannot be combined with --no-catalogue");
    if (o.restore && o.searchFolders.empty())
        return _("--restore puts back what --search finds: give the folders to search");
    if (o.apply && !o.restore)
        return _("--apply carries out the plan of --restore: give --restore");
    if (o.copy && !o.apply)
        return _("--copy says how --apply puts files back: give --apply");
    if (!o.restoreRoots.empty() && !o.restore)
        return _("--restore-root says where --restore may put files back: give --restore");
    if (o.restore && (o.files.size() != 1 || isFolder(o.files.front())))
        return _("--restore acts on one project: give one project file");
    return nullptr;
}

// Reads the command line into `options`; false, with `exitStatus` set, when
// the program is to end at once. Every option is taken in its place: a
// wrong one ends the reading where it stands, whatever follows it.
class CommandLineReader {
public:
    CommandLineReader(int argc, char** argv, CliOptions& options, int& exitStatus)
        : argc_(argc), argv_(argv), options_(options), exitStatus_(exitStatus)
    {
    }

    bool read()
    {
        opterr = 0; // the messages are ours
        optind = 0; // from the start, also when read before
        for (;;) {
            const int at = optind == 0 ? 1 : optind;
            int index = -1;
            // "-": names that are not options come back in their place, as kFile.
            // ":": a missing value comes back as ':', not '?'.
            const int code = ::getopt_long(argc_, argv_, "-:", kLongOptions, &index);
            if (code == -1)
                break;
            const std::string_view arg = at < argc_ ? argv_[at] : "";
            if (code == kFile) {
                if (!file(optarg))
                    return false;
            } else if (code == ':') {
                const bool known = std::any_of(std::begin(kLongOptions), std::end(kLongOptions) - 1,
                                               [&](const option& o) { return arg == std::string("--") + o.name; });
                return known ? usageError(formatted(_("%s needs a value"), std::string(arg).c_str()), true)
                             : usageError(formatted(_("unknown option '%s'"), std::string(arg).c_str()), true);
            } else if (code == '?' || index < 0 || !spelledOut(arg, kLongOptions[index])) {
                return usageError(formatted(_("unknown option '%s'"), std::string(arg).c_str()), true);
            } else if (!take(code, optarg)) {
                return false;
            }
        }
        // After "--" every name is a file.
        for (int k = optind; k < argc_; ++k) {
            if (!file(argv_[k]))
                return false;
        }
        if (options_.files.empty() && !options_.undo && !options_.catalogue && options_.forget.empty()) {
            std::fputs(_(kUsage), stderr);
            exitStatus_ = kCannotOpenOrUsage;
            return false;
        }
        if (const char* why = conflict(options_))
            return usageError(why, false);
        return true;
    }

private:
    bool usageError(const std::string& message, bool withUsage)
    {
        std::fprintf(stderr, "korvane-scan: %s\n%s", message.c_str(),
                     withUsage ? _(kUsage) : _("Try 'korvane-scan --help' for more information.\n"));
        exitStatus_ = kCannotOpenOrUsage;
        return false;
    }

    bool file(const char* name)
    {
        options_.files.emplace_back(name);
        return true;
    }

    // The option's own setting, for the options that only switch one on.
    bool* flag(int code)
    {
        switch (code) {
        case kTrace:
            return &options_.trace;
        case kUtf8:
            return &options_.utf8;
        case kExplain:
            return &options_.explain;
        case kJson:
            return &options_.json;
        case kOneFileSystem:
            return &options_.oneFileSystem;
        case kRestore:
            return &options_.restore;
        case kApply:
            return &options_.apply;
        case kCopy:
            return &options_.copy;
        case kCatalogue:
            return &options_.catalogue;
        case kNoCatalogue:
            return &options_.noCatalogue;
        case kRemember:
            return &options_.remember;
        case kChanged:
            return &options_.changed;
        default:
            return nullptr;
        }
    }

    // One option that getopt_long recognised; `value` is its value, if it takes one.
    bool take(int code, const char* value)
    {
        if (bool* on = flag(code)) {
            *on = true;
            return true;
        }
        switch (code) {
        case kHelp:
            std::fputs(_(kUsage), stdout);
            exitStatus_ = kComplete;
            return false;
        case kVersion:
            std::printf("korvane-scan %s\n%s", KORVANE_VERSION, kVersionNotice);
            exitStatus_ = kComplete;
            return false;
        case kMap: {
            std::string error;
            std::optional<DriveMapping> mapping = parseMapArgument(value, &error);
            if (!mapping)
                return usageError("--map '" + std::string(value) + "': " + error, false);
            addMapping(options_.maps, std::move(*mapping));
            return true;
        }
        case kCodePage:
            options_.codePage = value;
            return true;
        case kCandidates:
            return candidates(value);
        case kJobs:
            return jobs(value);
        case kUndo:
            options_.undo = value;
            return true;
        case kForget:
            options_.forget.emplace_back(value);
            return true;
        case kPrefer:
            if (!isFolder(value))
                return usageError(formatted(_("--prefer %s: not a folder"), value), false);
            options_.prefer.emplace_back(value);
            return true;
        case kRestoreRoot:
            if (!isFolder(value))
                return usageError(formatted(_("--restore-root %s: not a folder"), value), false);
            options_.restoreRoots.emplace_back(value);
            return true;
        default: // kSearch
            if (!isFolder(value))
                return usageError(formatted(_("--search %s: not a folder"), value), false);
            options_.searchFolders.emplace_back(value);
            return true;
        }
    }

    // A whole number from 1 up: the list is cut, never dropped; with no
    // upper limit but what the number can hold.
    bool candidates(const char* value)
    {
        const std::string_view text = value;
        std::size_t n = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
        if (text.empty() || error != std::errc() || end != text.data() + text.size() || n == 0)
            return usageError(formatted(_("--candidates %s: not a whole number from 1 up"), std::string(text).c_str()),
                              false);
        options_.candidates = n;
        options_.candidatesGiven = true;
        return true;
    }

    // A whole number from 1 to LookupPool::kMaxJobs.
    bool jobs(const char* value)
    {
        const std::string_view text = value;
        int n = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
        if (text.empty() || error != std::errc() || end != text.data() + text.size() || n < 1 ||
            n > LookupPool::kMaxJobs)
            return usageError(formatted(_("--jobs %s: not a whole number from 1 to %d"), std::string(text).c_str(),
                                        LookupPool::kMaxJobs),
                              false);
        options_.jobs = n;
        return true;
    }

    int argc_;
    char** argv_;
    CliOptions& options_;
    int& exitStatus_;
};

} // namespace

std::optional<CliOptions> parseCommandLine(int argc, char** argv, int& exitStatus)
{
    CliOptions options;
    exitStatus = -1;
    if (!CommandLineReader(argc, argv, options, exitStatus).read())
        return std::nullopt;
    return options;
}

} // namespace korvane
