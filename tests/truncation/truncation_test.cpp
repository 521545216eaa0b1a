// korvane-scan on a realistic version-519 project cut short at a dense
// sample of byte offsets (every offset with KORVANE_TRUNCATION_EVERY_OFFSET=1).
// A cut file must still complete: exit status 3, a warning that names where
// the file ended, every heading, and every missing path of an entry that lies
// wholly before the cut under the same heading, in the same order as in the
// intact file's report. Besides those, at most one line more: the name of
// the entry in progress at the cut, whole or cut short.

#include "tests/temp_dir.h"
#include "tests/truncation/child_process.h"
#include "tests/truncation/tracked_project.h"

#include "tests/builder/project_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <memory>
#include <set>
#include <sstream>

namespace korvane::testkit {
namespace {

constexpr auto kChildTimeout = std::chrono::seconds(10);
constexpr int kExitSomethingMissing = 1;
constexpr int kExitDamaged = 3;

// Besides the cuts at the edges of entries, one cut in every this many bytes
// (a prime, so that the cuts fall at ever other places in the records).
constexpr std::size_t kStride = 397;

struct ReportSection {
    std::string heading;
    std::vector<std::string> paths;
};

bool isHeading(const std::string& line)
{
    const auto all = headingsOf(519);
    return std::find(all.begin(), all.end(), line) != all.end();
}

// Splits a report into its sections; every line must end in "\r\n" and
// the first one must be a heading.
::testing::AssertionResult parseReport(const std::string& text, std::vector<ReportSection>& sections)
{
    sections.clear();
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = text.find("\r\n", pos);
        if (end == std::string::npos)
            return ::testing::AssertionFailure() << "the report's last line has no CR LF: " << text.substr(pos);
        std::string line = text.substr(pos, end - pos);
        pos = end + 2;
        if (isHeading(line))
            sections.push_back({line, {}});
        else if (sections.empty())
            return ::testing::AssertionFailure() << "a path before the first heading: " << line;
        else
            sections.back().paths.push_back(std::move(line));
    }
    return ::testing::AssertionSuccess();
}

std::string joined(const std::vector<std::string>& lines)
{
    std::string out;
    for (const std::string& line : lines)
        out += "\n    \"" + line + "\"";
    return out.empty() ? " (none)" : out;
}

// Whether `text` holds `word`, not followed by another digit ("entry 1" is
// not found in "entry 12").
bool names(const std::string& text, const std::string& word)
{
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        const std::size_t behind = at + word.size();
        if (behind == text.size() || !std::isdigit(static_cast<unsigned char>(text[behind])))
            return true;
    }
    return false;
}

