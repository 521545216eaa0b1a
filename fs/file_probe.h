#pragma once

#include "fs/existence_test.h"
#include "fs/folder_reader.h"
#include "text/find_first_pattern.h"
#include "text/string_table.h"

#include <string_view>

namespace korvane {

// The existence test: whether a find-first search for `name` finds anything.
// A name of an existing file or directory is found; `*` and `?` in the last
// component match directory entries as matchesFindFirst matches them; an empty name, a name ending
// in a separator and a dangling symbolic link find nothing; a relative name
// is looked up from the current directory.
bool findFirst(std::string_view name);
// The same through `reader`, which answers for the file (follow) and lists
// the folder.
bool findFirst(std::string_view name, FolderReader& reader);

// findFirst with memory: within one run a path that many entries share is
// looked up once.
class FileProbe final : public ExistenceTest {
public:
    bool exists(std::string_view name) override;
    void forget() { known_.clear(); }

private:
    StringTable known_; // each name looked for: 1 found, 0 not
};

} // namespace korvane
