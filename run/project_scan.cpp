#include "run/project_scan.h"

namespace korvane {

ProjectScan::ProjectScan(std::string file, std::unique_ptr<FolderReader> ownDisk, PathResolver resolver,
                         bool lookAhead)
    : file_(std::move(file)), ownDisk_(std::move(ownDisk)),
      resolver_(std::make_unique<PathResolver>(std::move(resolver))), lookAhead_(lookAhead)
{
}

ProjectScan::ProjectScan(ProjectScan&&) noexcept = default;
ProjectScan& ProjectScan::operator=(ProjectScan&&) noexcept = default;
ProjectScan::~ProjectScan() = default;

std::vector<MissingFile> ProjectScan::missingFiles() const
{
    PathResolver& resolver = *resolver_;
    std::vector<MissingFile> missing =
        korvane::missingFiles(report_.distinctStored(), [&](std::string_view stored) { return resolver.decoded(stored); });
    for (MissingFile& file : missing)
        file.codePage = resolver.codePageOf(file.stored);
    return missing;
}

} // namespace korvane
