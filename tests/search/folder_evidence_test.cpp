// What folders tell of a shoot: dates in every usual spelling, the parts of
// camera cards as generic, and names weighed by how few folders bear them.

#include "search/folder_evidence.h"
#include "tests/search/memory_tree.h"
#include "text/unicode_text.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

TEST(FolderDates, EveryUsualSpellingReadsAsTheSameDateAndNothingElseDoes)
{
    const struct {
        const char* name;
        std::uint32_t date;
    } cases[] = {
        {"2024-06-15", 20240615}, {"2024_06_15", 20240615}, {"2024.06.15", 20240615}, {"2024 06 15", 20240615},
        {"20240615", 20240615}, {"15.06.2024", 20240615}, {"2024-06-15_Brunch", 20240615},
        {"Hochzeit 15.06.2024", 20240615}, {"2023-09-02_Kunde_B", 20230902}, {"2024-06-15 and 20240615", 20240615},
        {"2024-13-01", 0}, {"2024-06-32", 0}, {"1965-01-01", 0}, {"2024-06-15_2024-06-16", 0}, {"12345678", 0},
        {"100CANON", 0}, {"2024-06", 0}, {"2024-06_15", 0}, {"120240615", 0}, {"C0001", 0}, {"06.15.2024", 0},
        {"2024/06/15", 0}, {"", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(dateIn(c.name), c.date) << c.name;
}

TEST(CardFolders, TheStructureOfCameraCardsIsGenericAndNamesOfShootsAreNot)
{
    for (const char* generic : {"DCIM", "100CANON", "101MSDCF", "100GOPRO", "PRIVATE", "M4ROOT", "CLIP", "AVCHD",
                                "BDMV", "STREAM", "XDROOT", "Karten", "KarteA", "Karte_B", "Card 2", "CamA", "cam-b", "SD1",
                                "Reel 12"})
        EXPECT_TRUE(isCardFolder(matchKey(generic))) << generic;
    for (const char* shoot : {"Wedding", "Kunde_A", "2024-06-15", "R6", "FX6", "Cameraman", "Cards2024", "Clips 2024",
                              "099CANON", "100CANONS"})
        EXPECT_FALSE(isCardFolder(matchKey(shoot))) << shoot;
}

// Shoots on several days, each with the same camera and card folders: the
// date tells them apart, the camera and the card never do.
TEST(FolderEvidence, FewFoldersBearADistinctiveNameAndADateMatchesInAnySpelling)
{
    testkit::MemoryTree tree;
    for (const char* day : {"2024-06-14", "2024-06-16", "2024-06-17", "2024-06-18", "2024-06-19"})
        tree.file(std::string("/nas/Footage/") + day + "/R6/DCIM/100CANON/MVI_0001.MOV");
    tree.file("/nas/Footage/20240615/R6/MVI_0001.MOV"); // the right clip, flattened
    const FileIndex index = tree.index({"/nas"});
    const FolderEvidence evidence(index);
    EXPECT_FALSE(evidence.distinctive(matchKey("R6"))) << "six folders bear it";
    EXPECT_FALSE(evidence.distinctive(matchKey("DCIM")));
    EXPECT_TRUE(evidence.distinctive(matchKey("2024-06-15"))) << "one folder bears it, spelled otherwise";
    EXPECT_GT(evidence.weight(matchKey("2024-06-15")), evidence.weight(matchKey("R6")));

    std::vector<std::string> stored;
    for (const char* folder : {"Ingest", "2024-06-15", "R6", "DCIM", "100CANON"})
        stored.push_back(matchKey(folder));
    const FolderEvidence::Stored weighed = evidence.weigh(stored);
    std::vector<FileId> found;
    index.findByName(matchKey("MVI_0001.MOV"), found);
    ASSERT_EQ(found.size(), 6u);
    for (const FileId file : found) {
        const FolderMatch m = evidence.match(weighed, index.folderOf(file));
        const bool right = index.filePath(file).find("20240615") != std::string::npos;
        SCOPED_TRACE(index.filePath(file));
        EXPECT_EQ(m.otherDate, !right);
        EXPECT_EQ(m.distinctive, right ? 0b10u : 0u) << "the date, the second stored folder";
        if (!right) {
            EXPECT_GT(m.weight, 0) << "the camera and card folders are found";
        }
    }
}

} // namespace
} // namespace korvane
