#pragma once

// Small text helpers on ASCII and on English lists.

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

inline bool isAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// A to Z become a to z; every other byte stays.
inline char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// `text` with asciiLower applied to every byte, from `from` on.
inline void lowerAscii(std::string& text, std::size_t from = 0)
{
    for (std::size_t k = from; k < text.size(); ++k)
        text[k] = asciiLower(text[k]);
}

inline bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return asciiLower(x) == asciiLower(y); });
}

// The items as an English list: "D:", "D: and E:", "D:, E: and F:".
inline std::string joinWithAnd(const std::vector<std::string>& items)
{
    std::string out;
    for (std::size_t k = 0; k < items.size(); ++k) {
        if (k > 0)
            out += k + 1 == items.size() ? " and " : ", ";
        out += items[k];
    }
    return out;
}

// `bytes` with every byte but printable ASCII written %XX (upper-case hex),
// `%` too; a space stays itself unless `escapeSpace`.
inline std::string percentEscaped(std::string_view bytes, bool escapeSpace)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= (escapeSpace ? 0x21 : 0x20) && byte <= 0x7E && byte != '%') {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
    }
    return out;
}

} // namespace korvane
