#pragma once

// The words of the system for an errno value, always in English (the C
// locale's), whatever locale the program runs in: they go into reports,
// JSON documents and journals, which read the same under every locale.

#include <string>

namespace korvane {

std::string systemErrorText(int error);

} // namespace korvane
