#pragma once

#include <cstdint>
#include <string_view>

namespace korvane {

// The keys by which the catalogue finds a file by its name and the name of
// the folder it is in: hashes of the names folded as the path resolver
// compares names (case and composition do not count; bytes that are not
// UTF-8 stay themselves). Stores keep them in their indexes, so they must
// never change: FNV-1a over text/'s foldCase. Different names may share a
// key; a look-up compares the names themselves.

// The key of the last name of the folder path `folder` ("a/b/c": of "c";
// "" for the root of a volume): 31 bits, so that a row holds it in 4 bytes.
std::uint32_t folderNameKey(std::string_view folder);

// The key of a file named `name` in a folder of the key `folderKey`.
std::uint64_t fileNameKey(std::uint32_t folderKey, std::string_view name);

} // namespace korvane
