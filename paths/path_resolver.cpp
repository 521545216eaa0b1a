#include "paths/path_resolver.h"

#include "paths/name_match.h"
#include "paths/path_resolver_run.h"
#include "paths/windows_path.h"
#include "fs/file_probe.h"
#include "text/ascii.h"
#include "text/terminal_quote.h"
#include "text/message.h"

#include <algorithm>
#include <stdexcept>

namespace korvane {

using namespace resolver_detail;

namespace {

// "no mapping for drive D:", "no mapping for drive D: outside D:\Video and
// D:\Audio".
std::string noMappingReason(bool drive, const std::string& root, const std::vector<const DriveMapping*>& folders)
{
    std::string reason = (drive ? "no mapping for drive " : "no mapping for share ") + quoteName(root);
    if (folders.empty())
        return reason;
    std::vector<std::string> roots;
    for (const DriveMapping* folder : folders)
        roots.push_back(quoteName(folder->root));
    return reason + " outside " + joinWithAnd(roots);
}

bool isShare(std::string_view root)
{
    return root.starts_with("\\\\");
}

// joinWithAnd for a sentence for people: "D:, E: and F:", in their language.
std::string listForPeople(const std::vector<std::string>& items)
{
    std::string out;
    for (std::size_t k = 0; k < items.size(); ++k) {
        if (k == 0)
            out = items[k];
        else
            out = fillMessage(k + 1 == items.size() ? N_("%1 and %2") : N_("%1, %2"), {out, items[k]});
    }
    return out;
}

// "drive D:, share \\nas\media and drive E:".
std::string rootsInOrder(const std::vector<std::string>& roots)
{
    std::vector<std::string> named;
    for (const std::string& root : roots)
        named.push_back(fillMessage(isShare(root) ? N_("share %1") : N_("drive %1"), {quoteName(root)}));
    return listForPeople(named);
}

// "Drives D: and E: and share \\nas\media".
std::string rootsByKind(const std::vector<std::string>& roots)
{
    std::vector<std::string> drives, shares;
    for (const std::string& root : roots)
        (isShare(root) ? shares : drives).push_back(quoteName(root));
    std::string driveList, shareList;
    if (!drives.empty())
        driveList = fillMessage(drives.size() == 1 ? N_("Drive %1") : N_("Drives %1"), {listForPeople(drives)});
    if (!shares.empty() && drives.empty())
        shareList = fillMessage(shares.size() == 1 ? N_("Share %1") : N_("Shares %1"), {listForPeople(shares)});
    else if (!shares.empty())
        shareList = fillMessage(shares.size() == 1 ? N_("share %1") : N_("shares %1"), {listForPeople(shares)});
    if (driveList.empty() || shareList.empty())
        return driveList + shareList;
    return fillMessage("%1 and %2", {driveList, shareList});
}

} // namespace

std::string unmappedRootsNote(const std::vector<std::string>& roots, UnmappedNote style, std::string_view howToMap)
{
    if (roots.empty())
        return {};
    const bool one = roots.size() == 1;
    std::string text;
    if (style == UnmappedNote::Warning)
        text = fillMessage(
            one ? N_("%1 has no mapping, so its paths were listed as missing without being looked for")
                : N_("%1 have no mapping, so their paths were listed as missing without being looked for"),
            {rootsInOrder(roots)});
    else
        text = fillMessage(one ? N_("%1 has no mapping, so its files were not looked for")
                               : N_("%1 have no mapping, so their files were not looked for"),
                           {rootsByKind(roots)});
    if (!howToMap.empty())
        text = fillMessage(one ? N_("%1; map it with %2") : N_("%1; map them with %2"), {text, howToMap});
    if (style == UnmappedNote::Sentence)
        text = fillMessage("%1.", {text});
    return text;
}

std::string describe(const Resolution& r)
{
    if (r.found)
        return r.kind == PathKind::Mapped ? "found as " + quoteName(r.localPath) : "found as stored";
    switch (r.kind) {
    case PathKind::Mapped:
        return "tried " + quoteName(r.localPath) + ": " + r.reason;
    case PathKind::NoMapping:
        return r.reason + ", looked for as stored";
    case PathKind::NotAFile:
        return r.reason;
    case PathKind::NotWindows:
        break;
    }
    return "not found as stored";
}

PathResolver::PathResolver(DriveMap drives, TextDecoder decoder, FolderReader& reader)
    : drives_(std::move(drives)), decoder_(std::move(decoder)), reader_(&reader), run_(std::make_unique<Run>())
{
    run_->directories = DirectoryListings(reader);
}

PathResolver PathResolver::sibling(FolderReader& reader) const
{
    // The code page opened once already, so it opens again.
    std::optional<TextDecoder> decoder = TextDecoder::open(decoder_.codePage());
    if (!decoder)
        throw std::logic_error("a code page that opened no longer opens");
    return PathResolver(drives_, std::move(*decoder), reader);
}

PathResolver::~PathResolver() = default;
PathResolver::PathResolver(PathResolver&&) noexcept = default;
PathResolver& PathResolver::operator=(PathResolver&&) noexcept = default;

void PathResolver::newRun()
{
    run_->clear();
    decoder_.forgetNames();
    readOtherwise_.clear();
    unmapped_.clear();
    unmappedKeys_.clear();
}

bool PathResolver::exists(std::string_view stored)
{
    // One probe of the table for a name met before, and for a new one: its
    // place is taken at once, and nothing else is added to the table before
    // the answer is written there.
    constexpr std::uint32_t kNotYet = 2;
    const auto [answer, fresh] = run_->known.insert(stored, kNotYet);
    if (!fresh)
        return *answer == 1;
    decoder_.meet(stored);
    bool found = false;
    if (isWindowsPath(stored)) {
        resolveInto(stored, run_->scratch, true);
        found = run_->scratch.found;
    } else {
        found = findFirst(stored, *reader_);
    }
    *answer = found ? 1 : 0;
    return found;
}

std::vector<std::string> describeEach(const Resolution& r)
{
    std::vector<std::string> lines;
    for (const Resolution::Attempt& attempt : r.tried)
        lines.push_back("tried " + quoteName(attempt.localPath) + ": " + attempt.reason);
    lines.push_back(describe(r));
    return lines;
}

std::string PathResolver::explain(std::string_view stored)
{
    std::string text;
    for (const std::string& line : describeEach(resolve(stored))) {
        if (!text.empty())
            text += '\n';
        text += line;
    }
    return text;
}

std::string_view PathResolver::codePageOf(std::string_view stored)
{
    return isWindowsPath(stored) && !isAscii(stored) ? decoder_.codePageFor(stored) : std::string_view();
}

Resolution PathResolver::resolve(std::string_view stored)
{
    Resolution r;
    resolveInto(stored, r, false);
    return r;
}

namespace {

// What one look-up answers, forgotten before the next; the memory is kept.
void clearAnswer(Resolution& r)
{
    r.kind = PathKind::NotWindows;
    r.found = false;
    r.root.clear();
    r.mappedRoot.clear();
    r.localPath.clear();
    r.reason.clear();
}

} // namespace

// With `answerOnly` only r.found counts, and it may be answered from the
// folders read without the exact lookup where that lookup could change the
// path found but not whether something is found.
void PathResolver::resolveInto(std::string_view stored, Resolution& r, bool answerOnly)
{
    clearAnswer(r);
    r.tried.clear();
    r.codePage.clear();
    r.otherCodePage = false;
    if (!isWindowsPath(stored)) {
        r.localPath = stored;
        r.found = findFirst(stored, *reader_);
        if (!r.found)
            r.reason = "not found";
        return;
    }
    decoder_.toUtf8(stored, run_->text);
    resolveDecoded(stored, r, answerOnly);
    if (isAscii(stored))
        return;
    if (!answerOnly)
        r.codePage = decoder_.codePageFor(stored);
    if (r.found || r.kind != PathKind::Mapped)
        return;
    // Not found as the project's code page reads it: the other reading, when
    // it is valid and finds the file, is taken instead.
    const std::string_view other = decoder_.otherReading(stored, run_->text);
    if (other.empty())
        return;
    Resolution& second = run_->otherReading;
    resolveDecoded(stored, second, answerOnly);
    if (!second.found)
        return;
    r = second;
    r.codePage = other;
    r.otherCodePage = true;
    if (answerOnly)
        readOtherwise_.emplace_back(stored);
}

// resolveInto for a Windows path whose decoded text is in run_->text.
void PathResolver::resolveDecoded(std::string_view stored, Resolution& r, bool answerOnly)
{
    clearAnswer(r);
    if (resolveInKnownFolder(r, answerOnly))
        return;

    std::optional<WindowsPath> path = splitWindowsPath(run_->text);
    if (!path) { // not expected: the decoded text starts as the stored bytes do
        r.localPath = stored;
        r.found = findFirst(stored, *reader_);
        if (!r.found)
            r.reason = "not found";
        return;
    }
    r.root = path->root;
    if (path->kind == WindowsPath::Root::NotAFile) {
        r.kind = PathKind::NotAFile;
        r.localPath = stored;
        r.reason = path->findsNothing;
        return;
    }
    const std::vector<DriveMap::Match> matches = drives_.covering(path->root, path->names);
    if (matches.empty()) {
        noteUnmapped(path->root);
        r.kind = PathKind::NoMapping;
        r.localPath = stored;
        r.found = findFirst(stored, *reader_);
        if (!r.found)
            r.reason = noMappingReason(path->kind == WindowsPath::Root::Drive, path->root, drives_.foldersOn(path->root));
        return;
    }
    r.kind = PathKind::Mapped;
    std::vector<std::string> below;
    for (const DriveMap::Match& match : matches) {
        nextAttempt(r, answerOnly);
        r.mappedRoot = match.mapping->root;
        below.assign(path->names.begin() + static_cast<std::ptrdiff_t>(match.folders), path->names.end());
        if (!path->findsNothing.empty()) { // nothing is found under any mapping
            r.localPath = join(match.mapping->folder, below, 0, below.size());
            r.reason = path->findsNothing;
            return;
        }
        lookUp(static_cast<std::size_t>(match.mapping - drives_.all().data()), below, r, answerOnly);
        if (r.found)
            return;
    }
}

// Before looking under the next mapping: keeps where the last one looked,
// unless only the answer counts.
void PathResolver::nextAttempt(Resolution& r, bool answerOnly)
{
    if (r.mappedRoot.empty())
        return;
    if (!answerOnly)
        r.tried.push_back({std::move(r.mappedRoot), std::move(r.localPath), std::move(r.reason)});
    r.mappedRoot.clear();
    r.localPath.clear();
    r.reason.clear();
}

// The names of one folder on a mapped drive share all but their last name:
// once a name of that folder has been looked for, the next ones go through
// what the first one learnt, keyed by the decoded text up to the last
// separator. Only a plain last name qualifies: one that is not a device
// name, nor empty or nothing but dots and spaces ("." and ".." included);
// taking the text apart then ends in that name, whatever it is.
bool PathResolver::resolveInKnownFolder(Resolution& r, bool answerOnly)
{
    Run& run = *run_;
    const std::string_view text = run.text;
    const std::size_t separator = text.find_last_of("\\/");
    if (separator == std::string_view::npos)
        return false;
    std::string_view last = text.substr(separator + 1);
    if (!containsWildcard(last)) {
        while (!last.empty() && (last.back() == '.' || last.back() == ' '))
            last.remove_suffix(1);
        if (last.empty())
            return false;
    }
    if (isReservedDeviceName(last))
        return false;
    const std::string_view folder = text.substr(0, separator);
    const std::uint32_t hash = run.places.hashOf(folder);
    const std::uint32_t* known = run.places.find(folder, hash);
    const std::uint32_t index = known ? *known : placeOf(folder, hash, last);
    const Place& place = run.placeList[index];
    if (!place.known)
        return false;
    r.kind = PathKind::Mapped;
    r.root = place.root;
    for (const Place::Way& way : place.ways) {
        nextAttempt(r, answerOnly);
        r.mappedRoot = drives_.all()[way.mapping].root;
        lookUpIn(run.chains[way.chain], last, r, answerOnly);
        if (r.found)
            break;
    }
    return true;
}

// Takes the whole text apart (its last name is `last`) to learn what its
// folder leads to. The folder qualifies when the text is a mapped path that
// finds something only by looking, and when no mapping's root could take
// the last name too (a root of as many names as the path), since then
// another last name could be covered by other mappings.
std::uint32_t PathResolver::placeOf(std::string_view folderText, std::uint32_t hash, std::string_view last)
{
    Place place;
    const std::optional<WindowsPath> path = splitWindowsPath(run_->text);
    if (path && path->kind != WindowsPath::Root::NotAFile && path->findsNothing.empty() && !path->names.empty() &&
        path->names.back() == last) {
        const std::size_t depth = path->names.size();
        const std::vector<DriveMap::Match> matches = drives_.covering(path->root, path->names);
        if (!matches.empty() && matches.front().folders < depth && !mayTakeLastName(path->root, path->names)) {
            place.known = true;
            place.root = path->root;
            for (const DriveMap::Match& match : matches) {
                const auto mapping = static_cast<std::size_t>(match.mapping - drives_.all().data());
                place.ways.push_back({mapping, chainOf(mapping, path->names, match.folders, depth - 1)});
            }
        }
    }
    const auto index = static_cast<std::uint32_t>(run_->placeList.size());
    run_->placeList.push_back(std::move(place));
    run_->places.insert(folderText, hash, index);
    return index;
}

// Whether a mapping's root is the folder of `names` (on drive or share
// `root`) and one name more, which a last name could match.
bool PathResolver::mayTakeLastName(std::string_view root, const std::vector<std::string>& names) const
{
    const std::string base = rootKey(root);
    for (const DriveMapping& mapping : drives_.all()) {
        const std::string_view drive = driveOrShare(mapping.root);
        if (rootKey(drive) != base)
            continue;
        std::string_view rest = std::string_view(mapping.root).substr(drive.size());
        if (!rest.empty())
            rest.remove_prefix(1);
        std::size_t k = 0;
        while (!rest.empty() && k + 1 < names.size() && foldCase(takePathName(rest)) == foldCase(names[k]))
            ++k;
        if (k + 1 == names.size() && !rest.empty() && rest.find('\\') == std::string_view::npos)
            return true;
    }
    return false;
}

// The chain of names[from..to) below the folder of mappings[mapping].
std::uint32_t PathResolver::chainOf(std::size_t mapping, const std::vector<std::string>& names, std::size_t from,
                                    std::size_t to)
{
    // No name holds a separator, so "/" keeps the names apart.
    std::string& key = run_->key;
    key.assign(std::to_string(mapping));
    for (std::size_t k = from; k < to; ++k) {
        key += '/';
        key += names[k];
    }
    const auto index = static_cast<std::uint32_t>(run_->chains.size());
    const auto [kept, added] = run_->chainKeys.insert(key, index);
    if (!added)
        return *kept;
    Chain& chain = run_->chains.emplace_back();
    chain.mapping = mapping;
    chain.names.assign(names.begin() + static_cast<std::ptrdiff_t>(from),
                       names.begin() + static_cast<std::ptrdiff_t>(to));
    chain.exactPath = join(drives_.all()[mapping].folder, chain.names, 0, chain.names.size());
    return index;
}

void PathResolver::noteUnmapped(const std::string& root)
{
    std::string key = rootKey(root);
    if (std::find(unmappedKeys_.begin(), unmappedKeys_.end(), key) != unmappedKeys_.end())
        return;
    unmappedKeys_.push_back(std::move(key));
    unmapped_.push_back(root);
}

std::string otherCodePageNote(PathResolver& resolver)
{
    const std::vector<std::string>& names = resolver.readInOtherCodePage();
    if (names.empty())
        return {};
    constexpr std::size_t kShown = 5;
    std::string list;
    for (std::size_t k = 0; k < names.size() && k < kShown; ++k) {
        const Resolution found = resolver.resolve(names[k]);
        const std::string named = fillMessage("%1 (read as %2)", {quoteName(found.localPath), found.codePage});
        list = k == 0 ? named : fillMessage("%1; %2", {list, named});
    }
    if (names.size() > kShown)
        list = fillMessage("%1; and %2 more", {list, std::to_string(names.size() - kShown)});
    return fillMessage(
        names.size() == 1
            ? N_("%1 name was found only when read in another code page than the rest of the project: %2")
            : N_("%1 names were found only when read in another code page than the rest of the project: %2"),
        {std::to_string(names.size()), list});
}

} // namespace korvane
