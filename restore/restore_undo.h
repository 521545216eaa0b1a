#pragma once

#include <cstddef>
#include <cstdint>
#include <stop_token>
#include <string>
#include <vector>

namespace korvane {

// Why undo leaves an entry in place.
enum class KeptBecause : std::uint8_t {
    NotEmpty,           // a folder holding what is not the run's
    Replaced,           // another file or folder stands where the run's stood
    Changed,            // the run's, but changed since
    ChangedMeanwhile,   // changed while undo was at it
    LastLink,           // a link whose source is gone: the last name of the file
    SourceGone,         // a copy whose source (`subject`) is gone: the only copy
    SourceNotAFile,     // ... whose source is no longer a regular file
    SourceIsThisFile,   // ... whose source now leads to the copy itself
    SourceChanged,      // ... whose source no longer holds its content
    SourceDiffers,      // (first-version journals) ... whose source differs from it
    SourceElsewhere,    // a link whose source no longer leads to its file
    SourcesOwnName,     // a link that is its source's own name
    NotTheRunsTemporary,
    NotMadeByTheRun,    // (first-version journals) not made while the journal was written
    BirthUnknown,       // a folder whose file system keeps no birth time: nothing proves the run made it
    LinkInTheWay,       // a symbolic link (`subject`) stands in its path
    NotAFolderInTheWay, // something that is not a folder (`subject`) stands in its path
    NoLongerAFolder,
    OutsideTheJournal,  // a place below none of the journal's folders
    Stopped,            // not tried: the undo was stopped
    SystemError,        // the system refused: `subject` says why
};

// "not empty", "its source "/x" is gone: this is the only copy", ...: the
// C locale's words, as in `UndoItem::why`.
std::string describeKept(KeptBecause because, const std::string& subject);

// One entry of a journal as undo finds it, newest first.
struct UndoItem {
    enum class Action : std::uint8_t {
        Remove, // made by the run and unchanged: removed (or, previewed, to be removed)
        Keep,   // left in place: `why` says why
        Gone,   // no longer there: nothing to do
    };
    std::string path;
    bool folder = false;
    Action action = Action::Keep;
    std::string why; // Keep: why, in the C locale's words
    KeptBecause because = KeptBecause::SystemError; // Keep: why, as a code
    std::string subject; // Keep: the file or folder the reason names, or the system's reason
};

// What undoing a journal did, or would do.
struct UndoResult {
    bool read = false;
    std::string error;           // why the journal could not be read, or is damaged: nothing was removed
    std::vector<UndoItem> items; // what undo found, newest first
    std::size_t removedFiles = 0;
    std::size_t removedFolders = 0;
    std::size_t alreadyGone = 0;   // no longer there: nothing to do
    std::vector<std::string> kept; // "PATH: why", each entry left in place
    bool stopped = false;          // the entries after the stop were left untried
};

// What undoRestore would do now, changing nothing: each file and folder it
// would remove, and each it would keep and why. A folder counts as empty
// when all it holds would be removed first. The disk may change before the
// undo itself, which checks everything again. Once `stop` is requested
// (here and in undoRestore) no further entry is tried: each is kept, "not
// tried: the undo was stopped".
UndoResult previewUndo(const std::string& journal, std::stop_token stop = {});

// Removes what the run of `journal` made, newest first, and only what it
// can prove the run made and nobody changed since:
// - a copy: the very file named (device, inode, and change time since),
//   still of the digest written, while its source is another file of the
//   same content (else it is the only copy left);
// - a link: the source's very file, its source name still leading to it;
// - a temporary: of the run's unguessable name, where the run made it;
// - a folder: the very one the run made, once empty.
// Every place is reached from its root through real folders only. A
// damaged journal removes nothing. Everything left is named with why.
// Doing it again finds nothing to remove.
UndoResult undoRestore(const std::string& journal, std::stop_token stop = {});

} // namespace korvane
