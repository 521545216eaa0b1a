// korvane-bench-search: the search for moved media on a generated tree of
// 200,000 files in 10,000 folders. Indexes the tree (FileIndex::build)
// against `find DIR -type f | wc -l` on the same tree, round by round, then
// matches 10,000 missing paths against the index and derives the mappings.
//
// The tree is laid out like media copied off cameras: 16 top folders, 24
// events in each, 25 camera, card and day folders in each event, 20 files
// in every folder. File numbers restart from folder to folder, so the same
// name is found in many folders. One name in twenty is not ASCII, some of
// them decomposed (NFD) on disk.

#include "bench/bench_support.h"
#include "search/file_index.h"
#include "search/mapping_suggestion.h"
#include "search/missing_match.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

using namespace korvane::bench;
using korvane::FileIndex;
using korvane::MissingFile;

constexpr const char* kUsage =
    "Usage: korvane-bench-search [options]\n"
    "Generates a tree of media files in a temporary folder, then times indexing it\n"
    "against `find DIR -type f | wc -l`, and matching missing paths against the index.\n"
    "\n"
    "  --rounds N     timed rounds after one warm-up round (default 5)\n"
    "  --scale X      size of the tree; 1 gives 10,000 folders and 200,000 files\n"
    "  --missing N    missing paths to match (default 10000)\n"
    "  --keep         keep the temporary folder and say where it is\n";

struct Options {
    int rounds = 5;
    double scale = 1.0;
    std::size_t missing = 10000;
    bool keep = false;
};

constexpr std::size_t kTops = 16;
constexpr std::size_t kEventsPerTop = 24;
constexpr std::size_t kFilesPerFolder = 20;

constexpr std::array<const char*, 16> kEvents = {
    "Smith Wedding",    "Summer Holiday Lisbon", "School Concert",     "Company Picnic",
    "Grandpa 80th",     "City Marathon",         "Christmas at Home",  "Baptism Anna",
    "Garden Party",     "Road Trip Norway",      "Football Final",     "Graduation Day",
    "Product Launch",   "Interview Series",      "Wildlife Documentary", "Band Rehearsals"};
constexpr std::array<const char*, 8> kShootFolders = {"Camera A", "Camera B", "Drone",  "Card",
                                                      "Day",      "Audio",    "Photos", "Selects"};
// {pattern, extension}: the number goes into the pattern.
constexpr std::array<std::array<const char*, 2>, 8> kFileNames = {{
    {"MVI_%04u", ".avi"},
    {"GOPR%04u", ".MP4"},
    {"Clip %u", ".mov"},
    {"DSC%05u", ".JPG"},
    {"Interview %u", ".wav"},
    {"Scene %u - Take 2", ".avi"},
    {"DJI_%04u", ".MOV"},
    {"Speech of the best man, part %u (camera left)", ".avi"},
}};
// Not ASCII: precomposed, decomposed on disk (e + U+0301, U + U+0308), Japanese.
constexpr std::array<const char*, 3> kOtherScriptNames = {"Caf\xC3\xA9 %u", "\xC3\x9C" "bergang %u",
                                                          "\xE3\x82\xAF\xE3\x83\xAA\xE3\x83\x83\xE3\x83\x97%u"};
constexpr std::array<const char*, 3> kOtherScriptOnDisk = {"Cafe\xCC\x81 %u", "U\xCC\x88" "bergang %u",
                                                           "\xE3\x82\xAF\xE3\x83\xAA\xE3\x83\x83\xE3\x83\x97%u"};

std::string format(const char* pattern, unsigned n)
{
    char text[160];
    std::snprintf(text, sizeof text, pattern, n);
    return text;
}

// A file of the tree: where it is (below the tree's root, with `/`) and the
// name the project stored for it (precomposed where the disk has it decomposed).
struct TreeFile {
    std::string folder;
    std::string name;
    std::string storedName;
};

struct Tree {
    std::size_t folders = 0;
    std::vector<TreeFile> files;
};

