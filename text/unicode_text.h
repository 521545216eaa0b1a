#pragma once

#include "text/utf8.h"

#include <cstdint>
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

// Simple case folding of one character (the one-character mappings of the
// Unicode case folding data, statuses C and S): capitals fold to their small
// letters (Cherokee small letters to their capitals), final sigma to sigma,
// U+1E9E to ß. Characters whose only folding takes several characters (ß
// itself, the Turkish İ, ligatures) fold to themselves, as do characters
// without case. This is the one notion of case that every comparison of
// names uses.
char32_t foldCase(char32_t c);

// What is done with bytes that start no valid character when names are
// folded.
enum class InvalidBytes {
    replace, // each becomes U+FFFD: names shown or searched as text
    keep,    // each stays as it is, so it equals no character and no other byte
};

// The key by which file names are compared: two names have the same key
// when they differ only in case (foldCase, character by character) or in how
// their characters are composed ("Café" with é as one character or as e and
// a combining accent). The key is the NFC form of the case-folded canonical
// decomposition. ASCII text costs no more than a lower-cased copy.
class MatchKeyMaker {
public:
    explicit MatchKeyMaker(InvalidBytes invalid = InvalidBytes::replace) : invalid_(invalid) {}

    // Appends the key of `utf8` to `out`; allocates nothing once the
    // buffers have grown.
    void append(std::string_view utf8, std::string& out);

private:
    // Appends the key of a name each of whose characters is its own key, or
    // returns false and appends nothing.
    bool appendInert(std::string_view utf8, std::string& out) const;
    void appendRun(std::string& out);

    InvalidBytes invalid_;
    std::vector<std::int32_t> run_;
    std::vector<std::int32_t> work_;
};

// The key of `utf8` with invalid bytes replaced by U+FFFD: how the search
// indexes names, where names that differ only in undecodable bytes share a
// key.
std::string matchKey(std::string_view utf8);

// The key of `utf8` with invalid bytes kept: how the path resolver compares
// names, where two names on disk are never taken for each other. For valid
// UTF-8 it is exactly matchKey.
std::string foldCase(std::string_view utf8);
// foldCase(utf8) into `out`, replacing what it held; `out` keeps its memory.
void foldCaseInto(std::string& out, std::string_view utf8);

} // namespace korvane
