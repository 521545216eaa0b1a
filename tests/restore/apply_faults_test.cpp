// Putting back under faults: a kill before any act, a failure of any act
// (a full disk, a journal that cannot be written), a source or a folder
// swapped while the run goes on. Whatever happens, nothing put back is
// reported failed, nothing lands outside its folder, and undo brings the
// tree back exactly as it was.

#include "fs/content_digest.h"
#include "restore/restore_apply.h"
#include "tests/restore/restore_tree.h"
#include "tests/temp_dir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <thread>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace korvane {
namespace {

namespace fs = std::filesystem;
using testkit::contentOf;
using testkit::TempDir;
using testkit::treeOf;

// A user's folder with files of their own, and a plan that puts three files
// back into it: into a folder two levels down that is missing, into one
// level down, and into a folder that exists.
struct Scene {
    TempDir dir;
    RestorePlan plan;
    std::string root = dir / "root";
    std::string state = dir / "state";

    Scene()
    {
        dir.touch("root/Existing/mine.txt", "the user's");
        dir.touch("root/notes.txt", "the user's too");
        plan.steps.push_back(testkit::putBack(dir.touch("src/a.avi", "a"), root + "/New/Sub/a.avi", root));
        plan.steps.push_back(testkit::putBack(dir.touch("src/b.avi", std::string(300000, 'b')), root + "/New/b.avi", root));
        plan.steps.push_back(testkit::putBack(dir.touch("src/c.avi", "c"), root + "/Existing/c.avi", root));
    }

    ApplyOptions options(bool copy) const
    {
        ApplyOptions o;
        o.forceCopy = copy;
        o.journalFolder = state;
        return o;
    }