Tree makeTree(const std::string& root, double scale)
{
    const auto leaves = static_cast<std::size_t>(std::max(1.0, std::round(25 * scale)));
    Random random(7);
    Tree tree;
    const auto addFiles = [&](const std::string& folder) {
        std::filesystem::create_directory(root + "/" + folder);
        ++tree.folders;
        // Camera numbering starts anywhere and counts up.
        auto number = static_cast<unsigned>(1 + random.below(9000));
        for (std::size_t k = 0; k < kFilesPerFolder; ++k, ++number) {
            TreeFile file{folder, {}, {}};
            if (random.below(20) == 0) {
                const std::size_t script = random.below(kOtherScriptNames.size());
                file.name = format(kOtherScriptOnDisk[script], number) + ".avi";
                file.storedName = format(kOtherScriptNames[script], number) + ".avi";
            } else {
                const auto& pattern = kFileNames[random.below(kFileNames.size())];
                file.name = format(pattern[0], number) + pattern[1];
                file.storedName = file.name;
            }
            const std::string path = root + "/" + folder + "/" + file.name;
            const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            if (fd < 0 && errno != EEXIST)
                throw std::runtime_error("cannot create " + path);
            if (fd >= 0) {
                ::close(fd);
                tree.files.push_back(std::move(file));
            }
        }
    };
    for (std::size_t t = 0; t < kTops; ++t) {
        const std::string top = "Footage " + std::to_string(2009 + t);
        addFiles(top);
        for (std::size_t e = 0; e < kEventsPerTop; ++e) {
            const std::string event = top + "/" + kEvents[e % kEvents.size()] + " " + std::to_string(e / 16 + 1);
            addFiles(event);
            for (std::size_t l = 0; l < leaves; ++l)
                addFiles(event + "/" + kShootFolders[l % kShootFolders.size()] + " " +
                         format("%02u", static_cast<unsigned>(l / kShootFolders.size() + 1)));
        }
    }
    return tree;
}

