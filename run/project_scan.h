#pragma once

#include "fs/folder_reader.h"
#include "paths/path_resolver.h"
#include "report/missing_report.h"
#include "scanner/scan.h"
#include "search/missing_match.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// One project of a run: its own resolver (the run's mappings and code page,
// with what this project looked up), and once scanned, how the scan ended
// and, when asked for, its report as data. Made by Run::project; moving it
// keeps the resolver where it is, so a sink may hold on to it.
class ProjectScan {
public:
    ProjectScan(ProjectScan&&) noexcept;
    ProjectScan& operator=(ProjectScan&&) noexcept;
    ~ProjectScan();

    const std::string& file() const { return file_; }
    // How the scan ended; empty (not opened) before the scan.
    const ScanResult& result() const { return result_; }
    // The project's resolver: the scan's existence test, the decoder of its
    // names, what --explain says of each, and the notes after the run.
    PathResolver& resolver() { return *resolver_; }
    const PathResolver& resolver() const { return *resolver_; }
    // The report as data, when the scan collected it (empty otherwise).
    const MissingReport& report() const { return report_; }
    // Each distinct missing path once, in report order: decoded in the
    // project's code page, and with the code page it was read in where that
    // matters. What a search looks for.
    std::vector<MissingFile> missingFiles() const;
    // The drives and shares this project's Windows paths named and no
    // mapping covered, in the order met.
    const std::vector<std::string>& unmappedRoots() const { return resolver_->unmappedRoots(); }
    // The sentence about names found only in the other code page; empty
    // when there are none.
    std::string otherCodePageNote() { return korvane::otherCodePageNote(*resolver_); }

private:
    friend class Run;
    ProjectScan(std::string file, std::unique_ptr<FolderReader> ownDisk, PathResolver resolver, bool lookAhead);

    std::string file_;
    std::unique_ptr<FolderReader> ownDisk_; // a disk read afresh (Run::freshProject); before the resolver
    std::unique_ptr<PathResolver> resolver_;
    bool lookAhead_ = true; // whether the run's lookups may answer for it
    ScanResult result_;
    MissingReport report_;
};

} // namespace korvane
