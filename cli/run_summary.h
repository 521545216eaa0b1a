#pragma once

#include "cli/project_list.h"
#include "cli/project_run.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvane {

// The severity rule of a run of several projects: the highest of the
// projects' statuses, 0 nothing missing < 1 missing < 2 could not be read
// < 3 damaged.
int combinedStatus(int a, int b);

// The summary after the reports, each line ended by `lineEnd`: a blank
// line, "Summary", one line for each project ("missing 12  FILE", "ok 0
// FILE", "damaged 3  FILE", "cannot-open -  FILE"), one for each folder that
// could not be read ("cannot-read -  FOLDER") or held no project
// ("no-projects -  FOLDER"), then the totals ("total 15  4 projects: 1 ok,
// 1 missing, 1 damaged, 1 cannot-open"). Names as quoteName shows them.
class RunSummary {
public:
    void add(const std::string& file, const ProjectOutcome& outcome);
    std::string render(const ProjectList& list, std::string_view lineEnd) const;

private:
    std::vector<std::pair<std::string, ProjectOutcome>> projects_;
};

// The line before each project's part of stdout: "==> FILE <==", FILE as
// quoteName shows it, so that no name can end the line or forge another.
std::string projectHeading(const std::string& file, std::string_view lineEnd);

} // namespace korvane
