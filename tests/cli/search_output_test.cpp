#include "cli/json_document.h"
#include "cli/search_output.h"
#include "report/missing_collector.h"
#include "tests/builder/project_builder.h"
#include "tests/recording_feedback.h"
#include "tests/search/memory_tree.h"
#include "text/utf8.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <set>

namespace korvane {
namespace {

using testkit::buildProject;
using Json = nlohmann::json;
using testkit::MemoryTree;
using testkit::ProjectModel;
using testkit::RecordingFeedback;

SearchResults search(MemoryTree& tree, const std::vector<std::string>& roots, const std::vector<MissingFile>& missing)
{
    FileIndex index = tree.index(roots);
    std::vector<MissingMatch> matches = matchMissing(index, missing);
    std::vector<Decision> decisions = decideMissing(index, matches);
    std::vector<MappingSuggestion> mappings = suggestMappings(index, matches, decisions);
    return SearchResults(std::move(index), std::move(matches), std::move(decisions), std::move(mappings));
}

std::vector<MissingFile> asStored(const std::vector<std::string>& paths)
{
    std::vector<MissingFile> files;
    for (const std::string& path : paths)
        files.push_back({path, path});
    return files;
}

std::set<std::string> keysOf(const Json& object)
{
    std::set<std::string> keys;
    for (const auto& item : object.items())
        keys.insert(item.key());
    return keys;
}

// Windows-1252 as far as the tests need it: Latin-1.
std::string fromLatin1(std::string_view stored)
{
    std::string out;
    for (const char c : stored)
        appendUtf8(out, static_cast<unsigned char>(c));
    return out;
}

TEST(FoundElsewhere, ListsTheFoundFilesWithTheirCandidatesBestFirst)
{
    MemoryTree tree;
    tree.file("/m/Video/Wedding/clip.avi").file("/m/old/clip.avi").file("/m/Video/intro.MP4");
    const SearchResults results =
        search(tree, {"/m"}, asStored({"D:\\Video\\Wedding\\clip.avi", "D:\\gone.avi", "D:\\Video\\intro.avi"}));
    EXPECT_EQ(renderFoundElsewhere(results),
              "Found elsewhere\r\n"
              "D:\\Video\\Wedding\\clip.avi\r\n"
              "    /m/Video/Wedding/clip.avi\r\n"
              "    /m/old/clip.avi\r\n"
              "D:\\Video\\intro.avi\r\n"
              "    /m/Video/intro.MP4 (other extension)\r\n"
              "Found 2 of 3 missing files.\r\n");
}

// A person reads the plan they approve: names decoded from the project's
// code page, but as stored (quoted) where some bytes have no reading.
TEST(FoundElsewhere, ShowsTheDecodedTextOrTheStoredBytesAndCutsLongLists)
{
    MemoryTree tree;
    for (const char* folder : {"a", "b", "c", "d"})
        tree.file(std::string("/m/") + folder + "/Caf\xC3\xA9.avi");
    tree.file("/m/x/a\xEF\xBF\xBD.avi");
    const SearchResults results = search(tree, {"/m"},
                                         {{"D:\\Caf\xE9.avi", "D:\\Caf\xC3\xA9.avi"},
                                          {"D:\\a\x81.avi", "D:\\a\xEF\xBF\xBD.avi"}});
    TextOptions options;
    options.maxCandidates = 2;
    options.lineEnd = "\n";
    EXPECT_EQ(renderFoundElsewhere(results, options),
              "Found elsewhere\nD:\\Caf\xC3\xA9.avi\n"
              "    /m/a/Caf\xC3\xA9.avi\n    /m/b/Caf\xC3\xA9.avi\n    ... and 2 more\n"
              "$'D:\\\\a\\x81.avi'\n    /m/x/a\xEF\xBF\xBD.avi\n"
              "Found 2 of 2 missing files.\n");
}

TEST(FoundElsewhere, SaysSoWhenNothingWasFound)
{
    MemoryTree tree;
    tree.file("/m/other.avi");
    EXPECT_EQ(renderFoundElsewhere(search(tree, {"/m"}, asStored({"D:\\a.avi", "D:\\b.avi"}))),
              "Found elsewhere\r\nNone of the 2 missing files was found.\r\n");
    EXPECT_EQ(renderFoundElsewhere(search(tree, {"/m"}, asStored({"D:\\a.avi"}))),
              "Found elsewhere\r\nThe missing file was not found.\r\n");
    EXPECT_EQ(renderFoundElsewhere(search(tree, {"/m"}, {})), "Found elsewhere\r\nNothing is missing.\r\n");
}

TEST(SuggestedMappings, EachAsAnArgumentAConfigurationLineAndWhatItExplains)
{
    MemoryTree tree;
    tree.file("/m/disk/Video/a.avi").file("/m/disk/Video/b.avi").file("/m/nas/Intro.avi").file("/m/Film/c.avi");
    const SearchResults results = search(tree, {"/m"},
                                         asStored({"D:\\Video\\a.avi", "D:\\Video\\b.avi", "D:\\Projects\\c.avi",
                                                   "D:\\Video\\gone.avi", "\\\\nas\\media\\intro.avi"}));
    EXPECT_EQ(renderSuggestedMappings(results),
              "Suggested mappings\r\n"
              "--map D:=/m/disk\r\n"
              "    map D: = /m/disk\r\n"
              "    explains 2 of 4 missing files on D:\r\n"
              "--map '\\\\nas\\media'=/m/nas\r\n"
              "    map \\\\nas\\media = /m/nas\r\n"
              "    explains 1 of 1 missing file on \\\\nas\\media\r\n"
              "--map 'D:\\Projects'=/m/Film\r\n"
              "    map D:\\Projects = /m/Film\r\n"
              "    explains 1 of 4 missing files on D:\r\n");
}

TEST(SuggestedMappings, SaysSoWhenThereAreNone)
{
    MemoryTree tree;
    tree.file("/m/clip.mp4");
    EXPECT_EQ(renderSuggestedMappings(search(tree, {"/m"}, asStored({"D:\\clip.avi"}))),
              "Suggested mappings\r\nNone: no missing file of a drive or share was found under its own name.\r\n");
}

TEST(StoredBytes, EscapedAsPrintableAsciiThatSaysWhatTheyWere)
{
    EXPECT_EQ(escapeStoredBytes("D:\\Video\\clip 01.avi"), "D:\\Video\\clip 01.avi");
    EXPECT_EQ(escapeStoredBytes("Caf\xE9 100%.avi"), "Caf%E9 100%25.avi");
    EXPECT_EQ(escapeStoredBytes(std::string("\x95\x5C\x01\x7F\x00", 5)), "%95\\%01%7F%00");
}

class JsonDocument : public ::testing::Test {
protected:
    // A wedding project whose files moved from D: to /m/disk, one with a
    // Windows-1252 name, one with a quote and a control byte in its name.
    ProjectModel project()
    {
        ProjectModel m;
        m.version = 519;
        m.mainAV = {{"D:\\Video\\Caf\xE9.avi"}, {"here.avi"}, {"D:\\Video\\Caf\xE9.avi"}};
        m.exAudio1 = {{"D:\\Music\\say \"hi\"\x01.wav"}};
        m.bin = {{"x", "D:\\Bin\\gone.avi"}};
        return m;
    }

