#include "restore/undo_steps.h"

#include "restore/journal_format.h"
#include "restore/source_file.h"
#include "text/system_error.h"
#include "text/terminal_quote.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace korvane {

namespace {

constexpr int kOpenFolder = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr int kOpenFile = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

Identity identityOf(const struct stat& st)
{
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino), 0};
}

std::int64_t nanoseconds(const timespec& time)
{
    return static_cast<std::int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

bool below(const std::string& path, const std::string& folder)
{
    if (folder == "/")
        return path.size() > 1;
    return path == folder ||
           (path.size() > folder.size() && path.starts_with(folder) && path[folder.size()] == '/');
}

// Whether two open files hold the same bytes.
bool sameBytes(int a, int b)
{
    std::vector<char> x(1 << 16);
    std::vector<char> y(1 << 16);
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(a, x.data(), x.size(), at);
        const ssize_t m = ::pread(b, y.data(), y.size(), at);
        if (n < 0 || m < 0 || n != m)
            return false;
        if (n == 0)
            return true;
        if (std::memcmp(x.data(), y.data(), static_cast<std::size_t>(n)) != 0)
            return false;
        at += n;
    }
}

class Closer {
public:
    explicit Closer(int fd) : fd_(fd) {}
    ~Closer()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Closer(const Closer&) = delete;
    Closer& operator=(const Closer&) = delete;

private:
    int fd_;
};

} // namespace

std::string describeKept(KeptBecause because, const std::string& subject)
{
    const std::string source = "its source " + quoteName(subject);
    switch (because) {
    case KeptBecause::NotEmpty:
        return "not empty";
    case KeptBecause::Replaced:
        return "replaced since it was put back";
    case KeptBecause::BirthUnknown:
        return "its file system keeps no birth time, so nothing proves the put back made it";
    case KeptBecause::Changed:
        return "changed since it was put back";
    case KeptBecause::ChangedMeanwhile:
        return "changed while it was being undone";
    case KeptBecause::LastLink:
        return "its source is gone: this is the last link to the file";
    case KeptBecause::SourceGone:
        return source + " is gone: this is the only copy";
    case KeptBecause::SourceNotAFile:
        return source + " is no longer a file: this is the only copy";
    case KeptBecause::SourceIsThisFile:
        return source + " now leads to this very file: it is the only copy";
    case KeptBecause::SourceChanged:
        return source + " changed: this is the only copy";
    case KeptBecause::SourceDiffers:
        return source + " differs from it: this is the only copy";
    case KeptBecause::SourceElsewhere:
        return source + " no longer leads to this file";
    case KeptBecause::SourcesOwnName:
        return "it is its source's own name";
    case KeptBecause::NotTheRunsTemporary:
        return "not the temporary the run made";
    case KeptBecause::NotMadeByTheRun:
        return "not made while its journal was written";
    case KeptBecause::LinkInTheWay:
        return quoteName(subject) + " is now a symbolic link: undo goes only through real folders";
    case KeptBecause::NotAFolderInTheWay:
        return quoteName(subject) + " is no longer a folder";
    case KeptBecause::NoLongerAFolder:
        return "no longer a folder";
    case KeptBecause::OutsideTheJournal:
        return "outside the folders of the journal";
    case KeptBecause::Stopped:
        return "not tried: the undo was stopped";
    case KeptBecause::SystemError:
        return subject;
    }
    return subject;
}

bool UndoSteps::isRecorded(const Identity& recorded, const struct stat& st, int dir, const std::string& name)
{
    return identityOf(st) == recorded && (recorded.birth == 0 || birthTime(dir, name.c_str()) == recorded.birth);
}

// For a journal of the first version: whether the entry came into being
// while the journal was written (born then; a link, whose file is older,
// made then). Unknown birth times prove nothing.
bool UndoSteps::madeMeanwhile(int dir, const std::string& name, const struct stat& st, bool link) const
{
    if (begun_ < 0)
        return true;
    const std::int64_t made = link ? nanoseconds(st.st_ctim) : birthTime(dir, name.c_str());
    // Strictly after the journal was made: where times are coarse, what
    // was there just before it may bear the same time.
    return begun_ > 0 && made > begun_ && made <= ended_;
}

void UndoSteps::keep(const std::string& path, bool folder, KeptBecause because, std::string subject)
{
    std::string why = describeKept(because, subject);
    result_.kept.push_back(quoteName(path) + ": " + why);
    result_.items.push_back({path, folder, UndoItem::Action::Keep, std::move(why), because, std::move(subject)});
}

