#include "report/missing_collector.h"

#include <unordered_set>

namespace korvane {

void MissingCollector::beginSection(std::string_view name)
{
    inner_.beginSection(name);
    sections_.push_back({std::string(name), {}});
}

void MissingCollector::missingFile(std::string_view path)
{
    inner_.missingFile(path);
    // A path reported before any heading still belongs to a section.
    if (sections_.empty())
        sections_.emplace_back();
    sections_.back().stored.emplace_back(path);
}

void MissingCollector::clearReport()
{
    inner_.clearReport();
    sections_.clear();
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
