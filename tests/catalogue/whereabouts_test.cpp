#include "catalogue/whereabouts.h"

#include "catalogue/cataloguer.h"
#include "catalogue/media_memory.h"
#include "catalogue/sqlite_catalogue.h"
#include "catalogue_test_support.h"
#include "fake_mounts.h"
#include "tests/temp_dir.h"

#include <gtest/gtest.h>

#include <functional>

namespace korvane {
namespace {

using testkit::setMtime;
using testkit::TempDir;
using testkit::writeBytes;

constexpr std::int64_t kCatalogued = 1718400000; // 2024-06-14
constexpr std::int64_t kRemembered = 1718500000;

// A shelf of disks: each a folder plugged in as a disk of its own, or
// unplugged (left out of the mount table and renamed away).
struct Shelf {
    TempDir dir;
    std::string root = std::filesystem::canonical(dir.path()).string();
    testkit::FakeMounts mounts{dir.path()};
    std::unique_ptr<SqliteCatalogue> catalogue = SqliteCatalogue::open(root + "/catalogue.sqlite");
    std::string project = root + "/wedding.dvc";

    std::string plug(const std::string& label, const std::string& uuid, const std::string& type = "exfat")
    {
        const std::string disk = root + "/" + label;
        std::filesystem::create_directories(disk);
        mounts.plug(disk, uuid, label, type);
        return disk;
    }

    void unplug(const std::string& disk)
    {
        mounts.unplug(disk);
        std::filesystem::rename(disk, disk + ".away");
    }

    void catalogue_(const std::string& disk)
    {
        CatalogueRunOptions options;
        options.clock = [] { return kCatalogued; };
        ASSERT_TRUE(catalogueFolder(*catalogue, mounts.table(), disk, options).ok());
    }

    RememberOutcome remember(const std::vector<PresentFile>& present)
    {
        const MountTable table = mounts.table();
        MediaMemory memory(*catalogue, table, [] { return kRemembered; });
        return memory.remember(project, present);
    }

