#pragma once

#include "paths/codepage.h"
#include "paths/directory_listing.h"
#include "paths/drive_map.h"
#include "paths/mapping_sources.h" // the settings a resolver is made from
#include "fs/existence_test.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// How a stored name was looked for.
enum class PathKind {
    NotWindows, // not a Windows path: looked for exactly as stored
    Mapped,     // a drive or share with a mapping: looked for below its folder
    NoMapping,  // a drive or share without a mapping: looked for as stored
    NotAFile,   // a device name space or a server without a share: never looked for
};

// What looking for one stored name found.
struct Resolution {
    PathKind kind = PathKind::NotWindows;
    bool found = false;
    // The code page the name was read in ("CP932"), for Windows paths that
    // are not all ASCII; empty otherwise. `otherCodePage` when that is not
    // the project's: only that reading found the file.
    std::string codePage;
    bool otherCodePage = false;
    // "D:" or "\\server\share" (decoded) for Windows paths; empty otherwise.
    std::string root;
    // The root of the mapping used last ("D:", "D:\Video"): the one under
    // which the name was found, else the last one tried; empty when none was.
    std::string mappedRoot;
    // The local path that was looked for: for a mapped name the folder of its
    // mapping and its names, with each name that was found replaced by the
    // entry on disk it matched; for every other kind the stored bytes.
    std::string localPath;
    // Why nothing was found, in UTF-8: "no mapping for drive D:", "no mapping
    // for drive D: outside D:\Video", "folder "X" not found", "no entry named
    // "Y" in folder "X"", ... Empty when found.
    std::string reason;

    // A place looked in, under one mapping, that found nothing.
    struct Attempt {
        std::string mappedRoot;
        std::string localPath;
        std::string reason;
    };
    // Where a mapped name was looked for before the place of mappedRoot,
    // localPath and reason, in the order tried: empty unless several mappings
    // cover the name (see DriveMap::covering) and an earlier one found nothing.
    std::vector<Attempt> tried;
};

// How the sentence about the drives and shares without a mapping is put.
enum class UnmappedNote {
    // One line of a warning: each root with its kind, in the order met;
    // "drive D: and share \\nas\media have no mapping, so their paths were
    // listed as missing without being looked for".
    Warning,
    // A sentence of its own: the drives, then the shares; "Drives D: and E:
    // and share \\nas\media have no mapping, so their files were not looked
    // for."
    Sentence,
};

// What to say about the roots of PathResolver::unmappedRoots(), empty when
// there are none. A non-empty `howToMap` adds how to map them: "; map it
// with " and `howToMap` ("--map ROOT=FOLDER").
std::string unmappedRootsNote(const std::vector<std::string>& roots, UnmappedNote style,
                              std::string_view howToMap = {});

// One line for the user: "found as PATH", "tried PATH: REASON", "no mapping
// for drive D:, looked for as stored", "not found as stored". Every name in
// it is shown as quoteName shows it (in the notes below as well), so no name
// can break the line or talk to a terminal.
std::string describe(const Resolution& resolution);

// One line for each place looked in, in order: "tried PATH: REASON" for each
// of resolution.tried, then describe(resolution).
std::vector<std::string> describeEach(const Resolution& resolution);

// The existence test for one run. A stored name that is not a Windows path
// is looked for exactly as findFirst looks for it. A Windows path is decoded
// from the code page, taken apart, and looked for below the folder of each
// mapping that covers it, in the order of DriveMap::covering (the longest
// root first) until one finds it: the names below the root of the mapping
// (a drive, a share or a folder on one) are looked for below that mapping's
// folder, the way the editor's system looked for it: exact
// names first, then, name by name, the entries of each folder compared
// without regard to case (the entry of exactly the stored name wins where
// several differ only in case). A drive or share without a mapping is
// looked for as stored, so it is reported missing as before, and noted.
// Each folder is read at most once a run; each stored name is looked for
// once a run. What a run learnt of a folder's names (the folders on disk
// they lead to, or why none) is kept for the run, so that the names of one
// folder cost a look-up of their last name each: the exact path is then
// tried only where the folders read show that it can exist.
class PathResolver final : public ExistenceTest {
public:
    // Folders are read and files looked for through `reader`, the system's
    // unless a test gives a tree of its own; it must outlive the resolver.
    PathResolver(DriveMap drives, TextDecoder decoder, FolderReader& reader = systemFolderReader());
    ~PathResolver();
    PathResolver(PathResolver&&) noexcept;
    PathResolver& operator=(PathResolver&&) noexcept;

