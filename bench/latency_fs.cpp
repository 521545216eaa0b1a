// korvane-latency-fs: a read-only FUSE view of a folder that answers every
// lookup, getattr, open and readdir after a fixed delay, as a share over a
// network does after a round trip. Requests are served by many threads, so
// that requests the kernel sends at once overlap as they would on a server;
// nothing is cached by the kernel (entry, attribute and negative timeouts of
// 0), so every lookup of every path component costs the delay again.
//
// Runs in the foreground until it is unmounted (fusermount3 -u MOUNTPOINT)
// or gets SIGINT or SIGTERM, which unmount it.

#define FUSE_USE_VERSION 312
#include <fuse3/fuse.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* kUsage =
    "Usage: korvane-latency-fs [--delay-ms MS] [--threads N] [--clone-fd] SOURCE MOUNTPOINT\n"
    "Mounts a read-only view of the folder SOURCE on MOUNTPOINT that answers\n"
    "every lookup, getattr, open and readdir after MS milliseconds (default 2),\n"
    "with up to N threads serving requests at once (default 128). Nothing is\n"
    "cached by the kernel. Runs until unmounted (fusermount3 -u MOUNTPOINT) or\n"
    "interrupted.\n"
    "\n"
    "  --clone-fd   give each thread its own channel to the kernel\n";

struct Settings {
    std::string source;
    std::chrono::microseconds delay{2000};
    unsigned threads = 128;
    bool cloneFd = false;
};

Settings settings;

// The round trip. Each request sleeps in its own thread, so requests that
// arrive together end together.
void roundTrip()
{
    if (settings.delay.count() > 0)
        std::this_thread::sleep_for(settings.delay);
}

std::string sourcePath(const char* path)
{
    return settings.source + path; // path begins with '/'
}

void* init(fuse_conn_info* conn, fuse_config* cfg)
{
    cfg->entry_timeout = 0;
    cfg->attr_timeout = 0;
    cfg->negative_timeout = 0;
    cfg->use_ino = 1;
    cfg->readdir_ino = 1;
    cfg->kernel_cache = 0;
    cfg->direct_io = 0;
    // Lookups and readdirs in one folder may run at once; without this the
    // kernel holds each folder's lock across the request.
    const bool parallel = (conn->capable & FUSE_CAP_PARALLEL_DIROPS) != 0;
    if (parallel)
        conn->want |= FUSE_CAP_PARALLEL_DIROPS;
    // Plain readdir: one delayed request lists a folder, and the lookups of
    // its entries cost what they cost anywhere else.
    conn->want &= ~static_cast<unsigned>(FUSE_CAP_READDIRPLUS | FUSE_CAP_READDIRPLUS_AUTO);
    std::fprintf(stderr,
                 "korvane-latency-fs: %s, %.3g ms a request, up to %u threads, parallel directory operations %s\n",
                 settings.source.c_str(), static_cast<double>(settings.delay.count()) / 1e3, settings.threads,
                 parallel ? "on" : "NOT AVAILABLE (lookups in one folder are serialised)");
    return nullptr;
}

// LOOKUP and GETATTR both come here in the high-level interface.
int getattr(const char* path, struct stat* st, fuse_file_info*)
{
    roundTrip();
    return ::lstat(sourcePath(path).c_str(), st) == 0 ? 0 : -errno;
}

int readlink(const char* path, char* buffer, std::size_t size)
{
    if (size == 0)
        return -EINVAL;
    const ssize_t n = ::readlink(sourcePath(path).c_str(), buffer, size - 1);
    if (n < 0)
        return -errno;
    buffer[n] = '\0';
    return 0;
}

int open(const char* path, fuse_file_info* fi)
{
    roundTrip();
    if ((fi->flags & O_ACCMODE) != O_RDONLY)
        return -EROFS;
    const int fd = ::open(sourcePath(path).c_str(), fi->flags | O_CLOEXEC);
    if (fd < 0)
        return -errno;
    fi->fh = static_cast<std::uint64_t>(fd);
    return 0;
}

int read(const char*, char* buffer, std::size_t size, off_t offset, fuse_file_info* fi)
{
    const ssize_t n = ::pread(static_cast<int>(fi->fh), buffer, size, offset);
    return n < 0 ? -errno : static_cast<int>(n);
}

int release(const char*, fuse_file_info* fi)
{
    ::close(static_cast<int>(fi->fh));
    return 0;
}

int opendir(const char* path, fuse_file_info* fi)
{
    DIR* dir = ::opendir(sourcePath(path).c_str());
    if (!dir)
        return -errno;
    fi->fh = reinterpret_cast<std::uint64_t>(dir);
    return 0;
}

