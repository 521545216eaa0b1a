#include "ui/scanned_project.h"

#include <utility>

namespace korvane::ui {

ScannedProject::ScannedProject(std::unique_ptr<Run> run, ProjectScan project)
    : run_(std::move(run)), project_(std::move(project))
{
}

const std::vector<MissingFile>& ScannedProject::missing() const
{
    const std::lock_guard lock(mutex_);
    if (!missing_)
        missing_ = project_.missingFiles();
    return *missing_;
}

std::string ScannedProject::decoded(std::string_view stored) const
{
    const std::lock_guard lock(mutex_);
    return project_.resolver().decoded(stored);
}

} // namespace korvane::ui
