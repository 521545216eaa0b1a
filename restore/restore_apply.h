#pragma once

#include "restore/restore_journal.h"
#include "restore/restore_plan.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace korvane {

// What became of one step of a plan.
enum class StepOutcome : std::uint8_t {
    Left,     // the plan left it
    Linked,   // put back as a hard link to the file found
    Copied,   // put back as a copy
    Appeared, // its place held an entry by then: left, nothing replaced
    Failed,   // could not be put back: `error` says why
    Stopped,  // not tried: the run was stopped
};

struct StepResult {
    StepOutcome outcome = StepOutcome::Left;
    std::string error; // Failed: what failed, in the system's words
};

struct ApplyProgress {
    std::size_t done = 0;  // steps to put back that are done
    std::size_t total = 0; // steps to put back
    std::uint64_t bytesCopied = 0;
};

struct ApplyOptions {
    bool forceCopy = false; // copy even where a hard link could be made
    std::string journalFolder = korvane::journalFolder();
    const std::atomic<bool>* stop = nullptr; // no step is begun, and a copy is given up, once true
    std::function<void(const ApplyProgress&)> progress;
    // link(2), as the run makes links; a test can make it fail as across
    // file systems.
    std::function<int(const char* source, const char* destination)> link;
};

struct ApplyResult {
    std::string journal; // the journal written; empty when it could not be made
    int journalError = 0; // why not: nothing was done
    std::vector<StepResult> steps; // one a plan step
    std::size_t linked = 0;
    std::size_t copied = 0;
    std::uint64_t bytesCopied = 0;
    std::size_t putBack() const { return linked + copied; }
};

// Carries out the plan: makes the folders that are missing, then each file,
// as a hard link where source and place share a file system (unless
// `forceCopy`), else as a copy (a clone where the file system offers one)
// written under a temporary name in the place's folder, synced and then
// given its name only if nothing holds it yet. Never moves, never replaces.
// Copies are hashed and synced on a second thread while the next are
// written, and named in batches (on a local disk file system, one sync of
// the file system for a batch). Each folder, temporary and file made goes
// into the journal as soon as it is made or named.
ApplyResult applyRestorePlan(const RestorePlan& plan, const ApplyOptions& options = {});

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
};

// What undoing a journal did, or would do.
struct UndoResult {
    bool read = false;
    std::string error;               // why the journal could not be read: nothing was removed
    std::vector<UndoItem> items;     // each entry of the journal, newest first
    std::size_t removedFiles = 0;
    std::size_t removedFolders = 0;
    std::size_t alreadyGone = 0;     // no longer there: nothing to do
    std::vector<std::string> kept;   // "PATH: why", each entry left in place
    bool stopped = false;            // the entries after the stop were left untried
};

// What undoRestore would do now, changing nothing: each file and folder it
// would remove, and each it would keep and why. A folder counts as empty
// when all it holds would be removed first. The disk may change before the
// undo itself, which checks everything again. Once `*stop` is true (both
// here and in undoRestore) no further entry is tried: each is kept, "not
// tried: the undo was stopped".
UndoResult previewUndo(const std::string& journal, const std::atomic<bool>* stop = nullptr);

// Removes what the run of `journal` made, newest first: each file still the
// one written (a link still to the same file, and not the last one left of
// it; a copy still of the same content, whose source is still there the
// same), each folder left empty. Everything else is left, and named. Doing
// it again finds nothing to remove.
UndoResult undoRestore(const std::string& journal, const std::atomic<bool>* stop = nullptr);

} // namespace korvane
