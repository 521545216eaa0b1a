// The find-first search's rules for `*` and `?`.

#include "text/find_first_pattern.h"

#include "text/ascii.h"

#include <vector>

namespace korvane {

namespace {

// The find-first search rewrites its pattern before matching: `?` becomes a
// question mark that stops at dots and the end, `.` before a wildcard or at
// the end becomes a dot that may also match the end, and `*` before a `.`
// becomes a star that stops at the last dot.
enum class Token : unsigned char { Literal, Star, DosStar, DosQm, DosDot };

struct PatternItem {
    Token token;
    char c;
};

std::vector<PatternItem> compile(std::string_view pattern)
{
    std::vector<PatternItem> items;
    items.reserve(pattern.size());
    for (std::size_t k = 0; k < pattern.size(); ++k) {
        const char c = pattern[k];
        const char next = k + 1 < pattern.size() ? pattern[k + 1] : '\0';
        const bool atEnd = k + 1 == pattern.size();
        if (c == '?')
            items.push_back({Token::DosQm, c});
        else if (c == '*')
            items.push_back({next == '.' ? Token::DosStar : Token::Star, c});
        else if (c == '.' && (next == '?' || next == '*' || atEnd))
            items.push_back({Token::DosDot, c});
        else
            items.push_back({Token::Literal, c});
    }
    return items;
}

} // namespace

bool matchesFindFirst(std::string_view pattern, std::string_view name, bool ignoreCase)
{
    const std::vector<PatternItem> items = compile(pattern);
    const std::size_t p = items.size();
    const std::size_t n = name.size();
    const std::size_t lastDot = name.rfind('.');

    // can[i][k]: items[i..] match name[k..]; filled from the end, one row at a time.
    std::vector<char> next(n + 1, 0), row(n + 1, 0);
    next[n] = 1;
    for (std::size_t i = p; i-- > 0;) {
        const PatternItem item = items[i];
        for (std::size_t k = n + 1; k-- > 0;) {
            bool ok = false;
            switch (item.token) {
            case Token::Literal:
                ok = k < n && (ignoreCase ? asciiLower(name[k]) == asciiLower(item.c) : name[k] == item.c) && next[k + 1];
                break;
            case Token::Star:
                ok = next[k] || (k < n && row[k + 1]);
                break;
            case Token::DosStar:
                ok = next[k] || (k < n && k != lastDot && row[k + 1]);
                break;
            case Token::DosQm:
                ok = (k < n && name[k] != '.') ? next[k + 1] : next[k];
                break;
            case Token::DosDot:
                ok = k == n ? next[k] : (name[k] == '.' && next[k + 1]);
                break;
            }
            row[k] = ok ? 1 : 0;
        }
        std::swap(row, next);
    }
    return next[0] != 0;
}

bool hasWildcard(std::string_view name)
{
    // Two searches for one character each run faster than one for either.
    return name.find('*') != std::string_view::npos || name.find('?') != std::string_view::npos;
}

} // namespace korvane
