#include "restore/restore_plan.h"

#include "restore/candidate_choice.h"
#include "restore/place_finder.h"
#include "text/system_error.h"
#include "text/terminal_quote.h"

#include <algorithm>

namespace korvane {

namespace {

std::string listOf(const std::vector<std::uint64_t>& sizes)
{
    std::string out;
    for (std::size_t k = 0; k < sizes.size(); ++k) {
        if (k > 0)
            out += k + 1 == sizes.size() ? " and " : ", ";
        out += std::to_string(sizes[k]);
    }
    return out + " bytes";
}

// Finds the place of one missing file; false, with the reason set, when it
// has none it may go to.
bool findPlace(const MissingMatch& match, PathResolver& resolver, PlaceFinder& places, RestoreStep& step,
               bool& windows)
{
    if (!match.path.notSearched.empty()) {
        step.reason = LeftReason::NotSearched;
        step.detail = match.path.notSearched;
        return false;
    }
    const Resolution resolution = resolver.resolve(match.file.stored);
    windows = resolution.kind == PathKind::Mapped;
    switch (resolution.kind) {
    case PathKind::NotAFile:
        step.reason = LeftReason::NotSearched;
        step.detail = "it names no file";
        return false;
    case PathKind::NoMapping:
        step.reason = LeftReason::NoMapping;
        step.detail = resolution.root;
        return false;
    case PathKind::Mapped:
        break;
    case PathKind::NotWindows:
        if (resolution.found) {
            step.reason = LeftReason::AlreadyThere;
            step.destination = normalisedPath(match.file.stored);
            return false;
        }
        return places.placeOther(match.file.stored, step);
    }
    if (resolution.found) {
        step.reason = LeftReason::AlreadyThere;
        step.destination = resolution.localPath;
        return false;
    }
    std::vector<std::string> names = match.path.folders;
    names.push_back(match.path.name);
    const DriveMap::Match mapping = resolver.drives().match(match.path.root, names);
    if (!mapping.mapping || mapping.folders >= names.size()) {
        step.reason = LeftReason::NotSearched;
        step.detail = "it names the folder of a mapping";
        return false;
    }
    names.erase(names.begin(), names.begin() + static_cast<std::ptrdiff_t>(mapping.folders));
    // The same path read in the other code page, where the name reads two
    // ways: no folder is made in one reading beside the other's.
    std::vector<std::string> otherNames;
    std::string other = resolver.otherReadingOf(match.file.stored);
    if (!other.empty() && other == match.file.decoded) // the match was decoded otherwise than the resolver reads
        other = resolver.decoded(match.file.stored);
    if (other != match.file.decoded && !other.empty()) {
        const StoredPath otherPath = parseStoredPath(other);
        otherNames = otherPath.folders;
        otherNames.push_back(otherPath.name);
        if (otherNames.size() == names.size() + mapping.folders)
            otherNames.erase(otherNames.begin(), otherNames.begin() + static_cast<std::ptrdiff_t>(mapping.folders));
        else
            otherNames.clear();
    }
    return places.placeWindows(mapping.mapping->folder, names, otherNames, step);
}

} // namespace

std::size_t RestorePlan::putBackCount() const
{
    return static_cast<std::size_t>(
        std::count_if(steps.begin(), steps.end(), [](const RestoreStep& s) { return s.putBack; }));
}

std::string describeLeft(const RestoreStep& step)
{
    switch (step.reason) {
    case LeftReason::NotFound:
        return "not found";
    case LeftReason::OtherExtension:
        return "the closest file found has another extension (a transcoded file is not the original)";
    case LeftReason::DifferentFiles:
        return std::to_string(step.differentSizes.size()) + " different files found (" +
               listOf(step.differentSizes) + ")";
    case LeftReason::NoMapping:
        return "no mapping for " + std::string(step.detail.starts_with("\\\\") ? "share " : "drive ") +
               quoteName(step.detail);
    case LeftReason::NotWritable:
        return "cannot write in folder " + quoteName(step.detail) + ": " + systemErrorText(step.error);
    case LeftReason::NotSearched:
        return "not searched for: " + step.detail;
    case LeftReason::AlreadyThere:
        return "its place holds an entry now: " + quoteName(step.destination);
    case LeftReason::OutsideRoot:
        return "its place " + quoteName(step.destination) + " is outside the folders files may be put back in";
    case LeftReason::HiddenName:
        return "the name " + quoteName(step.detail) + " is hidden: putting back never makes such a name";
    case LeftReason::NotMounted:
        return "the folder " + quoteName(step.detail) +
               (step.error != 0 ? " does not exist" : " is a mount point with nothing mounted") +
               ": is the disk mounted?";
    case LeftReason::LinkInPath:
        return quoteName(step.detail) + " is a symbolic link: files are put back only through real folders";
    case LeftReason::NotAFolder:
        return quoteName(step.detail) + " is not a folder";
    case LeftReason::SamePlace:
        return "the same place as " + quoteName(step.detail) + ", whose name differs only in letter case";
    case LeftReason::OtherShoot:
        return "found only in folders of other dates than its own: another day's shoot";
    case LeftReason::OtherReading:
        return "its folder is on the disk as " + quoteName(step.detail) +
               ", its name read in the other code page: no folder is made from a reading the disk contradicts";
    }
    return {};
}

bool choose(RestoreStep& step, std::size_t choice)
{
    if (choice >= step.choices.size())
        return false;
    const std::optional<SeenFile> seen = seeFile(step.choices[choice].path);
    if (!seen || seen->identity.size != step.choices[choice].size || seen->identity.mtime != step.choices[choice].mtime)
        return false;
    step.putBack = true;
    step.source = seen->path;
    step.sourceIdentity = seen->identity;
    step.identicalCopies = 1;
    return true;
}

void unchoose(RestoreStep& step)
{
    if (step.choices.empty())
        return;
    step.putBack = false;
    step.source.clear();
    step.sourceIdentity = {};
}

RestorePlan makeRestorePlan(const SearchResults& results, PathResolver& resolver, const PlanOptions& options)
{
    RestorePlan plan;
    PlaceFinder places(options);
    for (std::size_t k = 0; k < results.matches().size(); ++k) {
        const MissingMatch& match = results.matches()[k];
        RestoreStep& step = plan.steps.emplace_back();
        step.stored = match.file.stored;
        step.decoded = match.file.decoded;
        bool windows = false;
        if (!findPlace(match, resolver, places, step, windows))
            continue;
        chooseCandidate(results, k, step);
        if (step.putBack)
            places.reserve(step, windows);
    }
    return plan;
}

} // namespace korvane
