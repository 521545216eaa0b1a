// korvane-fuzz-refill: scans arbitrary bytes as a project file three ways and
// aborts when they differ: from memory (no refill at all), from a file with
// the reader's own buffer, and from the same file with refills of 1 to 16
// bytes, so that refills fall inside every field the sections read. The last
// byte of the input chooses the small size (its value modulo 16, plus 1).
//
// What must be the same, call for call: every call on the feedback (headings,
// missing paths, entry statuses, progress steps, status lines), every path
// handed to the existence test, and the result (version, damage, where the
// file ended, read error) and the bytes consumed.

#include "report/scan_feedback.h"
#include "scanner/project_reader.h"
#include "scanner/scan.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace {

using korvane::ProjectReader;
using korvane::ScanResult;

[[noreturn]] void broken(const char* what)
{
    std::fprintf(stderr, "korvane-fuzz-refill: %s\n", what);
    std::abort();
}

// Every call as one line of text.
class TraceFeedback final : public korvane::ScanFeedback, public korvane::ExistenceTest {
public:
    std::string trace;

    void appendReport(std::string_view text) override { line("append", text); }
    void clearReport() override { line("clear", {}); }
    void setStatus(std::string_view text) override { line("status", text); }
    void resetProgress() override { line("reset", {}); }
    void stepProgress() override { line("step", {}); }
    void beginSection(std::string_view name) override { line("section", name); }
    void missingFile(std::string_view path) override { line("missing", path); }
    void entryStatus(std::string_view label, std::int32_t entry, std::int32_t count) override
    {
        line("entry", label);
        trace += std::to_string(entry) + '/' + std::to_string(count) + '\n';
    }
    bool exists(std::string_view path) override
    {
        line("test", path);
        // A deterministic answer from the bytes, touching no disk.
        std::uint32_t hash = 2166136261u;
        for (const char c : path)
            hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
        return !path.empty() && (hash & 1u) != 0;
    }

private:
    void line(std::string_view call, std::string_view text)
    {
        trace += call;
        trace += ' ';
        trace += std::to_string(text.size()); // paths may hold line breaks
        trace += ' ';
        trace += text;
        trace += '\n';
    }
};

struct Run {
    std::string trace;
    ScanResult result;
    std::uint64_t offset = 0;
};

Run scan(ProjectReader& reader)
{
    TraceFeedback feedback;
    Run run;
    run.result = korvane::scanProject(reader, feedback, feedback);
    run.trace = std::move(feedback.trace);
    run.offset = reader.offset();
    return run;
}

Run scanFile(int fd, std::size_t refillSize)
{
    if (::lseek(fd, 0, SEEK_SET) != 0)
        broken("cannot rewind the file");
    const auto reader = std::make_unique<ProjectReader>(fd, refillSize);
    return scan(*reader);
}

void expectSame(const Run& a, const Run& b, const char* what)
{
    const ScanResult& x = a.result;
    const ScanResult& y = b.result;
    const bool same = a.trace == b.trace && a.offset == b.offset && x.opened == y.opened && x.version == y.version &&
                      x.damaged == y.damaged && x.readError == y.readError &&
                      std::string_view(x.endedAt.section) == y.endedAt.section && x.endedAt.entry == y.endedAt.entry &&
                      x.endedAt.count == y.endedAt.count;
    if (!same)
        broken(what);
}

int openFile()
{
    const int fd = ::memfd_create("korvane-fuzz-refill", MFD_CLOEXEC);
    if (fd < 0)
        broken("memfd_create failed");
    return fd;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const int fd = openFile();
    if (::ftruncate(fd, 0) != 0)
        broken("cannot empty the file");
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0)
            broken("cannot write the file");
        done += static_cast<std::size_t>(n);
    }
    const std::size_t small = (size > 0 ? data[size - 1] % 16u : 0u) + 1u;

    const auto memory = std::make_unique<ProjectReader>(std::span<const std::uint8_t>(data, size));
    const Run fromMemory = scan(*memory);
    if (fromMemory.offset > size)
        broken("more bytes consumed than the file holds");
    expectSame(fromMemory, scanFile(fd, ProjectReader::kBufferSize), "the file read with the whole buffer differs");
    expectSame(fromMemory, scanFile(fd, small), "the file read through a small buffer differs");
    return 0;
}
