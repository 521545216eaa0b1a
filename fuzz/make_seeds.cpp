// Writes the fuzz targets' seed corpora: korvane-make-seeds CORPUS
//
// CORPUS/scan/seeds (read by korvane-fuzz and korvane-fuzz-refill): one small
// project per layout and version band, each built with the test builders, so
// that the fuzzer starts from inputs that reach every section reader in step:
// clip kinds of both tracks, effects and titles with and without item flags,
// long item texts, filters with every block, empty and negative counts, and a
// project that ends in the middle of a title.
//
// CORPUS/config/seeds and CORPUS/resolve/seeds: inputs in the layouts of
// config_fuzzer.cpp and resolve_fuzzer.cpp (see fuzz/README.md).
//
// CORPUS/journal/seeds: journals of putting back as the writer writes them,
// of both versions, one cut short and one out of order.

#include "fuzz/seed_inputs.h"
#include "restore/journal_format.h"
#include "tests/builder/project_builder.h"

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

using namespace korvane::testkit;

namespace {

using Bytes = std::vector<std::uint8_t>;

const std::string kMedia = "C:\\Video\\Media\\";

// Clips of every kind, with names of 0, 1 and 2 bytes that have no kind.
ProjectModel everyClipKind(std::uint16_t version)
{
    ProjectModel p;
    p.version = version;
    p.mainAV = {
        {kMedia + "Beach.avi", "", 2},
        {kMedia + "Sunset.TIF", "Sunset", 1},
        {"Black.clr", "Black", 0},
        {"Caption", "", 0},
        {"", "", 0},
        {"a", "", 0},
        {"ab", "", 0},
        {kMedia + "Map.Jpg", "", 0},
    };
    p.insertAV = {{kMedia + "Harbour.AVI", "", 1}, {kMedia + "Boat.bmp", "Boat", 2}, {"White.CLR", "White", 0}};
    p.exAudio1 = {{kMedia + "Waves.wav", "", 1}, {"", "", 0}, {"Red.clr", "", 0}};
    p.exAudio2 = {{kMedia + "Gulls.wav", "", 0}};
    p.bin = {{"Beach", kMedia + "Beach.avi"}, {"Black", "Black.clr"}, {"Notes", kMedia + "notes.txt"}, {"", ""}};
    return p;
}

std::vector<Effect> someEffects()
{
    return {{"Cross dissolve", 0, "Soft"}, {"Wipe", 5, ""}, {"", -1, "Iris"}, {"Page turn", 13, "Corner"}};
}

// Titles as the editor writes them from version 519: a caption, a flagged
// frame picture, a title whose items carry no flags (layout 768) and go by
// the flag the last flagged item left, and a flag other than 1.
std::vector<Title> flaggedTitles()
{
    return {
        {{{"Our Holiday", 0, "caption"}, {kMedia + "Frame.bmp", 1, "frame"}}, 0},
        {{{kMedia + "Logo.psd", 0, "logo"}, {kMedia + "Stars.tga", 0, "stars"}}, 768},
        {{{"The End", 2, "caption"}, {"", 1, ""}}, 0},
        {{{kMedia + "Credits.bmp", 0, "credits"}}, 768},
    };
}

ProjectModel wedding(std::uint16_t version)
{
    const std::string w = "D:\\Wedding\\";
    ProjectModel p;
    p.version = version;
    p.mainAV = {
        {w + "Ceremony.avi", "", 2}, {w + "Vows.AVI", "", 1}, {w + "Rings.jpg", "Rings", 0},
        {"Black.clr", "Black", 0},   {w + "Toast.avi", "", 3}, {"Intertitle", "", 0},
    };
    p.insertAV = {{w + "Cutaway.avi", "", 1}, {w + "Guests.bmp", "Guests", 2}};
    p.exAudio1 = {{w + "FirstDance.wav", "", 2}, {"D:\\Music\\Waltz.wav", "", 0}};
    p.exAudio2 = {{w + "Applause.wav", "", 1}};
    p.effects = {{"Cross dissolve", 6, "Soft"}, {"Wipe", 0, ""}};
    p.titles = {
        {{{"Our Wedding", 0, "caption"}, {w + "Frame.bmp", 1, "frame"}, {w + "Hearts.tga", 1, "hearts"}}, 0},
        {{{w + "Logo.psd", 0, "logo"}}, 768},
        {{{"The End", 2, "caption"}}, 0},
    };
    p.mainFilters = {{1, 0, 1, 12, 0, 3, {{"Colour", "sepia"}}, {{"Vignette.bmp", "strength"}}}};
    p.exAudio1Filters = {{{"Echo.wav", "echo settings"}}};
    p.bin = {{"Ceremony", w + "Ceremony.avi"}, {"Black", "Black.clr"}, {"Speech", w + "Speech.wav"}};
    return p;
}

ProjectModel longItemTexts(std::vector<std::size_t> lengths)
{
    ProjectModel p;
    p.version = 519;
    p.mainAV = {{kMedia + "Clip.avi", "", 0}};
    Title title;
    for (const std::size_t length : lengths) {
        std::string text = "C:\\" + std::string(length, 'x');
        text.resize(length);
        title.items.push_back({text, 1, "long"});
    }
    p.titles = {title};
    return p;
}

// Every block of a visual filter record, sizes at their edges, flags that
// are not exactly 1, and entries with the longest names.
ProjectModel filtersWithEveryBlock()
{
    ProjectModel p;
    p.version = 519;
    p.mainAV = {{kMedia + "A.avi", "", 0}, {kMedia + "B.avi", "", 0}, {kMedia + "C.avi", "", 0}};
    p.insertAV = {{kMedia + "D.avi", "", 0}, {kMedia + "E.bmp", "E", 0}};
    p.exAudio1 = {{kMedia + "F.wav", "", 0}, {kMedia + "G.wav", "", 0}};
    p.exAudio2 = {{kMedia + "H.wav", "", 0}};
    const FilterEntry longest{std::string(255, 'n'), "data"};
    p.mainFilters = {
        {1, 1, 1, 4, 0, 0, {}, {}},
        {1, 1, 1, 10, 7, 3, {{"Blur", "radius"}, {"", ""}}, {longest}},
        {2, 0xFFFFFFFF, 0, 2, 0, 0, {{kMedia + "Mask.bmp", "mask"}}, {}},
    };
    p.insertFilters = {{1, 0, 0, 0, 0, 0, {}, {{"Tint", std::string(40, 't')}}}, {0, 1, 1, 0, 0, 5, {}, {}}};
    p.exAudio1Filters = {{{"Echo", "delay"}, {"Reverb", ""}}, {longest}};
    p.exAudio2Filters = {{}};
    p.bin = {{"A", kMedia + "A.avi"}};
    return p;
}

ProjectModel mainCountZero()
{
    ProjectModel p;
    p.version = 519;
    p.bin = {{"Beach", kMedia + "Beach.avi"}, {"Black", "Black.clr"}, {"Song", kMedia + "Song.wav"}};
    return p;
}

// Counts with the top bit set. Below 519 they mean no entries; from 519 on
// the filter sections take the clip counts unsigned and run on to the end.
Bytes negativeCounts(std::uint16_t version)
{
    ProjectBuilder b;
    b.header(version, -1, 2)
        .movie(kMedia + "Beach.avi", -2)
        .picture(kMedia + "Map.bmp", "Map", static_cast<std::int32_t>(0x80000000u))
        .count(-1)
        .count(1)
        .extraAudio(kMedia + "Waves.wav", -1)
        .count(0);
    if (version >= 512)
        b.count(-3).count(-1);
    if (version >= 519)
        b.visualFilter({}).visualFilter({}).audioFilter({});
    b.bin("Beach", kMedia + "Beach.avi");
    return b.bytes();
}

// A title with more items than the file holds.
Bytes endsInsideATitle()
{
    ProjectBuilder b;
    b.header(519, 1, 1).movie(kMedia + "Clip.avi").count(0).count(0).count(0).count(0).count(2);
    b.title(519, {{kMedia + "Frame.bmp", 1, "frame"}});
    b.filler(12).name("title").u32(0).filler(4).name("font").u32(0).u16(0).filler(6).count(3);
    b.titleItem({kMedia + "Hearts.tga", 1, "hearts"}, true);
    const Bytes whole = b.bytes();
    return Bytes(whole.begin(), whole.end() - 300);
}

std::vector<std::uint8_t> journalBytes(std::string_view header, const std::vector<korvane::JournalRecord>& records,
                                       std::size_t cut = 0)
{
    std::string text = std::string(header) + "\n";
    for (const korvane::JournalRecord& r : records)
        text += korvane::formatRecord(r);
    text.resize(text.size() - cut);
    return {text.begin(), text.end()};
}

void writeJournalSeeds(const std::string& dir)
{
    using korvane::JournalRecord;
    using Kind = JournalRecord::Kind;
    const std::string root = "/media/video";
    const std::string odd = root + "/Caf\xc3\xa9 100%/clip one";
    const std::string temp = root + "/.korvane-put-back-Ab3dEf9hIj0K";
    const auto digest = *korvane::Digest::fromHex("9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08");
    std::vector<JournalRecord> run;
    run.push_back({Kind::Root, 0, root, {}, {}, 0, 0, 0, 0, 0, {}, 0});
    run.push_back({Kind::FolderIntent, 1, root + "/Wedding", temp, {}, 0, 0, 0, 0, 0, {}, 0});
    run.push_back({Kind::FolderMade, 1, {}, {}, {}, 2049, 1812, 0, 0, 1796712817968136926, {}, 0});
    run.push_back({Kind::Put, 2, root + "/Wedding/a.avi", root + "/Wedding/.korvane-put-back-0000000000zZ",
                   "/mnt/nas/a.avi", 2050, 77, 1048576, 1796712000000000000, 0, {}, 0});
    run.push_back({Kind::Linked, 2, {}, {}, {}, 0, 0, 0, 1796712817968136926, 0, {}, 0});
    run.push_back({Kind::Put, 3, odd, root + "/Caf\xc3\xa9 100%/.korvane-put-back-abcdefghijkl", "/mnt/nas/b b.avi",
                   2050, 78, 3, -1, 0, {}, 0});
    run.push_back({Kind::Written, 3, {}, {}, {}, 2049, 1813, 3, 0, 0, digest, 0});
    run.push_back({Kind::Copied, 3, {}, {}, {}, 0, 0, 0, 1796712817968136999, 0, {}, 0});
    run.push_back({Kind::Put, 4, root + "/c.avi", temp, "/mnt/nas/c.avi", 2050, 79, 0, 0, 0, {}, 0});
    run.push_back({Kind::Dropped, 4, {}, {}, {}, 0, 0, 0, 0, 0, {}, 0});
    writeFile(dir + "run.journal", journalBytes(korvane::kJournalHeader, run));
    writeFile(dir + "cut-short.journal", journalBytes(korvane::kJournalHeader, run, 9));
    std::swap(run[6], run[7]);
    writeFile(dir + "out-of-order.journal", journalBytes(korvane::kJournalHeader, run));
    std::vector<JournalRecord> old;
    old.push_back({Kind::OldFolder, 0, root + "/Old", {}, {}, 0, 0, 0, 0, 0, {}, 0});
    old.push_back({Kind::OldTemporary, 0, root + "/Old/.korvane-put-back-A1b2C3", {}, {}, 0, 0, 0, 0, 0, {}, 0});
    old.push_back({Kind::OldLink, 0, root + "/Old/a.avi", {}, "/mnt/nas/a.avi", 2049, 77, 0, 0, 0, {}, 0});
    old.push_back({Kind::OldCopy, 0, odd, {}, "/mnt/nas/b b.avi", 0, 0, 3, 0, 0, {}, 0x0123456789abcdefull});
    writeFile(dir + "first-version.journal", journalBytes(korvane::kJournalHeaderV1, old));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("Usage: korvane-make-seeds CORPUS\n", stderr);
        return 2;
    }
    try {
        const std::string corpus = std::string(argv[1]) + "/";
        writeConfigSeeds(corpus + "config/seeds/");
        writeResolveSeeds(corpus + "resolve/seeds/");
        writeJournalSeeds(corpus + "journal/seeds/");
        const std::string dir = corpus + "scan/seeds/";
        writeFile(dir + "empty.dvc", {});
        writeFile(dir + "v511-every-clip-kind.dvc", buildProject(everyClipKind(511)));
        writeFile(dir + "v511-negative-counts.dvc", negativeCounts(511));
        {
            ProjectModel p = everyClipKind(512);
            p.effects = someEffects();
            p.titles = {{{{kMedia + "Frame.bmp", 1, "frame"}, {"Caption", 0, ""}}, 0}, {{}, 768}};
            writeFile(dir + "v512-effects-and-titles.dvc", buildProject(p));
        }
        writeFile(dir + "v517-header-of-20-bytes.dvc", buildProject(wedding(517)));
        writeFile(dir + "v518-titles-never-tested.dvc", buildProject(wedding(518)));
        writeFile(dir + "v518-negative-counts.dvc", negativeCounts(518));
        writeFile(dir + "v519-wedding.dvc", buildProject(wedding(519)));
        {
            ProjectModel p = everyClipKind(519);
            p.effects = someEffects();
            p.titles = flaggedTitles();
            writeFile(dir + "v519-flag-carried-across-titles.dvc", buildProject(p));
        }
        writeFile(dir + "v519-main-count-zero.dvc", buildProject(mainCountZero()));
        writeFile(dir + "v519-long-item-texts.dvc", buildProject(longItemTexts({0, 254, 255, 256, 300})));
        writeFile(dir + "v519-item-text-over-8191.dvc", buildProject(longItemTexts({8192})));
        writeFile(dir + "v519-filters-with-every-block.dvc", buildProject(filtersWithEveryBlock()));
        writeFile(dir + "v519-negative-counts.dvc", negativeCounts(519));
        writeFile(dir + "v519-ends-inside-a-title.dvc", endsInsideATitle());
        writeFile(dir + "v65535-later-version.dvc", buildProject(wedding(65535)));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "korvane-make-seeds: %s\n", e.what());
        return 1;
    }
    return 0;
}
