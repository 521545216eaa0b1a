#include "report/missing_report.h"

namespace korvane {

void MissingReport::addSection(std::string_view name)
{
    sections_.push_back({std::string(name), 0});
}

void MissingReport::addMissing(std::string_view path)
{
    // A path reported before any heading still belongs to a section.
    if (sections_.empty())
        sections_.emplace_back();
    const auto section = static_cast<std::uint32_t>(sections_.size() - 1);
    ++sections_.back().references;
    const auto [at, added] = index_.insert(path, static_cast<std::uint32_t>(paths_.size()));
    if (added)
        paths_.push_back({std::string(path), {}, 0});
    MissingPath& missing = paths_[*at];
    ++missing.references;
    if (missing.sections.empty() || missing.sections.back() != section)
        missing.sections.push_back(section);
}

void MissingReport::addPresent(std::string_view path)
{
    if (presentIndex_.insert(path, static_cast<std::uint32_t>(present_.size())).second)
        present_.emplace_back(path);
}

void MissingReport::clear()
{
    sections_.clear();
    paths_.clear();
    index_.clear();
    present_.clear();
    presentIndex_.clear();
}

std::vector<std::string_view> MissingReport::distinctStored() const
{
    std::vector<std::string_view> stored;
    stored.reserve(paths_.size());
    for (const MissingPath& path : paths_)
        stored.emplace_back(path.stored);
    return stored;
}

} // namespace korvane
