#include "report/missing_collector.h"

namespace korvane {

void MissingCollector::beginSection(std::string_view name)
{
    inner_.beginSection(name);
    report_.addSection(name);
}

void MissingCollector::missingFile(std::string_view path)
{
    inner_.missingFile(path);
    report_.addMissing(path);
}

void MissingCollector::fileChecked(std::string_view path, bool found)
{
    // The inner sink renders the test its own way (the trace names every
    // test) and hears missingFile from there.
    inner_.fileChecked(path, found);
    if (!found)
        report_.addMissing(path);
    else if (keepPresent_)
        report_.addPresent(path);
}

void MissingCollector::clearReport()
{
    inner_.clearReport();
    report_.clear();
}

} // namespace korvane
