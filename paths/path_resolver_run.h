#pragma once

// What PathResolver keeps for one run, and the small helpers its source
// files share. For paths/path_resolver*.cpp only.

#include "paths/directory_listing.h"
#include "paths/path_resolver.h"
#include "text/string_table.h"
#include "text/terminal_quote.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::resolver_detail {

inline std::string child(const std::string& dir, std::string_view name)
{
    std::string path = dir;
    if (path.empty() || path.back() != '/')
        path += '/';
    path += name;
    return path;
}

// child(dir, name) into `out`, which keeps its memory.
inline void assignChild(std::string& out, const std::string& dir, std::string_view name)
{
    out.assign(dir);
    if (out.empty() || out.back() != '/')
        out += '/';
    out += name;
}

// `dir` followed by names[from..to).
inline std::string join(const std::string& dir, const std::vector<std::string>& names, std::size_t from, std::size_t to)
{
    std::string path = dir;
    for (std::size_t k = from; k < to; ++k)
        path = child(path, names[k]);
    return path;
}

// A name inside an explanation: in double quotes, or as quoteName shows it
// when it needs quoting.
inline std::string inQuotes(std::string_view text)
{
    if (needsQuoting(text))
        return quoteName(text);
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    out += text;
    out += '"';
    return out;
}

} // namespace korvane::resolver_detail

namespace korvane {

// What the folder names of mapped paths led to in this run: the names below
// the root of one mapping, all but the last.
struct PathResolver::Chain {
    std::size_t mapping = 0;        // in drives_.all()
    std::vector<std::string> names; // as stored (decoded)
    std::string exactPath;          // the mapping's folder and `names`, the folder of the exact lookup
    bool resolved = false;          // the fields below are known
    // The folders on disk whose names match `names` without regard to case,
    // in the order they are tried: at each level the entry of exactly the
    // stored name first, then the others in the order read.
    std::vector<std::string> folders;
    std::vector<const DirectoryListing*> listings; // of each of `folders`, once read (or null)
    // Whether the exact path can be there: the folders read do not show
    // otherwise (a folder that could not be read shows nothing).
    bool exactMayExist = true;
    // When no folder matched: the deepest failure met (the path tried, less
    // the last name) and why.
    std::string failedPath;
    std::string reason;
};

// The deepest failure of one search, which is what the user is told: of
// failures at one depth, the first.
struct PathResolver::Failure {
    bool failed = false;
    std::size_t depth = 0;
    std::string path;
    std::string reason;

    void fail(std::size_t at, std::string tried, std::string why)
    {
        if (failed && at <= depth)
            return;
        failed = true;
        depth = at;
        path = std::move(tried);
        reason = std::move(why);
    }
};

// What a decoded folder text ("D:\Media\Folder0001") leads to: for each
// mapping that covers its names, in the order tried, the mapping and the
// chain of its names, when every name in that folder can be looked for
// through them (see placeOf).
struct PathResolver::Place {
    struct Way {
        std::size_t mapping = 0;
        std::uint32_t chain = 0;
    };
    bool known = false;
    std::string root; // Resolution::root
    std::vector<Way> ways;
};

// All that one run remembers.
struct PathResolver::Run {
    DirectoryListings directories;
    StringTable known;  // stored names looked for: 1 found, 0 not
    StringTable places; // decoded folder texts -> index in placeList
    std::vector<Place> placeList;
    StringTable chainKeys; // mapping and names -> index in chains
    std::vector<Chain> chains;
    std::string text;   // the stored name being looked for, decoded
    std::string key;    // a chain's key being made
    std::string folded; // a name being looked for, folded
    Resolution scratch;      // what exists() resolves into
    Resolution otherReading; // a name read in the code page the project's was not

    void clear()
    {
        directories.clear();
        known.clear();
        places.clear();
        placeList.clear();
        chainKeys.clear();
        chains.clear();
    }
};

} // namespace korvane
