#pragma once

#include "fs/existence_test.h"
#include "fs/look_ahead.h"
#include "report/scan_feedback.h"
#include "scanner/file_checks.h"
#include "scanner/project_reader.h"
#include "scanner/sections.h"

#include <cstdint>
#include <stop_token>
#include <string>

namespace korvane {

// How a run ended.
struct ScanResult {
    bool opened = false;
    std::string openError;    // why the file could not be opened
    std::uint64_t fileSize = 0; // of the file opened, in bytes
    std::uint16_t version = 0;
    bool damaged = false;     // the file ended (or could not be read) before its layout did
    ReadLocation endedAt;     // where, when damaged
    int readError = 0;        // the system's error number when a read failed
    std::uint64_t bytesRead = 0;    // read by the scan: the whole file, when it ended early without a read error
    std::uint64_t claimedBytes = 0; // the least the records its counts claim would take
    bool stopped = false;     // a stop was asked for: the report ends before the layout does

    explicit operator bool() const { return opened; }
};

struct ScanOptions {
    // Once a stop is requested the scan ends at the next entry boundary (so
    // the report ends with a whole line) and says it was stopped.
    std::stop_token stop{};
    // Whether a referenced file exists. Not owned; null: findFirst, each
    // distinct name once (FileProbe).
    ExistenceTest* exists = nullptr;
    // Where existence tests are started ahead of the scan, so that many are
    // under way at once (see LookAheadFeedback): the feedback hears the same
    // events in the same order. Not owned; null: each test in its turn.
    LookAhead* lookAhead = nullptr;
};

// Opens the project read-only, without blocking and under a shared lock
// (see ProjectFile), then resets the progress, empties the report and scans.
// A file that cannot be opened touches nothing of the feedback.
ScanResult runScan(const std::string& path, ScanFeedback& feedback);
ScanResult runScan(const std::string& path, ScanFeedback& feedback, const ScanOptions& options);

// Walks the project from its first byte: header, sections in file order;
// stops early when the reader's stop is set (ProjectReader::setStop). Each
// referenced file goes to `checks`; the first form tests each in its turn
// with `exists`.
ScanResult scanProject(ProjectReader& reader, ScanFeedback& feedback, ExistenceTest& exists);
ScanResult scanProject(ProjectReader& reader, ScanFeedback& feedback, FileChecks& checks);

// One plain sentence that says where a damaged file ended, or, when its
// header cannot be a project's, that it does not look like one.
std::string describeDamage(const ScanResult& result);

// The section readers. Each leaves the reader right behind its last record.
// Where one reads several sections, `section` says which.
void scanMainAV(ProjectReader& reader, ScanFeedback& feedback, FileChecks& checks, std::int32_t count);
void scanInsertAV(ProjectReader& reader, ScanFeedback& feedback, FileChecks& checks, std::int32_t count);
void scanExAudio(ProjectReader& reader, ScanFeedback& feedback, FileChecks& checks, std::int32_t count,
                 SectionId section);
void scanBinWindow(ProjectReader& reader, ScanFeedback& feedback, FileChecks& checks, std::int32_t count);
void scanEffect(ProjectReader& reader, ScanFeedback& feedback, std::int32_t count);
void scanTitle(ProjectReader& reader, ScanFeedback& feedback, FileChecks& checks, std::int32_t count,
               std::uint16_t version);
void scanFilterVisual(ProjectReader& reader, ScanFeedback& feedback, std::uint32_t clipCount, SectionId section);
void scanFilterAudio(ProjectReader& reader, ScanFeedback& feedback, std::uint32_t clipCount, SectionId section);

} // namespace korvane
