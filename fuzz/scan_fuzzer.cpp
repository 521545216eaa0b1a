// korvane-fuzz: scans arbitrary bytes as a project file through the real
// reader and driver, and aborts as soon as the scan breaks one of its
// promises. The sanitizers catch the rest (bad reads, overflows, undefined
// behaviour); libFuzzer's -timeout and -rss_limit_mb bound time and memory.
//
// The promises checked here, for every input of n bytes, from the events the
// scan raises (the texts they stand for are the sink's defaults):
//  - the report is made of events only: the section headings in their
//    order and, between them, only paths that the existence test did not
//    find, each reported once right after its test; the run begins every
//    section with a heading that its layout version has;
//  - the progress bar never goes past its 200 steps;
//  - the run is bounded by n: every entry of every loop consumes at least
//    one byte, so status lines and existence tests together number at most
//    n plus the few of the entries that were in progress when the data ran
//    out; once the end has been passed no new entry is begun;
//  - entry statuses follow the sections in file order, each numbering its
//    entries from 1 without gaps;
//  - the sections that refer to no files (effects, filters, and titles
//    before version 519) test nothing, as far as the calls tell: from the
//    first entry status of such a section (or the Title heading of an older
//    file) to the next heading;
//  - while the scan runs, no single allocation exceeds 64 KiB (the buffer
//    of one long title item text) and all of them together stay below
//    128 KiB, whatever sizes and counts the bytes claim;
//  - the last call on the feedback is the cleared status line.

#include "report/progress.h"
#include "report/scan_feedback.h"
#include "scanner/project_reader.h"
#include "scanner/scan.h"

#include "promise.h"

#include <sanitizer/allocator_interface.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <span>
#include <string_view>

namespace {

using korvane::ProjectReader;
using korvane::ScanFeedback;

// ---- memory --------------------------------------------------------------

constexpr std::size_t kLargestAllocation = 64 * 1024;
constexpr std::size_t kAllocationsPerScan = 128 * 1024;

// Set only while scanProject runs. The feedback below allocates nothing, so
// every allocation seen meanwhile is the scanner's own.
bool watchingAllocations = false;
std::size_t largestAllocation = 0;
std::size_t allocatedBytes = 0;

void onMalloc(const volatile void*, std::size_t size)
{
    if (!watchingAllocations)
        return;
    if (size > largestAllocation)
        largestAllocation = size;
    allocatedBytes += size;
}

void onFree(const volatile void*) {}

// ---- status lines ----------------------------------------------------------

// The status labels in file order, and what each section may do.
struct Label {
    std::string_view name;
    std::uint16_t fromVersion; // present in files of this version and later
};
constexpr std::array<Label, 8> kLabels = {{
    {"MainAV", 0},
    {"InsertAV", 0},
    {"ExAudio", 0},
    {"Effect", 512},
    {"Title", 512},
    {"FilterVisual", 519},
    {"FilterAudio", 519},
    {"BinWindow", 0},
}};
constexpr std::size_t kEffect = 3, kTitle = 4, kFilterVisual = 5, kFilterAudio = 6;

struct Status {
    std::size_t label = 0;
    std::int64_t entry = 0;
    std::int64_t count = 0;
};

// The index of a status label in kLabels, or kLabels.size() for any other.
std::size_t labelIndex(std::string_view label)
{
    std::size_t k = 0;
    while (k < kLabels.size() && kLabels[k].name != label)
        ++k;
    return k;
}

// ---- the feedback ----------------------------------------------------------

constexpr std::array<std::string_view, 6> kHeadings = {
    "MainAV", "InsertAV", "ExAudio1", "ExAudio2", "Title", "BinWindow",
};
constexpr std::size_t kTitleHeading = 4;

// A deterministic answer from the path's bytes, touching no disk: about
// half the names are found. An empty name is never found.
bool answerFor(std::string_view path)
{
    if (path.empty())
        return false;
    std::uint32_t hash = 2166136261u;
    for (const char c : path)
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    return (hash & 1u) != 0;
}

// The scan's existence test: answerFor.
class HashedExistence final : public korvane::ExistenceTest {
public:
    bool exists(std::string_view path) override { return answerFor(path); }
};

// Records one scan's calls and checks each against the promises as it comes.
class CheckingFeedback final : public ScanFeedback {
public:
    CheckingFeedback(const ProjectReader& reader, std::uint16_t version) : reader_(reader), version_(version) {}

    void appendReport(std::string_view) override
    {
        note(Call::Append);
        korvane::fuzz::broken("the report is written through its events only", __FILE__, __LINE__);
    }

    void beginSection(std::string_view name) override
    {
        note(Call::Heading);
        // Files before 512 have no titles.
        if (nextHeading_ == kTitleHeading && version_ < 512)
            ++nextHeading_;
        PROMISE(nextHeading_ < kHeadings.size());
        PROMISE(name == kHeadings[nextHeading_]);
        // Titles before version 519 carry no flags: none of their items is tested.
        withoutTests_ = nextHeading_ == kTitleHeading && version_ < 519;
        ++nextHeading_;
        // Headings stand between sections, where no entry is in progress:
        // once the end has been passed here, no later entry may begin.
        if (reader_.passedEnd())
            ended_ = true;
    }

    void missingFile(std::string_view path) override
    {
        PROMISE(missingNext_);
        missingNext_ = false;
        note(Call::Missing);
        PROMISE(path == missingPath_);
    }