    std::string journal() const { return fs::exists(state) && !fs::is_empty(state) ? testkit::onlyJournal(state) : ""; }
};

// Runs `apply` in a child process that ends itself, as a kill would, just
// before its `killAt`-th act; true when it ran to its end without.
bool applyKilledAt(const Scene& scene, bool copy, int killAt)
{
    const pid_t child = ::fork();
    if (child == 0) {
        std::atomic<int> acts{0};
        ApplyOptions o = scene.options(copy);
        o.fault = [&](std::string_view) {
            if (++acts == killAt)
                ::_exit(9);
            return 0;
        };
        applyRestorePlan(scene.plan, o);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(ApplyFaults, AKillBeforeAnyActLeavesWhatUndoTakesBackExactly)
{
    for (const bool copy : {false, true}) {
        bool finished = false;
        for (int killAt = 1; !finished && killAt < 200; ++killAt) {
            SCOPED_TRACE((copy ? "copy, killed before act " : "link, killed before act ") + std::to_string(killAt));
            Scene scene;
            const auto before = treeOf(scene.root);
            finished = applyKilledAt(scene, copy, killAt);
            if (!scene.journal().empty()) {
                const UndoResult undo = undoRestore(scene.journal());
                ASSERT_TRUE(undo.read) << undo.error;
                EXPECT_TRUE(undo.kept.empty()) << undo.kept.front();
            }
            EXPECT_EQ(treeOf(scene.root), before);
        }
        EXPECT_TRUE(finished) << "a run was never let finish";
    }
}

// Each act fails once with what a full or failing disk answers: the run
// says of each file exactly whether it stands in its place, and undo takes
// back what it made.
TEST(ApplyFaults, AFailureOfAnyActIsReportedTrulyAndUndone)
{
    const struct {
        const char* act;
        int error;
    } faults[] = {
        {"journal-write", ENOSPC}, {"journal-sync", EIO}, {"mkdir", ENOSPC}, {"rename-folder", EIO},
        {"link", EIO},            {"create", ENOSPC},    {"copy", ENOSPC},  {"sync", EIO},
        {"rename", EIO},          {"unlink", EIO},       {"rmdir", EIO},
    };
    for (const bool copy : {false, true}) {
        for (const auto& fault : faults) {
            for (int nth = 1; nth <= 6; ++nth) {
                SCOPED_TRACE(std::string(copy ? "copy: " : "link: ") + fault.act + " fails the " +
                             std::to_string(nth) + "th time");
                Scene scene;
                const auto before = treeOf(scene.root);
                ApplyOptions o = scene.options(copy);
                std::atomic<int> seen{0};
                o.fault = [&](std::string_view act) { return act == fault.act && ++seen == nth ? fault.error : 0; };
                const ApplyResult result = applyRestorePlan(scene.plan, o);
                for (std::size_t k = 0; k < scene.plan.steps.size(); ++k) {
                    const RestoreStep& step = scene.plan.steps[k];
                    const StepOutcome outcome = result.steps[k].outcome;
                    const bool inPlace = fs::exists(step.destination) &&
                                         contentOf(step.destination) == contentOf(step.source);
                    EXPECT_EQ(inPlace, outcome == StepOutcome::Linked || outcome == StepOutcome::Copied)
                        << step.destination << ": " << result.steps[k].error;
                }
                if (scene.journal().empty())
                    continue;
                const UndoResult undo = undoRestore(scene.journal());
                ASSERT_TRUE(undo.read) << undo.error;
                EXPECT_EQ(treeOf(scene.root), before);
            }
        }
    }
}

// The source the plan saw is swapped before the run reaches it: for a link
// to a private file, a FIFO, or another file. Nothing is put back from it.
TEST(ApplyFaults, ASourceSwappedAfterThePlanIsNotPutBack)
{
    const struct {
        const char* name;
        std::function<void(const std::string& source, const std::string& secret)> swap;
    } swaps[] = {
        {"a link to a private file", [](const std::string& s, const std::string& secret) {
             fs::remove(s);
             fs::create_symlink(secret, s);
         }},
        {"a FIFO", [](const std::string& s, const std::string&) {
             fs::remove(s);
             ::mkfifo(s.c_str(), 0600);
         }},
        {"another file of the same size", [](const std::string& s, const std::string&) {
             fs::remove(s);
             std::ofstream(s) << "z";
         }},
    };
    for (const bool copy : {false, true}) {
        for (const auto& swap : swaps) {
            SCOPED_TRACE(std::string(copy ? "copy, " : "link, ") + swap.name);
            Scene scene;
            const std::string secret = scene.dir.touch("private/key", "secret");
            swap.swap(scene.plan.steps[0].source, secret);
            const ApplyResult result = applyRestorePlan(scene.plan, scene.options(copy));
            EXPECT_EQ(result.steps[0].outcome, StepOutcome::Failed);
            EXPECT_NE(result.steps[0].error.find("changed since the plan"), std::string::npos) << result.steps[0].error;
            EXPECT_FALSE(fs::exists(fs::symlink_status(scene.plan.steps[0].destination)));
            EXPECT_EQ(result.putBack(), 2u) << "the other files go back";
        }
    }
}

// While the run goes on, a folder it writes in is swapped for a link to a
// folder outside: nothing lands outside, in link or copy mode.
TEST(ApplyFaults, AFolderSwappedForALinkDuringTheRunRedirectsNothing)
{
    for (const char* act : {"link", "create"}) {
        SCOPED_TRACE(act);
        Scene scene;
        const std::string outside = scene.dir / "outside";
        fs::create_directories(outside);
        ApplyOptions o = scene.options(std::string_view(act) == "create");
        bool swapped = false;
        o.fault = [&](std::string_view now) {
            if (now == act && !swapped) {
                swapped = true;
                fs::rename(scene.root + "/Existing", scene.dir / "moved");
                fs::create_directory_symlink(outside, scene.root + "/Existing");
                fs::rename(scene.root + "/New", scene.dir / "moved-new");
                fs::create_directory_symlink(outside, scene.root + "/New");
            }
            return 0;
        };
        applyRestorePlan(scene.plan, o);
        ASSERT_TRUE(swapped);
        EXPECT_TRUE(fs::is_empty(outside)) << "a file went through the link";
    }
}

// A copy is digested through a mapping while it is still in memory: a file
// cut short under it (SIGBUS) is a failure to read, never a crash.
TEST(ApplyFaults, ACopyCutShortWhileItIsDigestedFailsToReadAndDoesNotCrash)
{
    TempDir dir;
    const std::string path = dir / "copy";
    int cutShort = 0;
    for (int round = 0; round < 10 && cutShort == 0; ++round) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, 256 << 20), 0);
        std::thread cut([fd] {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            EXPECT_EQ(::ftruncate(fd, 4096), 0);
        });
        const std::optional<ContentDigest> digest = digestMappedFile(fd);
        const int error = errno;
        cut.join();
        ::close(fd);
        if (!digest) {
            EXPECT_EQ(error, EIO);
            ++cutShort;
        }
    }
    EXPECT_GT(cutShort, 0) << "no round was cut short while it was read";
}

} // namespace
} // namespace korvane