    Json render(const std::vector<std::uint8_t>& bytes, MemoryTree& tree)
    {
        RecordingFeedback inner;
        inner.present = {"here.avi"};
        MissingCollector collector(inner);
        ProjectReader reader(bytes);
        const ScanResult scan = scanProject(reader, collector, inner);
        const SearchResults results = search(tree, {"/m"}, missingFiles(collector.distinctStored(), fromLatin1));
        text = renderJson({"projects/wedding.dvc", bytes.size(), scan}, collector.report(), results);
        return Json::parse(text);
    }

    std::string text;
};

TEST_F(JsonDocument, HoldsTheProjectTheSectionsTheSearchAndTheMappings)
{
    MemoryTree tree;
    tree.file("/m/disk/Video/Caf\xC3\xA9.avi").file("/m/disk/Video/caf\xC3\xA9.mp4").file("/m/x/\xF0\x9F\x8E\xAC/gone.avi");
    const std::vector<std::uint8_t> bytes = buildProject(project());
    const Json doc = render(bytes, tree);

    EXPECT_TRUE(std::all_of(text.begin(), text.end(), [](char c) { return (c >= 0x20 && c < 0x7F) || c == '\n'; }));
    EXPECT_EQ(keysOf(doc),
              (std::set<std::string>{"format", "generator", "project", "sections", "missing", "search", "mappings"}));
    EXPECT_EQ(doc.at("format").get<std::int64_t>(), 3);
    EXPECT_TRUE(doc.at("generator").get<std::string>().starts_with("korvane "));

    const Json& p = doc.at("project");
    EXPECT_EQ(keysOf(p), (std::set<std::string>{"file", "version", "size", "damaged", "damage"}));
    EXPECT_EQ(p.at("file").get<std::string>(), "projects/wedding.dvc");
    EXPECT_EQ(p.at("version").get<std::int64_t>(), 519);
    EXPECT_EQ(p.at("size").get<std::int64_t>(), static_cast<std::int64_t>(bytes.size()));
    EXPECT_FALSE(p.at("damaged").get<bool>());
    EXPECT_TRUE(p.at("damage").is_null());

    const Json& sections = doc.at("sections");
    std::vector<std::string> names;
    std::vector<std::int64_t> references;
    for (const Json& section : sections) {
        EXPECT_EQ(keysOf(section), (std::set<std::string>{"name", "references"}));
        names.push_back(section.at("name").get<std::string>());
        references.push_back(section.at("references").get<std::int64_t>());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"MainAV", "InsertAV", "ExAudio1", "ExAudio2", "Title", "BinWindow"}));
    EXPECT_EQ(references, (std::vector<std::int64_t>{2, 0, 1, 0, 0, 1}));

