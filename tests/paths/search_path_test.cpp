// Where a mapped name is looked for: under every mapping that covers it, the
// longest root first, and whatever the Unicode composition of the names on
// disk.

#include "paths/path_resolver.h"
#include "tests/paths/make_resolver.h"
#include "tests/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace korvane {
namespace {

namespace fs = std::filesystem;
using testkit::makeResolver;
using testkit::TempDir;

// é composed (U+00E9) and decomposed (e U+0301), in UTF-8.
#define E_NFC "\xC3\xA9"
#define E_NFD "e\xCC\x81"

TEST(NamesOnDisk, AreFoundWhetherTheyAreComposedOrDecomposed)
{
    const struct {
        const char* codePage;
        const char* stored;
        const char* onDisk; // below the folder of D:
    } cases[] = {
        // Windows-1252 decodes to composed names; the disk holds them decomposed.
        {"WINDOWS-1252", "D:\\Caf\xE9\\Mari\xE9" "e.avi", "Caf" E_NFD "/Mari" E_NFD "e.avi"},
        {"WINDOWS-1252", "D:\\Caf\xE9\\Mari\xE9" "e.avi", "Caf" E_NFC "/Mari" E_NFD "e.avi"},
        {"WINDOWS-1252", "D:\\Caf\xE9\\Mari\xE9" "e.avi", "Caf" E_NFD "/Mari" E_NFC "e.avi"},
        {"WINDOWS-1252", "D:\\CAF\xC9\\MARI\xC9" "E.AVI", "Caf" E_NFD "/Mari" E_NFD "e.avi"}, // case too
        {"WINDOWS-1252", "D:\\Stra\xDF" "e\\K\xF6ln.avi", "Stra\xC3\x9F" "e/Ko\xCC\x88ln.avi"},
        // Names stored decomposed, on a disk that holds them composed.
        {"UTF-8", "D:\\Caf" E_NFD "\\Mari" E_NFD "e.avi", "Caf" E_NFC "/Mari" E_NFC "e.avi"},
        {"UTF-8", "D:\\Caf" E_NFD "\\Mari" E_NFC "e.avi", "Caf" E_NFC "/Mari" E_NFD "e.avi"},
        {"UTF-8", "D:\\CAF" E_NFD "\\mari" E_NFD "e.AVI", "caf" E_NFC "/Mari" E_NFC "e.avi"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string file = dir.touch(std::string("d/") + c.onDisk);
        fs::create_directories(dir.path() / "d" / "Other");
        const auto resolver = [&] { return makeResolver({{"D:", dir / "d", MappingSource::Explicit}}, c.codePage); };
        // The answer alone, before anything of the folders is known.
        PathResolver answer = resolver();
        EXPECT_TRUE(answer.exists(c.stored)) << c.stored << " on disk as " << c.onDisk;
        EXPECT_TRUE(answer.exists(c.stored)) << c.stored << " asked twice";
        // Where, before and after the folders are known.
        PathResolver where = resolver();
        for (int pass = 0; pass < 2; ++pass) {
            const Resolution r = where.resolve(c.stored);
            EXPECT_TRUE(r.found) << c.stored << " pass " << pass << ": " << r.reason;
            EXPECT_EQ(r.localPath, file) << c.stored << " pass " << pass;
        }
        // A name of the same folder, and of a folder met only later.
        EXPECT_FALSE(where.exists(std::string(c.stored).substr(0, std::string(c.stored).rfind('\\')) + "\\x.avi"));
        EXPECT_FALSE(where.exists("D:\\Other\\" + std::string(c.stored).substr(std::string(c.stored).rfind('\\') + 1)));
    }
}

TEST(NamesOnDisk, AMappedFolderMatchesWhateverTheCompositionOfItsRoot)
{
    TempDir dir;
    const std::string file = dir.touch("cafe/x.avi");
    fs::create_directories(dir.path() / "d");
    for (const char* root : {"D:\\Caf" E_NFD, "D:\\CAF" E_NFC}) {
        PathResolver r = makeResolver(
            {{root, dir / "cafe", MappingSource::Explicit}, {"D:", dir / "d", MappingSource::Explicit}},
            "WINDOWS-1252");
        EXPECT_TRUE(r.exists("D:\\Caf\xE9\\x.avi")) << root;
        EXPECT_EQ(r.resolve("D:\\caf\xE9\\X.AVI").localPath, file) << root;
    }
}

} // namespace
} // namespace korvane
