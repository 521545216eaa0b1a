#pragma once

// korvane-scan's text of what the catalogue of disks knows of the missing
// files: the section "On disks not connected".

#include "cli/text_options.h"
#include "run/catalogue_lookup.h"
#include "search/missing_search.h"

#include <cstdint>
#include <string>

namespace korvane {

// The day of `seconds` since the epoch, in local time, as YYYY-MM-DD.
std::string dayOf(std::int64_t seconds);

// Each missing file the catalogue knows on a disk not connected now, then
// where: `on disk "LABEL" (not connected), at PATH, last seen on DAY`.
// Empty when there is none.
std::string renderNotConnected(const CatalogueAnswers& answers, const SearchResults& results,
                               const TextOptions& options = {});

} // namespace korvane
