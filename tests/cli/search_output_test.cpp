#include "cli/json_writer.h"
#include "cli/search_output.h"
#include "tests/builder/project_builder.h"
#include "tests/recording_feedback.h"
#include "tests/search/json_reader.h"
#include "tests/search/memory_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace korvane {
namespace {

using testkit::buildProject;
using testkit::JsonReader;
using testkit::JsonValue;
using testkit::MemoryTree;
using testkit::ProjectModel;
using testkit::RecordingFeedback;

SearchResults search(MemoryTree& tree, const std::vector<std::string>& roots, const std::vector<MissingFile>& missing)
{
    FileIndex index = tree.index(roots);
    std::vector<MissingMatch> matches = matchMissing(index, missing);
    std::vector<MappingSuggestion> mappings = suggestMappings(index, matches);
    return SearchResults(std::move(index), std::move(matches), std::move(mappings));
}

std::vector<MissingFile> asStored(const std::vector<std::string>& paths)
{
    std::vector<MissingFile> files;
    for (const std::string& path : paths)
        files.push_back({path, path});
    return files;
}

std::set<std::string> keysOf(const JsonValue& object)
{
    std::set<std::string> keys;
    for (const auto& [key, value] : object.object())
        keys.insert(key);
    return keys;
}

// Windows-1252 as far as the tests need it: Latin-1.
std::string fromLatin1(std::string_view stored)
{
    std::string out;
    for (const char c : stored) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
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

TEST(FoundElsewhere, ShowsTheStoredBytesOrTheDecodedTextAndCutsLongLists)
{
    MemoryTree tree;
    for (const char* folder : {"a", "b", "c", "d"})
        tree.file(std::string("/m/") + folder + "/Caf\xC3\xA9.avi");
    const SearchResults results = search(tree, {"/m"}, {{"D:\\Caf\xE9.avi", "D:\\Caf\xC3\xA9.avi"}});
    TextOptions options;
    options.maxCandidates = 2;
    options.lineEnd = "\n";
    EXPECT_EQ(renderFoundElsewhere(results, options),
              "Found elsewhere\nD:\\Caf\xE9.avi\n    /m/a/Caf\xC3\xA9.avi\n    /m/b/Caf\xC3\xA9.avi\n    ... and 2 more\n"
              "Found 1 of 1 missing file.\n");
    options.decodedPaths = true;
    EXPECT_TRUE(renderFoundElsewhere(results, options).starts_with("Found elsewhere\nD:\\Caf\xC3\xA9.avi\n"));
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

TEST(JsonWriter, EscapesEveryControlCharacterAndWritesOnlyAscii)
{
    std::string all;
    for (int c = 0; c < 0x20; ++c)
        all += static_cast<char>(c);
    all += "\"\\/\x7F" "Caf\xC3\xA9 \xE8\xA1\xA8 \xF0\x9F\x8E\xAC \xE2\x80\xA8";
    const std::string quoted = jsonQuote(all);
    EXPECT_TRUE(std::all_of(quoted.begin(), quoted.end(), [](char c) { return c >= 0x20 && c < 0x7F; }));
    EXPECT_EQ(JsonReader::parse(quoted).string(), all);
    EXPECT_NE(quoted.find("\\ud83c\\udfac"), std::string::npos) << "U+1F3AC as a surrogate pair";
    EXPECT_NE(quoted.find("\\n"), std::string::npos);
    EXPECT_NE(quoted.find("\\u0001"), std::string::npos);
}

TEST(JsonWriter, BytesThatAreNotUtf8BecomeReplacementCharacters)
{
    EXPECT_EQ(JsonReader::parse(jsonQuote("Caf\xE9")).string(), "Caf\xEF\xBF\xBD");
    EXPECT_EQ(jsonQuote(std::string("a\0b", 3)), "\"a\\u0000b\"");
}

TEST(JsonWriter, NestsObjectsAndArraysWithCommasInTheirPlaces)
{
    JsonWriter json;
    json.beginObject();
    json.key("empty object").beginObject().endObject();
    json.key("empty array").beginArray().endArray();
    json.key("numbers").beginArray().number(-1).number(std::uint64_t{18446744073709551615u}).number(std::uint16_t{7}).endArray();
    json.key("flags").beginArray().boolean(true).boolean(false).null().endArray();
    json.key("nested").beginArray().beginObject().key("k").string("v").endObject().beginArray().endArray().endArray();
    json.endObject();
    const std::string text = json.finish();
    EXPECT_TRUE(text.ends_with("}\n"));
    // The reader takes integers up to int64; the largest uint64 is checked as text.
    EXPECT_NE(text.find("18446744073709551615"), std::string::npos);
    std::string readable = text;
    readable.replace(readable.find("18446744073709551615"), 20, "0");
    const JsonValue doc = JsonReader::parse(readable);
    EXPECT_TRUE(doc["empty object"].object().empty());
    EXPECT_TRUE(doc["empty array"].array().empty());
    EXPECT_EQ(doc["numbers"][0].number(), -1);
    EXPECT_EQ(doc["numbers"][2].number(), 7);
    EXPECT_TRUE(doc["flags"][0].boolean());
    EXPECT_TRUE(doc["flags"][2].isNull());
    EXPECT_EQ(doc["nested"][0]["k"].string(), "v");
    EXPECT_TRUE(doc["nested"][1].array().empty());
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

    JsonValue render(const std::vector<std::uint8_t>& bytes, MemoryTree& tree)
    {
        RecordingFeedback inner;
        inner.present = {"here.avi"};
        MissingCollector collector(inner);
        ProjectReader reader(bytes);
        const ScanResult scan = scanProject(reader, collector);
        const SearchResults results = search(tree, {"/m"}, missingFiles(collector.distinctStored(), fromLatin1));
        text = renderJson({"projects/wedding.dvc", bytes.size(), scan}, collector.sections(), results);
        return JsonReader::parse(text);
    }

    std::string text;
};

TEST_F(JsonDocument, HoldsTheProjectTheSectionsTheSearchAndTheMappings)
{
    MemoryTree tree;
    tree.file("/m/disk/Video/Caf\xC3\xA9.avi").file("/m/disk/Video/caf\xC3\xA9.mp4").file("/m/x/\xF0\x9F\x8E\xAC/gone.avi");
    const std::vector<std::uint8_t> bytes = buildProject(project());
    const JsonValue doc = render(bytes, tree);

    EXPECT_TRUE(std::all_of(text.begin(), text.end(), [](char c) { return (c >= 0x20 && c < 0x7F) || c == '\n'; }));
    EXPECT_EQ(keysOf(doc), (std::set<std::string>{"format", "generator", "project", "sections", "search", "mappings"}));
    EXPECT_EQ(doc["format"].number(), 1);
    EXPECT_TRUE(doc["generator"].string().starts_with("korvane "));

    const JsonValue& p = doc["project"];
    EXPECT_EQ(keysOf(p), (std::set<std::string>{"file", "version", "size", "damaged", "damage"}));
    EXPECT_EQ(p["file"].string(), "projects/wedding.dvc");
    EXPECT_EQ(p["version"].number(), 519);
    EXPECT_EQ(p["size"].number(), static_cast<std::int64_t>(bytes.size()));
    EXPECT_FALSE(p["damaged"].boolean());
    EXPECT_TRUE(p["damage"].isNull());

    const JsonValue& sections = doc["sections"];
    std::vector<std::string> names;
    for (const JsonValue& section : sections.array()) {
        EXPECT_EQ(keysOf(section), (std::set<std::string>{"name", "missing"}));
        names.push_back(section["name"].string());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"MainAV", "InsertAV", "ExAudio1", "ExAudio2", "Title", "BinWindow"}));

    const JsonValue& mainAV = sections[0]["missing"];
    ASSERT_EQ(mainAV.array().size(), 2u) << "one for each entry, as the report lists them";
    const JsonValue& cafe = mainAV[0];
    EXPECT_EQ(keysOf(cafe), (std::set<std::string>{"stored", "decoded", "searched", "not_searched", "candidates",
                                                   "more_candidates"}));
    EXPECT_EQ(cafe["stored"].string(), "D:\\Video\\Caf%E9.avi");
    EXPECT_EQ(cafe["decoded"].string(), "D:\\Video\\Caf\xC3\xA9.avi");
    EXPECT_TRUE(cafe["searched"].boolean());
    EXPECT_TRUE(cafe["not_searched"].isNull());
    ASSERT_EQ(cafe["candidates"].array().size(), 2u);
    EXPECT_EQ(cafe["candidates"][0]["path"].string(), "/m/disk/Video/Caf\xC3\xA9.avi");
    EXPECT_EQ(cafe["candidates"][0]["match"].string(), "same-name");
    EXPECT_EQ(cafe["candidates"][0]["shared_folders"].number(), 1);
    EXPECT_EQ(cafe["candidates"][1]["match"].string(), "other-extension");
    EXPECT_EQ(cafe["more_candidates"].number(), 0);
    EXPECT_EQ(keysOf(cafe["candidates"][0]), (std::set<std::string>{"path", "match", "shared_folders"}));

    const JsonValue& quoted = sections[2]["missing"][0];
    EXPECT_EQ(quoted["stored"].string(), "D:\\Music\\say \"hi\"%01.wav");
    EXPECT_EQ(quoted["decoded"].string(), "D:\\Music\\say \"hi\"\x01.wav");
    EXPECT_TRUE(quoted["candidates"].array().empty());

    EXPECT_EQ(sections[5]["missing"][0]["candidates"][0]["path"].string(), "/m/x/\xF0\x9F\x8E\xAC/gone.avi");

    const JsonValue& s = doc["search"];
    EXPECT_EQ(keysOf(s), (std::set<std::string>{"folders", "folders_read", "files", "problems"}));
    EXPECT_EQ(s["folders"][0].string(), "/m");
    EXPECT_EQ(s["files"].number(), 3);
    EXPECT_EQ(s["folders_read"].number(), 5);
    EXPECT_TRUE(s["problems"].array().empty());

    const JsonValue& mappings = doc["mappings"];
    ASSERT_EQ(mappings.array().size(), 2u);
    const JsonValue& drive = mappings[0];
    EXPECT_EQ(keysOf(drive), (std::set<std::string>{"root", "prefix", "whole_root", "folder", "explains", "of", "files",
                                                    "argument", "config_line"}));
    EXPECT_EQ(drive["root"].string(), "D:");
    EXPECT_EQ(drive["prefix"].string(), "D:");
    EXPECT_TRUE(drive["whole_root"].boolean());
    EXPECT_EQ(drive["folder"].string(), "/m/disk");
    EXPECT_EQ(drive["explains"].number(), 1);
    EXPECT_EQ(drive["of"].number(), 3);
    EXPECT_EQ(drive["files"][0].string(), "D:\\Video\\Caf\xC3\xA9.avi");
    EXPECT_EQ(drive["argument"].string(), "--map D:=/m/disk");
    EXPECT_EQ(drive["config_line"].string(), "map D: = /m/disk");
    EXPECT_EQ(mappings[1]["folder"].string(), "/m/x/\xF0\x9F\x8E\xAC");
    EXPECT_FALSE(mappings[1]["whole_root"].boolean());
}

TEST_F(JsonDocument, SaysWhereADamagedProjectEnded)
{
    MemoryTree tree;
    tree.file("/m/nothing.txt");
    std::vector<std::uint8_t> bytes = buildProject(project());
    bytes.resize(bytes.size() - 30); // into the bin entry
    const JsonValue doc = render(bytes, tree);
    const JsonValue& p = doc["project"];
    EXPECT_TRUE(p["damaged"].boolean());
    EXPECT_EQ(keysOf(p["damage"]), (std::set<std::string>{"section", "entry", "count", "read_error", "message"}));
    EXPECT_EQ(p["damage"]["section"].string(), "BinWindow");
    EXPECT_EQ(p["damage"]["entry"].number(), 1);
    EXPECT_EQ(p["damage"]["count"].number(), 1);
    EXPECT_TRUE(p["damage"]["read_error"].isNull());
    EXPECT_TRUE(p["damage"]["message"].string().starts_with("The project file is damaged"));
    EXPECT_TRUE(doc["mappings"].array().empty());
}

TEST_F(JsonDocument, ACandidatePathThatIsNotUtf8IsGivenAsTextAndAsBytes)
{
    MemoryTree tree;
    tree.file("/m/Caf\xE9/gone.avi");
    const JsonValue doc = render(buildProject(project()), tree);
    const JsonValue& candidate = doc["sections"][5]["missing"][0]["candidates"][0];
    EXPECT_EQ(candidate["path"].string(), "/m/Caf\xEF\xBF\xBD/gone.avi");
    EXPECT_EQ(candidate["path_bytes"].string(), "/m/Caf%E9/gone.avi");
}

} // namespace
} // namespace korvane
