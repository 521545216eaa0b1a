#include "cli/restore_output.h"

#include "cli/readable_name.h"

#include <ctime>

#include "text/terminal_quote.h"

namespace korvane {

namespace {

std::string plural(std::size_t n, std::string_view one, std::string_view many)
{
    return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

std::string_view shown(const RestoreStep& step, const TextOptions&)
{
    return readableName(step.stored, step.decoded);
}

} // namespace

std::string timeText(std::int64_t nanoseconds)
{
    const std::time_t seconds = static_cast<std::time_t>(nanoseconds / 1000000000);
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &utc);
    return text;
}

std::string_view outcomeName(StepOutcome outcome)
{
    switch (outcome) {
    case StepOutcome::Left:
        return "left";
    case StepOutcome::Linked:
        return "linked";
    case StepOutcome::Copied:
        return "copied";
    case StepOutcome::Appeared:
        return "appeared";
    case StepOutcome::Failed:
        return "failed";
    case StepOutcome::Stopped:
        return "stopped";
    }
    return {};
}

std::string_view leftReasonName(LeftReason reason)
{
    switch (reason) {
    case LeftReason::NotFound:
        return "not-found";
    case LeftReason::OtherExtension:
        return "other-extension";
    case LeftReason::DifferentFiles:
        return "different-files";
    case LeftReason::NoMapping:
        return "no-mapping";
    case LeftReason::NotWritable:
        return "not-writable";
    case LeftReason::NotSearched:
        return "not-searched";
    case LeftReason::AlreadyThere:
        return "already-there";
    case LeftReason::OutsideRoot:
        return "outside-root";
    case LeftReason::HiddenName:
        return "hidden-name";
    case LeftReason::NotMounted:
        return "not-mounted";
    case LeftReason::LinkInPath:
        return "link-in-path";
    case LeftReason::NotAFolder:
        return "not-a-folder";
    case LeftReason::SamePlace:
        return "same-place";
    case LeftReason::OtherShoot:
        return "other-shoot";
    }
    return {};
}

std::string renderRestorePlan(const RestorePlan& plan, const TextOptions& options, bool applying)
{
    const std::string_view end = options.lineEnd;
    std::string out = "Put back";
    out += end;
    for (const RestoreStep& step : plan.steps) {
        out += quoteName(shown(step, options));
        out += end;
        if (step.putBack) {
            out += "    from " + quoteName(step.source);
            if (step.identicalCopies > 1)
                out += " (one of " + std::to_string(step.identicalCopies) + " identical copies)";
            out += end;
            out += "    to " + quoteName(step.destination);
        } else {
            out += "    left: " + describeLeft(step);
            if (step.reason == LeftReason::OutsideRoot)
                out += " (--restore-root names one)";
            if (!step.choices.empty())
                out += "; nothing tells them apart: --prefer FOLDER chooses";
            for (const Choice& choice : step.choices) {
                out += end;
                out += "        " + quoteName(choice.path) + " (" + std::to_string(choice.size) + " bytes, modified " +
                       timeText(choice.mtime) + ")";
            }
        }
        out += end;
    }
    const std::size_t count = plan.putBackCount();
    if (plan.steps.empty())
        out += "Nothing is missing.";
    else
        out += std::to_string(count) + " of " + plural(plan.steps.size(), "missing file", "missing files") +
               (applying ? " to put back." : " can be put back; --apply puts them back.");
    out += end;
    return out;
}

std::string renderRestoreOutcome(const RestorePlan& plan, const ApplyResult& applied, const TextOptions& options)
{
    const std::string_view end = options.lineEnd;
    std::string out;
    for (std::size_t k = 0; k < plan.steps.size(); ++k) {
        const RestoreStep& step = plan.steps[k];
        const StepResult& result = applied.steps[k];
        if (!step.putBack || result.outcome == StepOutcome::Linked || result.outcome == StepOutcome::Copied)
            continue;
        out += quoteName(shown(step, options));
        out += end;
        if (result.outcome == StepOutcome::Appeared)
            out += "    left: " + quoteName(step.destination) + " appeared meanwhile; nothing was replaced";
        else if (result.outcome == StepOutcome::Stopped && result.error.empty())
            out += "    left: stopped before it was put back";
        else if (result.outcome == StepOutcome::Stopped)
            out += "    left: stopped before it was put back: " + result.error;
        else
            out += "    failed: " + result.error;
        out += end;
    }
    out += "Put back " + plural(applied.putBack(), "file", "files") + " (" + std::to_string(applied.linked) +
           " linked, " + std::to_string(applied.copied) + " copied); " +
           plural(static_cast<std::size_t>(applied.bytesCopied), "byte", "bytes") + " copied.";
    out += end;
    return out;
}

std::string renderUndo(const UndoResult& undo)
{
    std::string out;
    for (const std::string& kept : undo.kept)
        out += "left " + kept + "\n";
    out += "Removed " + plural(undo.removedFiles, "file", "files") + " and " +
           plural(undo.removedFolders, "folder", "folders");
    if (undo.alreadyGone > 0)
        out += "; " + std::to_string(undo.alreadyGone) + " already gone";
    if (!undo.kept.empty())
        out += "; left " + std::to_string(undo.kept.size());
    out += ".\n";
    return out;
}

} // namespace korvane
