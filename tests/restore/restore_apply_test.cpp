// Applying a plan on real temporary trees, and undoing its journal: what is
// made, what is never replaced, what a stop leaves, and what undo keeps.

#include "restore/restore_apply.h"
#include "tests/restore/restore_tree.h"
#include "tests/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace korvane {
namespace {

namespace fs = std::filesystem;
using testkit::TempDir;
using testkit::putBack;

using testkit::contentOf;

ino_t inodeOf(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

class ApplyPlan : public ::testing::Test {
protected:
    TempDir dir;
    ApplyOptions options() const
    {
        ApplyOptions o;
        o.journalFolder = dir / "state";
        return o;
    }
};

// A place that gets an entry after the plan was made keeps it, however the
// file would have been put back.
TEST_F(ApplyPlan, NeverReplacesAnEntryThatAppearedAfterThePlan)
{
    struct Case {
        const char* name;
        bool copy;
    };
    for (const Case c : {Case{"link", false}, Case{"copy", true}}) {
        SCOPED_TRACE(c.name);
        TempDir tree;
        const std::string source = tree.touch("new/clip.avi", "found");
        const std::string destination = tree / "d/clip.avi";
        RestorePlan plan;
        plan.steps.push_back(putBack(source, destination, tree.path()));
        plan.steps.push_back(putBack(tree.touch("new/other.avi", "other"), tree / "d/other.avi", tree.path()));
        ApplyOptions o = options();
        o.journalFolder = tree / "state";
        o.forceCopy = c.copy;
        tree.touch("d/clip.avi", "the user's own");
        const ApplyResult result = applyRestorePlan(plan, o);
        EXPECT_EQ(result.steps[0].outcome, StepOutcome::Appeared);
        EXPECT_EQ(contentOf(destination), "the user's own");
        EXPECT_EQ(result.steps[1].outcome, c.copy ? StepOutcome::Copied : StepOutcome::Linked);
        EXPECT_EQ(result.putBack(), 1u);
        for (const auto& entry : fs::directory_iterator(tree / "d"))
            EXPECT_FALSE(entry.path().filename().string().starts_with(".korvane")) << "no temporary is left";
        const UndoResult undo = undoRestore(result.journal);
        EXPECT_EQ(undo.removedFiles, 1u);
        EXPECT_EQ(contentOf(destination), "the user's own") << "undo takes only what the run made";
    }
}

TEST_F(ApplyPlan, CopiesWhenNoLinkCanCrossFileSystems)
{
    const std::string content(3 << 20, 'x');
    const std::string source = dir.touch("new/clip.avi", content);
    RestorePlan plan;
    plan.steps.push_back(putBack(source, dir / "d/Video/clip.avi", dir.path()));
    ApplyOptions o = options();
    o.fault = [](std::string_view act) { return act == "link" ? EXDEV : 0; };
    const ApplyResult result = applyRestorePlan(plan, o);
    ASSERT_EQ(result.steps[0].outcome, StepOutcome::Copied) << result.steps[0].error;
    EXPECT_EQ(result.bytesCopied, content.size());
    EXPECT_EQ(contentOf(dir / "d/Video/clip.avi"), content);
    EXPECT_NE(inodeOf(dir / "d/Video/clip.avi"), inodeOf(source));
}

// A run stopped after its first file, a file changed since, a foreign file
// in a folder the run made, then undo twice.
TEST_F(ApplyPlan, UndoAfterAPartialRunRemovesOnlyWhatIsStillAsMade)
{
    RestorePlan plan;
    plan.steps.push_back(putBack(dir.touch("new/a.avi", "a"), dir / "d/A/a.avi", dir.path()));
    plan.steps.push_back(putBack(dir.touch("new/b.avi", "b"), dir / "d/B/b.avi", dir.path()));
    plan.steps.push_back(putBack(dir.touch("new/c.avi", "c"), dir / "d/C/c.avi", dir.path()));
    plan.steps.push_back(putBack(dir.touch("new/e.avi", "e"), dir / "d/E/e.avi", dir.path()));
    std::stop_source stop;
    ApplyOptions o = options();
    o.forceCopy = true;
    o.stop = stop.get_token();
    o.progress = [&](const ApplyProgress& p) {
        if (p.done == 3)
            stop.request_stop();
    };
    const ApplyResult result = applyRestorePlan(plan, o);
    EXPECT_EQ(result.copied, 3u);
    EXPECT_EQ(result.steps[3].outcome, StepOutcome::Stopped);
    EXPECT_FALSE(fs::exists(dir / "d/E"));

    std::ofstream(dir / "d/A/a.avi", std::ios::app) << " edited";
    dir.touch("d/B/mine.txt", "the user's");
    fs::remove(dir / "new/c.avi"); // the copy is now the only one
    const UndoResult preview = previewUndo(result.journal);
    EXPECT_TRUE(fs::exists(dir / "d/B/b.avi")) << "a preview removes nothing";
    const UndoResult first = undoRestore(result.journal);
    ASSERT_TRUE(first.read) << first.error;
    EXPECT_EQ(preview.removedFiles, first.removedFiles);
    EXPECT_EQ(preview.kept, first.kept) << "the preview says what the undo then does";
    EXPECT_EQ(first.removedFiles, 1u);   // b.avi
    EXPECT_EQ(first.removedFolders, 0u); // A and C hold what was kept; B holds the user's file
    // Newest first: the copies got their names after the folders were made,
    // so c.avi, a.avi, C, B, A, d.
    ASSERT_EQ(first.kept.size(), 6u);
    EXPECT_NE(first.kept[0].find("c.avi"), std::string::npos);
    EXPECT_NE(first.kept[0].find("only copy"), std::string::npos);
    EXPECT_NE(first.kept[1].find("a.avi"), std::string::npos);
    EXPECT_NE(first.kept[1].find("changed"), std::string::npos);
    EXPECT_NE(first.kept[3].find("B"), std::string::npos);
    EXPECT_NE(first.kept[3].find("not empty"), std::string::npos);
    EXPECT_EQ(contentOf(dir / "d/A/a.avi"), "a edited");
    EXPECT_FALSE(fs::exists(dir / "d/B/b.avi"));
    EXPECT_TRUE(fs::exists(dir / "d/B/mine.txt"));

    const UndoResult second = undoRestore(result.journal);
    EXPECT_EQ(second.removedFiles + second.removedFolders, 0u);
    EXPECT_EQ(second.kept, first.kept) << "a second undo changes nothing";
    EXPECT_EQ(second.alreadyGone, 1u);
}

// A run killed while its copies wait under temporary names for their batch
// to be synced: nothing stands half written under a real name, and undo
// removes the temporaries with the rest.
TEST_F(ApplyPlan, UndoCleansUpARunKilledInTheMiddleOfABatch)
{
    RestorePlan plan;
    std::map<std::string, std::string> contents; // by name
    for (const char n : std::string("012345")) {
        const std::string name = std::string("c") + n + ".avi";
        contents[name] = std::string(300000 + static_cast<std::size_t>(n), n);
        const std::string folder = n % 2 ? "d/F1/" : "d/F0/";
        plan.steps.push_back(putBack(dir.touch("new/" + name, contents[name]), dir / (folder + name), dir.path()));
    }
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ApplyOptions o = options();
        o.forceCopy = true;
        o.progress = [&](const ApplyProgress& p) {
            if (p.done < 4)
                return;
            const char byte = 1;
            if (::write(ready[1], &byte, 1) == 1)
                for (;;)
                    ::pause(); // killed here
            ::_exit(1);
        };
        applyRestorePlan(plan, o);
        ::_exit(1);
    }
    ::close(ready[1]);
    char byte = 0;
    const bool reached = ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(reached) << "the run stopped before its fourth copy";

    std::size_t temporaries = 0;
    for (const auto& entry : fs::recursive_directory_iterator(dir / "d")) {
        if (!entry.is_regular_file())
            continue;
        const std::string name = entry.path().filename().string();
        if (name.starts_with(".korvane-put-back-"))
            ++temporaries;
        else
            EXPECT_EQ(contentOf(entry.path().string()), contents[name]) << name << " stands whole or not at all";
    }
    EXPECT_GT(temporaries, 0u) << "copies were waiting for their sync";
    std::vector<fs::path> journals;
    for (const auto& entry : fs::directory_iterator(dir / "state"))
        journals.push_back(entry.path());
    ASSERT_EQ(journals.size(), 1u);
    const UndoResult undo = undoRestore(journals.front().string());
    ASSERT_TRUE(undo.read) << undo.error;
    EXPECT_TRUE(undo.kept.empty()) << undo.kept.front();
    EXPECT_FALSE(fs::exists(dir / "d")) << "every file, temporaries too, and every folder made is gone";
    const UndoResult again = undoRestore(journals.front().string());
    EXPECT_EQ(again.removedFiles + again.removedFolders, 0u);
    EXPECT_TRUE(again.kept.empty());
}

} // namespace
} // namespace korvane
