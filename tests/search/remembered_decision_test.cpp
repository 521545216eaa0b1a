// What was remembered of a stored name decides: a file of that size and
// fingerprint is the missing file, under any name; nothing else is taken
// for it, and a file of no bytes tells nothing.

#include "fs/content_digest.h"
#include "search/missing_search.h"
#include "tests/search/memory_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace korvane {
namespace {

struct Row {
    const char* what;
    std::map<std::string, std::string> files; // path: content
    std::optional<std::string> remembered;    // the content remembered of the stored name
    Decision::Kind kind;
    std::string chosen; // its path, when Chosen
};

RememberedContent rememberedOf(const std::string& content)
{
    DigestBuilder digest;
    digest.add(content.data(), content.size());
    return {content.size(), digest.finish().bytes};
}

TEST(RememberedFile, theFileOfTheRememberedContentIsChosenUnderAnyNameAndNothingElseIs)
{
    const std::string stored = "D:\\Footage\\CLIP\\C0001.MP4";
    const std::map<std::string, std::string> shoots = {{"/t/Mueller/CLIP/C0001.MP4", "mueller"},
                                                       {"/t/Schmidt/CLIP/C0001.MP4", "schmidt"}};
    const Row rows[] = {
        {"nothing remembered", shoots, std::nullopt, Decision::Kind::Ambiguous, ""},
        {"one shoot's clip", shoots, "schmidt", Decision::Kind::Chosen, "/t/Schmidt/CLIP/C0001.MP4"},
        {"content of neither", shoots, "other", Decision::Kind::Ambiguous, ""},
        {"renamed", {{"/t/Schnitt/Einzug.mp4", "clip"}, {"/t/Schnitt/Tanz.mp4", "dance"}}, "clip",
         Decision::Kind::Chosen, "/t/Schnitt/Einzug.mp4"},
        {"renamed, nothing remembered", {{"/t/Schnitt/Einzug.mp4", "clip"}}, std::nullopt, Decision::Kind::NotFound,
         ""},
        {"no bytes", {{"/t/Schnitt/empty.mp4", ""}}, "", Decision::Kind::NotFound, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        testkit::MemoryTree tree;
        for (const auto& [path, content] : row.files)
            tree.file(path);
        SearchOptions options;
        options.decide.contentOf = [&row](const std::string& path) -> std::optional<std::string> {
            const auto it = row.files.find(path);
            return it == row.files.end() ? std::nullopt : std::optional(it->second);
        };
        if (row.remembered)
            options.decide.remembered = [&](std::string_view name) -> std::optional<RememberedContent> {
                return name == stored ? std::optional(rememberedOf(*row.remembered)) : std::nullopt;
            };
        const SearchResults results =
            searchIndex(std::make_shared<const FileIndex>(tree.index({"/t"})), {{stored, stored}}, options);
        const Decision& decision = results.decisions().at(0);
        EXPECT_EQ(decision.kind, row.kind);
        if (row.kind != Decision::Kind::Chosen)
            continue;
        EXPECT_EQ(results.index().filePath(decision.chosen), row.chosen);
        EXPECT_TRUE(decision.byMemory);
        // A file of another name is a candidate for what it holds.
        const std::vector<Candidate>& candidates = results.matches().at(0).candidates;
        const auto it = std::find_if(candidates.begin(), candidates.end(),
                                     [&](const Candidate& c) { return c.file == decision.chosen; });
        ASSERT_NE(it, candidates.end());
        EXPECT_EQ(it->kind, row.chosen.ends_with("/C0001.MP4") ? MatchKind::SameName : MatchKind::SameContent);
    }
}

} // namespace
} // namespace korvane
