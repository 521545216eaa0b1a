#include "text/terminal_quote.h"

#include "text/utf8.h"

namespace korvane {

namespace {

// The length of the character at name[k] when it may be shown as it is, 0
// when its bytes must be escaped.
std::size_t plainAt(std::string_view name, std::size_t k)
{
    const auto byte = static_cast<unsigned char>(name[k]);
    if (byte < 0x80)
        return byte >= 0x20 && byte != 0x7F ? 1 : 0;
    char32_t c = 0;
    const std::size_t length = decodeUtf8At(name, k, c);
    return length > 0 && !isHiddenControl(c) ? length : 0;
}

void appendEscaped(std::string& out, unsigned char byte)
{
    static constexpr char kHex[] = "0123456789abcdef";
    switch (byte) {
    case '\a': out += "\\a"; return;
    case '\b': out += "\\b"; return;
    case '\t': out += "\\t"; return;
    case '\n': out += "\\n"; return;
    case '\v': out += "\\v"; return;
    case '\f': out += "\\f"; return;
    case '\r': out += "\\r"; return;
    case 0x1B: out += "\\e"; return;
    default:
        out += "\\x";
        out += kHex[byte >> 4];
        out += kHex[byte & 15];
    }
}

} // namespace

bool isHiddenControl(char32_t c)
{
    return (c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029 || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

bool needsQuoting(std::string_view name)
{
    if (name.starts_with("$'"))
        return true;
    for (std::size_t k = 0; k < name.size();) {
        const std::size_t length = plainAt(name, k);
        if (length == 0)
            return true;
        k += length;
    }
    return false;
}

std::string quoteName(std::string_view name)
{
    if (!needsQuoting(name))
        return std::string(name);
    std::string out = "$'";
    out.reserve(name.size() + name.size() / 2 + 3);
    for (std::size_t k = 0; k < name.size();) {
        const std::size_t length = plainAt(name, k);
        if (length == 0) {
            appendEscaped(out, static_cast<unsigned char>(name[k]));
            ++k;
            continue;
        }
        if (name[k] == '\\' || name[k] == '\'')
            out += '\\';
        out.append(name, k, length);
        k += length;
    }
    out += '\'';
    return out;
}

} // namespace korvane
