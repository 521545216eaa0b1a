#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace korvane {

// Decodes the UTF-8 character at text[k] into c; returns its length, or 0
// when no valid character starts there (overlong forms, surrogates and
// values past U+10FFFF are not valid).
std::size_t decodeUtf8At(std::string_view text, std::size_t k, char32_t& c);

// Appends c, a character up to U+10FFFF, in UTF-8.
void appendUtf8(std::string& out, char32_t c);

} // namespace korvane
