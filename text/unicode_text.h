#pragma once

#include "text/utf8.h"

#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// The characters of UTF-8 text. A byte that starts no valid character
// (stray continuation bytes, overlong forms, surrogates, values past
// U+10FFFF, a character cut short) becomes one U+FFFD, and decoding goes on
// with the next byte.
void decodeUtf8(std::string_view bytes, std::vector<char32_t>& out);

// `bytes` with every byte that starts no valid character replaced by U+FFFD:
// what file names on disk look like when they have to be shown as text.
std::string toValidUtf8(std::string_view bytes);

// Unicode Normalization Form C: canonical decomposition, canonical order,
// canonical composition. Invalid bytes become U+FFFD first.
std::string toNfc(std::string_view utf8);

// The key by which file names are compared: two names have the same key
// when they differ only in case (simple case folding) or in how their
// characters are composed ("Café" with é as one character or as e and a
// combining accent). The key is the NFC form of the case-folded canonical
// decomposition; invalid bytes become U+FFFD, so names that differ only in
// undecodable bytes share a key. ASCII text costs no more than a copy.
std::string matchKey(std::string_view utf8);

// matchKey without allocating once its buffers are grown: for indexing
// many names.
class MatchKeyMaker {
public:
    // Appends the key of `utf8` to `out`.
    void append(std::string_view utf8, std::string& out);

private:
    std::vector<char32_t> characters_;
    std::vector<char32_t> folded_;
    std::vector<char32_t> decomposed_;
};

} // namespace korvane
