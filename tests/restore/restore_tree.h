#pragma once

// What the tests of putting back share: steps of a plan over real temporary
// trees, and a tree's exact state, to compare before and after.

#include "restore/candidate_choice.h"
#include "restore/restore_apply.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <sys/stat.h>

namespace korvane::testkit {

inline std::string contentOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A step that puts `source` back at `destination` below `root`, as a plan
// that saw the source now would make it.
inline RestoreStep putBack(const std::string& source, const std::string& destination, const std::string& root)
{
    RestoreStep step;
    const std::optional<SeenFile> seen = seeFile(source);
    if (!seen)
        throw std::runtime_error("no source " + source);
    step.putBack = true;
    step.source = seen->path;
    step.sourceIdentity = seen->identity;
    step.destination = destination;
    step.root = root;
    return step;
}

// Every entry below `root` (not following links) by its path below it: its
// kind and content, or where a link leads, and its inode.
inline std::map<std::string, std::string> treeOf(const std::filesystem::path& root,
                                                 const std::string& skip = {})
{
    namespace fs = std::filesystem;
    std::map<std::string, std::string> tree;
    if (!fs::exists(fs::symlink_status(root)))
        return tree;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        const std::string path = fs::relative(it->path(), root).string();
        if (!skip.empty() && path.starts_with(skip)) {
            it.disable_recursion_pending();
            continue;
        }
        struct stat st {};
        ::lstat(it->path().c_str(), &st);
        std::string what = std::to_string(st.st_ino) + " ";
        if (it->is_symlink())
            what += "link " + fs::read_symlink(it->path()).string();
        else if (it->is_directory())
            what += "folder";
        else
            what += "file " + contentOf(it->path().string());
        tree[path] = what;
    }
    return tree;
}

// The one journal in `folder`.
inline std::string onlyJournal(const std::filesystem::path& folder)
{
    std::string found;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (!found.empty())
            throw std::runtime_error("more than one journal");
        found = entry.path().string();
    }
    return found;
}

} // namespace korvane::testkit
