#pragma once

#include <cstdint>
#include <string_view>

namespace korvane {

// The 64-bit key by which the catalogue finds files by name: a hash of the
// name folded as the path resolver compares names (case and composition do
// not count; bytes that are not UTF-8 stay themselves). Stores keep it in
// their indexes, so it must never change: FNV-1a over text/'s foldCase.
// Different names may share a key; a look-up compares the names themselves.
std::uint64_t nameKeyHash(std::string_view name);

} // namespace korvane
