#pragma once

#include "fs/folder_reader.h"
#include "paths/directory_listing.h"
#include "paths/drive_map.h"
#include "paths/resolution.h"
#include "text/string_table.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// How the names below a mapping's root are looked for on disk, the way the
// editor's system looked for them: the exact path first, then, name by
// name, the entries of each folder compared without regard to case (the
// entry of exactly the stored name wins where several differ only in case).
// Each folder is read at most once a run. What the run learnt of a folder's
// names (the folders on disk they lead to, or why none) is kept, so that the
// names of one folder cost a look-up of their last name each: the exact
// path is then tried only where the folders read show that it can exist.
// One run's; not to be shared between threads.
class MappedLookup {
public:
    MappedLookup(std::shared_ptr<const DriveMap> drives, FolderReader& reader);
    ~MappedLookup();
    MappedLookup(const MappedLookup&) = delete;
    MappedLookup& operator=(const MappedLookup&) = delete;

    // Looks for `names` below the folder of drives.all()[mapping] into `r`.
    // With `answerOnly` only r.found counts, and it may be answered from the
    // folders read without the exact lookup where that lookup could change
    // the path found but not whether something is found.
    void lookUp(std::size_t mapping, const std::vector<std::string>& names, Resolution& r, bool answerOnly);
    // Looks for the decoded Windows path `text` through what an earlier name
    // of its folder learnt (each mapping that covers it in turn); false when
    // its folder cannot be had so, and it is to be taken apart as usual.
    bool lookUpInKnownFolder(std::string_view text, Resolution& r, bool answerOnly);
    // Forgets what the folders held: the start of a new run.
    void clear();

private:
    struct Chain;
    struct Failure;
    struct Place;

    std::uint32_t placeOf(std::string_view text, std::string_view folderText, std::uint32_t hash,
                          std::string_view last);
    bool mayTakeLastName(std::string_view root, const std::vector<std::string>& names) const;
    std::uint32_t chainOf(std::size_t mapping, const std::vector<std::string>& names, std::size_t from, std::size_t to);
    void lookUpIn(Chain& chain, std::string_view name, Resolution& r, bool answerOnly);
    bool foundInSnapshot(Chain& chain, std::string_view name, Resolution& r);
    const DirectoryListing& listingOf(Chain& chain, std::size_t k);
    void resolveChain(Chain& chain);
    void collect(const std::string& dir, std::size_t depth, Chain& chain, Failure& failure);
    bool exactPathMayExist(const Chain& chain);
    bool pathExists(const std::string& path);
    bool isDirectory(const std::string& path);
    bool findIn(const std::string& dir, const DirectoryListing& listing, std::string_view name, std::size_t depth,
                Failure& failure, std::string& found);

    std::shared_ptr<const DriveMap> drives_;
    FolderReader* reader_;
    DirectoryListings directories_;
    StringTable places_; // decoded folder texts -> index in placeList_
    std::vector<Place> placeList_;
    StringTable chainKeys_; // mapping and names -> index in chains_
    std::vector<Chain> chains_;
    std::string key_;    // a chain's key being made
    std::string folded_; // a name being looked for, folded
};

} // namespace korvane
