// Opening the project file: side-by-side scans under a shared lock, file
// systems that cannot lock, and a file swapped between its check and its open.

#include "scanner/project_file.h"
#include "scanner/scan.h"
#include "tests/builder/project_builder.h"
#include "tests/recording_feedback.h"
#include "tests/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace korvane {
namespace {

using testkit::ProjectModel;
using testkit::RecordingFeedback;
using testkit::TempDir;

std::string writeProject(const TempDir& dir, const std::string& missing)
{
    ProjectModel m;
    m.mainAV = {{missing}};
    const std::string path = dir / "project.dvc";
    testkit::writeFile(path, testkit::buildProject(m));
    return path;
}

// Holds every scan inside its first existence test until all have arrived,
// so that all of them have the file open and locked at the same time. The
// last to arrive tries a writer's lock, which all those readers must refuse.
class Rendezvous {
public:
    Rendezvous(std::size_t expected, std::string path) : expected_(expected), path_(std::move(path)) {}

    bool arriveAndWait()
    {
        std::unique_lock lock(mutex_);
        if (++arrived_ == expected_) {
            const int fd = ::open(path_.c_str(), O_RDONLY);
            writerRefused_ = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
            ::close(fd);
            allArrived_.notify_all();
        }
        return allArrived_.wait_for(lock, std::chrono::seconds(10), [this] { return arrived_ == expected_; });
    }
    bool writerRefused() const { return writerRefused_; }

private:
    std::mutex mutex_;
    std::condition_variable allArrived_;
    std::size_t arrived_ = 0;
    const std::size_t expected_;
    const std::string path_;
    bool writerRefused_ = false;
};

class MeetingFeedback : public RecordingFeedback {
public:
    explicit MeetingFeedback(Rendezvous& rendezvous) : rendezvous_(rendezvous) {}
    bool metTheOthers = false;

    bool exists(std::string_view path) override
    {
        metTheOthers = rendezvous_.arriveAndWait();
        return RecordingFeedback::exists(path);
    }

private:
    Rendezvous& rendezvous_;
};

TEST(ProjectFile, TenScansOfOneProjectRunSideBySide)
{
    TempDir dir;
    const std::string path = writeProject(dir, "gone.avi");
    constexpr std::size_t kScans = 10;
    Rendezvous rendezvous(kScans, path);
    std::vector<std::unique_ptr<MeetingFeedback>> feedbacks;
    std::vector<ScanResult> results(kScans);
    std::vector<std::thread> threads;
    for (std::size_t k = 0; k < kScans; ++k)
        feedbacks.push_back(std::make_unique<MeetingFeedback>(rendezvous));
    for (std::size_t k = 0; k < kScans; ++k)
        threads.emplace_back([&, k] { results[k] = testkit::runRecorded(path, *feedbacks[k]); });
    for (std::thread& thread : threads)
        thread.join();

    for (std::size_t k = 0; k < kScans; ++k) {
        EXPECT_TRUE(results[k].opened) << k << ": " << results[k].openError;
        EXPECT_TRUE(feedbacks[k]->metTheOthers) << k;
        EXPECT_EQ(feedbacks[k]->report, "[MainAV]\r\ngone.avi\r\n[InsertAV]\r\n[ExAudio1]\r\n[ExAudio2]\r\n[Title]\r\n"
                                        "[BinWindow]\r\n")
            << k;
    }
    EXPECT_TRUE(rendezvous.writerRefused()) << "the scans hold their locks while they read";
}

// A file system that cannot lock answers flock with one of these errors;
// the scan then reads without the lock. A writer's lock still refuses it.
int gLockErrno = 0;
int gLockOperation = 0;
int gLockedFd = -1;

int failingFlock(int fd, int operation)
{
    gLockedFd = fd;
    gLockOperation = operation;
    errno = gLockErrno;
    return -1;
}

TEST(ProjectFile, LockFailuresOfFileSystemsThatCannotLockAreNoRefusal)
{
    TempDir dir;
    const std::string path = writeProject(dir, "gone.avi");
    struct Case {
        int error;
        bool opens;
        std::string refusal;
    };
    const std::vector<Case> cases = {
        {EWOULDBLOCK, false, "The file is in use by another program"},
        {EBADF, true, ""},
        {ENOLCK, true, ""},
        {EOPNOTSUPP, true, ""},
        {EINVAL, true, ""},
        {EIO, false, std::strerror(EIO)},
    };
    for (const Case& c : cases) {
        gLockErrno = c.error;
        gLockOperation = 0;
        ProjectFile file({ProjectFile::systemCalls().stat, failingFlock});
        EXPECT_EQ(file.open(path), c.opens) << c.error;
        EXPECT_EQ(gLockOperation, LOCK_SH | LOCK_NB) << "a shared lock, never waited for";
        EXPECT_EQ(file.error(), c.refusal) << c.error;
        EXPECT_FALSE(file.locked()) << c.error;
        if (c.opens) {
            std::uint8_t version[2] = {};
            EXPECT_EQ(::pread(file.fd(), version, 2, 0), 2) << c.error;
            EXPECT_EQ(version[0] | version[1] << 8, 519) << c.error;
        } else {
            EXPECT_EQ(::fcntl(gLockedFd, F_GETFD), -1) << "a refused file is closed: " << c.error;
        }
    }
    ProjectFile real;
    ASSERT_TRUE(real.open(path)) << real.error();
    EXPECT_TRUE(real.locked());
}

// The path is swapped between the check of its type and the open.
enum class Swap { Nothing, OtherFile, Fifo, Folder };
Swap gSwap = Swap::Nothing;
std::string gOtherFile;

int swappingStat(const char* path, struct stat* buf)
{
    const int result = ::stat(path, buf);
    switch (gSwap) {
    case Swap::Nothing:
        break;
    case Swap::OtherFile:
        std::rename(gOtherFile.c_str(), path);
        break;
    case Swap::Fifo:
        ::unlink(path);
        ::mkfifo(path, 0600);
        break;
    case Swap::Folder:
        ::unlink(path);
        ::mkdir(path, 0700);
        break;
    }
    return result;
}

TEST(ProjectFile, FileSwappedBetweenCheckAndOpenIsRefused)
{
    for (const Swap swap : {Swap::Nothing, Swap::OtherFile, Swap::Fifo, Swap::Folder}) {
        TempDir dir;
        const std::string path = writeProject(dir, "gone.avi");
        gOtherFile = dir.touch("other.dvc", "not the file that was checked");
        gSwap = swap;
        ProjectFile file({swappingStat, ProjectFile::systemCalls().flock});
        const bool opened = file.open(path);
        EXPECT_EQ(opened, swap == Swap::Nothing) << static_cast<int>(swap);
        EXPECT_EQ(file.error(), opened ? "" : "The file changed while it was being opened") << static_cast<int>(swap);
    }
    gSwap = Swap::Nothing;
}

TEST(ProjectFile, SymbolicLinkToAProjectIsFollowed)
{
    TempDir dir;
    const std::string link = dir / "link.dvc";
    ASSERT_EQ(::symlink(writeProject(dir, "gone.avi").c_str(), link.c_str()), 0);
    RecordingFeedback f;
    const ScanResult result = testkit::runRecorded(link, f);
    EXPECT_TRUE(result.opened) << result.openError;
    EXPECT_EQ(f.checked, (std::vector<std::string>{"gone.avi"}));
}

} // namespace
} // namespace korvane
