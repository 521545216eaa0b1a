#pragma once

#include "cli/json_writer.h"
#include "cli/text_options.h"
#include "run/remembering.h"

#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// "Changed since last seen": each present file that is not what was
// remembered of it, as its stored name reads (see readableName), and
// indented under it why: "size 1048576, was 2097152" or "same size, other
// content".
std::string renderChanged(const std::vector<ChangedSinceSeen>& changed, const TextOptions& options = {});

// The same as the JSON document's "changed" array: stored (escaped as
// escapeStoredBytes does), decoded, path, size, was_size and reason
// ("size" or "content").
void writeChanged(JsonWriter& json, const std::vector<ChangedSinceSeen>& changed);

} // namespace korvane
