// The plan: where each missing file may go back, and from which file. A
// place outside its root, behind a link or a file, on a disk that is not
// mounted, or with a hidden name is left with its reason; the choice
// between candidates never depends on how many are kept for showing.

#include "restore/restore_plan.h"
#include "tests/paths/make_resolver.h"
#include "tests/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace korvane {
namespace {

namespace fs = std::filesystem;
using testkit::TempDir;

// The plan for `stored` names, searched for below `found`, with drive D:
// mapped to `drive`.
RestorePlan planFor(const std::vector<std::string>& stored, const std::string& found, const std::string& drive,
                    const PlanOptions& options, std::size_t maxCandidates = 100)
{
    PathResolver resolver = testkit::makeResolver({{"D:", drive, MappingSource::Explicit}});
    std::vector<std::string_view> views(stored.begin(), stored.end());
    SearchOptions search;
    search.match.maxCandidates = maxCandidates;
    const SearchResults results = searchMissing({found}, missingFiles(views), search);
    return makeRestorePlan(results, resolver, options);
}

class RestorePlanOnDisk : public ::testing::Test {
protected:
    TempDir dir;
    std::string drive = dir / "drive";
    std::string found = dir / "found";
    PlanOptions options;

    void SetUp() override
    {
        fs::create_directories(drive);
        dir.touch("found/a.avi", "a");
        options.mounts.removable = {dir / "media"};
        options.mounts.fstab.clear();
        options.projectFolder = dir / "project";
        fs::create_directories(dir / "project");
        here_ = fs::current_path();
        fs::current_path(dir / "project"); // relative names are looked for from here
    }
    void TearDown() override { fs::current_path(here_); }

private:
    fs::path here_;
};

TEST_F(RestorePlanOnDisk, APlaceThatLeavesItsRootOrPassesALinkAFileOrAnUnmountedDiskIsLeft)
{
    fs::create_directories(dir / "outside");
    fs::create_directory_symlink(dir / "outside", drive + "/Link");
    dir.touch("drive/File", "a file where a folder goes");
    fs::create_directories(dir / "media/usbdisk/Video");
    const struct {
        std::string stored;
        std::string drive; // D: mapped there; empty: the default
        LeftReason reason;
        std::string detail; // the folder or name concerned, below dir
    } cases[] = {
        {"D:\\Clips\\.hidden\\a.avi", "", LeftReason::HiddenName, ".hidden"},
        {"D:\\.ssh\\a.avi", "", LeftReason::HiddenName, ".ssh"},
        {"D:\\Link\\a.avi", "", LeftReason::LinkInPath, "drive/Link"},
        {"D:\\File\\a.avi", "", LeftReason::NotAFolder, "drive/File"},
        {"D:\\Video\\a.avi", dir / "media/usbdisk/Gone", LeftReason::NotMounted, "media/usbdisk/Gone"},
        {"D:\\Video\\a.avi", dir / "media/usbdisk/Video", LeftReason::NotMounted, "media/usbdisk/Video"},
        {dir / "old/a.avi", "", LeftReason::OutsideRoot, ""},
        {"../escape/a.avi", "", LeftReason::OutsideRoot, ""},
        {"media/../../project2/a.avi", "", LeftReason::OutsideRoot, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        const RestorePlan plan = planFor({c.stored}, found, c.drive.empty() ? drive : c.drive, options);
        ASSERT_EQ(plan.steps.size(), 1u);
        const RestoreStep& step = plan.steps[0];
        EXPECT_FALSE(step.putBack);
        EXPECT_EQ(step.reason, c.reason) << describeLeft(step);
        if (c.reason == LeftReason::HiddenName) {
            EXPECT_EQ(step.detail, c.detail);
        } else if (!c.detail.empty()) {
            EXPECT_EQ(step.detail, dir / c.detail);
        }
    }
    EXPECT_TRUE(fs::is_empty(dir / "outside"));
}

TEST_F(RestorePlanOnDisk, APlaceBelowItsRootIsPutBackNormalised)
{
    const struct {
        std::string stored;
        std::vector<std::string> roots;
        std::string destination; // below dir
    } cases[] = {
        {"D:\\Wedding\\.\\CamA\\\\a.avi", {}, "drive/Wedding/CamA/a.avi"},
        {"D:\\Wedding\\x\\..\\a.avi", {}, "drive/Wedding/a.avi"},
        {"media/./clips/../a.avi", {}, "project/media/a.avi"},
        {dir / "old/a.avi", {dir / "old"}, "old/a.avi"},
        {"media/a.avi", {dir / "elsewhere"}, ""}, // named roots replace the project's folder
    };
    fs::create_directories(dir / "old");
    fs::create_directories(dir / "elsewhere");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        options.roots = c.roots;
        const RestorePlan plan = planFor({c.stored}, found, drive, options);
        const RestoreStep& step = plan.steps.at(0);
        if (c.destination.empty()) {
            EXPECT_EQ(step.reason, LeftReason::OutsideRoot);
            continue;
        }
        ASSERT_TRUE(step.putBack) << describeLeft(step);
        EXPECT_EQ(step.destination, dir / c.destination);
        EXPECT_EQ(step.source, fs::canonical(dir / "found/a.avi").string());
    }
}

// Windows names that differ only in case name one file in one folder.
TEST_F(RestorePlanOnDisk, NamesThatDifferOnlyInCaseShareTheirFolderAndNeverTwoFilesOnePlace)
{
    dir.touch("found/b.avi", "b");
    const RestorePlan plan =
        planFor({"D:\\W\\a.avi", "D:\\w\\A.AVI", "D:\\w\\b.avi"}, found, drive, options);
    ASSERT_EQ(plan.steps.size(), 3u);
    EXPECT_TRUE(plan.steps[0].putBack);
    EXPECT_EQ(plan.steps[0].destination, drive + "/W/a.avi");
    EXPECT_EQ(plan.steps[1].reason, LeftReason::SamePlace);
    EXPECT_EQ(plan.steps[1].detail, "D:\\W\\a.avi");
    EXPECT_TRUE(plan.steps[2].putBack);
    EXPECT_EQ(plan.steps[2].destination, drive + "/W/b.avi");
}

// 150 copies of a clip tie: identical ones are put back and counted, and a
// copy that differs in its last byte makes them two different files; the
// number kept for showing changes neither.
TEST_F(RestorePlanOnDisk, TiedCopiesAreWeighedWholeWhateverTheCandidatesShown)
{
    const std::string clip(200 * 1024, 'c');
    for (int k = 0; k < 150; ++k)
        dir.touch("found/card" + std::to_string(k) + "/clip.avi", clip);
    for (const std::size_t shown : {1u, 100u, 1000u}) {
        const RestoreStep step = planFor({"D:\\Clips\\clip.avi"}, found, drive, options, shown).steps.at(0);
        ASSERT_TRUE(step.putBack) << shown << ": " << describeLeft(step);
        EXPECT_EQ(step.identicalCopies, 150u);
    }
    std::string twin = clip;
    twin.back() = 'd';
    dir.touch("found/card77/clip.avi", twin);
    for (const std::size_t shown : {1u, 100u, 1000u}) {
        const RestoreStep step = planFor({"D:\\Clips\\clip.avi"}, found, drive, options, shown).steps.at(0);
        EXPECT_FALSE(step.putBack);
        EXPECT_EQ(step.reason, LeftReason::DifferentFiles);
        EXPECT_EQ(step.differentSizes, (std::vector<std::uint64_t>{clip.size(), clip.size()}));
        EXPECT_EQ(describeLeft(step), "2 different files found (204800 and 204800 bytes)");
    }
}

} // namespace
} // namespace korvane