std::string toWindows(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string upper(std::string text)
{
    for (char& c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

// Missing paths as a project on another machine stored them: below
// D:\Video (the tree's root there), mostly files the tree holds in another
// case, some with another extension (transcoded since), some nowhere.
std::vector<MissingFile> makeMissing(const Tree& tree, std::size_t count)
{
    Random random(11);
    std::vector<MissingFile> missing;
    for (std::size_t k = 0; k < count; ++k) {
        const TreeFile& file = tree.files[random.below(tree.files.size())];
        std::string name = file.storedName;
        const std::size_t roll = random.below(100);
        if (roll < 30) {
            name = upper(name);
        } else if (roll < 45) {
            name = name.substr(0, name.rfind('.')) + ".mpg";
        } else if (roll < 60) {
            name = "Lost " + std::to_string(k) + ".avi";
        }
        const std::string stored = "D:\\Video\\" + toWindows(file.folder) + "\\" + name;
        missing.push_back({stored, stored});
    }
    return missing;
}

Options parse(int argc, char** argv)
{
    Options options;
    const auto positive = [](const char* option, const char* text) {
        const double v = parseNumber(std::string("--") + option, text);
        if (!(v > 0))
            throw std::invalid_argument(std::string("--") + option + " takes a number above 0");
        return v;
    };
    const std::vector<std::string> rest = readCommandLine(
        argc, argv,
        {
            {"rounds", true, [&](const char* v) { options.rounds = static_cast<int>(positive("rounds", v)); }},
            {"scale", true, [&](const char* v) { options.scale = positive("scale", v); }},
            {"missing", true,
             [&](const char* v) { options.missing = static_cast<std::size_t>(positive("missing", v)); }},
            {"keep", false, [&](const char*) { options.keep = true; }},
        },
        kUsage);
    if (!rest.empty())
        throw std::invalid_argument("unknown argument '" + rest.front() + "'\n" + kUsage);
    return options;
}

int run(const Options& options)
{
    const TempFolder folder("korvane-search", options.keep);
    const std::string root = folder.path() + "/tree";
    std::filesystem::create_directory(root);

    const Clock::time_point generating = Clock::now();
    const Tree tree = makeTree(root, options.scale);
    const std::vector<MissingFile> missing = makeMissing(tree, options.missing);
    std::printf("tree: %zu folders, %zu files under %s (%.1f s to create)\n", tree.folders, tree.files.size(),
                root.c_str(), millisecondsSince(generating) / 1e3);

    // `find` counts the files on its stdout; the count must be the index's.
    const std::string findOutput = folder.path() + "/find-count.txt";
    const std::string findCommand = "find '" + root + "' -type f | wc -l";
    std::size_t indexed = 0;
    Series find{"find DIR -type f | wc -l", {}};
    Series index{"FileIndex::build(DIR), in process", {}};
    const std::vector<std::function<void()>> steps = {
        [&] {
            const ProcessRun r = runProcess({"sh", "-c", findCommand}, findOutput);
            if (r.exitStatus != 0)
                throw std::runtime_error("find exited with " + std::to_string(r.exitStatus));
            find.runs.push_back(r.time);
        },
        [&] {
            index.runs.push_back(timeHere([&] { indexed = FileIndex::build({root}).fileCount(); }));
            if (indexed != tree.files.size())
                throw std::runtime_error("the index holds " + std::to_string(indexed) + " files, not " +
                                         std::to_string(tree.files.size()));
        },
    };
    runRounds(options.rounds, steps, [&] {
        find.runs.clear();
        index.runs.clear();
    });
    std::size_t counted = 0;
    std::ifstream(findOutput) >> counted;
    if (counted != tree.files.size())
        throw std::runtime_error("find counted " + std::to_string(counted) + " files, not " +
                                 std::to_string(tree.files.size()));

    // Matching takes what the walk built; time it a few times on one index.
    const FileIndex built = FileIndex::build({root});
    Series match{"matchMissing, " + std::to_string(missing.size()) + " missing paths", {}};
    Series suggest{"decideMissing and suggestMappings over those matches", {}};
    std::size_t distinct = 0, found = 0, explained = 0;
    std::string best;
    for (int round = 0; round <= options.rounds; ++round) {
        std::vector<korvane::MissingMatch> matches;
        const Timing m = timeHere([&] { matches = korvane::matchMissing(built, missing); });
        std::vector<korvane::MappingSuggestion> mappings;
        const Timing s = timeHere([&] {
            mappings = korvane::suggestMappings(built, matches, korvane::decideMissing(built, matches));
        });
        if (round == 0)
            continue;
        match.runs.push_back(m);
        distinct = matches.size();
        suggest.runs.push_back(s);
        found = static_cast<std::size_t>(
            std::count_if(matches.begin(), matches.end(), [](const korvane::MissingMatch& x) { return x.found(); }));
        explained = mappings.empty() ? 0 : mappings.front().explains.size();
        best = mappings.empty() ? "none" : korvane::mapArgument(mappings.front());
    }
    if (found == 0 || explained == 0)
        throw std::runtime_error("the search found none of the missing files");

    std::printf("\n%d rounds after one warm-up round:\n", options.rounds);
    printSeries({&find, &index, &match, &suggest});
    std::printf("  (%zu distinct missing paths, %zu of them found; best mapping %s explains %zu)\n",
                distinct, found, best.c_str(), explained);
    // Each round's ratio against find in that same round: median (lowest to highest).
    std::printf("\n  ratio index / find:  wall %s, CPU %s  (goal: at most 1.5)\n",
                spread(ratios(index, {&find}, false)).c_str(), spread(ratios(index, {&find}, true)).c_str());
    std::printf("  matching %zu missing paths: %s ms wall, suggesting mappings: %s ms wall\n", missing.size(),
                spread(match.walls(), "%.1f").c_str(), spread(suggest.walls(), "%.1f").c_str());
    if (options.keep)
        std::printf("kept %s\n", folder.path().c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    return korvane::bench::guardedMain("korvane-bench-search", [&] { return run(parse(argc, argv)); });
}
