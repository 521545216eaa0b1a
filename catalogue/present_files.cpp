#include "catalogue/present_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <thread>
#include <unordered_map>

namespace korvane {

namespace {

std::string realPath(const std::string& path)
{
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real)
        return path;
    std::string out = real;
    std::free(real);
    return out;
}

// Where the name of a path starts: "a/b/c.mov" at "c.mov".
std::size_t nameAt(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? 0 : slash + 1;
}

// The folder of a path: "a/b" of "a/b/c.mov", "/" of "/c.mov", "." of "c.mov".
std::string_view folderOf(std::string_view path, std::size_t name)
{
    return name == 0 ? std::string_view(".") : name == 1 ? std::string_view("/") : path.substr(0, name - 1);
}

// The files of one folder: their indexes among the present files, and
// their names one after the other, each ended by a NUL for the stat.
struct Folder {
    std::string_view path;
    std::vector<std::size_t> files;
    std::string names;
    std::vector<std::size_t> nameAt; // of each file in `names`
    const Mount* mount = nullptr;
};

// A piece of a folder's files, stat'ed by one thread.
struct Piece {
    std::size_t folder;
    std::size_t first;
    std::size_t end;
};

// Files stat'ed a piece at a time, and enough of them for another thread
// to pay off: a disk, and still more a share, answers several at once.
constexpr std::size_t kPiece = 512;
constexpr std::size_t kFilesForThreads = 2048;
constexpr unsigned kMostThreads = 8;

// The real paths of folders, each found from its parent's: a folder that is
// no link is where its parent really is, under its own name. One lstat a
// folder and its parents once, where realpath() takes one for every part
// of every path.
class RealPaths {
public:
    // A path from the current folder is taken from the folder's real path,
    // which getcwd() gives: the scan's paths are relative to it.
    RealPaths()
    {
        if (char* cwd = ::getcwd(nullptr, 0)) {
            cwd_ = cwd;
            std::free(cwd);
        }
    }

    std::string ofFolder(std::string_view folder)
    {
        if (folder.starts_with('/') || cwd_.empty() || folder == ".")
            return of(std::string(folder));
        return of(cwd_ + (cwd_ == "/" ? "" : "/") + std::string(folder));
    }

private:
    std::string of(const std::string& path)
    {
        if (const auto known = known_.find(path); known != known_.end())
            return known->second;
        const std::size_t slash = path.rfind('/');
        const std::string_view name =
            slash == std::string::npos ? std::string_view() : std::string_view(path).substr(slash + 1);
        struct stat st {};
        std::string real;
        // Only an absolute path whose last part is a plain name: ".", ".."
        // and empty parts are realpath()'s to settle.
        if (path.starts_with('/') && !name.empty() && name != "." && name != ".." &&
            ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            real = of(slash == 0 ? std::string("/") : path.substr(0, slash));
            if (real != "/")
                real += '/';
            real += name;
        } else {
            real = realPath(path);
        }
        known_.emplace(path, real);
        return real;
    }