// The whole folder in one call (offsets of 0): the library keeps the entries
// and answers the kernel's further reads from them, so a listing costs one
// delay however many entries it has.
int readdir(const char*, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info* fi, fuse_readdir_flags)
{
    roundTrip();
    DIR* dir = reinterpret_cast<DIR*>(fi->fh);
    ::rewinddir(dir);
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        struct stat st{};
        st.st_ino = entry->d_ino;
        st.st_mode = static_cast<mode_t>(DTTOIF(entry->d_type));
        if (fill(buffer, entry->d_name, &st, 0, static_cast<fuse_fill_dir_flags>(0)) != 0)
            return -ENOMEM;
    }
    return -errno;
}

int releasedir(const char*, fuse_file_info* fi)
{
    ::closedir(reinterpret_cast<DIR*>(fi->fh));
    return 0;
}

int statfs(const char* path, struct statvfs* st)
{
    return ::statvfs(sourcePath(path).c_str(), st) == 0 ? 0 : -errno;
}

int access(const char* path, int mode)
{
    roundTrip();
    if (mode & W_OK)
        return -EROFS;
    return ::access(sourcePath(path).c_str(), mode) == 0 ? 0 : -errno;
}

fuse_operations operations()
{
    fuse_operations ops{};
    ops.init = init;
    ops.getattr = getattr;
    ops.readlink = readlink;
    ops.open = open;
    ops.read = read;
    ops.release = release;
    ops.opendir = opendir;
    ops.readdir = readdir;
    ops.releasedir = releasedir;
    ops.statfs = statfs;
    ops.access = access;
    return ops;
}

bool parseCount(const char* text, unsigned long& into)
{
    char* end = nullptr;
    errno = 0;
    into = std::strtoul(text, &end, 10);
    return end != text && *end == '\0' && errno == 0;
}

int usageError(const std::string& message)
{
    std::fprintf(stderr, "korvane-latency-fs: %s\n%s", message.c_str(), kUsage);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> names;
    for (int k = 1; k < argc; ++k) {
        const std::string_view arg = argv[k];
        unsigned long value = 0;
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--clone-fd") {
            settings.cloneFd = true;
        } else if (arg == "--delay-ms" || arg == "--threads") {
            if (k + 1 == argc || !parseCount(argv[k + 1], value))
                return usageError(std::string(arg) + " takes a whole number");
            ++k;
            if (arg == "--delay-ms")
                settings.delay = std::chrono::milliseconds(value);
            else if (value == 0)
                return usageError("--threads takes a number from 1 up");
            else
                settings.threads = static_cast<unsigned>(std::min(value, 100000ul));
        } else if (arg.starts_with("-")) {
            return usageError("unknown option '" + std::string(arg) + "'");
        } else {
            names.emplace_back(arg);
        }
    }
    if (names.size() != 2)
        return usageError("give SOURCE and MOUNTPOINT");
    char* real = ::realpath(names[0].c_str(), nullptr);
    if (!real)
        return usageError(names[0] + ": " + std::strerror(errno));
    settings.source = real;
    std::free(real);
    if (settings.source == "/")
        settings.source.clear(); // paths from the kernel begin with '/'

    std::vector<std::string> options = {argv[0], "-o", "ro,fsname=korvane-latency,subtype=korvane-latency"};
    std::vector<char*> fuseArgv;
    for (std::string& o : options)
        fuseArgv.push_back(o.data());
    fuse_args args = FUSE_ARGS_INIT(static_cast<int>(fuseArgv.size()), fuseArgv.data());
    const fuse_operations ops = operations();
    fuse* fs = fuse_new(&args, &ops, sizeof ops, nullptr);
    if (!fs)
        return 1;
    int status = 1;
    if (fuse_mount(fs, names[1].c_str()) == 0) {
        if (fuse_set_signal_handlers(fuse_get_session(fs)) == 0) {
            fuse_loop_config* config = fuse_loop_cfg_create();
            fuse_loop_cfg_set_clone_fd(config, settings.cloneFd ? 1 : 0);
            fuse_loop_cfg_set_max_threads(config, settings.threads);
            // Threads that are kept when idle: a burst of requests finds them
            // waiting instead of starting new ones.
            fuse_loop_cfg_set_idle_threads(config, settings.threads);
            status = fuse_loop_mt(fs, config) == 0 ? 0 : 1;
            fuse_loop_cfg_destroy(config);
            fuse_remove_signal_handlers(fuse_get_session(fs));
        }
        fuse_unmount(fs);
    }
    fuse_destroy(fs);
    fuse_opt_free_args(&args);
    return status;
}
