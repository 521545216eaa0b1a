#include "paths/directory_listing.h"

#include "paths/name_match.h"
#include "text/utf8.h"

#include <stdexcept>

namespace korvane {

const DirectoryListing& DirectoryListings::list(const std::string& dir)
{
    const auto it = listings_.find(dir);
    if (it != listings_.end())
        return it->second;
    DirectoryListing& listing = listings_[dir];
    const int error = reader_->list(dir, read_);
    if (!read_.identity()) {
        listing.error = error;
        return listing;
    }
    // A folder read only in part keeps what was read. Every folder that
    // opens holds "." and "..", which the reader leaves out; the system
    // lists them first.
    const auto add = [&listing](std::string_view name, EntryKind kind) {
        listing.entries.push_back({listing.names.size(), name.size(), DirectoryListing::kNoEntry, kind});
        listing.names.append(name);
    };
    add(".", EntryKind::Folder);
    add("..", EntryKind::Folder);
    for (std::size_t k = 0; k < read_.size(); ++k)
        add(read_.name(k), read_.kind(k));
    if (listing.entries.size() >= DirectoryListing::kNoEntry)
        throw std::length_error("too many entries in " + dir);
    // From the last entry to the first, so that the entries of one folded
    // name end up linked in the order read.
    for (std::size_t k = listing.entries.size(); k-- > 0;) {
        foldCaseInto(folded_, listing.name(listing.entries[k]));
        const auto [first, added] = listing.byFold.insert(folded_, static_cast<std::uint32_t>(k));
        if (!added) {
            listing.entries[k].nextSameFold = *first;
            *first = static_cast<std::uint32_t>(k);
        }
    }
    return listing;
}

} // namespace korvane
