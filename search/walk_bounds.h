#pragma once

#include "fs/folder_reader.h"

#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// Where a symbolic link leads, as far as a walk is concerned: a file or a
// folder below the roots; Other for a link not followed.
struct LinkTarget {
    EntryKind kind = EntryKind::Other;
    FolderIdentity identity;
};

// What a walk may enter: never /proc, /sys or /dev (a root below /dev, such
// as /dev/shm, is read), and through a symbolic link only what lies below
// one of its roots, so that a link to "/" does not walk the whole machine.
// Set up before the walk starts, then only read, by every thread of it.
class WalkBounds {
public:
    // Learns which folders are /proc, /sys and /dev, through `reader`.
    explicit WalkBounds(FolderReader& reader);

    // Takes the absolute `root` as a root; false when it lies in /proc or
    // /sys and is not to be read at all.
    bool addRoot(FolderReader& reader, const std::string& root);
    // Whether the folder is /proc, /sys or /dev.
    bool isExcluded(const FolderIdentity& identity) const;
    // Where the link `linkPath` leads, when the walk follows it; `real` is
    // room for its path once every link is followed.
    LinkTarget follow(FolderReader& reader, const std::string& linkPath, std::string& real) const;

private:
    bool staysInside(FolderReader& reader, const std::string& linkPath, EntryKind kind, std::string& real) const;

    std::vector<FolderIdentity> excluded_; // /proc, /sys, /dev
    std::vector<std::string> realRoots_;   // the roots with every link followed
};

// Whether `path` is `folder` or lies below it.
bool isBelow(std::string_view path, std::string_view folder);

} // namespace korvane
