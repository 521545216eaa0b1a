// Camera-card archives as videographers keep them: the same card names over
// several dates, clients and cameras, cards kept whole and flattened,
// identical backups and same-size twins. No file ever comes back from
// another shoot; what the folders tell apart comes back; what nothing
// tells apart is left for the user, who can prefer a tree.

#include "restore/restore_plan.h"
#include "tests/paths/make_resolver.h"
#include "tests/restore/restore_tree.h"
#include "tests/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace korvane {
namespace {

namespace fs = std::filesystem;
using testkit::TempDir;

// A clip of a shoot: its bytes say which shoot and card it is from.
std::string clipOf(const std::string& shoot, int n)
{
    std::string bytes = shoot + "#" + std::to_string(n) + "|";
    bytes.resize(3000, '.');
    return bytes;
}

struct Archive {
    TempDir dir;
    std::string nas = dir / "nas";
    std::string drive = dir / "drive";

    Archive() { fs::create_directories(drive); }

    // Clips 1..n of `shoot`, at nas/`folder`/ NAME (`name` holds %d).
    Archive& clips(const std::string& shoot, const std::string& folder, const char* name, int n)
    {
        for (int k = 1; k <= n; ++k) {
            char file[64];
            std::snprintf(file, sizeof file, name, k);
            dir.touch("nas/" + folder + "/" + file, clipOf(shoot, k));
        }
        return *this;
    }
};

// The stored paths D:\`folder`\NAME for clips 1..n.
std::vector<std::string> stored(const std::string& folder, const char* name, int n)
{
    std::vector<std::string> paths;
    for (int k = 1; k <= n; ++k) {
        char file[64];
        std::snprintf(file, sizeof file, name, k);
        paths.push_back("D:\\" + folder + "\\" + file);
    }
    return paths;
}

struct Outcome {
    SearchResults results;
    RestorePlan plan;
};

Outcome planFor(Archive& archive, const std::vector<std::string>& paths, const std::vector<std::string>& prefer = {})
{
    PathResolver resolver = testkit::makeResolver({{"D:", archive.drive, MappingSource::Explicit}});
    std::vector<std::string_view> views(paths.begin(), paths.end());
    SearchOptions search;
    for (const std::string& folder : prefer)
        search.decide.prefer.push_back(archive.nas + "/" + folder);
    SearchResults results = searchMissing({archive.nas}, missingFiles(views), search);
    PlanOptions options;
    options.mounts = {};
    RestorePlan plan = makeRestorePlan(results, resolver, options);
    return {std::move(results), std::move(plan)};
}

// The shoot a file put back is from, by its bytes.
std::string shootOf(const std::string& path)
{
    const std::string bytes = testkit::contentOf(path);
    return bytes.substr(0, bytes.find('#'));
}

TEST(CameraArchives, NoFileComesBackFromAnotherShootAndWhatNothingTellsApartIsLeft)
{
    const struct {
        const char* name;
        std::function<void(Archive&)> build;
        std::vector<std::string> stored;
        std::vector<std::string> prefer;
        const char* shoot;   // every file put back is from it
        std::size_t putBack; // of the stored files
        LeftReason left;     // the others
    } cases[] = {
        {"the next day's brunch has the whole card; the right clips were flattened",
         [](Archive& a) {
             a.clips("0615", "Footage/2024-06-15/R6", "MVI_%04d.MOV", 10)
                 .clips("0616", "Footage/2024-06-16/R6/DCIM/100CANON", "MVI_%04d.MOV", 10)
                 .clips("0614", "Footage/20240614/R6/DCIM/100CANON", "MVI_%04d.MOV", 10);
         },
         stored("Ingest\\2024-06-15\\R6\\DCIM\\100CANON", "MVI_%04d.MOV", 10), {}, "0615", 10,
         LeftReason::NotFound},
        {"only other days hold the clip names",
         [](Archive& a) {
             a.clips("0616", "Footage/2024-06-16/R6/DCIM/100CANON", "MVI_%04d.MOV", 4)
                 .clips("0614", "Footage/14.06.2024/R6", "MVI_%04d.MOV", 4);
         },
         stored("Ingest\\2024-06-15\\R6\\DCIM\\100CANON", "MVI_%04d.MOV", 4), {}, "", 0, LeftReason::OtherShoot},
        {"another client's card of the same structure, and dated shoots of another camera",
         [](Archive& a) {
             a.clips("KundeB", "Archive/2023-09-02_Kunde_B/KarteA/PRIVATE/M4ROOT/CLIP", "C%04d.MP4", 5)
                 .clips("0608", "Footage/2024-06-08/FX6", "C%04d.MP4", 5)
                 .clips("0609", "Footage/2024-06-09/FX6", "C%04d.MP4", 5);
         },
         stored("Karten\\Kunde_A\\KarteA\\PRIVATE\\M4ROOT\\CLIP", "C%04d.MP4", 5), {}, "", 0,
         LeftReason::DifferentFiles},
        {"the same, preferring one day's footage",
         [](Archive& a) {
             a.clips("KundeB", "Archive/2023-09-02_Kunde_B/KarteA/PRIVATE/M4ROOT/CLIP", "C%04d.MP4", 5)
                 .clips("0608", "Footage/2024-06-08/FX6", "C%04d.MP4", 5)
                 .clips("0609", "Footage/2024-06-09/FX6", "C%04d.MP4", 5);
         },
         stored("Karten\\Kunde_A\\KarteA\\PRIVATE\\M4ROOT\\CLIP", "C%04d.MP4", 5), {"Footage/2024-06-08"}, "0608", 5,
         LeftReason::NotFound},
        {"an identical backup of the right day",
         [](Archive& a) {
             a.clips("0615", "Footage/2024-06-15/R6", "MVI_%04d.MOV", 3)
                 .clips("0615", "Backup/2024_06_15/R6", "MVI_%04d.MOV", 3);
         },
         stored("Ingest\\2024-06-15\\R6", "MVI_%04d.MOV", 3), {}, "0615", 3, LeftReason::NotFound},
        {"two clients' cards of one day, the client folder lost from the project's path",
         [](Archive& a) {
             a.clips("Mueller", "2024-06-15/Mueller/CamA", "A%03d.MOV", 3)
                 .clips("Schmidt", "2024-06-15/Schmidt/CamA", "A%03d.MOV", 3);
         },
         stored("Projekte\\2024-06-15\\CamA", "A%03d.MOV", 3), {}, "", 0, LeftReason::DifferentFiles},
        {"two clients' cards of one day, the client in the project's path",
         [](Archive& a) {
             a.clips("Mueller", "2024-06-15/Mueller/CamA", "A%03d.MOV", 3)
                 .clips("Schmidt", "2024-06-15/Schmidt/CamA", "A%03d.MOV", 3);
         },
         stored("Projekte\\Schmidt\\CamA", "A%03d.MOV", 3), {}, "Schmidt", 3, LeftReason::NotFound},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Archive archive;
        c.build(archive);
        const Outcome out = planFor(archive, c.stored, c.prefer);
        std::size_t putBack = 0;
        for (const RestoreStep& step : out.plan.steps) {
            SCOPED_TRACE(step.stored);
            if (step.putBack) {
                ++putBack;
                EXPECT_EQ(shootOf(step.source), c.shoot) << step.source;
            } else {
                EXPECT_EQ(step.reason, c.left) << describeLeft(step);
            }
            if (step.reason == LeftReason::DifferentFiles) {
                EXPECT_GE(step.choices.size(), 2u) << "the files to choose from";
            }
        }
        EXPECT_EQ(putBack, c.putBack);
        // Whatever mappings are suggested, a file they find is of the shoot.
        DriveMap drives;
        for (const MappingSuggestion& m : out.results.mappings())
            drives.add({m.storedPrefix, m.localFolder, MappingSource::Explicit});
        PathResolver suggested(std::move(drives), *TextDecoder::open("auto"));
        for (const std::string& path : c.stored) {
            const Resolution r = suggested.resolve(path);
            if (r.found) {
                EXPECT_EQ(shootOf(r.localPath), c.shoot) << path << " through a suggested mapping: " << r.localPath;
            }
        }
    }
}

// Same-size twins that differ only in their last byte are two files; an
// identical copy is one, and counted.
TEST(CameraArchives, ContentTellsIdenticalCopiesFromTwins)
{
    Archive archive;
    const std::string clip(300 * 1024, 'x');
    std::string twin = clip;
    twin.back() = 'y';
    archive.dir.touch("nas/Card1/DCIM/100CANON/IMG_0001.MOV", clip);
    archive.dir.touch("nas/Card2/DCIM/100CANON/IMG_0001.MOV", clip);
    archive.dir.touch("nas/Card1/DCIM/100CANON/IMG_0002.MOV", clip);
    archive.dir.touch("nas/Card2/DCIM/100CANON/IMG_0002.MOV", twin);
    const Outcome out =
        planFor(archive, {"D:\\DCIM\\100CANON\\IMG_0001.MOV", "D:\\DCIM\\100CANON\\IMG_0002.MOV"});
    ASSERT_TRUE(out.plan.steps[0].putBack) << describeLeft(out.plan.steps[0]);
    EXPECT_EQ(out.plan.steps[0].identicalCopies, 2u);
    EXPECT_EQ(out.plan.steps[1].reason, LeftReason::DifferentFiles);
    ASSERT_EQ(out.plan.steps[1].choices.size(), 2u);
    RestoreStep chosen = out.plan.steps[1];
    ASSERT_TRUE(choose(chosen, 1)) << "the user picks the second";
    EXPECT_EQ(testkit::contentOf(chosen.source), testkit::contentOf(chosen.choices[1].path));
}

} // namespace
} // namespace korvane
