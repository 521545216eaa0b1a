#pragma once

// The text of the box that closes a run which was not stopped: that it
// completed, or why the file could not be opened, and what the user should
// know of the run.

#include "paths/path_resolver.h"
#include "paths/run_setup.h"
#include "scanner/scan.h"

#include <QString>

#include <string>
#include <vector>

namespace korvane::ui {

// "completed" and the project, then the damage found, the drives and
// shares without a mapping, the names found only in the other code page and
// the settings' warnings, each after an empty line; or "Can not open dvc
// file" and the system's reason. `resolver` is the run's.
QString closingText(const ScanResult& result, const QString& project, PathResolver& resolver,
                    const std::vector<SetupWarning>& warnings);

} // namespace korvane::ui
