#include "cli/cli_output.h"

#include "text/ascii.h"

namespace korvane {

std::string unmappedWarning(const std::vector<std::string>& roots, const std::string& configFile)
{
    if (roots.empty())
        return {};
    std::vector<std::string> named;
    for (const std::string& root : roots)
        named.push_back((root.starts_with("\\\\") ? "share " : "drive ") + root);
    std::string text = joinWithAnd(named);
    const bool one = roots.size() == 1;
    text += one ? " has no mapping, so its paths were" : " have no mapping, so their paths were";
    text += " listed as missing without being looked for; map ";
    text += one ? "it" : "them";
    text += " with --map ROOT=FOLDER";
    if (!configFile.empty())
        text += " or in " + configFile;
    return text;
}

std::string renderExplanations(PathResolver& resolver, const std::vector<MissingFile>& missing, bool decoded,
                               std::string_view lineEnd)
{
    std::string out = "Looked for";
    out += lineEnd;
    for (const MissingFile& file : missing) {
        out += decoded ? file.decoded : file.stored;
        out += lineEnd;
        out += "    ";
        out += resolver.explain(file.stored);
        out += lineEnd;
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

} // namespace korvane
