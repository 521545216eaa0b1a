#include "report/missing_collector.h"

#include <unordered_set>

namespace korvane {

bool MissingCollector::fileExists(std::string_view path)
{
    // inner_ tests and, for a missing path, lists it itself; the two appends
    // that checkFile then makes here are its own again.
    if (inner_.checkFile(path))
        return true;
    if (sections_.empty())
        sections_.emplace_back();
    sections_.back().stored.emplace_back(path);
    ownAppends_ = 2;
    return false;
}

void MissingCollector::appendReport(std::string_view text)
{
    if (ownAppends_ > 0) {
        --ownAppends_;
        return;
    }
    inner_.appendReport(text);
    // Every other text of the report is a heading: "[MainAV]" and a line end.
    std::string_view name = text;
    if (name.ends_with(kLineEnd))
        name.remove_suffix(kLineEnd.size());
    if (name.starts_with('[') && name.ends_with(']'))
        name = name.substr(1, name.size() - 2);
    sections_.push_back({std::string(name), {}});
}

void MissingCollector::clearReport()
{
    inner_.clearReport();
    sections_.clear();
    ownAppends_ = 0;
}

std::vector<std::string_view> MissingCollector::distinctStored() const
{
    std::vector<std::string_view> paths;
    std::unordered_set<std::string_view> seen;
    for (const MissingSection& section : sections_) {
        for (const std::string& stored : section.stored) {
            if (seen.insert(stored).second)
                paths.push_back(stored);
        }
    }
    return paths;
}

} // namespace korvane
