#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// Whether stored bytes are a Windows path: a drive letter, a colon and a
// separator (`\` or `/`), or a name that starts with two backslashes or with
// two slashes and a name (a share, `\\server\share\...`, `//server/share/...`).
// Every other name, POSIX paths (`/...`, `///...`) and relative
// names included, is looked for exactly as stored. The bytes looked at are
// ASCII in every code page the decoder accepts, and no lead byte of a
// double-byte code page comes before them.
bool isWindowsPath(std::string_view stored);

// A Windows path taken apart, from its decoded (UTF-8) text.
struct WindowsPath {
    enum class Root {
        Drive,    // "D:"
        Share,    // "\\server\share"
        NotAFile, // a device name space (`\\.\`) or a server without a share
    };
    Root kind = Root::NotAFile;
    // "D:" with the letter in upper case, or "\\server\share" as written,
    // with backslashes; for NotAFile the text up to the first name.
    std::string root;
    // The names below the root, split on `\` and `/` and normalised as the
    // system did before a search: empty names and `.` dropped, `..` taking
    // away the name before it (never the root), and trailing dots and spaces
    // of the last name dropped unless it holds a wildcard.
    std::vector<std::string> names;
    // Why a find-first search for this path finds nothing without looking:
    // a trailing separator, a bare root, a wildcard above the last name, a
    // reserved device name. Empty when the search has to look.
    std::string findsNothing;
};

// Takes apart the decoded text of a name for which isWindowsPath holds (or
// which starts like one); nothing for any other text. A `\\?\` or `\\.\`
// prefix in front of a drive or of `UNC\server\share` is dropped.
std::optional<WindowsPath> splitWindowsPath(std::string_view text);

// NUL, CON, PRN, AUX, COM1 to COM9 and LPT1 to LPT9 in any case, also with
// an extension or trailing spaces before it ("nul.txt", "COM1 .avi"): names
// the system opened as devices, never as files.
bool isReservedDeviceName(std::string_view name);

inline bool isPathSeparator(char c)
{
    return c == '\\' || c == '/';
}

inline bool isAsciiLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

inline char upperAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// The text up to the next `\` or `/`; `text` moves behind that separator
// (or to its end).
inline std::string_view takePathName(std::string_view& text)
{
    std::size_t end = 0;
    while (end < text.size() && !isPathSeparator(text[end]))
        ++end;
    const std::string_view name = text.substr(0, end);
    text.remove_prefix(end < text.size() ? end + 1 : end);
    return name;
}

// Appends the names of `text` split on `\` and `/` as the system did before
// a search: empty names and `.` dropped, `..` taking away the name before it
// (never one that `names` held before).
void appendPathNames(std::string_view text, std::vector<std::string>& names);

// Whether `name` holds `*` or `?`.
bool containsWildcard(std::string_view name);

} // namespace korvane
