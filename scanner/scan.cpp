// The scan driver: the header, then the sections in their fixed order, some
// of them only from a given layout version on.

#include "scanner/scan.h"

#include "report/progress.h"
#include "scanner/project_file.h"

#include <cstring>
#include <memory>

namespace korvane {

namespace {

constexpr std::uint16_t kEffectsAndTitlesFrom = 512; // 0x200
constexpr std::uint16_t kLongerHeaderFrom = 517;     // 0x205
constexpr std::uint16_t kFiltersFrom = 519;          // 0x207

// The progress budget of each section; 200 in all on both sides of the
// version-512 gate.
constexpr int kMainAVSteps = 40;
constexpr int kInsertAVSteps = 20;
constexpr int kExAudioSteps = 10;
constexpr int kEffectSteps = 20;
constexpr int kTitleSteps = 60;
constexpr int kBinWindowSteps = 40;
static_assert(kMainAVSteps + kInsertAVSteps + 2 * kExAudioSteps + kEffectSteps + kTitleSteps + kBinWindowSteps ==
              kProgressSteps);

// Reads a section's count, unless the main track is empty: then the count
// is not in the file and the section is empty.
std::int32_t readSectionCount(ProjectReader& reader, std::int32_t mainCount, const char* section)
{
    if (mainCount == 0)
        return 0;
    reader.mark(section);
    return reader.readS32();
}

} // namespace

ScanResult scanProject(ProjectReader& reader, ScanFeedback& feedback)
{
    ScanResult result;
    result.opened = true;

    reader.mark("header");
    const std::uint16_t version = reader.readU16();
    result.version = version;
    reader.skip(2);
    const std::int32_t binCount = reader.readS32();
    const std::int32_t mainCount = reader.readS32();
    reader.skip(4);
    if (version >= kLongerHeaderFrom)
        reader.skip(4);
    if (version >= kFiltersFrom)
        reader.skip(4);

    feedback.appendReport("[MainAV]\r\n");
    if (mainCount != 0)
        scanMainAV(reader, feedback, mainCount);
    else
        stepProgress(feedback, kMainAVSteps);

    feedback.appendReport("[InsertAV]\r\n");
    const std::int32_t insertCount = readSectionCount(reader, mainCount, "InsertAV");
    if (mainCount != 0)
        scanInsertAV(reader, feedback, insertCount);
    if (insertCount == 0)
        stepProgress(feedback, kInsertAVSteps);

    feedback.appendReport("[ExAudio1]\r\n");
    const std::int32_t exAudio1Count = readSectionCount(reader, mainCount, "ExAudio1");
    if (mainCount != 0)
        scanExAudio(reader, feedback, exAudio1Count, "ExAudio1");
    if (exAudio1Count == 0)
        stepProgress(feedback, kExAudioSteps);

    feedback.appendReport("[ExAudio2]\r\n");
    const std::int32_t exAudio2Count = readSectionCount(reader, mainCount, "ExAudio2");
    if (mainCount != 0)
        scanExAudio(reader, feedback, exAudio2Count, "ExAudio2");
    if (exAudio2Count == 0)
        stepProgress(feedback, kExAudioSteps);

    if (version >= kEffectsAndTitlesFrom) {
        // The effects refer to no files and have no heading.
        const std::int32_t effectCount = readSectionCount(reader, mainCount, "Effect");
        if (mainCount != 0)
            scanEffect(reader, feedback, effectCount);
        if (effectCount == 0)
            stepProgress(feedback, kEffectSteps);

        feedback.appendReport("[Title]\r\n");
        const std::int32_t titleCount = readSectionCount(reader, mainCount, "Title");
        if (mainCount != 0)
            scanTitle(reader, feedback, titleCount, version);
        if (titleCount == 0)
            stepProgress(feedback, kTitleSteps);
    } else {
        stepProgress(feedback, kEffectSteps + kTitleSteps);
    }

    if (version >= kFiltersFrom) {
        // The clip counts again, taken unsigned; no count of their own.
        scanFilterVisual(reader, feedback, static_cast<std::uint32_t>(mainCount), "FilterVisual of MainAV");
        scanFilterVisual(reader, feedback, static_cast<std::uint32_t>(insertCount), "FilterVisual of InsertAV");
        scanFilterAudio(reader, feedback, static_cast<std::uint32_t>(exAudio1Count), "FilterAudio of ExAudio1");
        scanFilterAudio(reader, feedback, static_cast<std::uint32_t>(exAudio2Count), "FilterAudio of ExAudio2");
    }

    feedback.appendReport("[BinWindow]\r\n");
    scanBinWindow(reader, feedback, binCount);
    stepProgress(feedback, kBinWindowSteps);

    feedback.setStatus("");

    result.damaged = reader.passedEnd();
    result.endedAt = reader.endLocation();
    result.readError = reader.readError();
    return result;
}

ScanResult runScan(const std::string& path, ScanFeedback& feedback)
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
    return scanProject(*reader, feedback);
}

std::string describeDamage(const ScanResult& result)
{
    if (!result.damaged)
        return {};
    const ReadLocation& at = result.endedAt;
    std::string where;
    if (std::strcmp(at.section, "header") == 0)
        where = "in its header";
    else if (at.entry == 0)
        where = std::string("in the count of the ") + at.section + " section";
    else
        where = std::string("in the ") + at.section + " section, at entry " + std::to_string(at.entry) + " of " +
                std::to_string(at.count);
    if (result.readError != 0)
        return "The project file could not be read to its end (" + std::string(std::strerror(result.readError)) +
               "); reading stopped " + where + ".";
    return "The project file is damaged: it ends " + where + ".";
}

} // namespace korvane
