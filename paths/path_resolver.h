#pragma once

#include "fs/existence_test.h"
#include "fs/folder_reader.h"
#include "paths/codepage.h"
#include "paths/drive_map.h"
#include "paths/mapping_sources.h" // the settings a resolver is made from
#include "paths/resolution.h"
#include "text/string_table.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

class MappedLookup;

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

// The existence test for one run. A stored name that is not a Windows path
// is looked for exactly as findFirst looks for it. A Windows path is decoded
// from the code page, taken apart, and looked for below the folder of each
// mapping that covers it, in the order of DriveMap::covering (the longest
// root first) until one finds it: the names below the root of the mapping
// (a drive, a share or a folder on one) are looked for below that mapping's
// folder as MappedLookup looks for them. A drive or share without a mapping
// is looked for as stored, so it is reported missing as before, and noted.
// Each stored name is looked for once a run.
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
    // The stored name decoded in the other code page under "auto", where it
    // reads validly and differently there; empty otherwise.
    std::string otherReadingOf(std::string_view stored);
    // The code page a name that is not found is read in: empty for names
    // that are not Windows paths or are all ASCII.
    std::string_view codePageOf(std::string_view stored);
    // The stored names of this run that only the other code page's reading
    // found (see Resolution::otherCodePage), in the order met.
    const std::vector<std::string>& readInOtherCodePage() const { return readOtherwise_; }
    // After a scan under "auto": when the disk found most of the names that
    // read two ways (more than in the project's reading and nowhere
    // together) only in the other reading, the
    // project's names are read the other way from now on (decoded, searched
    // for and put back so), and the note that says so is returned; empty
    // otherwise.
    std::string followDisk();
    // The note of the last followDisk that switched; empty when none did.
    const std::string& codePageSwitchNote() const { return switchNote_; }

    // The drives and shares that Windows paths of this run named and that
    // no mapping covered, in the order first met: "D:", "\\nas\media". A
    // drive of which only folders are mapped is named when a path outside
    // them was met.
    const std::vector<std::string>& unmappedRoots() const { return unmapped_; }
    const DriveMap& drives() const { return *drives_; }
    const TextDecoder& decoder() const { return decoder_; }

    // Forgets what the folders held, the names looked for and the unmapped
    // roots: the start of a new run.
    void newRun();

private:
    PathResolver(std::shared_ptr<const DriveMap> drives, TextDecoder decoder, FolderReader& reader);

    void resolveInto(std::string_view stored, Resolution& resolution, bool answerOnly);
    void resolveDecoded(std::string_view stored, Resolution& resolution, bool answerOnly);
    void noteUnmapped(const std::string& root);

    std::shared_ptr<const DriveMap> drives_; // shared by siblings: it never changes
    TextDecoder decoder_;
    FolderReader* reader_;
    std::unique_ptr<MappedLookup> mapped_;
    StringTable known_; // stored names looked for: 1 found, 0 not
    std::string text_;  // the stored name being looked for, decoded
    Resolution scratch_;      // what exists() resolves into
    Resolution otherReading_; // a name read in the code page the project's was not
    std::vector<std::string> unmapped_;
    std::vector<std::string> unmappedKeys_;
    std::vector<std::string> readOtherwise_;
    std::size_t foundOwn_ = 0;     // names that read two ways, found in the project's reading
    std::size_t foundNowhere_ = 0; // and found in neither reading
    std::string otherText_;    // the other reading of a name found
    std::string switchNote_;
};

// The names that only the other code page's reading found (see
// PathResolver::readInOtherCodePage), as they were found: "1 name was found
// only when read in another code page than the rest of the project:
// /media/video/... (read as WINDOWS-1252)"; at most five, then how many
// more. Empty when there are none.
std::string otherCodePageNote(PathResolver& resolver);

} // namespace korvane
