#pragma once

#include <string>
#include <vector>

namespace korvane {

// A folder that could not be read while projects were looked for in it.
struct FolderProblem {
    std::string path;
    int error = 0;
};

// The projects named by korvane-scan's arguments.
struct ProjectList {
    std::vector<std::string> files;        // in argument order, each folder's own sorted
    std::vector<FolderProblem> problems;   // folders below a folder argument that could not be read
    std::vector<std::string> emptyFolders; // folder arguments without any project below them
};

// Whether `name` ends in ".dvc" in any case.
bool hasProjectExtension(const std::string& name);

// Each argument that is a folder (or a link to one) stands for every file
// named *.dvc (in any case) below it, at any depth, sorted by the bytes of
// their paths; symbolic links are followed, each folder entered once, so
// that a loop ends. Every other argument is a project as it is, also one
// that does not exist.
ProjectList listProjects(const std::vector<std::string>& arguments);

} // namespace korvane