    // A resolver of the same mappings and code page at the start of a run,
    // reading through `reader`: for a run of its own (another project, or
    // another thread; a resolver is not to be shared between threads).
    PathResolver sibling(FolderReader& reader) const;

    // The existence test of a scan (found, or not, as resolve says), each
    // stored name looked for once a run.
    bool exists(std::string_view stored) override;
    Resolution resolve(std::string_view stored);
    // describeEach(resolve(stored)), one line each, joined by newlines.
    std::string explain(std::string_view stored);
    // The stored name decoded to UTF-8, for showing.
    std::string decoded(std::string_view stored) { return decoder_.toUtf8(stored); }
    // The code page a name that is not found is read in: empty for names
    // that are not Windows paths or are all ASCII.
    std::string_view codePageOf(std::string_view stored);
    // The stored names of this run that only the other code page's reading
    // found (see Resolution::otherCodePage), in the order met.
    const std::vector<std::string>& readInOtherCodePage() const { return readOtherwise_; }

    // The drives and shares that Windows paths of this run named and that
    // no mapping covered, in the order first met: "D:", "\\nas\media". A
    // drive of which only folders are mapped is named when a path outside
    // them was met.
    const std::vector<std::string>& unmappedRoots() const { return unmapped_; }
    const DriveMap& drives() const { return drives_; }
    const TextDecoder& decoder() const { return decoder_; }

    // Forgets what the folders held, the names looked for and the unmapped
    // roots: the start of a new run.
    void newRun();

private:
    struct Chain;
    struct Failure;
    struct Place;
    struct Run;

    void resolveInto(std::string_view stored, Resolution& resolution, bool answerOnly);
    static void nextAttempt(Resolution& resolution, bool answerOnly);
    void resolveDecoded(std::string_view stored, Resolution& resolution, bool answerOnly);
    bool resolveInKnownFolder(Resolution& resolution, bool answerOnly);
    std::uint32_t placeOf(std::string_view folderText, std::uint32_t hash, std::string_view last);
    bool mayTakeLastName(std::string_view root, const std::vector<std::string>& names) const;
    std::uint32_t chainOf(std::size_t mapping, const std::vector<std::string>& names, std::size_t from, std::size_t to);
    void lookUp(std::size_t mapping, const std::vector<std::string>& names, Resolution& resolution, bool answerOnly);
    void lookUpIn(Chain& chain, std::string_view name, Resolution& resolution, bool answerOnly);
    bool foundInSnapshot(Chain& chain, std::string_view name, Resolution& resolution);
    const DirectoryListing& listingOf(Chain& chain, std::size_t k);
    void resolveChain(Chain& chain);
    void collect(const std::string& dir, std::size_t depth, Chain& chain, Failure& failure);
    bool exactPathMayExist(const Chain& chain);
    bool pathExists(const std::string& path);
    bool isDirectory(const std::string& path);
    bool findIn(const std::string& dir, const DirectoryListing& listing, std::string_view name, std::size_t depth,
                Failure& failure, std::string& found);
    void noteUnmapped(const std::string& root);

    DriveMap drives_;
    TextDecoder decoder_;
    FolderReader* reader_;
    std::unique_ptr<Run> run_;
    std::vector<std::string> unmapped_;
    std::vector<std::string> unmappedKeys_;
    std::vector<std::string> readOtherwise_;
};

// The names that only the other code page's reading found (see
// PathResolver::readInOtherCodePage), as they were found: "1 name was found
// only when read in another code page than the rest of the project:
// /media/video/... (read as WINDOWS-1252)"; at most five, then how many
// more. Empty when there are none.
std::string otherCodePageNote(PathResolver& resolver);

} // namespace korvane