    const Json& missing = doc.at("missing");
    ASSERT_EQ(missing.size(), 3u) << "each distinct path once, however often it is referred to";
    const Json& cafe = missing.at(0);
    EXPECT_EQ(keysOf(cafe), (std::set<std::string>{"stored", "decoded", "sections", "references", "searched",
                                                   "not_searched", "candidates", "more_candidates"}));
    EXPECT_EQ(cafe.at("sections"), Json::array({"MainAV"}));
    EXPECT_EQ(cafe.at("references").get<std::int64_t>(), 2);
    EXPECT_EQ(cafe.at("stored").get<std::string>(), "D:\\Video\\Caf%E9.avi");
    EXPECT_EQ(cafe.at("decoded").get<std::string>(), "D:\\Video\\Caf\xC3\xA9.avi");
    EXPECT_TRUE(cafe.at("searched").get<bool>());
    EXPECT_TRUE(cafe.at("not_searched").is_null());
    ASSERT_EQ(cafe.at("candidates").size(), 2u);
    EXPECT_EQ(cafe.at("candidates").at(0).at("path").get<std::string>(), "/m/disk/Video/Caf\xC3\xA9.avi");
    EXPECT_EQ(cafe.at("candidates").at(0).at("match").get<std::string>(), "same-name");
    EXPECT_EQ(cafe.at("candidates").at(0).at("shared_folders").get<std::int64_t>(), 1);
    EXPECT_EQ(cafe.at("candidates").at(1).at("match").get<std::string>(), "other-extension");
    EXPECT_EQ(cafe.at("more_candidates").get<std::int64_t>(), 0);
    EXPECT_EQ(keysOf(cafe.at("candidates").at(0)), (std::set<std::string>{"path", "match", "shared_folders"}));

    const Json& quoted = missing.at(1);
    EXPECT_EQ(quoted.at("sections"), Json::array({"ExAudio1"}));
    EXPECT_EQ(quoted.at("references").get<std::int64_t>(), 1);
    EXPECT_EQ(quoted.at("stored").get<std::string>(), "D:\\Music\\say \"hi\"%01.wav");
    EXPECT_EQ(quoted.at("decoded").get<std::string>(), "D:\\Music\\say \"hi\"\x01.wav");
    EXPECT_TRUE(quoted.at("candidates").empty());

    EXPECT_EQ(missing.at(2).at("sections"), Json::array({"BinWindow"}));
    EXPECT_EQ(missing.at(2).at("candidates").at(0).at("path").get<std::string>(),
              "/m/x/\xF0\x9F\x8E\xAC/gone.avi");

    const Json& s = doc.at("search");
    EXPECT_EQ(keysOf(s), (std::set<std::string>{"folders", "folders_read", "files", "problems"}));
    EXPECT_EQ(s.at("folders").at(0).get<std::string>(), "/m");
    EXPECT_EQ(s.at("files").get<std::int64_t>(), 3);
    EXPECT_EQ(s.at("folders_read").get<std::int64_t>(), 5);
    EXPECT_TRUE(s.at("problems").empty());

    const Json& mappings = doc.at("mappings");
    ASSERT_EQ(mappings.size(), 2u);
    const Json& drive = mappings.at(0);
    EXPECT_EQ(keysOf(drive), (std::set<std::string>{"root", "prefix", "whole_root", "folder", "explains", "of", "files",
                                                    "argument", "config_line"}));
    EXPECT_EQ(drive.at("root").get<std::string>(), "D:");
    EXPECT_EQ(drive.at("prefix").get<std::string>(), "D:");
    EXPECT_TRUE(drive.at("whole_root").get<bool>());
    EXPECT_EQ(drive.at("folder").get<std::string>(), "/m/disk");
    EXPECT_EQ(drive.at("explains").get<std::int64_t>(), 1);
    EXPECT_EQ(drive.at("of").get<std::int64_t>(), 3);
    EXPECT_EQ(drive.at("files").at(0).get<std::string>(), "D:\\Video\\Caf\xC3\xA9.avi");
    EXPECT_EQ(drive.at("argument").get<std::string>(), "--map D:=/m/disk");
    EXPECT_EQ(drive.at("config_line").get<std::string>(), "map D: = /m/disk");
    EXPECT_EQ(mappings.at(1).at("folder").get<std::string>(), "/m/x/\xF0\x9F\x8E\xAC");
    EXPECT_FALSE(mappings.at(1).at("whole_root").get<bool>());
}

