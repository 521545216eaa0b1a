#pragma once

// The seeds of korvane-fuzz-config and korvane-fuzz-resolve, written in the
// layout libFuzzer's FuzzedDataProvider reads: strings from the front, each
// ended by `\` and one more byte (a `\` in the string doubled), and numbers
// from the back, one byte each, the first one taken the last byte.

#include "tests/builder/project_builder.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::testkit {

class SeedInput {
public:
    // A string as ConsumeRandomLengthString reads it.
    SeedInput& text(std::string_view s)
    {
        for (const char c : s) {
            front_ += c;
            if (c == '\\')
                front_ += '\\';
        }
        front_ += "\\|";
        return *this;
    }
    // Bytes as ConsumeRemainingBytes reads them: the rest of the front.
    SeedInput& rest(std::string_view s)
    {
        front_ += s;
        return *this;
    }
    // The next number taken (ConsumeIntegral, ConsumeBool, ConsumeIntegralInRange
    // from 0 of a range under 256).
    SeedInput& number(std::uint8_t n)
    {
        back_.insert(back_.begin(), static_cast<char>(n));
        return *this;
    }
    std::vector<std::uint8_t> bytes() const
    {
        const std::string all = front_ + back_;
        return {all.begin(), all.end()};
    }

private:
    std::string front_;
    std::string back_;
};

enum ConfigEdit : std::uint8_t { kNoEdit = 0, kSetMapping = 1, kRemoveMapping = 2, kSetCodePage = 3 };

inline std::vector<std::uint8_t> configSeed(ConfigEdit edit, std::string_view root, std::string_view folder,
                                            std::string_view file)
{
    return SeedInput().number(edit).text(root).text(folder).rest(file).bytes();
}

inline void writeConfigSeeds(const std::string& dir)
{
    const std::string usual = "# korvane settings\n"
                              "codepage = auto\n"
                              "map D: = /media/video\n"
                              "map \\\\nas\\media = /mnt/nas\n"
                              "map E:\\Archive\\2019 = /mnt/archive/2019\n";
    writeFile(dir + "usual-no-edit", configSeed(kNoEdit, "", "", usual));
    writeFile(dir + "usual-new-drive", configSeed(kSetMapping, "f:/", "/mnt/f/", usual));
    writeFile(dir + "usual-drive-in-other-case", configSeed(kSetMapping, "d:", "~/video", usual));
    writeFile(dir + "usual-remove-share", configSeed(kRemoveMapping, "//NAS/Media", "", usual));
    writeFile(dir + "usual-code-page", configSeed(kSetCodePage, "", "  CP932 ", usual));
    // Roots mapped twice, `=` in folder names, CR LF, tabs, a last line
    // without a line end, blank and comment lines, text that is no UTF-8.
    const std::string odd = "map d: = /first\r\n"
                            "\tMAP\tD:\t=\t/second\r\n"
                            "map D:\\a=b = /x=y\n"
                            "map \\\\srv\\share\\Caf\xe9 = /mnt/caf\xc3\xa9\n"
                            "   # map Z: = /commented\n"
                            "\n"
                            "codepage = CP932\n"
                            "codepage = windows-1252";
    writeFile(dir + "twice-and-odd", configSeed(kSetMapping, "D:\\a=b", "/z", odd));
    writeFile(dir + "twice-and-odd-remove", configSeed(kRemoveMapping, "d:", "", odd));
    // Every kind of line that is not understood, and more of them than are
    // reported one by one.
    std::string bad = "map\nmap D:\nmap = /x\ncodepage\ncodepage =\n= value\nmap Q:: = /q\nmap D: = relative\n"
                      "map D: =\ncolour = blue\n\x01\x1b[2J\n";
    for (int k = 0; k < 20; ++k)
        bad += "nonsense " + std::to_string(k) + "\n";
    writeFile(dir + "lines-not-understood", configSeed(kSetMapping, "\\\\?\\C:", "/c", bad));
}

// One resolver input: code page (0 auto, 1 CP932, 2 Windows-1252), mappings
// "ROOT=FOLDER", the tree's files and folders, then the stored names.
struct ResolveSeed {
    std::uint8_t codePage = 0;
    std::vector<std::string> mappings;
    std::vector<std::pair<std::string, bool>> tree; // path, is a folder
    std::vector<std::string> stored;

    std::vector<std::uint8_t> bytes() const
    {
        SeedInput in;
        in.number(codePage)
            .number(static_cast<std::uint8_t>(mappings.size()))
            .number(static_cast<std::uint8_t>(tree.size()));
        for (const std::string& mapping : mappings)
            in.text(mapping);
        for (const auto& [path, folder] : tree)
            in.number(folder ? 1 : 0).text(path);
        for (const std::string& name : stored)
            in.text(name);
        return in.bytes();
    }
};

inline void writeResolveSeeds(const std::string& dir)
{
    ResolveSeed usual;
    usual.codePage = 1;
    usual.mappings = {"D:=/video", "D:\\Wedding=/archive/wedding", "\\\\nas\\media=/nas"};
    usual.tree = {{"/video/Media/Beach.avi", false},    {"/video/media/beach.AVI", false},
                  {"/video/MEDIA/Sunset.tif", false},   {"/video/Media/Sub", true},
                  {"/archive/wedding/Vows.avi", false}, {"/video/Wedding/Toast.avi", false},
                  {"/nas/Clips/Boat.bmp", false},       {"/video/\xe6\x97\xa5\xe6\x9c\xac/a.avi", false}};
    usual.stored = {"D:\\Media\\Beach.avi",
                    "d:/media/BEACH.avi",
                    "D:\\Media\\Sub\\..\\Sunset.tif",
                    "D:\\Wedding\\Vows.avi",
                    "D:\\Wedding\\Toast.avi",
                    "\\\\NAS\\Media\\Clips\\boat.BMP",
                    "\\\\nas\\other\\x.avi",
                    "E:\\Unmapped\\x.avi",
                    "D:\\Media\\*.avi",
                    "D:\\Media\\Beach.avi. . ",
                    "D:\\Media\\NUL.avi",
                    "\\\\.\\C:\\x",
                    "D:\\\x93\xfa\x96\x7b\\a.avi",
                    "/video/Media/Beach.avi",
                    "relative/name"};
    writeFile(dir + "mapped-drive-share-folder-cp932", usual.bytes());

    usual.codePage = 2;
    usual.stored.push_back("D:\\Caf\xe9\\Clip.avi");
    usual.tree.push_back({"/video/Caf\xc3\xa9/CLIP.avi", false});
    writeFile(dir + "mapped-windows-1252", usual.bytes());

    usual.codePage = 0;
    writeFile(dir + "mapped-auto", usual.bytes());

    ResolveSeed wildcards;
    wildcards.codePage = 2;
    wildcards.mappings = {"C:=/c", "C:\\Program Files=/pf"};
    wildcards.tree = {{"/c/a/b.txt", false}, {"/c/a/B.TXT", false}, {"/c/a/noext", false}, {"/pf/app", true}};
    wildcards.stored = {"C:\\a\\*.", "C:\\a\\*.*", "C:\\a\\b?.txt", "C:\\a\\?\\x", "C:\\PROGRAM FILES\\APP",
                        "C:\\a\\", "C:", "C:\\..\\..\\a\\b.txt", "/c/a/*.txt"};
    writeFile(dir + "wildcards-and-folder-mappings", wildcards.bytes());
}

} // namespace korvane::testkit
