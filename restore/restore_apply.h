#pragma once

#include "restore/fault_hook.h"
#include "restore/journal_writer.h"
#include "restore/restore_plan.h"
#include "restore/restore_undo.h"

#include <cstdint>
#include <functional>
#include <stop_token>
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
    Stopped,  // not tried: the run was stopped (`error` says why when it was not asked to)
};

struct StepResult {
    StepOutcome outcome = StepOutcome::Left;
    std::string error; // Failed, and Stopped by a failure: what failed, in the system's words
};

struct ApplyProgress {
    std::size_t done = 0;  // steps to put back that are done
    std::size_t total = 0; // steps to put back
    std::uint64_t bytesCopied = 0; // written so far
};

struct ApplyOptions {
    bool forceCopy = false; // copy even where a hard link could be made
    std::string journalFolder = korvane::journalFolder();
    std::stop_token stop; // no step is begun, and a copy is given up, once stop is requested
    std::function<void(const ApplyProgress&)> progress;
    MountRules mounts = systemMountRules(); // each root is checked again before it is written below
    FaultHook fault;
};

struct ApplyResult {
    std::string journal; // the journal written; empty when it could not be made
    // Why the journal could not be made (nothing was done), or, with a
    // journal, why it could not be written on: the run stopped there, and
    // everything it did up to then is in it.
    int journalError = 0;
    std::vector<StepResult> steps; // one a plan step
    std::size_t linked = 0;
    std::size_t copied = 0;
    std::uint64_t bytesCopied = 0; // of the copies put back
    std::size_t putBack() const { return linked + copied; }
};

// Carries out the plan below each step's root, which is never made: makes
// the folders that are missing, then each file, as a hard link to the
// source where both share a file system (unless `forceCopy`), else as a
// copy (a clone where the file system offers one) written under a temporary
// name, synced, then named. The source must still be the very file the
// plan saw. Every folder and file is made through descriptors from the
// root down, never through a link, and never replaces anything. The journal
// says what is about to be done before it is done, and is synced before;
// the first failure to write it stops the run, and what was done up to
// then stays undoable.
ApplyResult applyRestorePlan(const RestorePlan& plan, const ApplyOptions& options = {});

} // namespace korvane
