#include "paths/name_match.h"

#include "text/ascii.h"
#include "text/find_first_pattern.h"
#include "text/utf8.h"

#include <unordered_map>
#include <vector>

namespace korvane {

namespace {

// A character of a folded name, or a byte that is not valid UTF-8 (above
// the range of characters, so it equals no character).
constexpr char32_t kInvalidByte = 0x110000;

// The characters of a name's folded form; foldCase keeps invalid bytes, so
// they come back here as themselves.
std::vector<char32_t> foldedUnits(std::string_view utf8)
{
    const std::string folded = foldCase(utf8);
    std::vector<char32_t> units;
    units.reserve(folded.size());
    for (std::size_t k = 0; k < folded.size();) {
        char32_t c = 0;
        const std::size_t length = decodeUtf8At(folded, k, c);
        if (length == 0) {
            units.push_back(kInvalidByte + static_cast<unsigned char>(folded[k]));
            ++k;
        } else {
            units.push_back(c);
            k += length;
        }
    }
    return units;
}

bool isPatternCharacter(char32_t c)
{
    return c == '*' || c == '?' || c == '.';
}

} // namespace

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