    std::vector<Whereabouts> find(const std::vector<MissingName>& missing)
    {
        return findWhereabouts(*catalogue, mounts.table(), project, missing);
    }
};

const MissingName kClip = {"D:\\Footage\\2024-06-15\\FX6\\C0001.MP4", "C0001.MP4", {"Footage", "2024-06-15", "FX6"}};

TEST(Whereabouts, aDiskCataloguedAndThenUnpluggedIsNamedForItsMissingFiles)
{
    Shelf shelf;
    const std::string disk = shelf.plug("WD_2024_B", "1234-ABCD");
    writeBytes(disk + "/Footage/2024-06-15/FX6/C0001.MP4", "clip one");
    writeBytes(disk + "/Other/C0001.MP4", "another shoot's");
    shelf.catalogue_(disk);
    shelf.unplug(disk);

    const std::vector<Whereabouts> found =
        shelf.find({kClip, {"D:\\Nowhere\\else.mov", "else.mov", {"Nowhere"}}});
    ASSERT_EQ(found.size(), 2u);
    const Whereabouts& w = found[0];
    EXPECT_FALSE(w.remembered);
    EXPECT_TRUE(w.sameFile.empty());
    ASSERT_EQ(w.notConnected.size(), 1u) << "the clip of the same name in other folders is no evidence";
    const Sighting& s = w.notConnected[0];
    EXPECT_FALSE(s.connected());
    EXPECT_EQ(volumeName(s.volume->identity), "WD_2024_B");
    EXPECT_EQ(s.path, "Footage/2024-06-15/FX6/C0001.MP4");
    EXPECT_EQ(s.seen, kCatalogued);
    EXPECT_EQ(s.evidence, Evidence::SameFolders);
    EXPECT_EQ(s.sharedFolders, 3);
    EXPECT_FALSE(w.ambiguous);
    EXPECT_TRUE(found[1].notConnected.empty());

    // Plugged in again (anywhere), it is the search's to walk.
    std::filesystem::rename(disk + ".away", shelf.root + "/elsewhere");
    shelf.mounts.plug(shelf.root + "/elsewhere", "1234-ABCD", "WD_2024_B");
    EXPECT_TRUE(shelf.find({kClip})[0].notConnected.empty());
}

TEST(Whereabouts, aRenamedClipIsFoundByItsFingerprint)
{
    Shelf shelf;
    const std::string disk = shelf.plug("SSD_1", "AAAA-0001");
    const std::string clip = disk + "/Footage/2024-06-15/FX6/C0001.MP4";
    writeBytes(clip, std::string(300000, 'c') + "one");
    const RememberOutcome remembered = shelf.remember({{kClip.stored, clip}});
    ASSERT_FALSE(remembered.error);
    EXPECT_EQ(remembered.recorded, 1u);

    const std::string renamed = disk + "/Hochzeit/Einzug_Braut.mp4";
    std::filesystem::create_directories(disk + "/Hochzeit");
    std::filesystem::rename(clip, renamed);
    shelf.catalogue_(disk);

    std::vector<Whereabouts> found = shelf.find({kClip});
    ASSERT_TRUE(found[0].remembered);
    ASSERT_EQ(found[0].sameFile.size(), 1u);
    EXPECT_EQ(found[0].sameFile[0].now, renamed);
    EXPECT_EQ(found[0].sameFile[0].evidence, Evidence::SameContent);

    // A copy cut short under the same new name is not the same file.
    writeBytes(renamed, std::string(300000, 'c'));
    EXPECT_TRUE(shelf.find({kClip})[0].sameFile.empty());
    writeBytes(renamed, std::string(300000, 'c') + "one");

    // Unplugged, the disk is named with the new name's path.
    shelf.unplug(disk);
    found = shelf.find({kClip});
    ASSERT_EQ(found[0].notConnected.size(), 1u);
    EXPECT_EQ(found[0].notConnected[0].path, "Hochzeit/Einzug_Braut.mp4");
    EXPECT_EQ(volumeName(found[0].notConnected[0].volume->identity), "SSD_1");
}

TEST(Whereabouts, sameNamedClipsOfDifferentShootsAreToldApartByARememberedFingerprint)
{
    Shelf shelf;
    const MissingName imported = {"D:\\Import\\C0001.MP4", "C0001.MP4", {"Import"}};
    const std::string first = shelf.plug("SHOOT_1", "1111-1111");
    const std::string second = shelf.plug("SHOOT_2", "2222-2222");
    writeBytes(first + "/Import/C0001.MP4", "the bride arrives");
    writeBytes(second + "/Import/C0001.MP4", "the cake is cut!!");
    writeBytes(shelf.root + "/work/Import/C0001.MP4", "the cake is cut!!");
    ASSERT_FALSE(shelf.remember({{imported.stored, shelf.root + "/work/Import/C0001.MP4"}}).error);
    shelf.catalogue_(first);
    shelf.catalogue_(second);
    shelf.unplug(first);
    shelf.unplug(second);
    std::filesystem::remove_all(shelf.root + "/work");

    std::vector<Whereabouts> found = shelf.find({imported});
    ASSERT_EQ(found[0].notConnected.size(), 1u);
    EXPECT_EQ(volumeName(found[0].notConnected[0].volume->identity), "SHOOT_2");
    EXPECT_EQ(found[0].notConnected[0].evidence, Evidence::SameContent);
    EXPECT_FALSE(found[0].ambiguous);

    // A project that remembered nothing has two equally good answers:
    // neither disk is to be named.
    shelf.project = shelf.root + "/other.dvc";
    found = findWhereabouts(*shelf.catalogue, shelf.mounts.table(), shelf.project,
                            {{"E:\\Import\\C0001.MP4", "C0001.MP4", {"Import"}}});
    EXPECT_EQ(found[0].notConnected.size(), 2u);
    EXPECT_TRUE(found[0].ambiguous);
}

TEST(MediaMemory, aChangedFileIsListedAndAnUnchangedOneIsNotRead)
{
    Shelf shelf;
    const std::string disk = shelf.plug("SSD_1", "AAAA-0001");
    const std::string a = disk + "/a.mov", b = disk + "/b.mov", c = disk + "/c.mov";
    const std::vector<PresentFile> present = {{"D:\\a.mov", a}, {"D:\\b.mov", b}, {"D:\\c.mov", c}};
    writeBytes(disk + "/a.mov", "aaaaaaaa");
    writeBytes(disk + "/b.mov", "bbbbbbbb");
    writeBytes(disk + "/c.mov", "cccccccc");
    ASSERT_EQ(shelf.remember(present).recorded, 3u);

    writeBytes(disk + "/a.mov", "aaaa");     // a copy cut short
    writeBytes(disk + "/b.mov", "BBBBBBBB"); // replaced by another of its size
    setMtime(disk + "/c.mov", 1800000000);   // touched, the same content

    std::vector<std::string> problems;
    const MountTable table = shelf.mounts.table();
    MediaMemory memory(*shelf.catalogue, table);
    const std::vector<ChangedFile> changed = memory.changed(shelf.project, present, problems);
    ASSERT_EQ(changed.size(), 2u);
    EXPECT_EQ(changed[0].stored, "D:\\a.mov");
    EXPECT_EQ(changed[0].now.size, 4u);
    EXPECT_EQ(changed[0].remembered.facts.size, 8u);
    EXPECT_FALSE(changed[0].fingerprintNow) << "the size alone told";
    EXPECT_EQ(changed[1].stored, "D:\\b.mov");
    EXPECT_TRUE(changed[1].fingerprintNow);
    EXPECT_TRUE(problems.empty());

    // Remembering anew reports the same and writes all three (c's mtime);
    // then nothing is read or written: a file that could not be read
    // would be a problem, and none is.
    RememberOutcome again = shelf.remember(present);
    EXPECT_EQ(again.changed.size(), 2u);
    EXPECT_EQ(again.recorded, 3u);
    again = shelf.remember(present);
    EXPECT_EQ(again.recorded, 0u);
    EXPECT_EQ(again.unchanged, 3u);
    EXPECT_TRUE(memory.changed(shelf.project, present, problems).empty());

    // Forgetting the disk keeps the size and fingerprint, not the place.
    const std::vector<VolumeRecord> volumes = shelf.catalogue->volumes();
    ASSERT_EQ(volumes.size(), 1u);
    inOneUnit(*shelf.catalogue, [&] { shelf.catalogue->forgetVolume(volumes[0].id); });
    const std::optional<Recollection> kept = memory.recall(shelf.project, "D:\\a.mov");
    ASSERT_TRUE(kept);
    EXPECT_FALSE(kept->volume);
    EXPECT_EQ(kept->facts.size, 4u);
}


// Remembering a project that did not change since it was last remembered
// reads its digest and writes nothing: it takes no lock, so it goes on
// while another run holds the catalogue. Each kind of change is seen and
// written, and the next remembering is again one that writes nothing.
TEST(MediaMemory, aProjectThatDidNotChangeIsRememberedWithoutWritingAndEveryChangeIsSeen)
{
    Shelf shelf;
    const std::string disk = shelf.plug("SSD_1", "AAAA-0001", "ext4"); // inodes that say something
    const std::string a = disk + "/a.mov", b = disk + "/b.mov", c = disk + "/c.mov", moved = disk + "/Moved/b.mov";
    for (const std::string& path : {a, b, c})
        writeBytes(path, std::string(1000, path.back()) + path);
    const std::vector<PresentFile> all = {{"D:\\a.mov", a}, {"D:\\b.mov", b}, {"D:\\c.mov", c}};
    ASSERT_EQ(shelf.remember(all).recorded, 3u);

    CatalogueOptions impatient;
    impatient.busyMilliseconds = 50;
    auto quick = SqliteCatalogue::open(shelf.root + "/catalogue.sqlite", impatient);
    const MountTable table = shelf.mounts.table();
    const auto rememberWhileHeld = [&](const std::vector<PresentFile>& present) {
        auto holder = SqliteCatalogue::open(shelf.root + "/catalogue.sqlite");
        holder->begin();
        const RememberOutcome out = MediaMemory(*quick, table, [] { return kRemembered; }).remember(shelf.project, present);
        holder->rollback();
        return out;
    };
    std::vector<PresentFile> present = all;
    const struct {
        const char* change;
        std::function<void()> make;
        std::size_t recorded;
        std::size_t changed;
    } cases[] = {
        {"nothing", [] {}, 0, 0},
        {"touched", [&] { setMtime(c, 1800000000); }, 1, 0},
        {"cut short", [&] { writeBytes(a, "aaaa"); }, 1, 1},
        {"copied over itself (a new inode)",
         [&] {
             std::filesystem::copy_file(c, c + ".new");
             setMtime(c + ".new", 1800000000);
             std::filesystem::rename(c + ".new", c);
         },
         1, 0},
        {"found elsewhere",
         [&] {
             writeBytes(moved, testkit::readBytes(b));
             present[1].path = moved;
         },
         1, 0},
        {"one fewer in the project", [&] { present.pop_back(); }, 0, 0},
        {"one more again", [&] { present = all; present[1].path = moved; }, 0, 0},
        {"another run remembered one",
         [&] {
             Recollection other = *shelf.catalogue->recall(shelf.project, "D:\\a.mov");
             other.facts.mtime += 1;
             inOneUnit(*shelf.catalogue, [&] { shelf.catalogue->remember(other); });
         },
         1, 0},
        {"the disk forgotten",
         [&] {
             inOneUnit(*shelf.catalogue, [&] { shelf.catalogue->forgetVolume(shelf.catalogue->volumes()[0].id); });
         },
         3, 0},
    };
    for (const auto& step : cases) {
        step.make();
        const RememberOutcome seen = shelf.remember(present);
        EXPECT_FALSE(seen.error) << step.change;
        EXPECT_EQ(seen.recorded, step.recorded) << step.change;
        EXPECT_EQ(seen.changed.size(), step.changed) << step.change;
        EXPECT_EQ(seen.recorded + seen.unchanged, present.size()) << step.change;
        const RememberOutcome again = rememberWhileHeld(present);
        EXPECT_FALSE(again.error) << step.change << ": " << (again.error ? again.error->what() : "");
        EXPECT_EQ(again.unchanged, present.size()) << step.change;
    }
}

} // namespace
} // namespace korvane
