#include "catalogue/cataloguer.h"

#include "catalogue/sqlite_catalogue.h"
#include "catalogue_test_support.h"
#include "fake_mounts.h"
#include "tests/temp_dir.h"

#include <gtest/gtest.h>

#include <map>

namespace korvane {
namespace {

using testkit::setMtime;
using testkit::TempDir;
using testkit::writeBytes;

// A disk of the test's own, plugged in, and a catalogue.
struct Shelf {
    TempDir dir;
    std::string root = std::filesystem::canonical(dir.path()).string();
    std::string disk = root + "/disk";
    testkit::FakeMounts mounts{dir.path()};
    std::unique_ptr<SqliteCatalogue> catalogue;

    Shelf()
    {
        std::filesystem::create_directories(disk);
        mounts.plug(disk, "1234-ABCD", "WD_2024_B", "ext4");
        catalogue = SqliteCatalogue::open(root + "/catalogue.sqlite");
    }

    CatalogueOutcome run(const std::string& folder, CatalogueRunOptions options = {})
    {
        options.clock = [] { return std::int64_t{1718400000}; };
        return catalogueFolder(*catalogue, mounts.table(), folder, options);
    }

    // Every file of the volume: its path from the root and its record.
    std::map<std::string, FileRecord> files(CatalogueId volume)
    {
        std::map<std::string, FileRecord> out;
        std::vector<FolderRecord> folders;
        catalogue->foldersBelow(volume, "", folders);
        std::vector<FileRecord> records;
        for (const FolderRecord& folder : folders) {
            catalogue->files(folder.id, records);
            for (FileRecord& r : records)
                out.emplace(folder.path.empty() ? r.name : folder.path + "/" + r.name, std::move(r));
        }
        return out;
    }
};

TEST(Cataloguer, recordsEveryFileUnderItsVolumeAndThenOnlyWhatChanged)
{
    Shelf shelf;
    writeBytes(shelf.disk + "/Footage/2024-06-15/FX6/C0001.MP4", std::string(200000, 'a'));
    writeBytes(shelf.disk + "/Footage/2024-06-15/FX6/C0002.MP4", "second");
    writeBytes(shelf.disk + "/Footage/Old/gone.mov", "old");
    writeBytes(shelf.disk + "/Audio/take.wav", "take");
    std::filesystem::create_symlink(shelf.disk + "/Audio/take.wav", shelf.disk + "/Audio/link.wav");
    setMtime(shelf.disk + "/Audio/take.wav", 1700000000, 123456789);

    CatalogueOutcome first = shelf.run(shelf.disk + "/Footage/..");
    ASSERT_TRUE(first.ok());
    EXPECT_EQ(first.volume.identity.label, "WD_2024_B");
    EXPECT_EQ(first.relative, "");
    EXPECT_EQ(first.files, 4u) << "the link is no file of the disk";
    EXPECT_EQ(first.added, 4u);
    EXPECT_EQ(first.fingerprinted, 4u);
    auto files = shelf.files(first.volume.id);
    ASSERT_EQ(files.size(), 4u);
    EXPECT_EQ(files.at("Audio/take.wav").facts.mtime, 1700000000123456789);
    EXPECT_EQ(files.at("Footage/2024-06-15/FX6/C0001.MP4").facts.size, 200000u);
    const Digest takeBefore = *files.at("Audio/take.wav").fingerprint;

    // Same size, same mtime, same inode: not read again, though its bytes
    // changed. A new mtime is read again; a new file is added; a folder
    // and a file that are gone are removed.
    const std::string take = shelf.disk + "/Audio/take.wav";
    {
        std::fstream f(take, std::ios::in | std::ios::out | std::ios::binary);
        f << "TAKE";
    }
    setMtime(take, 1700000000, 123456789);
    writeBytes(shelf.disk + "/Footage/2024-06-15/FX6/C0002.MP4", "SECOND");
    setMtime(shelf.disk + "/Footage/2024-06-15/FX6/C0002.MP4", 1800000000);
    writeBytes(shelf.disk + "/Footage/2024-06-15/FX6/C0003.MP4", "third");
    std::filesystem::remove_all(shelf.disk + "/Footage/Old");

    const CatalogueOutcome second = shelf.run(shelf.disk);
    ASSERT_TRUE(second.ok());
    EXPECT_EQ(second.added, 1u);
    EXPECT_EQ(second.changed, 1u);
    EXPECT_EQ(second.removed, 1u);
    EXPECT_EQ(second.fingerprinted, 2u) << "only the new and the changed file are read";
    files = shelf.files(first.volume.id);
    ASSERT_EQ(files.size(), 4u);
    EXPECT_FALSE(files.count("Footage/Old/gone.mov"));
    EXPECT_EQ(*files.at("Audio/take.wav").fingerprint, takeBefore);
    std::vector<FolderRecord> folders;
    shelf.catalogue->foldersBelow(first.volume.id, "Footage", folders);
    EXPECT_EQ(folders.size(), 3u) << "Footage, 2024-06-15 and FX6; Old is gone";
}

TEST(Cataloguer, aFolderBelowTheRootIsRecordedFromTheRootOfItsVolume)
{
    Shelf shelf;
    writeBytes(shelf.disk + "/Footage/Day1/a.mov", "a");
    writeBytes(shelf.disk + "/Footage/Day2/b.mov", "b");
    ASSERT_TRUE(shelf.run(shelf.disk).ok());
    std::filesystem::remove_all(shelf.disk + "/Footage/Day2");
    writeBytes(shelf.disk + "/Footage/Day1/c.mov", "c");

    // Only Day1 is read again: Day2 below another folder keeps its record.
    const CatalogueOutcome outcome = shelf.run(shelf.disk + "/Footage/Day1");
    ASSERT_TRUE(outcome.ok());
    EXPECT_EQ(outcome.relative, "Footage/Day1");
    const auto files = shelf.files(outcome.volume.id);
    EXPECT_TRUE(files.count("Footage/Day1/c.mov"));
    EXPECT_TRUE(files.count("Footage/Day2/b.mov"));
}

TEST(Cataloguer, aStopKeepsWhatWasCommittedAndRemovesNothing)
{
    Shelf shelf;
    for (int k = 0; k < 10; ++k)
        writeBytes(shelf.disk + "/f" + std::to_string(k) + "/clip.mov", std::to_string(k));
    ASSERT_TRUE(shelf.run(shelf.disk).ok());
    std::filesystem::remove_all(shelf.disk);
    for (int k = 0; k < 10; ++k)
        writeBytes(shelf.disk + "/g" + std::to_string(k) + "/clip.mov", std::to_string(k));

    std::atomic<bool> stop{false};
    CatalogueRunOptions options;
    options.stop = &stop;
    options.unit = std::chrono::milliseconds(0);
    options.progress = [&](const CatalogueProgress& p) {
        if (p.folders == 4)
            stop = true;
    };
    const CatalogueOutcome stopped = shelf.run(shelf.disk, options);
    EXPECT_TRUE(stopped.stopped);
    EXPECT_TRUE(stopped.ok());
    EXPECT_EQ(stopped.folders, 4u);
    EXPECT_EQ(stopped.fingerprinted, 0u);
    EXPECT_EQ(stopped.unfingerprinted, 3u);
    auto files = shelf.files(stopped.volume.id);
    EXPECT_EQ(files.size(), 13u) << "the ten of before are not known to be gone until a walk ends";

    const CatalogueOutcome again = shelf.run(shelf.disk);
    ASSERT_TRUE(again.ok());
    EXPECT_EQ(again.removed, 10u);
    EXPECT_EQ(again.fingerprinted, 10u) << "the three listed before are read now";
    files = shelf.files(stopped.volume.id);
    EXPECT_EQ(files.size(), 10u);
    EXPECT_TRUE(std::all_of(files.begin(), files.end(), [](const auto& f) { return f.second.fingerprint; }));
}

TEST(Fingerprint, isTheDigestOfTheSizeAndTheFirstAndLast64KiB)
{
    TempDir dir;
    std::string content(3 * kFingerprintPiece, '\0');
    for (std::size_t k = 0; k < content.size(); ++k)
        content[k] = static_cast<char>(k * 7 + k / 251);
    // The sizes around the pieces' edges, each against the digest of what
    // is to be read.
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, kFingerprintPiece, 2 * kFingerprintPiece,
                                   2 * kFingerprintPiece + 1, 3 * kFingerprintPiece}) {
        const std::string path = (dir.path() / "f").string() + std::to_string(size);
        writeBytes(path, content.substr(0, size));
        DigestBuilder expected;
        for (int b = 0; b < 8; ++b) {
            const auto byte = static_cast<unsigned char>(static_cast<std::uint64_t>(size) >> (8 * b));
            expected.add(&byte, 1);
        }
        if (size <= 2 * kFingerprintPiece) {
            expected.add(content.data(), size);
        } else {
            expected.add(content.data(), kFingerprintPiece);
            expected.add(content.data() + size - kFingerprintPiece, kFingerprintPiece);
        }
        const std::optional<Fingerprinted> got = fingerprintFile(path);
        ASSERT_TRUE(got) << size;
        EXPECT_EQ(got->fingerprint, expected.finish()) << size;
        EXPECT_EQ(got->facts.size, size);
    }
    // The middle of a long file is not read; its ends and its size are.
    std::string other = content;
    other[kFingerprintPiece + 10] ^= 1;
    writeBytes(dir / "middle", other);
    EXPECT_EQ(fingerprintFile(dir / "middle")->fingerprint, fingerprintFile(dir / "f196608")->fingerprint);
    other = content;
    other.back() ^= 1;
    writeBytes(dir / "end", other);
    EXPECT_NE(fingerprintFile(dir / "end")->fingerprint, fingerprintFile(dir / "f196608")->fingerprint);

    std::filesystem::create_symlink(dir / "end", dir / "link");
    EXPECT_FALSE(fingerprintFile(dir / "link")) << "a link is not followed";
    EXPECT_FALSE(fingerprintFile(dir.path().string())) << "a folder is no file";
}

} // namespace
} // namespace korvane
