#include "cli/cli_output.h"

#include "text/terminal_quote.h"

namespace korvane {

std::string renderExplanations(PathResolver& resolver, const std::vector<MissingFile>& missing, bool decoded,
                               std::string_view lineEnd)
{
    std::string out = "Looked for";
    out += lineEnd;
    for (const MissingFile& file : missing) {
        out += quoteName(decoded ? file.decoded : file.stored);
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
    text += quoteName(progress.folder);
    return text;
}

} // namespace korvane