    std::string cwd_;
    std::unordered_map<std::string, std::string> known_;
};

// Finds the folder's volume and its path from the volume's root.
void placeFolder(Folder& folder, const MountTable& mounts, RealPaths& realPaths, std::string& relative)
{
    const std::string real = realPaths.ofFolder(folder.path);
    folder.mount = mounts.containing(real);
    if (folder.mount)
        relative = volumeRelative(*folder.mount, real);
}

// Stats the files of a piece, from their open folder, or by their whole
// paths where the folder can be searched but not read.
void observePiece(const Piece& piece, const Folder& folder, const std::vector<PresentFile>& present,
                  PresentFiles& out)
{
    const int fd = ::open(std::string(folder.path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::string whole;
    for (std::size_t f = piece.first; f < piece.end; ++f) {
        const std::size_t k = folder.files[f];
        Observation& seen = out.files[k];
        if (fd < 0)
            whole.assign(present[k].path);
        const char* name = fd >= 0 ? folder.names.c_str() + folder.nameAt[f] : whole.c_str();
        struct stat st {};
        if (seen.name.empty() || ::fstatat(fd >= 0 ? fd : AT_FDCWD, name, &st, 0) != 0) {
            seen.error = seen.name.empty() ? EISDIR : errno;
        } else if (!S_ISREG(st.st_mode)) {
            seen.error = EINVAL;
        } else {
            seen.facts = factsOf(st);
            seen.mount = folder.mount;
            seen.folder = static_cast<std::uint32_t>(piece.folder);
        }
    }
    if (fd >= 0)
        ::close(fd);
}

// Runs `work(k)` for k below `count`, on `threads` threads.
void inParallel(std::size_t count, unsigned threads, const std::function<void(std::size_t)>& work)
{
    std::atomic<std::size_t> next{0};
    const auto run = [&] {
        for (std::size_t k = next++; k < count; k = next++)
            work(k);
    };
    std::vector<std::thread> helpers;
    for (unsigned t = 1; t < threads; ++t)
        helpers.emplace_back(run);
    run();
    for (std::thread& helper : helpers)
        helper.join();
}

// Eight bytes, least significant first, appended at once: a project's
// digest adds six numbers a file, and byte by byte they cost more than the
// hash of them.
void addNumber(std::string& bytes, std::uint64_t value)
{
    std::array<char, 8> little{};
    for (std::size_t k = 0; k < little.size(); ++k)
        little[k] = static_cast<char>(value >> (8 * k));
    bytes.append(little.data(), little.size());
}

void addBytes(std::string& bytes, std::string_view text)
{
    addNumber(bytes, text.size());
    bytes.append(text);
}

} // namespace

std::string PresentFiles::relative(const Observation& file) const
{
    if (!file.mount)
        return {};
    const std::string& folder = folders[file.folder];
    std::string out;
    out.reserve(folder.size() + 1 + file.name.size());
    out = folder;
    if (!out.empty())
        out += '/';
    out.append(file.name);
    return out;
}

bool PresentFiles::isAt(const Observation& file, std::string_view path) const
{
    if (!file.mount)
        return path.empty();
    const std::string& folder = folders[file.folder];
    if (folder.empty())
        return path == file.name;
    return path.size() == folder.size() + 1 + file.name.size() && path.starts_with(folder) &&
           path[folder.size()] == '/' && path.ends_with(file.name);
}

PresentFiles observeFiles(const std::vector<PresentFile>& present, const MountTable& mounts,
                          const std::function<CatalogueId(const Mount&)>& volumeOf)
{
    // Folder by folder, so that each is opened and found on its volume once;
    // each path is read once here (they lie all over memory), its name
    // copied next to those of its folder.
    PresentFiles out;
    out.files.resize(present.size());
    std::vector<Folder> folders;
    std::unordered_map<std::string_view, std::size_t> folderIndex;
    std::size_t last = 0;
    for (std::size_t k = 0; k < present.size(); ++k) {
        const std::string_view path = present[k].path;
        const std::size_t name = nameAt(path);
        const std::string_view folder = folderOf(path, name);
        if (folders.empty() || folders[last].path != folder) { // files of a folder often come together
            const auto [at, added] = folderIndex.emplace(folder, folders.size());
            if (added)
                folders.push_back({folder, {}, {}, {}, nullptr});
            last = at->second;
        }
        Folder& in = folders[last];
        in.files.push_back(k);
        in.nameAt.push_back(in.names.size());
        out.files[k].name = path.substr(name);
        in.names.append(out.files[k].name);
        in.names += '\0';
    }
    std::vector<Piece> pieces;
    for (std::size_t f = 0; f < folders.size(); ++f) {
        for (std::size_t first = 0; first < folders[f].files.size(); first += kPiece)
            pieces.push_back({f, first, std::min(first + kPiece, folders[f].files.size())});
    }
    const unsigned threads =
        present.size() < kFilesForThreads ? 1 : std::clamp(std::thread::hardware_concurrency(), 1u, kMostThreads);
    out.folders.resize(folders.size());
    RealPaths realPaths;
    for (std::size_t f = 0; f < folders.size(); ++f)
        placeFolder(folders[f], mounts, realPaths, out.folders[f]);
    inParallel(pieces.size(), threads,
               [&](std::size_t p) { observePiece(pieces[p], folders[pieces[p].folder], present, out); });
    // The catalogue's volumes on this thread, once a folder.
    for (const Folder& folder : folders) {
        const CatalogueId volume = folder.mount ? volumeOf(*folder.mount) : 0;
        for (const std::size_t k : folder.files)
            out.files[k].volume = out.files[k].error == 0 ? volume : 0;
    }
    return out;
}

Digest presentDigest(const std::vector<PresentFile>& present, const PresentFiles& observed)
{
    constexpr std::size_t kChunk = std::size_t{1} << 16;
    DigestBuilder digest;
    std::string bytes;
    bytes.reserve(2 * kChunk);
    for (std::size_t k = 0; k < present.size(); ++k) {
        const Observation& seen = observed.files[k];
        addBytes(bytes, present[k].stored);
        addNumber(bytes, static_cast<std::uint64_t>(seen.error));
        addNumber(bytes, seen.facts.size);
        addNumber(bytes, static_cast<std::uint64_t>(seen.facts.mtime));
        addNumber(bytes, seen.stableInode() ? seen.facts.inode : 0);
        addNumber(bytes, static_cast<std::uint64_t>(seen.volume));
        addBytes(bytes, seen.mount ? std::string_view(observed.folders[seen.folder]) : std::string_view());
        addBytes(bytes, seen.mount ? seen.name : std::string_view());
        if (bytes.size() >= kChunk) {
            digest.add(bytes.data(), bytes.size());
            bytes.clear();
        }
    }
    addNumber(bytes, present.size());
    digest.add(bytes.data(), bytes.size());
    return digest.finish();
}

} // namespace korvane
