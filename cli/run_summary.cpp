#include "cli/run_summary.h"

#include "text/terminal_quote.h"

#include <algorithm>

namespace korvane {

int combinedStatus(int a, int b)
{
    return std::max(a, b);
}

std::string projectHeading(const std::string& file, std::string_view lineEnd)
{
    std::string line = "==> " + quoteName(file) + " <==";
    line += lineEnd;
    return line;
}

void RunSummary::add(const std::string& file, const ProjectOutcome& outcome)
{
    projects_.emplace_back(file, outcome);
}

namespace {

const char* wordOf(int status)
{
    switch (status) {
    case kComplete: return "ok";
    case kSomethingMissing: return "missing";
    case kDamaged: return "damaged";
    default: return "cannot-open";
    }
}

} // namespace

std::string RunSummary::render(const ProjectList& list, std::string_view lineEnd) const
{
    std::string out(lineEnd);
    out += "Summary";
    out += lineEnd;
    std::size_t missing = 0;
    std::size_t byStatus[4] = {};
    for (const auto& [file, outcome] : projects_) {
        out += wordOf(outcome.status);
        out += ' ';
        out += outcome.opened ? std::to_string(outcome.missing) : "-";
        out += "  ";
        out += quoteName(file);
        out += lineEnd;
        missing += outcome.missing;
        ++byStatus[std::clamp(outcome.status, 0, 3)];
    }
    for (const FolderProblem& problem : list.problems) {
        out += "cannot-read -  " + quoteName(problem.path);
        out += lineEnd;
    }
    for (const std::string& folder : list.emptyFolders) {
        out += "no-projects -  " + quoteName(folder);
        out += lineEnd;
    }
    out += "total " + std::to_string(missing) + "  " + std::to_string(projects_.size()) +
           (projects_.size() == 1 ? " project" : " projects");
    const char* separator = ": ";
    for (const int status : {kComplete, kSomethingMissing, kDamaged, kCannotOpenOrUsage}) {
        if (byStatus[status] == 0)
            continue;
        out += separator + std::to_string(byStatus[status]) + " " + wordOf(status);
        separator = ", ";
    }
    if (!list.problems.empty())
        out += separator + std::to_string(list.problems.size()) + " cannot-read";
    out += lineEnd;
    return out;
}

} // namespace korvane
