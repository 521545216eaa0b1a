#pragma once

// The text of the box that closes a run which was not stopped: that it
// completed, or why the file could not be opened, and what the user should
// know of the run.

#include "paths/run_setup.h"
#include "run/project_scan.h"
#include "run/remembering.h"

#include <QString>

#include <vector>

namespace korvane::ui {

// "completed" and the project, then the damage found, the drives and
// shares without a mapping, the names found only in the other code page and
// the settings' warnings (the run's), each after an empty line; or "Can not
// open dvc file" and the system's reason. `shownName` is the project as the
// path box names it.
QString closingText(ProjectScan& project, const QString& shownName, const std::vector<SetupWarning>& warnings);

// What the closing box adds after a scan whose present media were
// remembered in the catalogue of disks: how many, those that changed since
// they were last seen, or why they could not be remembered; after an
// empty line.
QString rememberedText(const MemoryAnswers& memory);

} // namespace korvane::ui
