#pragma once

// The note of the closing box about drives and shares without a mapping.
// Plain C++, free of Qt.

#include <string>
#include <vector>

namespace korvane::ui {

// One sentence naming the drives ("D:") and shares ("\\nas\media") that had
// no mapping in a run, so that the user knows their files were listed
// without being looked for; empty when there were none. The command line
// warns of the same roots in a line of its own wording.
std::string unmappedRootsSentence(const std::vector<std::string>& roots);

} // namespace korvane::ui
