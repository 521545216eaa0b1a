#include "paths/windows_path.h"

#include "text/ascii.h"
#include "text/terminal_quote.h"

#include <array>

namespace korvane {

namespace {

bool startsWithDrive(std::string_view text)
{
    return text.size() >= 3 && isAsciiLetter(text[0]) && text[1] == ':' && isPathSeparator(text[2]);
}

// `\\server\share` as the system writes it, or `//server/share`, which it
// takes for the same share. A name with three slashes in front
// (`///home/...`) stays a POSIX path.
bool startsWithShare(std::string_view text)
{
    return text.starts_with("\\\\") || (text.starts_with("//") && text.size() > 2 && !isPathSeparator(text[2]));
}

void normalise(std::string_view rest, WindowsPath& path)
{
    const bool trailingSeparator = !rest.empty() && isPathSeparator(rest.back());
    appendPathNames(rest, path.names);
    if (path.names.empty()) {
        path.findsNothing = "a bare root names no file";
        return;
    }
    if (trailingSeparator) {
        path.findsNothing = "the name ends in a separator";
        return;
    }
    std::string& last = path.names.back();
    if (!containsWildcard(last)) {
        while (!last.empty() && (last.back() == '.' || last.back() == ' '))
            last.pop_back();
        if (last.empty()) {
            path.findsNothing = "the last name is nothing but dots and spaces";
            return;
        }
    }
    for (std::size_t k = 0; k + 1 < path.names.size(); ++k) {
        if (containsWildcard(path.names[k])) {
            path.findsNothing = "wildcards are allowed in the last name only";
            return;
        }
    }
    for (const std::string& name : path.names) {
        if (isReservedDeviceName(name)) {
            path.findsNothing = quoteName(name) + " is a reserved device name";
            return;
        }
    }
}

} // namespace

void appendPathNames(std::string_view text, std::vector<std::string>& names)
{
    const std::size_t first = names.size();
    while (!text.empty()) {
        const std::string_view name = takePathName(text);
        if (name.empty() || name == ".")
            continue;
        if (name == "..") {
            if (names.size() > first)
                names.pop_back();
            continue;
        }
        names.emplace_back(name);
    }
}

bool containsWildcard(std::string_view name)
{
    return name.find_first_of("*?") != std::string_view::npos;
}

bool isWindowsPath(std::string_view stored)
{
    return startsWithDrive(stored) || startsWithShare(stored);
}

std::optional<WindowsPath> splitWindowsPath(std::string_view text)
{
    WindowsPath path;
    if (startsWithDrive(text)) {
        path.kind = WindowsPath::Root::Drive;
        path.root = {upperAscii(text[0]), ':'};
        normalise(text.substr(3), path);
        return path;
    }
    if (!startsWithShare(text))
        return std::nullopt;

    std::string_view rest = text.substr(2);
    if (rest.size() >= 2 && (rest[0] == '?' || rest[0] == '.') && isPathSeparator(rest[1])) {
        // The name spaces in front of a drive or a share: \\?\D:\..., \\?\UNC\server\share\...
        const std::string_view inner = rest.substr(2);
        if (startsWithDrive(inner))
            return splitWindowsPath(inner);
        std::string_view afterUnc = inner;
        if (equalsIgnoringAsciiCase(takePathName(afterUnc), "UNC") && inner.size() > 3 && isPathSeparator(inner[3])) {
            std::optional<WindowsPath> share = splitWindowsPath("\\\\" + std::string(afterUnc));
            if (share && share->kind == WindowsPath::Root::Share)
                return share;
        }
        path.root = text.substr(0, 4);
        path.findsNothing = "device names are never opened";
        return path;
    }

    const std::string_view server = takePathName(rest);
    const std::string_view share = takePathName(rest);
    if (server.empty() || share.empty()) {
        path.root = text;
        path.findsNothing = "a server name without a share names no file";
        return path;
    }
    path.kind = WindowsPath::Root::Share;
    path.root = "\\\\" + std::string(server) + "\\" + std::string(share);
    normalise(rest, path);
    return path;
}

bool isReservedDeviceName(std::string_view name)
{
    std::string_view base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ')
        base.remove_suffix(1);
    static constexpr std::array<std::string_view, 4> plain = {"NUL", "CON", "PRN", "AUX"};
    for (const std::string_view device : plain) {
        if (equalsIgnoringAsciiCase(base, device))
            return true;
    }
    return base.size() == 4 && (equalsIgnoringAsciiCase(base.substr(0, 3), "COM") ||
                                equalsIgnoringAsciiCase(base.substr(0, 3), "LPT")) &&
           base[3] >= '1' && base[3] <= '9';
}

} // namespace korvane