TEST_F(JsonDocument, SaysWhereADamagedProjectEnded)
{
    MemoryTree tree;
    tree.file("/m/nothing.txt");
    std::vector<std::uint8_t> bytes = buildProject(project());
    bytes.resize(bytes.size() - 30); // into the bin entry
    const Json doc = render(bytes, tree);
    const Json& p = doc.at("project");
    EXPECT_TRUE(p.at("damaged").get<bool>());
    EXPECT_EQ(keysOf(p.at("damage")), (std::set<std::string>{"section", "entry", "count", "read_error", "message"}));
    EXPECT_EQ(p.at("damage").at("section").get<std::string>(), "BinWindow");
    EXPECT_EQ(p.at("damage").at("entry").get<std::int64_t>(), 1);
    EXPECT_EQ(p.at("damage").at("count").get<std::int64_t>(), 1);
    EXPECT_TRUE(p.at("damage").at("read_error").is_null());
    EXPECT_TRUE(p.at("damage").at("message").get<std::string>().starts_with("The project file is damaged"));
    EXPECT_TRUE(doc.at("mappings").empty());
}

TEST_F(JsonDocument, ACandidatePathThatIsNotUtf8IsGivenAsTextAndAsBytes)
{
    MemoryTree tree;
    tree.file("/m/Caf\xE9/gone.avi");
    const Json doc = render(buildProject(project()), tree);
    const Json& candidate = doc.at("missing").at(2).at("candidates").at(0);
    EXPECT_EQ(candidate.at("path").get<std::string>(), "/m/Caf\xEF\xBF\xBD/gone.avi");
    EXPECT_EQ(candidate.at("path_bytes").get<std::string>(), "/m/Caf%E9/gone.avi");
}

TEST_F(JsonDocument, IsAsciiWithEveryOtherCharacterEscapedOnOneLine)
{
    MemoryTree tree;
    tree.file("/m/nothing.txt");
    std::string name;
    for (int c = 1; c < 0x20; ++c)
        name += static_cast<char>(c);
    name += "\"\\/\x7F" "Caf\xC3\xA9 \xE8\xA1\xA8 \xF0\x9F\x8E\xAC \xE2\x80\xA8 \xE9";
    ProjectModel m;
    m.mainAV = {{"D:\\a.avi"}};
    const std::vector<std::uint8_t> bytes = buildProject(m);
    RecordingFeedback inner;
    MissingCollector collector(inner);
    ProjectReader reader(bytes);
    const ScanResult scan = scanProject(reader, collector, inner);
    const SearchResults results =
        search(tree, {"/m"}, missingFiles(collector.distinctStored(), [&](std::string_view) { return name; }));
    text = renderJson({"p.dvc", bytes.size(), scan}, collector.report(), results);

    EXPECT_TRUE(std::all_of(text.begin(), text.end(), [](char c) { return (c >= 0x20 && c < 0x7F) || c == '\n'; }));
    const Json doc = Json::parse(text);
    const std::string decoded = doc.at("missing").at(0).at("decoded").get<std::string>();
    EXPECT_EQ(decoded, name.substr(0, name.size() - 1) + "\xEF\xBF\xBD") << "a byte that is no UTF-8 is U+FFFD";
    for (const char* escape : {"\\u0001", "\\u001f", "\\n", "\\t", "\\\"", "\\\\", "\\u007f", "\\u00e9",
                               "\\u8868", "\\ud83c\\udfac", "\\u2028", "\\ufffd"})
        EXPECT_NE(text.find(escape), std::string::npos) << escape;
    EXPECT_TRUE(text.starts_with("{\"format\":3,\"generator\":\"korvane ")) << text;
    EXPECT_NE(text.find("\"candidates\":[],\"more_candidates\":0}"), std::string::npos) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << "one line, ended by a line feed";
    EXPECT_TRUE(text.ends_with("\"mappings\":[]}\n"));
}

} // namespace
} // namespace korvane
