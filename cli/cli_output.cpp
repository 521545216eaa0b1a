#include "cli/cli_output.h"

namespace korvane {

std::string renderExplanations(PathResolver& resolver, const std::vector<MissingFile>& missing, bool decoded,
                               std::string_view lineEnd)
{
    std::string out = "Looked for";
    out += lineEnd;
    for (const MissingFile& file : missing) {
        out += decoded ? file.decoded : file.stored;
        out += lineEnd;
        for (const std::string& line : describeEach(resolver.resolve(file.stored))) {
            out += "    ";
            out += line;
            out += lineEnd;
        }
        if (const std::string_view codePage = resolver.codePageOf(file.stored); !codePage.empty()) {
            out += "    read as ";
            out += codePage;
            out += lineEnd;
        }
    }
    if (missing.empty()) {
        out += "Nothing is missing.";
        out += lineEnd;
    }
    return out;
}

std::string searchProgressText(const WalkProgress& progress)
{
    std::string text = "Searching: " + std::to_string(progress.folders) +
                       (progress.folders == 1 ? " folder, " : " folders, ") + std::to_string(progress.files) +
                       (progress.files == 1 ? " file  " : " files  ");
    text += progress.folder;
    return text;
}

std::string searchStepText(const SearchStep& step)
{
    const auto count = [](std::size_t n, const char* one, const char* many) {
        return std::to_string(n) + (n == 1 ? one : many);
    };
    if (step.phase == SearchPhase::Matching)
        return "Matching: " + count(step.missing, " missing file", " missing files") + " against " +
               count(step.indexed, " file found", " files found");
    return "Suggesting mappings: " + std::to_string(step.found) + " of " +
           count(step.missing, " missing file found", " missing files found");
}

} // namespace korvane
