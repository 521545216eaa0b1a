#pragma once

#include "paths/name_match.h"
#include "fs/folder_reader.h"
#include "text/string_table.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace korvane {

// One folder as read: every entry, in the order read ("." and ".." first),
// and the entries by their names folded as foldCase folds them.
struct DirectoryListing {
    static constexpr std::uint32_t kNoEntry = 0xFFFFFFFFu;

    struct Entry {
        std::size_t offset; // of its name in `names`
        std::size_t length;
        std::uint32_t nextSameFold; // the next entry whose name folds the same, or kNoEntry
        EntryKind kind;             // as the folder tells: a Link needs a stat
    };

    int error = 0; // why the folder could not be opened; 0 when it was
    std::string names;
    std::vector<Entry> entries;
    StringTable byFold; // folded name -> its first entry

    std::string_view name(const Entry& entry) const
    {
        return std::string_view(names).substr(entry.offset, entry.length);
    }
    // The first entry whose name folds to `folded`, or kNoEntry.
    std::uint32_t first(std::string_view folded) const
    {
        const std::uint32_t* k = byFold.find(folded);
        return k ? *k : kNoEntry;
    }

    // Calls `visit` on each entry linked from `first` (those whose names
    // fold alike): the one named exactly `name` first, then the others in
    // the order read, until `visit` returns true. Returns whether it did.
    template <typename Visit>
    bool forEachMatch(std::uint32_t from, std::string_view name, Visit visit) const
    {
        std::uint32_t exact = kNoEntry;
        for (std::uint32_t k = from; k != kNoEntry; k = entries[k].nextSameFold) {
            if (this->name(entries[k]) == name) {
                exact = k;
                if (visit(entries[k]))
                    return true;
                break;
            }
        }
        for (std::uint32_t k = from; k != kNoEntry; k = entries[k].nextSameFold) {
            if (k != exact && visit(entries[k]))
                return true;
        }
        return false;
    }
};

// The folders read in one run, each read once.
class DirectoryListings {
public:
    explicit DirectoryListings(FolderReader& reader = systemFolderReader()) : reader_(&reader) {}

    // The listing of `dir`, read now unless it was read before. It stays
    // where it is until clear(), while other folders are read.
    const DirectoryListing& list(const std::string& dir);
    void clear() { listings_.clear(); }

private:
    FolderReader* reader_;
    std::unordered_map<std::string, DirectoryListing> listings_;
    FolderListing read_; // the last folder read, before it is indexed
    std::string folded_;
};

} // namespace korvane
