#pragma once

#include "paths/path_resolver.h"
#include "restore/mount_rules.h"
#include "search/missing_search.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace korvane {

// Why a missing file is not put back.
enum class LeftReason : std::uint8_t {
    NotFound,       // no file of its name was found
    OtherExtension, // the best candidate has another extension: a transcoded file is not the original
    DifferentFiles, // several equally good candidates that are not the same file
    NoMapping,      // its drive or share has no mapping, so it has no local place
    NotWritable,    // the folder it goes in cannot be written
    NotSearched,    // the path names no file that can be looked for
    AlreadyThere,   // its local place holds an entry now
    OutsideRoot,    // its place lies outside every folder files may be put back in
    HiddenName,     // a folder or file name of its place starts with a dot
    NotMounted,     // the folder it goes below is missing, or a mount point with nothing mounted
    LinkInPath,     // a symbolic link stands where one of its folders is
    NotAFolder,     // something that is not a folder stands where one of its folders is
    SamePlace,      // another missing file, its name in other letter case, goes to the same place
    OtherShoot,     // files of its name were found only under other dates than its path names
};

// A file as the plan saw it: put back is only that file.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t mtime = 0; // nanoseconds since the epoch
    bool operator==(const FileIdentity&) const = default;
};

// A file the user may choose to put back where nothing tells the files found
// apart.
struct Choice {
    std::string path;
    std::uint64_t size = 0;
    std::int64_t mtime = 0; // nanoseconds since the epoch
};

struct RestoreStep {
    std::string stored;  // as the project stores it
    std::string decoded; // its text in UTF-8
    bool putBack = false;
    LeftReason reason = LeftReason::NotFound; // when not put back
    // When put back: the file found, every link in its path resolved, and
    // what it was when the plan was made.
    std::string source;
    FileIdentity sourceIdentity;
    std::size_t identicalCopies = 1; // of the file found, itself included
    // The local place its stored path names, normalised (when it has one),
    // and the folder it may be put back below: its mapping's folder, a
    // folder named for other names, or the project's folder.
    std::string destination;
    std::string root;
    // DifferentFiles: the sizes of the different files among the equally
    // good candidates, one a content, in the order of the candidates; and
    // those files, for a user to choose from (see choose).
    std::vector<std::uint64_t> differentSizes;
    std::vector<Choice> choices;
    // NotWritable, NotMounted, LinkInPath, NotAFolder: the folder or entry
    // concerned; HiddenName: the name; SamePlace: the other stored name;
    // NotSearched: why the path is not searched for.
    std::string detail;
    int error = 0; // NotWritable: why
};

// "not found", "3 different files found (1024, 2048 and 4096 bytes)", "no
// mapping for drive D:", "the folder "/media/usb" is an empty mount point:
// is the disk mounted?", ... Names as quoteName shows them.
std::string describeLeft(const RestoreStep& step);

struct RestorePlan {
    std::vector<RestoreStep> steps; // one a missing file, in the order of the search's matches
    std::size_t putBackCount() const;
};

struct PlanOptions {
    // Whether a folder that exists can take new entries (0) or the error why
    // not; null: access(2) for writing and searching.
    std::function<int(const std::string& folder)> writable;
    // The folders below which names that are not Windows paths may be put
    // back. None: only relative names, below `projectFolder`.
    std::vector<std::string> roots;
    std::string projectFolder;
    MountRules mounts = systemMountRules();
};

// The plan for the missing files the search looked for. A file is put back
// from the file the search decided on (see decideMissing): by evidence that
// tells it apart, or because all the files the evidence does not tell apart
// are the same file; never between different files, never from another
// extension or another shoot's date, and whatever number of candidates the
// search keeps for showing. Its place is where the
// run's mappings put its stored path (the first mapping that covers it),
// each folder of it that exists in another letter case taken as it is on
// disk, and folders it makes spelled as the first file that needs them. It
// goes back only below its root, through real folders (never a link), with
// no hidden name, and never onto a disk that is not mounted.
RestorePlan makeRestorePlan(const SearchResults& results, PathResolver& resolver, const PlanOptions& options = {});

// What the user chose for a step left between different files: its
// `choice`-th file is put back (in place of one chosen before), if it is
// still the file listed (same size and modification time). False, and the
// step as it was, otherwise.
bool choose(RestoreStep& step, std::size_t choice);
// Takes the user's choice back: the step is left between its files again.
void unchoose(RestoreStep& step);

} // namespace korvane