bool UndoSteps::stopped(const std::string& path, bool folder)
{
    if (!stop_.stop_requested())
        return false;
    result_.stopped = true;
    keep(path, folder, KeptBecause::Stopped);
    return true;
}

void UndoSteps::gone(const std::string& path, bool folder)
{
    ++result_.alreadyGone;
    result_.items.push_back({path, folder, UndoItem::Action::Gone, {}, KeptBecause::SystemError, {}});
}

void UndoSteps::removed(const std::string& path, bool folder)
{
    ++(folder ? result_.removedFolders : result_.removedFiles);
    result_.items.push_back({path, folder, UndoItem::Action::Remove, {}, KeptBecause::SystemError, {}});
}

// The folder `path`, reached from its root through real folders only (in a
// journal of the first version, by its path); null when it is gone, or
// with `why` set when it cannot be reached.
FolderRef UndoSteps::reach(const std::string& path, Blocked& why)
{
    why = {};
    if (const auto known = folders_.find(path); known != folders_.end())
        return known->second;
    const std::string* root = nullptr;
    for (const std::string& r : roots_)
        if (below(path, r) && (!root || r.size() > root->size()))
            root = &r;
    if (!root) {
        if (!roots_.empty()) {
            why = {KeptBecause::OutsideTheJournal, {}, true};
            return nullptr;
        }
        const int fd = ::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        return fd < 0 ? nullptr : folders_[path] = std::make_shared<FolderHandle>(fd, path);
    }
    int fd = ::open(root->c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    std::string at = *root;
    for (std::size_t start = *root == "/" ? 1 : root->size() + 1; fd >= 0 && start <= path.size() && path != *root;) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        const std::string name = path.substr(start, slash - start);
        if (at != "/")
            at += '/';
        at += name;
        start = slash + 1;
        const int next = ::openat(fd, name.c_str(), kOpenFolder);
        const int error = errno;
        struct stat st {};
        const bool link = next < 0 && ::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
        ::close(fd);
        fd = next;
        if (fd < 0 && error != ENOENT) {
            why = {link ? KeptBecause::LinkInTheWay : KeptBecause::NotAFolderInTheWay, at, true};
            return nullptr;
        }
    }
    return fd < 0 ? nullptr : folders_[path] = std::make_shared<FolderHandle>(fd, path);
}

