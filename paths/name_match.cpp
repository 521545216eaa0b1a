#include "paths/name_match.h"

#include "text/find_first_pattern.h"
#include "text/utf8.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

namespace korvane {

namespace {

// A character of a folded name, or a byte that is not valid UTF-8 (above
// the range of characters, so it equals no character).
constexpr char32_t kInvalidByte = 0x110000;

std::vector<char32_t> foldedUnits(std::string_view utf8)
{
    std::vector<char32_t> units;
    units.reserve(utf8.size());
    for (std::size_t k = 0; k < utf8.size();) {
        char32_t c = 0;
        const std::size_t length = decodeUtf8At(utf8, k, c);
        if (length == 0) {
            units.push_back(kInvalidByte + static_cast<unsigned char>(utf8[k]));
            ++k;
        } else {
            units.push_back(foldCase(c));
            k += length;
        }
    }
    return units;
}

bool isAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool isPatternCharacter(char32_t c)
{
    return c == '*' || c == '?' || c == '.';
}

} // namespace

char32_t foldCase(char32_t c)
{
    const auto evenUpper = [c] { return (c & 1u) ? c : c + 1; };
    const auto oddUpper = [c] { return (c & 1u) ? c + 1 : c; };
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? c + 0x20 : c;
    if (c < 0x100) {
        if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
            return c + 0x20;
        return c == 0xB5 ? 0x3BC : c; // the micro sign pairs with Greek mu
    }
    if (c < 0x180) {
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149)
            return c;
        if (c == 0x178)
            return 0xFF;
        if (c == 0x17F)
            return 's';
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
            return oddUpper();
        return evenUpper();
    }
    if (c >= 0x386 && c <= 0x3AB) {
        if (c == 0x386)
            return 0x3AC;
        if (c >= 0x388 && c <= 0x38A)
            return c + 37;
        if (c == 0x38C)
            return 0x3CC;
        if (c == 0x38E || c == 0x38F)
            return c + 63;
        if (c >= 0x391 && c != 0x3A2)
            return c + 0x20;
        return c;
    }
    if (c == 0x3C2)
        return 0x3C3; // final sigma
    if (c >= 0x400 && c <= 0x52F) {
        if (c <= 0x40F)
            return c + 0x50;
        if (c <= 0x42F)
            return c + 0x20;
        if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || c >= 0x4D0)
            return evenUpper();
        if (c == 0x4C0)
            return 0x4CF;
        if (c >= 0x4C1 && c <= 0x4CE)
            return oddUpper();
        return c;
    }
    if (c >= 0x531 && c <= 0x556)
        return c + 0x30;
    if ((c >= 0x1E00 && c <= 0x1E95) || (c >= 0x1EA0 && c <= 0x1EFF))
        return evenUpper();
    if (c >= 0x2160 && c <= 0x216F)
        return c + 0x10;
    if (c >= 0x24B6 && c <= 0x24CF)
        return c + 26;
    if (c >= 0xFF21 && c <= 0xFF3A)
        return c + 0x20;
    return c;
}

void foldCaseInto(std::string& out, std::string_view utf8)
{
    out.clear();
    for (std::size_t k = 0; k < utf8.size();) {
        const unsigned char b = static_cast<unsigned char>(utf8[k]);
        if (b < 0x80) {
            out += (b >= 'A' && b <= 'Z') ? static_cast<char>(b + 0x20) : static_cast<char>(b);
            ++k;
            continue;
        }
        char32_t c = 0;
        const std::size_t length = decodeUtf8At(utf8, k, c);
        if (length == 0) {
            out += static_cast<char>(b);
            ++k;
        } else {
            appendUtf8(out, foldCase(c));
            k += length;
        }
    }
}

std::string foldCase(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    foldCaseInto(out, utf8);
    return out;
}

bool matchesIgnoringCase(std::string_view pattern, std::string_view name)
{
    if (isAscii(pattern) && isAscii(name))
        return matchesFindFirst(pattern, name, true);

    // matchesFindFirst works on bytes. Give each folded character of the
    // pattern a byte of its own, and every character of the name that is not
    // in the pattern one shared byte, so that `?` steps over one character.
    const std::vector<char32_t> p = foldedUnits(pattern);
    const std::vector<char32_t> n = foldedUnits(name);
    std::unordered_map<char32_t, char> code;
    unsigned next = 1;
    const auto newCode = [&next]() -> int {
        while (next < 256 && isPatternCharacter(static_cast<char32_t>(next)))
            ++next;
        return next < 256 ? static_cast<int>(next++) : -1;
    };
    std::string mappedPattern, mappedName;
    for (const char32_t c : p) {
        if (isPatternCharacter(c)) {
            mappedPattern += static_cast<char>(c);
            continue;
        }
        auto it = code.find(c);
        if (it == code.end()) {
            const int byte = newCode();
            if (byte < 0) // more distinct characters than bytes: compare the folded bytes
                return matchesFindFirst(foldCase(pattern), foldCase(name), false);
            it = code.emplace(c, static_cast<char>(byte)).first;
        }
        mappedPattern += it->second;
    }
    const int other = newCode();
    if (other < 0)
        return matchesFindFirst(foldCase(pattern), foldCase(name), false);
    for (const char32_t c : n) {
        if (c == '.') {
            mappedName += '.';
        } else {
            const auto it = code.find(c);
            mappedName += it != code.end() ? it->second : static_cast<char>(other);
        }
    }
    return matchesFindFirst(mappedPattern, mappedName, false);
}

} // namespace korvane
