#pragma once

#include "paths/path_resolver.h"

#include <stdexcept>
#include <string_view>
#include <vector>

namespace korvane::testkit {

// A resolver over the given mappings only: no configuration file, Wine
// prefix or WSL drives of the machine running the tests.
inline PathResolver makeResolver(const std::vector<DriveMapping>& mappings, std::string_view codePage = kAutoCodePage)
{
    DriveMap drives;
    drives.add(mappings);
    std::optional<TextDecoder> decoder = TextDecoder::open(codePage);
    if (!decoder)
        throw std::invalid_argument("unknown code page");
    return PathResolver(std::move(drives), std::move(*decoder));
}

} // namespace korvane::testkit
