#pragma once

#include "restore/restore_plan.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// Finds where each missing file goes back and what stands in the way, as
// the disk is when the plan is made. It remembers the folders and files the
// plan will make, so that names that differ only in letter case share one
// folder, and never two files one place.
class PlaceFinder {
public:
    explicit PlaceFinder(const PlanOptions& options);

    // The place of a Windows path: the names (folders, then the file's)
    // below the folder of its mapping. False, with the step's reason set,
    // when it cannot be put back there.
    bool placeWindows(const std::string& mappingFolder, const std::vector<std::string>& names, RestoreStep& step);
    // The place of any other stored name: where the scan looks for it, from
    // the current folder for a relative name.
    bool placeOther(std::string_view stored, RestoreStep& step);
    // Keeps the place of a step that is put back for the steps after it;
    // `windows`: a Windows path, whose names are the same in any case.
    void reserve(const RestoreStep& step, bool windows);

private:
    bool place(const std::string& root, const std::vector<std::string>& names, bool otherCase, RestoreStep& step);
    bool checkRoot(const std::string& root, RestoreStep& step);
    std::string respelled(const std::string& folder, const std::string& name, bool windows) const;

    const PlanOptions& options_;
    std::vector<std::string> roots_; // for other names, resolved
    std::string projectRoot_;
    std::map<std::string, std::string> rootProblems_;   // by root: why not, or empty
    std::map<std::string, std::string> rootFolders_;    // by root: the folder the problem is with
    std::map<std::string, std::string> plannedFolders_; // by folded key: the folder as spelled
    std::map<std::string, std::string> plannedFiles_;   // by folded key: the stored name put back there
};

// `path` made absolute from the current folder and normalised by its names
// alone: no empty names, no ".", each ".." taking away the name before it.
std::string normalisedPath(std::string_view path);

} // namespace korvane
