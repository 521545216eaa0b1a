#pragma once

#include <string>
#include <string_view>

namespace korvane {

// "WHAT PATH: REASON", the path quoted and the reason in the C locale's
// words: what a step of putting back or undoing says when it fails.
std::string failure(std::string_view what, const std::string& path, int error);

} // namespace korvane
