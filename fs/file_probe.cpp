#include "fs/file_probe.h"

#include "fs/folder_reader.h"
#include "text/find_first_pattern.h"

#include <string>

namespace korvane {

bool findFirst(std::string_view name)
{
    return findFirst(name, systemFolderReader());
}

bool findFirst(std::string_view name, FolderReader& reader)
{
    if (name.empty() || name.back() == '/')
        return false;
    const std::size_t slash = name.rfind('/');
    const std::string_view last = slash == std::string_view::npos ? name : name.substr(slash + 1);
    if (!hasWildcard(last)) {
        // Many thousands of names a run: the copy that ends them with a zero
        // byte keeps its memory.
        thread_local std::string path;
        path.assign(name);
        EntryKind kind{};
        return reader.lookUp(path, kind) == 0;
    }

    const std::string folder(slash == std::string_view::npos ? std::string_view(".")
                             : slash == 0                     ? std::string_view("/")
                                                              : name.substr(0, slash));
    FolderListing listing;
    reader.list(folder, listing);
    if (!listing.identity())
        return false;
    // Every folder that opens holds "." and "..", which the reader leaves out.
    if (matchesFindFirst(last, ".") || matchesFindFirst(last, ".."))
        return true;
    for (std::size_t k = 0; k < listing.size(); ++k) {
        if (matchesFindFirst(last, listing.name(k)))
            return true;
    }
    return false;
}

bool FileProbe::exists(std::string_view name)
{
    const std::uint32_t hash = known_.hashOf(name);
    if (const std::uint32_t* found = known_.find(name, hash))
        return *found != 0;
    const bool found = findFirst(name);
    known_.insert(name, hash, found ? 1 : 0);
    return found;
}

} // namespace korvane
