#include "restore/journal_reader.h"

#include "text/system_error.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace korvane {

namespace {

using Kind = JournalRecord::Kind;

// A line longer than three escaped paths of the longest length a path can
// have is not the writer's.
constexpr std::size_t kLongestLine = 3 * 3 * 4096 + 256;

// Whether `path` lies below `folder` (both clean paths).
bool below(std::string_view path, std::string_view folder)
{
    if (folder == "/")
        return path.size() > 1;
    return path.size() > folder.size() + 1 && path.starts_with(folder) && path[folder.size()] == '/';
}

} // namespace

bool JournalParser::damaged(std::string why)
{
    if (error_.empty())
        error_ = "damaged at line " + std::to_string(line_) + ": " + why;
    return false;
}

bool JournalParser::feed(std::string_view bytes)
{
    while (error_.empty() && !bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, end);
        if (partial_.size() + piece.size() > kLongestLine) {
            ++line_;
            return damaged("too long");
        }
        if (end == std::string_view::npos) {
            partial_.append(piece);
            return true;
        }
        ++line_;
        if (partial_.empty()) {
            takeLine(piece);
        } else {
            partial_.append(piece);
            takeLine(partial_);
            partial_.clear();
        }
        bytes.remove_prefix(end + 1);
    }
    return error_.empty();
}

bool JournalParser::takeLine(std::string_view line)
{
    if (!header_) {
        header_ = true;
        if (line == kJournalHeader)
            journal_.version = 2;
        else if (line == kJournalHeaderV1)
            journal_.version = 1;
        else
            return error_ = "not a journal of putting back", false;
        return true;
    }
    std::optional<JournalRecord> record = parseRecord(line, journal_.version);
    if (!record)
        return damaged("not a line of a journal");
    if (journal_.version == 2 && !inOrder(*record))
        return false;
    journal_.records.push_back(std::move(*record));
    return true;
}

bool JournalParser::inOrder(const JournalRecord& r)
{
    const auto isBelowARoot = [&](std::string_view path) {
        return std::any_of(roots_.begin(), roots_.end(), [&](const std::string& root) { return below(path, root); });
    };
    switch (r.kind) {
    case Kind::Root:
        roots_.push_back(r.path);
        return true;
    case Kind::FolderIntent:
    case Kind::Put:
        if (r.id != ids_.size() + 1)
            return damaged("out of order");
        if (!isBelowARoot(r.path))
            return damaged("a place below none of its folders");
        ids_.push_back({r.kind == Kind::FolderIntent, false, false, false});
        return true;
    default:
        break;
    }
    if (r.id == 0 || r.id > ids_.size())
        return damaged("it does not follow from the lines before it");
    Progress& p = ids_[r.id - 1];
    bool fits = false;
    switch (r.kind) {
    case Kind::FolderMade:
        fits = p.folder && !p.made && !p.ended;
        p.made = true;
        break;
    case Kind::Linked:
        fits = !p.folder && !p.ended && !p.written;
        p.ended = true;
        break;
    case Kind::Written:
        fits = !p.folder && !p.ended && !p.written;
        p.written = true;
        break;
    case Kind::Copied:
        fits = !p.folder && !p.ended && p.written;
        p.ended = true;
        break;
    case Kind::Dropped:
        fits = !p.ended;
        p.ended = true;
        break;
    default:
        break;
    }
    return fits ? true : damaged("it does not follow from the lines before it");
}

std::optional<Journal> JournalParser::finish(std::string& error)
{
    if (error_.empty() && !header_)
        error_ = "not a journal of putting back";
    if (!error_.empty()) {
        error = error_;
        return std::nullopt;
    }
    journal_.cutShort = !partial_.empty();
    return std::move(journal_);
}

std::optional<Journal> readJournal(const std::string& path, std::string& error)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        error = systemErrorText(errno);
        return std::nullopt;
    }
    struct stat st {};
    const int statError = ::fstat(fd, &st) == 0 ? 0 : errno;
    if (statError != 0 || !S_ISREG(st.st_mode) || static_cast<std::uint64_t>(st.st_size) > kMostJournalBytes) {
        ::close(fd);
        if (statError != 0)
            error = systemErrorText(statError);
        else if (S_ISDIR(st.st_mode))
            error = "it is a folder";
        else if (!S_ISREG(st.st_mode))
            error = "it is not a regular file";
        else
            error = "it is larger than a journal can be";
        return std::nullopt;
    }
    JournalParser parser;
    std::vector<char> buffer(1 << 16);
    std::size_t total = 0;
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = systemErrorText(errno);
            ::close(fd);
            return std::nullopt;
        }
        total += static_cast<std::size_t>(got);
        if (got == 0 || total > kMostJournalBytes || !parser.feed({buffer.data(), static_cast<std::size_t>(got)}))
            break;
    }
    struct statx times {};
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_BTIME | STATX_MTIME, &times) != 0)
        times = {};
    ::close(fd);
    if (total > kMostJournalBytes) {
        error = "it is larger than a journal can be";
        return std::nullopt;
    }
    std::optional<Journal> journal = parser.finish(error);
    if (journal && (times.stx_mask & STATX_BTIME))
        journal->begun = static_cast<std::int64_t>(times.stx_btime.tv_sec) * 1000000000 + times.stx_btime.tv_nsec;
    if (journal && (times.stx_mask & STATX_MTIME))
        journal->ended = static_cast<std::int64_t>(times.stx_mtime.tv_sec) * 1000000000 + times.stx_mtime.tv_nsec;
    return journal;
}

} // namespace korvane
