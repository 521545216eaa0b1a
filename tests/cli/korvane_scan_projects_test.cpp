// korvane-scan with several projects: folders of projects found and sorted,
// each project's part of stdout the same bytes as a run of it alone, in
// order whatever finishes first, a summary, JSON Lines and the exit status.

#include "tests/builder/project_builder.h"
#include "tests/process.h"
#include "tests/temp_dir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <filesystem>
#include <sstream>
#include <unistd.h>

namespace korvane {
namespace {

using testkit::buildProject;
using testkit::ProcessResult;
using testkit::ProjectModel;
using testkit::runProcess;
using testkit::TempDir;
using testkit::writeFile;

ProcessResult scan(const std::vector<std::string>& options, const std::vector<std::string>& files)
{
    std::vector<std::string> argv = {KORVANE_SCAN_BINARY};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.insert(argv.end(), files.begin(), files.end());
    return runProcess(argv, std::chrono::seconds(60));
}

// The report lines of missing paths in a plain report: every line but the headings.
std::size_t missingLines(const std::string& report)
{
    std::size_t lines = 0;
    for (std::size_t at = 0; at < report.size();) {
        const std::size_t end = report.find("\r\n", at);
        if (report[at] != '[')
            ++lines;
        at = end + 2;
    }
    return lines;
}

const char* wordOf(int status)
{
    switch (status) {
    case 0: return "ok";
    case 1: return "missing";
    case 3: return "damaged";
    default: return "cannot-open";
    }
}

class SeveralProjects : public ::testing::Test {
protected:
    TempDir dir;

    std::string project(const std::string& name, const ProjectModel& model)
    {
        const std::string path = dir / name;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        writeFile(path, buildProject(model));
        return path;
    }

    ProjectModel missing(int count)
    {
        ProjectModel m;
        m.mainAV = {{dir.touch("media/here.avi")}};
        for (int k = 0; k < count; ++k)
            m.bin.push_back({"bin", dir / ("gone/clip" + std::to_string(k) + ".avi")});
        return m;
    }