bool UndoSteps::emptyButRemoved(int dir, const std::string& path) const
{
    const int fd = ::openat(dir, std::string(namePart(path)).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    DIR* stream = fd < 0 ? nullptr : ::fdopendir(fd);
    if (!stream) {
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    bool empty = true;
    while (const dirent* entry = ::readdir(stream)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != ".." && !removed_.contains(path + "/" + std::string(name))) {
            empty = false;
            break;
        }
    }
    ::closedir(stream);
    return empty;
}

// Removes the entry `path` in `dir` if it is still `identity`, or in a
// preview notes that it would be; true when it is (or would be) gone.
bool UndoSteps::unlinkChecked(const FolderRef& dir, const std::string& path, const Identity& identity, bool folder)
{
    const std::string name(namePart(path));
    if (!act_) {
        if (folder && !emptyButRemoved(dir->fd(), path)) {
            keep(path, true, KeptBecause::NotEmpty);
            return false;
        }
        removed_.insert(path);
        removed(path, folder);
        return true;
    }
    struct stat st {};
    if (::fstatat(dir->fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || identityOf(st) != identity) {
        keep(path, folder, KeptBecause::ChangedMeanwhile);
        return false;
    }
    if (::unlinkat(dir->fd(), name.c_str(), folder ? AT_REMOVEDIR : 0) == 0) {
        removed(path, folder);
        return true;
    }
    if (errno == ENOENT)
        gone(path, folder);
    else if (errno == ENOTEMPTY || errno == EEXIST)
        keep(path, folder, KeptBecause::NotEmpty);
    else
        keep(path, folder, KeptBecause::SystemError, systemErrorText(errno));
    return false;
}

// Whether `name` in the folder `dir` is the very entry `source` names: the
// same name in the same folder, however the paths are spelled.
bool UndoSteps::isSameEntry(int dir, const std::string& name, const std::string& source)
{
    if (namePart(source) != name)
        return false;
    const int folder = ::open(std::string(folderPart(source)).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    const Closer closer(folder);
    struct stat a {};
    struct stat b {};
    return folder < 0 || ::fstat(folder, &a) != 0 || ::fstat(dir, &b) != 0 || identityOf(a) == identityOf(b);
}

// Why the copy open as `copyFd` (of `copy`, `size` bytes) must stay: its
// source is gone, is now this very file, or no longer holds its content
// (the digest, or for a journal of the first version its bytes). Empty
// when another file still holds what it holds.
std::optional<KeptBecause> UndoSteps::onlyCopyProblem(const std::string& source, const Identity& copy,
                                                      const Digest* digest, int copyFd, std::uint64_t size) const
{
    const int fd = ::open(source.c_str(), kOpenFile);
    if (fd < 0)
        return KeptBecause::SourceGone;
    const Closer closer(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return KeptBecause::SourceNotAFile;
    if (identityOf(st) == copy)
        return KeptBecause::SourceIsThisFile;
    if (static_cast<std::uint64_t>(st.st_size) != size)
        return KeptBecause::SourceChanged;
    if (digest) {
        const std::optional<ContentDigest> content = digestOpenFile(fd);
        if (!content || content->digest != *digest)
            return KeptBecause::SourceChanged;
    } else if (!sameBytes(fd, copyFd)) {
        return KeptBecause::SourceDiffers;
    }
    return std::nullopt;
}

void UndoSteps::removeTemporary(const std::string& path, const std::optional<Identity>& identity)
{
    Blocked why;
    const FolderRef dir = reach(std::string(folderPart(path)), why);
    struct stat st {};
    if (!dir || ::fstatat(dir->fd(), std::string(namePart(path)).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return; // a temporary is normally gone: named, or removed by the run
    const std::string name(namePart(path));
    if (!S_ISREG(st.st_mode) || (identity && !isRecorded(*identity, st, dir->fd(), name)) ||
        !madeMeanwhile(dir->fd(), name, st, false))
        return keep(path, false, KeptBecause::NotTheRunsTemporary);
    unlinkChecked(dir, path, identityOf(st), false);
}

void UndoSteps::removeTemporaryFolder(const std::string& path, const std::optional<Identity>& identity)
{
    Blocked why;
    const FolderRef dir = reach(std::string(folderPart(path)), why);
    struct stat st {};
    if (!dir || ::fstatat(dir->fd(), std::string(namePart(path)).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return;
    if (!S_ISDIR(st.st_mode) || (identity && !isRecorded(*identity, st, dir->fd(), std::string(namePart(path)))))
        return keep(path, true, KeptBecause::NotTheRunsTemporary);
    if (identity && identity->birth == 0)
        return keep(path, true, KeptBecause::BirthUnknown);
    unlinkChecked(dir, path, identityOf(st), true);
}

void UndoSteps::removeCopy(const std::string& path, const std::string& source, const CopyProof& proof, bool named)
{
    Blocked why;
    const FolderRef dir = reach(std::string(folderPart(path)), why);
    if (!dir)
        return !why.blocked ? (named ? gone(path, false) : void()) : keep(path, false, why.because, why.subject);
    const std::string name(namePart(path));
    struct stat st {};
    if (::fstatat(dir->fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return named ? gone(path, false) : void();
    if (!S_ISREG(st.st_mode) || !isRecorded(proof.identity, st, dir->fd(), name))
        return named ? keep(path, false, KeptBecause::Replaced) : void();
    if ((proof.ctime && nanoseconds(st.st_ctim) != *proof.ctime) ||
        static_cast<std::uint64_t>(st.st_size) != proof.size)
        return keep(path, false, KeptBecause::Changed);
    const int fd = ::openat(dir->fd(), name.c_str(), kOpenFile);
    const Closer closer(fd);
    struct stat opened {};
    std::optional<ContentDigest> content;
    if (fd >= 0 && ::fstat(fd, &opened) == 0 && identityOf(opened) == proof.identity)
        content = digestOpenFile(fd);
    if (!content || content->digest != proof.digest)
        return keep(path, false, KeptBecause::Changed);
    if (const std::optional<KeptBecause> problem = onlyCopyProblem(source, proof.identity, &proof.digest, fd, proof.size))
        return keep(path, false, *problem, source);
    unlinkChecked(dir, path, proof.identity, false);
}

void UndoSteps::removeLink(const std::string& path, const std::string& source, const LinkProof& proof, bool recorded)
{
    Blocked why;
    const FolderRef dir = reach(std::string(folderPart(path)), why);
    if (!dir)
        return !why.blocked ? (recorded ? gone(path, false) : void()) : keep(path, false, why.because, why.subject);
    struct stat st {};
    if (::fstatat(dir->fd(), std::string(namePart(path)).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return recorded ? gone(path, false) : void();
    if (!S_ISREG(st.st_mode) || identityOf(st) != proof.identity)
        return recorded ? keep(path, false, KeptBecause::Replaced) : void();
    const auto key = std::pair(proof.identity.device, proof.identity.inode);
    const auto changed = linkChanged_.find(key);
    const std::optional<std::int64_t> ctime = changed != linkChanged_.end() ? changed->second : proof.ctime;
    if ((proof.size && static_cast<std::uint64_t>(st.st_size) != *proof.size) ||
        (proof.mtime && nanoseconds(st.st_mtim) != *proof.mtime) || (ctime && nanoseconds(st.st_ctim) != *ctime))
        return keep(path, false, KeptBecause::Changed);
    if (!madeMeanwhile(dir->fd(), std::string(namePart(path)), st, true))
        return keep(path, false, KeptBecause::NotMadeByTheRun);
    if (st.st_nlink < 2)
        return keep(path, false, KeptBecause::LastLink);
    const int fd = ::open(source.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    const Closer closer(fd);
    struct stat from {};
    if (fd < 0 || ::fstat(fd, &from) != 0 || identityOf(from) != proof.identity)
        return keep(path, false, KeptBecause::SourceElsewhere, source);
    if (isSameEntry(dir->fd(), std::string(namePart(path)), source))
        return keep(path, false, KeptBecause::SourcesOwnName);
    if (unlinkChecked(dir, path, proof.identity, false))
        linkChanged_[key] = act_ && ::fstat(fd, &from) == 0 ? nanoseconds(from.st_ctim) : nanoseconds(st.st_ctim);
}

void UndoSteps::removeFolder(const std::string& path, const Identity& identity)
{
    Blocked why;
    const FolderRef dir = reach(std::string(folderPart(path)), why);
    if (!dir)
        return !why.blocked ? gone(path, true) : keep(path, true, why.because, why.subject);
    struct stat st {};
    if (::fstatat(dir->fd(), std::string(namePart(path)).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return gone(path, true);
    if (!S_ISDIR(st.st_mode) || !isRecorded(identity, st, dir->fd(), std::string(namePart(path))))
        return keep(path, true, KeptBecause::Replaced);
    // A folder has no content to prove it by: without its birth time, any
    // empty folder of the same inode number would pass.
    if (identity.birth == 0)
        return keep(path, true, KeptBecause::BirthUnknown);
    unlinkChecked(dir, path, identity, true);
}

void UndoSteps::removeOldFolder(const std::string& path)
{
    Blocked why;
    const FolderRef dir = reach(std::string(folderPart(path)), why);
    struct stat st {};
    if (!dir || ::fstatat(dir->fd(), std::string(namePart(path)).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return gone(path, true);
    if (!S_ISDIR(st.st_mode))
        return keep(path, true, KeptBecause::NoLongerAFolder);
    if (!madeMeanwhile(dir->fd(), std::string(namePart(path)), st, false))
        return keep(path, true, KeptBecause::NotMadeByTheRun);
    unlinkChecked(dir, path, identityOf(st), true);
}

void UndoSteps::removeOldCopy(const std::string& path, const std::string& source, std::uint64_t size)
{
    Blocked why;
    const FolderRef dir = reach(std::string(folderPart(path)), why);
    const std::string name(namePart(path));
    struct stat st {};
    if (!dir || ::fstatat(dir->fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return gone(path, false);
    if (!S_ISREG(st.st_mode) || static_cast<std::uint64_t>(st.st_size) != size)
        return keep(path, false, KeptBecause::Changed);
    if (!madeMeanwhile(dir->fd(), name, st, false))
        return keep(path, false, KeptBecause::NotMadeByTheRun);
    const int fd = ::openat(dir->fd(), name.c_str(), kOpenFile);
    const Closer closer(fd);
    struct stat opened {};
    if (fd < 0 || ::fstat(fd, &opened) != 0 || identityOf(opened) != identityOf(st))
        return keep(path, false, KeptBecause::Changed);
    if (const std::optional<KeptBecause> problem = onlyCopyProblem(source, identityOf(st), nullptr, fd, size))
        return keep(path, false, *problem, source);
    unlinkChecked(dir, path, identityOf(st), false);
}

} // namespace korvane
