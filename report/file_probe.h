#pragma once

#include "report/string_table.h"

#include <string_view>

namespace korvane {

// Whether `name` matches the find-first search pattern `pattern`. `*` matches
// any run of characters and `?` any one; as in the find-first search, `?`
// also matches nothing at a dot or at the end of the name, a `.` in front of
// a wildcard or at the end also matches the end of a name without a dot, and
// `*` in front of a `.` stops at the last dot of the name (so `*.*` matches
// every name and `*.` matches names without an extension).
bool matchesFindFirst(std::string_view pattern, std::string_view name, bool ignoreCase = false);

// The existence test: whether a find-first search for `name` finds anything.
// A name of an existing file or directory is found; `*` and `?` in the last
// component match directory entries as above; an empty name, a name ending
// in a separator and a dangling symbolic link find nothing; a relative name
// is looked up from the current directory.
bool findFirst(std::string_view name);

// findFirst with memory: within one run a path that many entries share is
// looked up once.
class FileProbe {
public:
    bool exists(std::string_view name);
    void forget() { known_.clear(); }

private:
    StringTable known_; // each name looked for: 1 found, 0 not
};

} // namespace korvane
