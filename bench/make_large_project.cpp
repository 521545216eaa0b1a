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
    Options options;
    for (int k = 1; k < argc; ++k) {
        const std::string_view arg = argv[k];
        const auto value = [&]() -> const char* {
            if (k + 1 >= argc)
                throw std::invalid_argument(std::string(arg) + " needs a value");
            return argv[++k];
        };
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (arg == "--scale") {
            options.project.scale = korvane::bench::parseNumber(arg, value());
        } else if (arg == "--missing") {
            options.project.missingShare = korvane::bench::parseNumber(arg, value());
        } else if (arg == "--repeat") {
            options.project.repeatShare = korvane::bench::parseNumber(arg, value());
        } else if (arg == "--bin-reuse") {
            options.project.binReuseShare = korvane::bench::parseNumber(arg, value());
        } else if (arg == "--root") {
            options.project.root = value();
            while (options.project.root.size() > 1 && options.project.root.back() == '/')
                options.project.root.pop_back();
        } else if (arg == "--seed") {
            options.project.seed = static_cast<std::uint64_t>(korvane::bench::parseNumber(arg, value()));
        } else if (arg == "--create-media") {
            options.createMedia = true;
        } else if (arg == "--paths") {
            options.pathList = value();
        } else if (arg == "--quiet") {
            options.quiet = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            throw std::invalid_argument("unknown option '" + std::string(arg) + "'");
        } else if (!options.out.empty()) {
            throw std::invalid_argument("one output file only");
        } else {
            options.out = arg;
        }
    }
    if (options.out.empty())
        return std::nullopt;
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
