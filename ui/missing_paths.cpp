#include "ui/missing_paths.h"

#include <algorithm>
#include <unordered_set>

namespace korvane::ui {

namespace {

// A block is never reallocated, so the views into it stay valid.
constexpr std::size_t kBlockSize = std::size_t(1) << 20;

} // namespace

void MissingPaths::clear()
{
    blocks_.clear();
    entries_.clear();
}

std::string_view MissingPaths::keep(std::string_view text)
{
    if (blocks_.empty() || blocks_.back().capacity() - blocks_.back().size() < text.size()) {
        blocks_.emplace_back();
        blocks_.back().reserve(std::max(kBlockSize, text.size()));
    }
    std::string& block = blocks_.back();
    const std::size_t at = block.size();
    block.append(text);
    return std::string_view(block).substr(at);
}

void MissingPaths::add(std::string_view stored, std::string_view decoded)
{
    const std::string_view kept = keep(stored);
    entries_.push_back({kept, decoded == stored ? kept : keep(decoded)});
}

std::vector<MissingFile> MissingPaths::distinct() const
{
    std::vector<MissingFile> files;
    std::unordered_set<std::string_view> seen;
    seen.reserve(entries_.size());
    for (const Entry& entry : entries_) {
        if (seen.insert(entry.stored).second)
            files.push_back({std::string(entry.stored), std::string(entry.decoded)});
    }
    return files;
}

} // namespace korvane::ui