    void clearReport() override
    {
        note(Call::Clear);
        PROMISE(calls_ == 2); // only where runScan does it, before the scan
    }

    void setStatus(std::string_view text) override
    {
        note(Call::Status);
        // Entries report through entryStatus; the driver only clears the line at the end.
        PROMISE(text.empty());
        cleared_ = true;
    }

    void entryStatus(std::string_view label, std::int32_t entry, std::int32_t count) override
    {
        note(Call::Entry);
        cleared_ = false;
        PROMISE(!ended_);
        ++entries_;
        const Status status{labelIndex(label), entry, count};
        PROMISE(status.label < kLabels.size());
        PROMISE(version_ >= kLabels[status.label].fromVersion);
        // Sections in file order; within one, entries numbered 1, 2, 3, ...
        PROMISE(status.label >= last_.label);
        if (status.label == last_.label && status.count == last_.count && status.entry != 1) {
            PROMISE(status.entry == last_.entry + 1);
        } else {
            PROMISE(status.entry == 1);
            // A section that stopped short of its count did so at the end of the data.
            PROMISE(reader_.passedEnd() || runComplete());
        }
        // Counts show as signed 32-bit numbers; a filter count, being
        // unsigned, may show as negative.
        PROMISE(status.entry <= static_cast<std::uint32_t>(status.count));
        last_ = status;
        withoutTests_ = status.label == kEffect || status.label == kFilterVisual || status.label == kFilterAudio ||
                        (status.label == kTitle && version_ < 519);
        if (reader_.passedEnd())
            ended_ = true; // the entry in progress has finished
    }

    void resetProgress() override
    {
        note(Call::Reset);
        PROMISE(calls_ == 1);
    }

    void stepProgress() override
    {
        note(Call::Step);
        ++steps_;
        PROMISE(steps_ <= korvane::kProgressSteps);
    }

    // What the whole run must have done; `size` is the input's.
    void finish(std::size_t size) const
    {
        PROMISE(lastCall_ == Call::Status && cleared_);
        PROMISE(nextHeading_ == kHeadings.size());
        PROMISE(reader_.passedEnd() || runComplete());
        // Every entry of every loop consumes at least one byte for its status
        // line and its existence test; besides, at most two entries (a title
        // and one of its items) were in progress when the data ran out.
        PROMISE(entries_ + tests_ <= size + 2);
    }

    void fileChecked(std::string_view path, bool found) override
    {
        note(Call::Test);
        PROMISE(!ended_);
        PROMISE(nextHeading_ > 0 && !withoutTests_);
        PROMISE(path.find('\0') == std::string_view::npos);
        PROMISE(path.size() <= 65535);
        ++tests_;
        // Past the end, only the entry in progress still tests its name.
        if (reader_.passedEnd()) {
            PROMISE(!testedAfterEnd_);
            testedAfterEnd_ = true;
        }
        PROMISE(found == answerFor(path));
        if (!found) {
            missingPath_ = path; // valid until the default fileChecked has reported it
            missingNext_ = true;
        }
        ScanFeedback::fileChecked(path, found);
    }

private:
    enum class Call { None, Reset, Clear, Append, Heading, Missing, Status, Entry, Step, Test };

    void note(Call call)
    {
        // A test that finds nothing is followed by the report of its path.
        PROMISE(!missingNext_);
        ++calls_;
        lastCall_ = call;
    }

    bool runComplete() const { return last_.entry == last_.count; }

    const ProjectReader& reader_;
    const std::uint16_t version_;
    std::size_t calls_ = 0;
    Call lastCall_ = Call::None;
    bool cleared_ = false;
    std::size_t nextHeading_ = 0;
    bool missingNext_ = false; // the path the last test missed is to be reported
    std::string_view missingPath_;
    int steps_ = 0;
    std::size_t entries_ = 0;
    std::size_t tests_ = 0;
    Status last_;         // the last entry status; entry 0 before the first
    bool withoutTests_ = false; // in a section whose entries name no files
    bool ended_ = false;  // past the end, and the entry in progress has finished
    bool testedAfterEnd_ = false;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    __sanitizer_install_malloc_and_free_hooks(onMalloc, onFree);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    // The version as the scan will read it: missing bytes read as 0.
    const auto version = static_cast<std::uint16_t>((size > 0 ? data[0] : 0) | (size > 1 ? data[1] : 0) << 8);

    const auto reader = std::make_unique<ProjectReader>(bytes);
    CheckingFeedback feedback(*reader, version);
    feedback.resetProgress();
    feedback.clearReport();

    largestAllocation = 0;
    allocatedBytes = 0;
    watchingAllocations = true;
    HashedExistence existence;
    const korvane::ScanResult result = korvane::scanProject(*reader, feedback, existence);
    watchingAllocations = false;

    PROMISE(largestAllocation <= kLargestAllocation);
    PROMISE(allocatedBytes <= kAllocationsPerScan);
    feedback.finish(size);

    PROMISE(result.opened && result.version == version);
    PROMISE(result.damaged == reader->passedEnd());
    // The header alone takes 16, 20 or 24 bytes by version.
    const std::size_t header = version >= 519 ? 24 : version >= 517 ? 20 : 16;
    if (size < header)
        PROMISE(result.damaged);
    if (result.damaged) {
        PROMISE(result.endedAt.section != nullptr);
        PROMISE(!korvane::describeDamage(result).empty());
    }
    return 0;
}
