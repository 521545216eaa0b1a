// The scan driver: the header, then the sections in their fixed order, some
// of them only from a given layout version on.

#include "scanner/scan.h"

#include "fs/file_probe.h"
#include "report/progress.h"
#include "scanner/look_ahead_feedback.h"
#include "scanner/project_file.h"
#include "text/system_error.h"
#include "text/message.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

namespace korvane {

namespace {

constexpr std::uint16_t kEffectsAndTitlesFrom = 512; // 0x200
constexpr std::uint16_t kLongerHeaderFrom = 517;     // 0x205
constexpr std::uint16_t kFiltersFrom = 519;          // 0x207

// The least one record of a section takes: empty names, lists and blocks,
// and the shortest kind there is. The filter records are left out.
constexpr std::uint64_t leastRecordSize(SectionId id)
{
    switch (id) {
    case SectionId::MainAV:
    case SectionId::InsertAV:
        return 1; // a name of no known kind, alone
    case SectionId::ExAudio1:
    case SectionId::ExAudio2:
        return 1 + 12 + 4 + 4;
    case SectionId::Effect:
        return 3 * 4 + 2 + 1 + 5 * 4 + 4 + 1;
    case SectionId::Title:
        return 31; // before version 519
    case SectionId::BinWindow:
        return 1 + 1 + 16;
    default:
        return 0;
    }
}

// What `count` records of a section claim of the file. A real project never
// holds a negative count; taken unsigned, it claims too much for any file.
std::uint64_t claimOf(SectionId id, std::int32_t count)
{
    return static_cast<std::uint32_t>(count) * leastRecordSize(id);
}

// The section's heading in the report, for the sections that have one.
void beginSection(ScanFeedback& feedback, SectionId id)
{
    const Section& section = sectionOf(id);
    if (section.heading)
        feedback.beginSection(section.name);
}

// A section behind the main track: its heading, its count and its entries.
// When the main track is empty the count is not in the file and the section
// is empty. An empty section leaves its whole budget to the driver; a
// negative count leaves it unstepped.
template <class ScanEntries>
std::int32_t scanCountedSection(ProjectReader& reader, ScanFeedback& feedback, ScanResult& result, SectionId id,
                                std::int32_t mainCount, ScanEntries&& scanEntries)
{
    beginSection(feedback, id);
    std::int32_t count = 0;
    if (mainCount != 0) {
        reader.mark(sectionOf(id).name);
        count = reader.readS32();
        result.claimedBytes += claimOf(id, count);
        scanEntries(count);
    }
    if (count == 0)
        stepProgress(feedback, sectionOf(id).budget);
    return count;
}

// The counts the header holds, and the version that decides the layout.
struct Header {
    std::uint16_t version = 0;
    std::int32_t binCount = 0;
    std::int32_t mainCount = 0;
};

Header readHeader(ProjectReader& reader, ScanResult& result)
{
    reader.mark("header");
    Header header;
    header.version = reader.readU16();
    result.version = header.version;
    reader.skip(2);
    header.binCount = reader.readS32();
    header.mainCount = reader.readS32();
    reader.skip(4);
    if (header.version >= kLongerHeaderFrom)
        reader.skip(4);
    if (header.version >= kFiltersFrom)
        reader.skip(4);
    result.claimedBytes = claimOf(SectionId::MainAV, header.mainCount) + claimOf(SectionId::BinWindow, header.binCount);
    return header;
}

// The filter records of every clip of the main and insert tracks and of the
// extra audio tracks: the clip counts again, taken unsigned; no count of their own.
void scanFilters(ProjectReader& reader, ScanFeedback& feedback, std::int32_t mainCount, const std::int32_t (&counts)[3])
{
    const auto unsignedCount = [](std::int32_t count) { return static_cast<std::uint32_t>(count); };
    scanFilterVisual(reader, feedback, unsignedCount(mainCount), SectionId::FilterVisualOfMainAV);
    scanFilterVisual(reader, feedback, unsignedCount(counts[0]), SectionId::FilterVisualOfInsertAV);
    scanFilterAudio(reader, feedback, unsignedCount(counts[1]), SectionId::FilterAudioOfExAudio1);
    scanFilterAudio(reader, feedback, unsignedCount(counts[2]), SectionId::FilterAudioOfExAudio2);
}

} // namespace

ScanResult scanProject(ProjectReader& reader, ScanFeedback& feedback, FileChecks& checks)
{
    ScanResult result;
    result.opened = true;
    // After a stop nothing more is read and nothing more is shown: the
    // report ends with the last whole entry.
    const auto stopHere = [&] {
        if (!reader.stopRequested())
            return false;
        result.stopped = true;
        return true;
    };
    const Header header = readHeader(reader, result);
    const std::int32_t mainCount = header.mainCount;

    // The main track's count is in the header.
    beginSection(feedback, SectionId::MainAV);
    if (mainCount != 0)
        scanMainAV(reader, feedback, checks, mainCount);
    else
        stepProgress(feedback, sectionOf(SectionId::MainAV).budget);
    if (stopHere())
        return result;

    std::int32_t counts[3] = {}; // of InsertAV, ExAudio1 and ExAudio2
    const SectionId tracks[3] = {SectionId::InsertAV, SectionId::ExAudio1, SectionId::ExAudio2};
    for (int k = 0; k < 3; ++k) {
        const SectionId id = tracks[k];
        counts[k] = scanCountedSection(reader, feedback, result, id, mainCount, [&](std::int32_t n) {
            if (id == SectionId::InsertAV)
                scanInsertAV(reader, feedback, checks, n);
            else
                scanExAudio(reader, feedback, checks, n, id);
        });
        if (stopHere())
            return result;
    }

    if (header.version >= kEffectsAndTitlesFrom) {
        scanCountedSection(reader, feedback, result, SectionId::Effect, mainCount,
                           [&](std::int32_t n) { scanEffect(reader, feedback, n); });
        if (stopHere())
            return result;
        scanCountedSection(reader, feedback, result, SectionId::Title, mainCount,
                           [&](std::int32_t n) { scanTitle(reader, feedback, checks, n, header.version); });
    } else {
        stepProgress(feedback, sectionOf(SectionId::Effect).budget + sectionOf(SectionId::Title).budget);
    }

    if (header.version >= kFiltersFrom && !stopHere())
        scanFilters(reader, feedback, mainCount, counts);
    if (stopHere())
        return result;

    // The bin's reader makes no steps: its budget follows it whole.
    beginSection(feedback, SectionId::BinWindow);
    scanBinWindow(reader, feedback, checks, header.binCount);
    if (stopHere())
        return result;
    stepProgress(feedback, sectionOf(SectionId::BinWindow).budget);

    feedback.setStatus("");

    result.damaged = reader.passedEnd();
    result.endedAt = reader.endLocation();
    result.readError = reader.readError();
    result.bytesRead = reader.offset();
    return result;
}

ScanResult scanProject(ProjectReader& reader, ScanFeedback& feedback, ExistenceTest& exists)
{
    ChecksInTurn checks(exists, feedback);
    return scanProject(reader, feedback, checks);
}

ScanResult runScan(const std::string& path, ScanFeedback& feedback)
{
    return runScan(path, feedback, ScanOptions{});
}

ScanResult runScan(const std::string& path, ScanFeedback& feedback, const ScanOptions& options)
{
    ProjectFile file;
    if (!file.open(path)) {
        ScanResult failed;
        failed.openError = file.error();
        return failed;
    }
    feedback.resetProgress();
    feedback.clearReport();
    // The reader's buffer is large; keep it off the stack of the caller.
    const auto reader = std::make_unique<ProjectReader>(file.fd());
    reader->setStop(options.stop);
    std::optional<FileProbe> probe;
    ExistenceTest& exists = options.exists ? *options.exists : probe.emplace();
    if (!options.lookAhead) {
        ScanResult result = scanProject(*reader, feedback, exists);
        result.fileSize = file.size();
        return result;
    }
    LookAheadFeedback ahead(feedback, *options.lookAhead, exists, options.stop);
    ScanResult result = scanProject(*reader, ahead, ahead);
    result.fileSize = file.size();
    if (result.stopped)
        ahead.abandon();
    else if (!ahead.finish())
        result.stopped = true; // the scan had read to its end; its report had not
    return result;
}

namespace {

// The editor's layout versions sit just above 0x200 (its 2.x releases), and
// the oldest layout is read for anything below 512: a version whose high
// byte is not 1, 2 or 3 is none the editor wrote.
constexpr std::uint16_t kLeastPlausibleVersion = 0x100;
constexpr std::uint16_t kMostPlausibleVersion = 0x3FF;

// A real project cut short claims no more than the whole file held, and a
// cut rarely leaves less than a sixty-fourth of it; counts made of text or
// noise claim gigabytes.
constexpr std::uint64_t kClaimFactor = 64;
constexpr std::uint64_t kLeastImplausibleClaim = 1024 * 1024;

// Why a damaged file cannot be a project at all; empty when it may be one.
std::string notAProjectBecause(const ScanResult& result)
{
    if (result.readError != 0)
        return {}; // not all of it was seen
    if (result.bytesRead == 0)
        return message("it is empty");
    if (result.bytesRead >= sizeof result.version &&
        (result.version < kLeastPlausibleVersion || result.version > kMostPlausibleVersion))
        return fillMessage("its layout version, %1, is far outside the editor's", {std::to_string(result.version)});
    if (result.claimedBytes > std::max(kClaimFactor * result.bytesRead, kLeastImplausibleClaim))
        return fillMessage("its counts claim far more records than its %1 bytes can hold",
                           {std::to_string(result.bytesRead)});
    return {};
}

} // namespace

std::string describeDamage(const ScanResult& result)
{
    if (!result.damaged)
        return {};
    if (const std::string why = notAProjectBecause(result); !why.empty())
        return fillMessage("The file does not look like a RexEdit project: %1.", {why});
    const ReadLocation& at = result.endedAt;
    std::string where;
    if (std::strcmp(at.section, "header") == 0)
        where = message("in its header");
    else if (at.entry == 0)
        where = fillMessage("in the count of the %1 section", {at.section});
    else
        where = fillMessage("in the %1 section, at entry %2 of %3",
                            {at.section, std::to_string(at.entry), std::to_string(at.count)});
    if (result.readError != 0)
        return fillMessage("The project file could not be read to its end (%1); reading stopped %2.",
                           {systemErrorText(result.readError), where});
    return fillMessage("The project file is damaged: it ends %1.", {where});
}

} // namespace korvane