class TruncatedProject : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = std::make_unique<TempDir>();
        project_ = std::make_unique<TrackedProject>(buildWeddingProject((*dir_ / "media") + "/"));
        for (const std::string& path : project_->present)
            dir_->touch(path.substr(dir_->path().string().size() + 1));
        writeFile(*dir_ / "intact.dvc", project_->bytes);
    }

    static void TearDownTestSuite()
    {
        project_.reset();
        dir_.reset();
    }

    static const TrackedProject& project() { return *project_; }

    static ChildRun scan(const std::string& file)
    {
        return runChild(KORVANE_SCAN_PATH, {file}, dir_->path().string(), kChildTimeout);
    }

    // The cuts to try in [from, to): every offset when asked for. Else one
    // for each way a file can end: inside the version; at the first byte of
    // the header, of every count and of every entry (nothing of it left);
    // in the middle of every entry that tests a name and of each title
    // item's text; one byte short of each entry that lists a missing path;
    // and one cut every kStride bytes.
    static std::vector<std::size_t> cutsBetween(std::size_t from, std::size_t to)
    {
        const TrackedProject& p = project();
        std::set<std::size_t> cuts;
        const char* every = std::getenv("KORVANE_TRUNCATION_EVERY_OFFSET");
        if (every && *every && std::string(every) != "0") {
            for (std::size_t c = 0; c < p.bytes.size(); ++c)
                cuts.insert(c);
        } else {
            cuts.insert({1, 2});
            for (const Region& r : p.regions) {
                cuts.insert(r.begin);
                if (!r.heading.empty())
                    cuts.insert(r.begin + (r.end - r.begin) / 2);
                cuts.insert(r.inner.begin(), r.inner.end());
            }
            for (const ListedPath& m : p.missing)
                cuts.insert(m.entryEnd - 1);
            for (std::size_t c = kStride; c < p.bytes.size(); c += kStride)
                cuts.insert(c);
        }
        std::vector<std::size_t> inRange;
        for (const std::size_t c : cuts) {
            if (c >= from && c < to && c < p.bytes.size())
                inRange.push_back(c);
        }
        return inRange;
    }

    // Where the first region of `section` begins (its count, or its first entry).
    static std::size_t startOf(const std::string& section)
    {
        for (const Region& r : project().regions) {
            if (r.where.front() == section)
                return r.begin;
        }
        throw std::invalid_argument("no section " + section);
    }

    // What a scan of the project cut at `cut` must show.
    static ::testing::AssertionResult showsWhatPrecedes(std::size_t cut, const ChildRun& run)
    {
        const TrackedProject& p = project();
        if (!run.started)
            return ::testing::AssertionFailure() << "korvane-scan did not start: " << run.startError;
        if (run.timedOut)
            return ::testing::AssertionFailure() << "korvane-scan still ran after " << kChildTimeout.count() << " s";
        if (run.signal != 0)
            return ::testing::AssertionFailure() << "korvane-scan ended by signal " << run.signal << "\n" << run.err;
        if (run.exitCode != kExitDamaged)
            return ::testing::AssertionFailure() << "exit status " << run.exitCode << ", stderr: " << run.err;

        // The warning names the section, and the entry, in which the file
        // ended: the one that holds the first missing byte.
        const Region& at = p.regionAt(cut);
        if (!names(run.err, "warning"))
            return ::testing::AssertionFailure() << "no warning on stderr: " << run.err;
        // Nothing is left of an empty file to call a project.
        const std::vector<std::string> where =
            cut == 0 ? std::vector<std::string>{"does not look like a RexEdit project", "empty"} : at.where;
        for (const std::string& word : where) {
            if (!names(run.err, word))
                return ::testing::AssertionFailure() << "the warning does not name \"" << word << "\": " << run.err;
        }

        std::vector<ReportSection> report;
        if (auto parsed = parseReport(run.out, report); !parsed)
            return parsed;
        // Missing bytes read as 0: a cut inside the version leaves a version
        // below 512, and no titles.
        const std::uint16_t version = cut >= 2 ? 519 : cut == 1 ? p.bytes[0] : 0;
        std::vector<std::string> headings;
        for (const ReportSection& s : report)
            headings.push_back(s.heading);
        if (headings != headingsOf(version))
            return ::testing::AssertionFailure() << "headings:" << joined(headings);

        std::size_t extraLines = 0;
        for (const ReportSection& s : report) {
            std::vector<std::string> expected;
            for (const ListedPath& m : p.missing) {
                if (m.heading == s.heading && m.entryEnd <= cut)
                    expected.push_back(m.path);
            }
            if (s.paths.size() < expected.size() || !std::equal(expected.begin(), expected.end(), s.paths.begin()))
                return ::testing::AssertionFailure() << "under " << s.heading << " expected first" << joined(expected)
                                                     << "\n  but the report lists" << joined(s.paths);
            // Anything more is the name of the entry in progress at the cut.
            for (std::size_t k = expected.size(); k < s.paths.size(); ++k) {
                const std::string& extra = s.paths[k];
                const bool fromEntryAtCut =
                    s.heading == at.heading && std::any_of(at.names.begin(), at.names.end(), [&](const std::string& n) {
                        return n.compare(0, extra.size(), extra) == 0;
                    });
                if (!fromEntryAtCut || ++extraLines > 1)
                    return ::testing::AssertionFailure() << "under " << s.heading << " the report lists" << joined(s.paths)
                                                         << "\n  of which only" << joined(expected)
                                                         << "\n  and at most one name of the entry at the cut belong";
            }
        }
        return ::testing::AssertionSuccess();
    }

    // Scans the project cut at every offset in [from, to) to be tried.
    static void checkCutsBetween(std::size_t from, std::size_t to)
    {
        const std::vector<std::size_t> cuts = cutsBetween(from, to);
        ASSERT_FALSE(cuts.empty());
        const std::string file = *dir_ / "cut.dvc";
        int failures = 0;
        for (const std::size_t cut : cuts) {
            const std::vector<std::uint8_t>& whole = project().bytes;
            writeFile(file, std::vector<std::uint8_t>(whole.begin(), whole.begin() + static_cast<long>(cut)));
            const ChildRun run = scan(file);
            ASSERT_FALSE(run.timedOut) << "cut at " << cut << " of " << whole.size() << ": korvane-scan hangs";
            const ::testing::AssertionResult shown = showsWhatPrecedes(cut, run);
            EXPECT_TRUE(shown) << "cut at " << cut << " of " << whole.size();
            if (!shown && ++failures >= 5)
                FAIL() << "stopping after " << failures << " failing cuts";
        }
    }

    static std::unique_ptr<TempDir> dir_;
    static std::unique_ptr<TrackedProject> project_;
};

std::unique_ptr<TempDir> TruncatedProject::dir_;
std::unique_ptr<TrackedProject> TruncatedProject::project_;

TEST_F(TruncatedProject, IntactFileListsEveryMissingPathUnderItsHeadingAndCompletes)
{
    const ChildRun run = scan(*dir_ / "intact.dvc");
    ASSERT_TRUE(run.started) << run.startError;
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, kExitSomethingMissing);
    EXPECT_EQ(run.err.find("damaged"), std::string::npos) << run.err;

    std::string expected;
    for (const std::string& heading : headingsOf(519)) {
        expected += heading + "\r\n";
        for (const ListedPath& m : project().missing) {
            if (m.heading == heading)
                expected += m.path + "\r\n";
        }
    }
    EXPECT_EQ(run.out, expected);
}

TEST_F(TruncatedProject, CutInTheHeaderOrTheClipSections)
{
    checkCutsBetween(0, startOf("Effect"));
}

TEST_F(TruncatedProject, CutInTheEffectsOrTitles)
{
    checkCutsBetween(startOf("Effect"), startOf("FilterVisual"));
}

TEST_F(TruncatedProject, CutInTheFiltersOrTheBin)
{
    checkCutsBetween(startOf("FilterVisual"), project().bytes.size());
}

} // namespace
} // namespace korvane::testkit
