#include "paths/path_resolver.h"

#include "fs/file_probe.h"
#include "paths/local_path.h"
#include "paths/mapped_lookup.h"
#include "paths/name_match.h"
#include "paths/windows_path.h"
#include "text/ascii.h"
#include "text/message.h"
#include "text/terminal_quote.h"

#include <algorithm>
#include <stdexcept>

namespace korvane {

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

} // namespace

PathResolver::PathResolver(DriveMap drives, TextDecoder decoder, FolderReader& reader)
    : PathResolver(std::make_shared<const DriveMap>(std::move(drives)), std::move(decoder), reader)
{
}

PathResolver::PathResolver(std::shared_ptr<const DriveMap> drives, TextDecoder decoder, FolderReader& reader)
    : drives_(std::move(drives)), decoder_(std::move(decoder)), reader_(&reader),
      mapped_(std::make_unique<MappedLookup>(drives_, reader))
{
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
    mapped_->clear();
    known_.clear();
    decoder_.forgetNames();
    readOtherwise_.clear();
    foundOwn_ = 0;
    foundNowhere_ = 0;
    switchNote_.clear();
    unmapped_.clear();
    unmappedKeys_.clear();
}

bool PathResolver::exists(std::string_view stored)
{
    // One probe of the table for a name met before, and for a new one: its
    // place is taken at once, and nothing else is added to the table before
    // the answer is written there.
    constexpr std::uint32_t kNotYet = 2;
    const auto [answer, fresh] = known_.insert(stored, kNotYet);
    if (!fresh)
        return *answer == 1;
    decoder_.meet(stored);
    bool found = false;
    if (isWindowsPath(stored)) {
        resolveInto(stored, scratch_, true);
        found = scratch_.found;
    } else {
        found = findFirst(stored, *reader_);
    }
    *answer = found ? 1 : 0;
    return found;
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
    decoder_.toUtf8(stored, text_);
    resolveDecoded(stored, r, answerOnly);
    if (isAscii(stored))
        return;
    if (!answerOnly)
        r.codePage = decoder_.codePageFor(stored);
    if (r.found && answerOnly && r.kind == PathKind::Mapped && !decoder_.otherReading(stored, otherText_).empty())
        ++foundOwn_; // found in the project's reading, though another could be read
    if (r.found || r.kind != PathKind::Mapped)
        return;
    // Not found as the project's code page reads it: the other reading, when
    // it is valid and finds the file, is taken instead.
    const std::string_view other = decoder_.otherReading(stored, text_);
    if (other.empty())
        return;
    Resolution& second = otherReading_;
    resolveDecoded(stored, second, answerOnly);
    if (!second.found) {
        if (answerOnly)
            ++foundNowhere_;
        return;
    }
    r = second;
    r.codePage = other;
    r.otherCodePage = true;
    if (answerOnly)
        readOtherwise_.emplace_back(stored);
}

std::string PathResolver::otherReadingOf(std::string_view stored)
{
    std::string out;
    decoder_.otherReading(stored, out);
    return out;
}

std::string PathResolver::followDisk()
{
    // A majority of the names that read both ways, not merely more than the
    // project's reading found: a few names found otherwise among many found
    // nowhere say little.
    if (readOtherwise_.size() <= foundOwn_ + foundNowhere_)
        return {};
    const std::string_view from = decoder_.codePageFor(readOtherwise_.front());
    const std::string to(resolve(readOtherwise_.front()).codePage);
    if (to.empty() || to == from || !decoder_.settleOn(to))
        return {};
    switchNote_ = fillMessage(
        N_("the project's names are read as %1, not %2: %3 of them were found on the disk only when read so, %4 as "
           "%2"),
        {to, std::string(from), std::to_string(readOtherwise_.size()), std::to_string(foundOwn_)});
    // What was read otherwise is the project's reading now.
    readOtherwise_.clear();
    foundOwn_ = 0;
    foundNowhere_ = 0;
    return switchNote_;
}

// resolveInto for a Windows path whose decoded text is in text_.
void PathResolver::resolveDecoded(std::string_view stored, Resolution& r, bool answerOnly)
{
    clearAnswer(r);
    if (mapped_->lookUpInKnownFolder(text_, r, answerOnly))
        return;

    std::optional<WindowsPath> path = splitWindowsPath(text_);
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
    const std::vector<DriveMap::Match> matches = drives_->covering(path->root, path->names);
    if (matches.empty()) {
        noteUnmapped(path->root);
        r.kind = PathKind::NoMapping;
        r.localPath = stored;
        r.found = findFirst(stored, *reader_);
        if (!r.found)
            r.reason = noMappingReason(path->kind == WindowsPath::Root::Drive, path->root, drives_->foldersOn(path->root));
        return;
    }
    r.kind = PathKind::Mapped;
    std::vector<std::string> below;
    for (const DriveMap::Match& match : matches) {
        nextAttempt(r, answerOnly);
        r.mappedRoot = match.mapping->root;
        below.assign(path->names.begin() + static_cast<std::ptrdiff_t>(match.folders), path->names.end());
        if (!path->findsNothing.empty()) { // nothing is found under any mapping
            r.localPath = joinPath(match.mapping->folder, below, 0, below.size());
            r.reason = path->findsNothing;
            return;
        }
        mapped_->lookUp(static_cast<std::size_t>(match.mapping - drives_->all().data()), below, r, answerOnly);
        if (r.found)
            return;
    }
}

void PathResolver::noteUnmapped(const std::string& root)
{
    std::string key = rootKey(root);
    if (std::find(unmappedKeys_.begin(), unmappedKeys_.end(), key) != unmappedKeys_.end())
        return;
    unmappedKeys_.push_back(std::move(key));
    unmapped_.push_back(root);
}

} // namespace korvane
