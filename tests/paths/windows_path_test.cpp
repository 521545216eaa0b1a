// Recognising Windows paths among stored names, and taking them apart the
// way the editor's system did before a search.

#include "paths/codepage.h"
#include "paths/windows_path.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvane {
namespace {

using Names = std::vector<std::string>;
using Root = WindowsPath::Root;

TEST(WindowsPath, OnlyDriveLettersWithASeparatorAndSharesAreWindowsPaths)
{
    const struct {
        const char* stored;
        bool windows;
    } cases[] = {
        {"D:\\Video\\Clip.avi", true},
        {"d:/Video/Clip.avi", true},
        {"z:\\", true},
        {"\\\\nas\\media\\Intro.avi", true},
        {"\\\\", true},
        {"D:", false},          // the current folder of drive D: is no place here
        {"D:Clip.avi", false},
        {"\\Video\\Clip.avi", false},
        {"//nas/media/Intro.avi", true}, // the system takes // for \\ in front of a share
        {"//nas", true},
        {"///nas/media/Intro.avi", false}, // a POSIX path
        {"//", false},
        {"/\\nas\\media\\Intro.avi", false},
        {"/home/user/Clip.avi", false},
        {"Clip.avi", false},
        {"1:\\Clip.avi", false},
        {"\xC4:\\Clip.avi", false},
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isWindowsPath(c.stored), c.windows) << c.stored;
}

struct SplitCase {
    const char* text;
    Root kind;
    const char* root;
    Names names;
    bool findsNothing = false;
};

void expectSplit(const SplitCase& c)
{
    SCOPED_TRACE(c.text);
    const std::optional<WindowsPath> path = splitWindowsPath(c.text);
    ASSERT_TRUE(path);
    EXPECT_EQ(path->kind, c.kind);
    EXPECT_EQ(path->root, c.root);
    EXPECT_EQ(path->names, c.names);
    EXPECT_EQ(!path->findsNothing.empty(), c.findsNothing) << path->findsNothing;
}

TEST(WindowsPath, SplitsOnBothSeparatorsAndNormalisesLikeTheSystem)
{
    const SplitCase cases[] = {
        {"D:\\Video\\Clip.avi", Root::Drive, "D:", {"Video", "Clip.avi"}},
        {"d:/Video/Clip.avi", Root::Drive, "D:", {"Video", "Clip.avi"}},
        {"D:\\Video/Wedding\\Clip.avi", Root::Drive, "D:", {"Video", "Wedding", "Clip.avi"}},
        {"D:\\\\Video\\\\\\Clip.avi", Root::Drive, "D:", {"Video", "Clip.avi"}},
        {"D:\\Video\\.\\Clip.avi", Root::Drive, "D:", {"Video", "Clip.avi"}},
        {"D:\\Video\\Wedding\\..\\Clip.avi", Root::Drive, "D:", {"Video", "Clip.avi"}},
        {"D:\\..\\..\\Clip.avi", Root::Drive, "D:", {"Clip.avi"}}, // never above the root
        {"D:\\Video\\.", Root::Drive, "D:", {"Video"}},
        {"D:\\...\\Clip.avi", Root::Drive, "D:", {"...", "Clip.avi"}},
    };
    for (const SplitCase& c : cases)
        expectSplit(c);
}

TEST(WindowsPath, TrailingDotsAndSpacesOfTheLastNameAreDropped)
{
    const SplitCase cases[] = {
        {"D:\\Video\\Clip.avi.", Root::Drive, "D:", {"Video", "Clip.avi"}},
        {"D:\\Video\\Clip.avi . .", Root::Drive, "D:", {"Video", "Clip.avi"}},
        {"D:\\Video. \\Clip 01.avi", Root::Drive, "D:", {"Video. ", "Clip 01.avi"}}, // not above the last
        {"D:\\Video\\ Clip.avi", Root::Drive, "D:", {"Video", " Clip.avi"}},         // nor in front
        {"D:\\Video\\*.", Root::Drive, "D:", {"Video", "*."}}, // a pattern keeps its dot: "names without extension"
        {"D:\\Video\\...", Root::Drive, "D:", {"Video", ""}, true},
    };
    for (const SplitCase& c : cases)
        expectSplit(c);
}

TEST(WindowsPath, TrailingSeparatorsBareRootsAndWildcardFoldersFindNothing)
{
    const SplitCase cases[] = {
        {"D:\\Video\\", Root::Drive, "D:", {"Video"}, true},
        {"D:\\Video/", Root::Drive, "D:", {"Video"}, true},
        {"D:\\", Root::Drive, "D:", {}, true},
        {"D:/", Root::Drive, "D:", {}, true},
        {"D:\\Video\\..", Root::Drive, "D:", {}, true},
        {"\\\\nas\\media", Root::Share, "\\\\nas\\media", {}, true},
        {"\\\\nas\\media\\", Root::Share, "\\\\nas\\media", {}, true},
        {"D:\\Vid*\\Clip.avi", Root::Drive, "D:", {"Vid*", "Clip.avi"}, true},
        {"D:\\Video\\Clip?.avi", Root::Drive, "D:", {"Video", "Clip?.avi"}},
    };
    for (const SplitCase& c : cases)
        expectSplit(c);
}

TEST(WindowsPath, SharesAndNameSpacePrefixes)
{
    const SplitCase cases[] = {
        {"\\\\nas\\media\\Intro.avi", Root::Share, "\\\\nas\\media", {"Intro.avi"}},
        {"\\\\nas/media/Video/Intro.avi", Root::Share, "\\\\nas\\media", {"Video", "Intro.avi"}},
        {"//nas/media/Video/Intro.avi", Root::Share, "\\\\nas\\media", {"Video", "Intro.avi"}},
        {"//nas\\media\\Intro.avi", Root::Share, "\\\\nas\\media", {"Intro.avi"}},
        {"//nas/media/", Root::Share, "\\\\nas\\media", {}, true},
        {"//nas", Root::NotAFile, "//nas", {}, true},
        {"//?/D:/Video/Clip.avi", Root::Drive, "D:", {"Video", "Clip.avi"}},
        {"\\\\NAS\\Media\\..\\..\\Intro.avi", Root::Share, "\\\\NAS\\Media", {"Intro.avi"}}, // the share is the root
        {"\\\\?\\D:\\Video\\Clip.avi", Root::Drive, "D:", {"Video", "Clip.avi"}},
        {"\\\\.\\d:\\Clip.avi", Root::Drive, "D:", {"Clip.avi"}},
        {"\\\\?\\UNC\\nas\\media\\Intro.avi", Root::Share, "\\\\nas\\media", {"Intro.avi"}},
        {"\\\\?\\unc\\nas\\media\\Intro.avi", Root::Share, "\\\\nas\\media", {"Intro.avi"}},
        {"\\\\nas", Root::NotAFile, "\\\\nas", {}, true},
        {"\\\\nas\\", Root::NotAFile, "\\\\nas\\", {}, true},
        {"\\\\\\media\\Intro.avi", Root::NotAFile, "\\\\\\media\\Intro.avi", {}, true},
        {"\\\\.\\COM1", Root::NotAFile, "\\\\.\\", {}, true},
        {"\\\\?\\Volume{x}\\Clip.avi", Root::NotAFile, "\\\\?\\", {}, true},
    };
    for (const SplitCase& c : cases)
        expectSplit(c);
    EXPECT_FALSE(splitWindowsPath("/home/user/Clip.avi"));
    EXPECT_FALSE(splitWindowsPath("Clip.avi"));
}

TEST(WindowsPath, SplitsOnlyAfterDecodingSoTrailBytesStayInTheirCharacters)
{
    // D:\表\ソ.avi and D:\ソソ\a.avi in CP932: 95 5C, 83 5C.
    const std::string hyou = "D:\\\x95\x5C\\\x83\x5C.avi";
    const std::string soso = "D:\\\x83\x5C\x83\x5C\\a.avi";
    std::optional<TextDecoder> cp932 = TextDecoder::open("CP932");
    std::optional<TextDecoder> cp1252 = TextDecoder::open("WINDOWS-1252");
    ASSERT_TRUE(cp932 && cp1252);

    ASSERT_TRUE(isWindowsPath(hyou));
    EXPECT_EQ(splitWindowsPath(cp932->toUtf8(hyou))->names, (Names{"\xE8\xA1\xA8", "\xE3\x82\xBD.avi"}));
    EXPECT_EQ(splitWindowsPath(cp932->toUtf8(soso))->names, (Names{"\xE3\x82\xBD\xE3\x82\xBD", "a.avi"}));
    // Read as Windows-1252 the same bytes hold more separators.
    EXPECT_EQ(splitWindowsPath(cp1252->toUtf8(hyou))->names, (Names{"\xE2\x80\xA2", "\xC6\x92", ".avi"}));
}

TEST(WindowsPath, ReservedDeviceNamesInEveryFolderAndWithExtensions)
{
    for (const char* device : {"NUL", "nul", "Con", "PRN", "aux", "COM1", "com9", "LPT1", "lpt9", "NUL.avi",
                               "con.tar.gz", "nul .avi", "NUL  ", "Aux."}) {
        EXPECT_TRUE(isReservedDeviceName(device)) << device;
    }
    for (const char* file : {"", "NULL", "CONSOLE", "AUXILIARY", "COM", "COM0", "COM10", "LPT0", "LPT", "xnul",
                             "nul_x.avi", " NUL", "COM\xC2\xB9", "N.UL"}) {
        EXPECT_FALSE(isReservedDeviceName(file)) << file;
    }
    EXPECT_NE(splitWindowsPath("D:\\Video\\NUL")->findsNothing, "");
    EXPECT_NE(splitWindowsPath("D:\\Video\\con.avi")->findsNothing, "");
    EXPECT_NE(splitWindowsPath("D:\\COM1\\Clip.avi")->findsNothing, "");
    EXPECT_NE(splitWindowsPath("D:\\Video\\nul.")->findsNothing, "");
    EXPECT_EQ(splitWindowsPath("D:\\Video\\NUL*")->findsNothing, "") << "a pattern, not a device";
}

} // namespace
} // namespace korvane
