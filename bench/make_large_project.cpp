// korvane-make-large-project: writes a large, realistic project for timing
// the scan, and optionally the media it refers to.

#include "bench/bench_support.h"
#include "bench/large_project.h"
#include "tests/builder/project_builder.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

namespace {

constexpr const char* kUsage =
    "Usage: korvane-make-large-project OUT [options]\n"
    "Writes a large version-519 project to OUT: clips on every track, titles with\n"
    "items, filters with data and a full media bin, paths repeated across entries.\n"
    "\n"
    "  --scale X          size factor; 1 gives about 102,000 clip and bin entries\n"
    "                     and about 37 MB (default 1)\n"
    "  --missing SHARE    share of the distinct tested paths whose file is missing\n"
    "                     (0 to 1, default 0.1)\n"
    "  --repeat SHARE     share of clip entries that reuse an earlier path (default 0.3)\n"
    "  --bin-reuse SHARE  share of bin entries that list media on the tracks (default 0.8)\n"
    "  --root DIR         folder every stored path begins with (default media)\n"
    "  --seed N           seed of the generator (default 1)\n"
    "  --create-media     create an empty file for every present path; relative\n"
    "                     paths are taken from the current folder\n"
    "  --paths FILE       write every distinct tested path to FILE, one a line,\n"
    "                     preceded by \"present \" or \"missing \"\n"
    "  --quiet            print nothing but errors\n"
    "\n"
    "The project is scanned once in memory before it is written, to make sure its\n"
    "layout reads to the last byte with exactly the expected existence tests.\n";

struct Options {
    std::string out;
    korvane::bench::LargeProjectOptions project;
    bool createMedia = false;
    std::string pathList;
    bool quiet = false;
};

std::optional<Options> parse(int argc, char** argv)
{
    using korvane::bench::parseNumber;
    Options options;
    korvane::bench::LargeProjectOptions& project = options.project;
    const auto number = [](const char* option, double& into) {
        return korvane::bench::CommandOption{option, true, [option, &into](const char* v) {
                                                 into = parseNumber(std::string("--") + option, v);
                                             }};
    };
    const std::vector<std::string> files = korvane::bench::readCommandLine(
        argc, argv,
        {
            number("scale", project.scale),
            number("missing", project.missingShare),
            number("repeat", project.repeatShare),
            number("bin-reuse", project.binReuseShare),
            {"root", true,
             [&](const char* v) {
                 project.root = v;
                 while (project.root.size() > 1 && project.root.back() == '/')
                     project.root.pop_back();
             }},
            {"seed", true, [&](const char* v) { project.seed = static_cast<std::uint64_t>(parseNumber("--seed", v)); }},
            {"create-media", false, [&](const char*) { options.createMedia = true; }},
            {"paths", true, [&](const char* v) { options.pathList = v; }},
            {"quiet", false, [&](const char*) { options.quiet = true; }},
        },
        kUsage);
    if (files.size() > 1)
        throw std::invalid_argument("one output file only");
    if (files.empty())
        return std::nullopt;
    options.out = files.front();
    return options;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        const std::optional<Options> options = parse(argc, argv);
        if (!options) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        const korvane::bench::LargeProject project = korvane::bench::makeLargeProject(options->project);
        if (const std::string error = korvane::bench::verifyLargeProject(project); !error.empty()) {
            std::fprintf(stderr, "korvane-make-large-project: the generated project does not scan as built: %s\n",
                         error.c_str());
            return 1;
        }
        korvane::testkit::writeFile(options->out, project.bytes);
        if (!options->pathList.empty()) {
            std::ofstream list(options->pathList, std::ios::trunc);
            for (const korvane::bench::MediaPath& media : project.paths)
                list << (media.present ? "present " : "missing ") << media.path << '\n';
            if (!list.flush())
                throw std::runtime_error("cannot write " + options->pathList);
        }
        std::size_t created = 0;
        if (options->createMedia)
            created = korvane::bench::createMediaFiles(project);
        if (!options->quiet) {
            std::printf("%s: %s\n", options->out.c_str(), korvane::bench::describeLargeProject(project).c_str());
            if (options->createMedia)
                std::printf("created %zu media files under %s\n", created, options->project.root.c_str());
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "korvane-make-large-project: %s\n", e.what());
        return 2;
    }
    return 0;
}
