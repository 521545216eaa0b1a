#include "paths/directory_listing.h"

#include "paths/name_match.h"
#include "text/utf8.h"

#include <dirent.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace korvane {

const DirectoryListing& DirectoryListings::list(const std::string& dir)
{
    const auto it = listings_.find(dir);
    if (it != listings_.end())
        return it->second;
    DirectoryListing& listing = listings_[dir];
    DIR* handle = ::opendir(dir.c_str());
    if (!handle) {
        listing.error = errno;
        return listing;
    }
    while (const dirent* entry = ::readdir(handle)) {
        const std::size_t length = std::strlen(entry->d_name);
        listing.entries.push_back({listing.names.size(), length, DirectoryListing::kNoEntry, entry->d_type});
        listing.names.append(entry->d_name, length);
    }
    ::closedir(handle);
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
