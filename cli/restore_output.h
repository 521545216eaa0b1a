#pragma once

#include "cli/text_options.h"
#include "restore/restore_apply.h"
#include "restore/restore_plan.h"

#include <string>
#include <string_view>

namespace korvane {

// "Put back": each missing file the search looked for, as the report lists
// it, and under it either where it is put back from and to, or why it is
// left; then how many can be put back. Every name as quoteName shows it.
std::string renderRestorePlan(const RestorePlan& plan, const TextOptions& options, bool applying);

// What applying the plan did: each file that did not go as planned, with
// what became of it, then how many files were put back and how many bytes
// were copied.
std::string renderRestoreOutcome(const RestorePlan& plan, const ApplyResult& applied, const TextOptions& options);

// A modification time as "2024-06-15 14:03:22 UTC".
std::string timeText(std::int64_t nanoseconds);

// "linked", "copied", "appeared", ...: the words of the JSON document.
std::string_view outcomeName(StepOutcome outcome);
std::string_view leftReasonName(LeftReason reason);

// What undoing a journal did, a line each entry left and a last line of
// how many files and folders were removed.
std::string renderUndo(const UndoResult& undo);

} // namespace korvane
