#pragma once

#include "search/file_index.h"
#include "search/missing_decision.h"
#include "search/missing_match.h"

#include <vector>

namespace korvane {

// Adds to each match whose stored name was remembered
// (DecisionOptions::remembered), and none of whose candidates has the size
// remembered, the files of the index under other names that hold what was
// remembered: the file renamed, first among its candidates, as
// MatchKind::SameContent. The files of the index are stat'ed once for their
// sizes (with DecisionOptions::contentOf, measured), and only when some
// match needs it; only files of a remembered size are read.
void addRenamedFiles(const FileIndex& index, std::vector<MissingMatch>& matches, const DecisionOptions& options);

} // namespace korvane