    // A project that ends inside its bin.
    std::string cut(const std::string& name)
    {
        std::vector<std::uint8_t> bytes = buildProject(missing(3));
        bytes.resize(bytes.size() - 7);
        const std::string path = dir / name;
        writeFile(path, bytes);
        return path;
    }
};

// Each option that changes what follows the report, and the trace, whose
// lines end in LF: a run of several is the runs of each alone, in order,
// each after its heading, then the summary; the reason a project could not
// be opened goes to stderr after its heading there.
TEST_F(SeveralProjects, EachPartIsTheRunOfItsProjectAloneInOrder)
{
    const std::string folder = dir / "projects";
    project("projects/b.dvc", missing(1));
    project("projects/A.DVC", missing(0));
    project("projects/nested/deep/c.Dvc", missing(2));
    project("projects/nested/folder.dvc/e.dvc", missing(1)); // a folder of that name is walked
    dir.touch("projects/nested/notes.txt");
    dir.touch("projects/nested/d.dvc.bak");
    dir.touch("projects/nested/dvc");
    std::filesystem::create_directory_symlink("..", dir / "projects/nested/loop");
    const std::vector<std::string> found = {folder + "/A.DVC", folder + "/b.dvc", folder + "/nested/deep/c.Dvc",
                                            folder + "/nested/folder.dvc/e.dvc"};
    const std::string none = dir / "none.dvc";
    const std::string damaged = cut("cut.dvc");
    std::vector<std::string> expectedFiles = found;
    expectedFiles.insert(expectedFiles.end(), {none, damaged});
    const std::string searched = dir / "media";

    for (const std::vector<std::string>& options : {std::vector<std::string>{}, {"--explain"}, {"--search", searched},
                                                    {"--utf8"}, {"--trace"}}) {
        const std::string what = testing::PrintToString(options);
        const std::string lineEnd = options == std::vector<std::string>{"--trace"} ? "\n" : "\r\n";
        const ProcessResult several = scan(options, {folder, none, damaged});
        std::string expected;
        std::string summary = lineEnd + "Summary" + lineEnd;
        std::size_t total = 0;
        int status = 0;
        for (const std::string& file : expectedFiles) {
            const ProcessResult alone = scan(options, {file});
            expected += "==> " + file + " <==" + lineEnd + alone.out;
            const std::size_t lines = missingLines(scan({}, {file}).out);
            summary += std::string(wordOf(alone.status)) + " " + (alone.status == 2 ? "-" : std::to_string(lines)) +
                       "  " + file + lineEnd;
            total += alone.status == 2 ? 0 : lines;
            status = std::max(status, alone.status);
        }
        summary += "total " + std::to_string(total) + "  6 projects: 1 ok, 3 missing, 1 damaged, 1 cannot-open" +
                   lineEnd;
        EXPECT_EQ(several.out, expected + summary) << what;
        EXPECT_EQ(several.status, 3) << what;
        EXPECT_EQ(status, 3) << what;
        EXPECT_NE(several.err.find("==> " + none + " <==\nCan not open dvc file\nNo such file or directory\n"),
                  std::string::npos)
            << what << several.err;
    }
}

// Nothing in a file's name can end its heading or its summary line.
TEST_F(SeveralProjects, ANameWithALineBreakIsQuoted)
{
    project("p/a\n==> x <==\r\nb.dvc", missing(0));
    const ProcessResult r = scan({}, {dir / "p"});
    EXPECT_EQ(r.status, 0);
    const std::string quoted = "$'" + dir / "p" + "/a\\n==> x <==\\r\\nb.dvc'";
    EXPECT_TRUE(r.out.starts_with("==> " + quoted + " <==\r\n[MainAV]\r\n")) << r.out;
    EXPECT_NE(r.out.find("\r\nok 0  " + quoted + "\r\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("\n==> x"), std::string::npos) << r.out;
}

// One document a line, in order, each naming its file and status, and
// otherwise the document of a run of its project alone.
TEST_F(SeveralProjects, JsonLinesOneDocumentForEachProjectInOrder)
{
    const std::string a = project("a.dvc", missing(2));
    const std::string none = dir / "none.dvc";
    const std::string b = project("sub/b.dvc", missing(0));
    const ProcessResult r = scan({"--json"}, {a, none, dir / "sub"});
    EXPECT_EQ(r.status, 2);
    std::istringstream lines(r.out);
    std::vector<std::string> text;
    std::vector<nlohmann::json> documents;
    for (std::string line; std::getline(lines, line);) {
        text.push_back(line);
        documents.push_back(nlohmann::json::parse(line));
    }
    ASSERT_EQ(documents.size(), 3u) << r.out;
    EXPECT_EQ(documents[0]["project"]["file"], a);
    EXPECT_EQ(documents[0]["status"], 1);
    EXPECT_EQ(documents[1]["project"]["file"], none);
    EXPECT_EQ(documents[1]["project"]["error"], "No such file or directory");
    EXPECT_EQ(documents[1]["status"], 2);
    EXPECT_EQ(documents[2]["project"]["file"], b);
    EXPECT_EQ(documents[2]["status"], 0);
    // The document alone, byte for byte, with the status added at its end.
    for (const std::size_t k : {0u, 2u}) {
        const ProcessResult alone = scan({"--json"}, {documents[k]["project"]["file"]});
        ASSERT_TRUE(alone.out.ends_with("}\n"));
        EXPECT_EQ(text[k], alone.out.substr(0, alone.out.size() - 2) + ",\"status\":" +
                               documents[k]["status"].dump() + "}")
            << "document " << k;
    }
}

// The status of a run of several is the highest of theirs; a folder that
// holds no project counts as one that could not be opened.
TEST_F(SeveralProjects, ExitStatusIsTheHighestOfTheProjects)
{
    const std::string ok = project("ok.dvc", missing(0));
    const std::string gone = project("gone.dvc", missing(1));
    const std::string none = dir / "none.dvc";
    const std::string damaged = cut("cut.dvc");
    std::filesystem::create_directory(dir / "empty");
    dir.touch("empty/readme.txt");
    const struct {
        std::vector<std::string> files;
        int status;
    } cases[] = {
        {{ok, ok}, 0},
        {{ok, gone}, 1},
        {{gone, ok}, 1},
        {{none, ok}, 2},
        {{gone, none}, 2},
        {{ok, dir / "empty"}, 2},
        {{none, damaged}, 3},
        {{damaged, gone, ok}, 3},
    };
    for (const auto& c : cases) {
        const ProcessResult r = scan({}, c.files);
        EXPECT_EQ(r.status, c.status) << testing::PrintToString(c.files) << "\n" << r.err;
    }
    const ProcessResult empty = scan({}, {dir / "empty"});
    EXPECT_EQ(empty.out, "\r\nSummary\r\nno-projects -  " + dir / "empty" + "\r\ntotal 0  0 projects\r\n");
    EXPECT_NE(empty.err.find("no project (*.dvc) below " + dir / "empty"), std::string::npos) << empty.err;
}

// A folder below a folder argument that cannot be read is warned about and
// the others are checked; it raises the status to 2.
TEST_F(SeveralProjects, AnUnreadableFolderIsWarnedAboutAndPassedOver)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads every folder";
    const std::string a = project("p/a.dvc", missing(0));
    project("p/locked/b.dvc", missing(1));
    std::filesystem::permissions(dir / "p/locked", std::filesystem::perms::none);
    const ProcessResult r = scan({}, {dir / "p"});
    std::filesystem::permissions(dir / "p/locked", std::filesystem::perms::owner_all);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.out.starts_with("==> " + a + " <==\r\n")) << r.out;
    EXPECT_NE(r.out.find("\r\ncannot-read -  " + dir / "p/locked" + "\r\n"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("cannot read folder " + dir / "p/locked" + ": Permission denied"), std::string::npos)
        << r.err;
}

// A first project that takes long: those after it finish first, are kept
// aside and still come out after it, byte for byte.
TEST_F(SeveralProjects, LaterProjectsThatFinishFirstWaitTheirTurn)
{
    // A sparse project whose bin claims 2^31 - 1 entries: a million empty
    // names, each a report line.
    const std::string slow = dir / "slow.dvc";
    {
        const int fd = ::open(slow.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        const unsigned char header[16] = {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F};
        ASSERT_EQ(::write(fd, header, sizeof header), 16);
        ASSERT_EQ(::ftruncate(fd, off_t{20} << 20), 0);
        ::close(fd);
    }
    std::vector<std::string> files = {slow};
    for (int k = 0; k < 6; ++k)
        files.push_back(project("fast" + std::to_string(k) + ".dvc", missing(k)));
    const ProcessResult several = scan({}, files);
    std::string expected;
    for (const std::string& file : files)
        expected += "==> " + file + " <==\r\n" + scan({}, {file}).out;
    ASSERT_GT(several.out.size(), expected.size());
    EXPECT_TRUE(several.out.substr(0, expected.size()) == expected) << "the parts differ from the runs alone";
    EXPECT_TRUE(several.out.substr(expected.size()).starts_with("\r\nSummary\r\ndamaged ")) << several.out.substr(expected.size());
    EXPECT_EQ(several.status, 3);
}

} // namespace
} // namespace korvane
