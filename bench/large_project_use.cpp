// What the benchmarks do with a large project once it is made: its media
// on the disk, the check that the scan reads it as it was built, and its
// figures.

#include "bench/large_project.h"

#include "cli/cli_feedback.h"
#include "fs/existence_test.h"
#include "report/scan_feedback.h"
#include "scanner/scan.h"

#include "text/message.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <unistd.h>
#include <unordered_set>

namespace korvane::bench {

namespace {

// Answers every existence test from the generator's list and checks that
// the tests come in the expected order.
class CheckingFeedback final : public ScanFeedback, public ExistenceTest {
public:
    explicit CheckingFeedback(const LargeProject& project) : project_(project) {}

    void appendReport(std::string_view) override {}
    void clearReport() override {}
    void setStatus(std::string_view) override {}
    void resetProgress() override {}
    void stepProgress() override { ++steps_; }

    std::size_t tests() const { return next_; }
    int steps() const { return steps_; }
    const std::string& error() const { return error_; }

    bool exists(std::string_view path) override
    {
        if (next_ >= project_.tests.size()) {
            if (error_.empty())
                error_ = "an unexpected test of \"" + escapeTraceText(path) + "\" after the last one";
            ++next_;
            return true;
        }
        const MediaPath& expected = project_.paths[project_.tests[next_]];
        if (error_.empty() && path != expected.path)
            error_ = "test " + std::to_string(next_ + 1) + " is of \"" + escapeTraceText(path) + "\", not of \"" +
                     escapeTraceText(expected.path) + "\"";
        ++next_;
        return expected.present;
    }

private:
    const LargeProject& project_;
    std::size_t next_ = 0;
    int steps_ = 0;
    std::string error_;
};

} // namespace

std::size_t LargeProject::missingPaths() const
{
    return static_cast<std::size_t>(
        std::count_if(paths.begin(), paths.end(), [](const MediaPath& p) { return !p.present; }));
}

std::size_t LargeProject::missingTests() const
{
    return static_cast<std::size_t>(
        std::count_if(tests.begin(), tests.end(), [this](std::uint32_t id) { return !paths[id].present; }));
}

std::size_t createMediaFiles(const LargeProject& project)
{
    std::unordered_set<std::string> folders;
    std::size_t created = 0;
    for (const MediaPath& media : project.paths) {
        if (!media.present)
            continue;
        const std::filesystem::path path(media.path);
        const std::filesystem::path folder = path.parent_path();
        if (!folder.empty() && folders.insert(folder.string()).second)
            std::filesystem::create_directories(folder);
        const int fd = ::open(media.path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0)
            throw std::system_error(errno, std::generic_category(), "cannot create " + media.path);
        ::close(fd);
        ++created;
    }
    return created;
}

std::string verifyLargeProject(const LargeProject& project)
{
    CheckingFeedback feedback(project);
    // The reader's buffer is large; keep it off the stack.
    const auto reader = std::make_unique<ProjectReader>(std::span<const std::uint8_t>(project.bytes));
    const ScanResult result = scanProject(*reader, feedback, feedback);
    if (!feedback.error().empty())
        return feedback.error();
    if (result.damaged)
        return "the scan found the project damaged: " + describeDamage(result);
    if (feedback.tests() != project.tests.size())
        return "the scan made " + std::to_string(feedback.tests()) + " existence tests, not " +
               std::to_string(project.tests.size());
    if (feedback.steps() != 200)
        return "the scan made " + std::to_string(feedback.steps()) + " progress steps, not 200";
    reader->readByte();
    if (!reader->passedEnd())
        return "the scan stopped before the last byte of the project";
    return {};
}

std::string describeLargeProject(const LargeProject& project)
{
    char mean[32];
    std::snprintf(mean, sizeof mean, "%.0f", project.meanPathLength);
    char megabytes[32];
    std::snprintf(megabytes, sizeof megabytes, "%.1f", static_cast<double>(project.bytes.size()) / 1e6);
    return std::string(megabytes) + " MB (" + groupedDigits(project.bytes.size()) + " bytes); " +
           groupedDigits(project.clipEntries + project.binEntries) + " clip and bin entries (" +
           groupedDigits(project.clipEntries) + " on the tracks, " + groupedDigits(project.binEntries) +
           " in the bin), " + groupedDigits(project.titles) + " titles with " + groupedDigits(project.titleItems) +
           " items, " + groupedDigits(project.effects) + " effects; " + groupedDigits(project.tests.size()) +
           " existence tests of " + groupedDigits(project.paths.size()) + " distinct paths, " +
           groupedDigits(project.missingPaths()) + " of them missing (" + groupedDigits(project.missingTests()) +
           " report lines); paths of " + std::to_string(project.shortestPath) + " to " +
           std::to_string(project.longestPath) + " bytes, " + mean + " on average";
}

} // namespace korvane::bench
