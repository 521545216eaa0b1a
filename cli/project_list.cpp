#include "cli/project_list.h"

#include "text/ascii.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <set>
#include <string_view>
#include <sys/stat.h>
#include <utility>

namespace korvane {

bool hasProjectExtension(const std::string& name)
{
    constexpr std::string_view kExtension = ".dvc";
    if (name.size() < kExtension.size())
        return false;
    const std::string_view tail = std::string_view(name).substr(name.size() - kExtension.size());
    return std::equal(tail.begin(), tail.end(), kExtension.begin(),
                      [](char a, char b) { return asciiLower(a) == b; });
}

namespace {

using FolderId = std::pair<dev_t, ino_t>;

// The *.dvc files below the folder `root`, unsorted; folders are entered
// once each, by device and inode, whichever way they are reached.
void collect(const std::string& root, const struct stat& rootStat, ProjectList& list)
{
    std::set<FolderId> entered = {{rootStat.st_dev, rootStat.st_ino}};
    std::vector<std::string> pending = {root};
    while (!pending.empty()) {
        const std::string folder = std::move(pending.back());
        pending.pop_back();
        DIR* dir = ::opendir(folder.c_str());
        if (!dir) {
            list.problems.push_back({folder, errno});
            continue;
        }
        const std::string prefix = folder.ends_with('/') ? folder : folder + '/';
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..")
                continue;
            std::string path = prefix + name;
            const bool plainFile = entry->d_type == DT_REG;
            struct stat st;
            if (!plainFile && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
                if (entered.insert({st.st_dev, st.st_ino}).second)
                    pending.push_back(std::move(path));
                continue;
            }
            // Anything else of the name, a dangling link too, is a project:
            // one that cannot be opened says why.
            if (hasProjectExtension(name))
                list.files.push_back(std::move(path));
        }
        ::closedir(dir);
    }
}

} // namespace

ProjectList listProjects(const std::vector<std::string>& arguments)
{
    ProjectList list;
    for (const std::string& argument : arguments) {
        struct stat st;
        if (::stat(argument.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            list.files.push_back(argument);
            continue;
        }
        const std::size_t first = list.files.size();
        collect(argument, st, list);
        std::sort(list.files.begin() + static_cast<std::ptrdiff_t>(first), list.files.end());
        if (list.files.size() == first)
            list.emptyFolders.push_back(argument);
    }
    return list;
}

} // namespace korvane
