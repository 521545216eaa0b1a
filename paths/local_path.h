#pragma once

// Local paths made from a folder and stored names, and names shown inside
// the resolver's explanations.

#include "text/terminal_quote.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// `dir` and `name` with one slash between them.
inline std::string childPath(const std::string& dir, std::string_view name)
{
    std::string path = dir;
    if (path.empty() || path.back() != '/')
        path += '/';
    path += name;
    return path;
}

// childPath(dir, name) into `out`, which keeps its memory.
inline void assignChildPath(std::string& out, const std::string& dir, std::string_view name)
{
    out.assign(dir);
    if (out.empty() || out.back() != '/')
        out += '/';
    out += name;
}

// `dir` followed by names[from..to).
inline std::string joinPath(const std::string& dir, const std::vector<std::string>& names, std::size_t from,
                            std::size_t to)
{
    std::string path = dir;
    for (std::size_t k = from; k < to; ++k)
        path = childPath(path, names[k]);
    return path;
}

// A name inside an explanation: in double quotes, or as quoteName shows it
// when it needs quoting.
inline std::string inQuotes(std::string_view text)
{
    if (needsQuoting(text))
        return quoteName(text);
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    out += text;
    out += '"';
    return out;
}

} // namespace korvane
