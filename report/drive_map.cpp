#include "report/drive_map.h"

#include "report/name_match.h"
#include "report/windows_path.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>

namespace korvane {

namespace fs = std::filesystem;

namespace {

// Where a dosdevices link points: its target when that resolves, else the
// link's own text, taken from the dosdevices folder when relative.
std::string linkTarget(const fs::path& link)
{
    std::error_code ec;
    const fs::path resolved = fs::canonical(link, ec);
    if (!ec)
        return resolved.string();
    const fs::path target = fs::read_symlink(link, ec);
    if (ec)
        return link.string();
    return (target.is_absolute() ? target : link.parent_path() / target).lexically_normal().string();
}

bool existsAsEntry(const fs::path& p)
{
    std::error_code ec;
    return fs::symlink_status(p, ec).type() != fs::file_type::not_found && !ec;
}

std::string withoutTrailingSlashes(std::string folder)
{
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

} // namespace

std::string_view describe(MappingSource source)
{
    switch (source) {
    case MappingSource::Explicit:
        return "--map";
    case MappingSource::ConfigFile:
        return "configuration file";
    case MappingSource::Wine:
        return "Wine prefix";
    case MappingSource::Wsl:
        return "WSL";
    }
    return "";
}

std::optional<std::string> canonicalRoot(std::string_view root)
{
    if (!root.empty() && isAsciiLetter(root[0])) {
        std::string_view rest = root.substr(1);
        if (rest.starts_with(':'))
            rest.remove_prefix(1);
        else if (!rest.empty())
            return std::nullopt;
        if (rest.size() > 1 || (rest.size() == 1 && !isPathSeparator(rest[0])))
            return std::nullopt;
        return std::string{upperAscii(root[0]), ':'};
    }
    if (root.size() < 2 || !isPathSeparator(root[0]) || !isPathSeparator(root[1]))
        return std::nullopt;
    std::string_view rest = root.substr(2);
    if (!rest.empty() && isPathSeparator(rest.back()))
        rest.remove_suffix(1);
    const std::size_t split = rest.find_first_of("\\/");
    if (split == std::string_view::npos || split == 0 || split + 1 == rest.size())
        return std::nullopt;
    const std::string_view server = rest.substr(0, split);
    const std::string_view share = rest.substr(split + 1);
    if (share.find_first_of("\\/") != std::string_view::npos)
        return std::nullopt;
    return "\\\\" + std::string(server) + "\\" + std::string(share);
}

std::string notARoot(std::string_view text)
{
    std::string message = "'";
    message.append(text);
    message.append("' is neither a drive (D:) nor a share (\\\\server\\share)");
    return message;
}

std::string rootKey(std::string_view canonical)
{
    return foldCase(canonical);
}

std::optional<std::string> normaliseFolder(std::string_view folder, bool allowRelative)
{
    if (folder.empty())
        return std::nullopt;
    std::string text(folder);
    if (text == "~" || text.starts_with("~/")) {
        const char* home = std::getenv("HOME");
        if (!home || !*home)
            return std::nullopt;
        text = std::string(home) + text.substr(1);
    }
    if (text.front() != '/') {
        if (!allowRelative)
            return std::nullopt;
        std::error_code ec;
        const fs::path absolute = fs::absolute(text, ec);
        if (ec)
            return std::nullopt;
        text = absolute.string();
    }
    return withoutTrailingSlashes(std::move(text));
}

std::optional<DriveMapping> parseMapArgument(std::string_view argument, std::string* error)
{
    const auto fail = [&](std::string why) -> std::optional<DriveMapping> {
        if (error)
            *error = std::move(why);
        return std::nullopt;
    };
    const std::size_t equals = argument.find('=');
    if (equals == std::string_view::npos)
        return fail("expected DRIVE:=FOLDER or \\\\SERVER\\SHARE=FOLDER, got '" + std::string(argument) + "'");
    const std::optional<std::string> root = canonicalRoot(argument.substr(0, equals));
    if (!root)
        return fail(notARoot(argument.substr(0, equals)));
    const std::optional<std::string> folder = normaliseFolder(argument.substr(equals + 1), true);
    if (!folder)
        return fail("no folder given for " + *root);
    return DriveMapping{*root, *folder, MappingSource::Explicit};
}

std::vector<DriveMapping> wineMappings(const fs::path& prefix)
{
    std::vector<DriveMapping> mappings;
    if (prefix.empty())
        return mappings;
    const fs::path devices = prefix / "dosdevices";
    std::error_code ec;
    for (fs::directory_iterator it(devices, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() == 2 && isAsciiLetter(name[0]) && name[1] == ':')
            mappings.push_back({std::string{upperAscii(name[0]), ':'}, linkTarget(it->path()), MappingSource::Wine});
    }
    for (fs::directory_iterator servers(devices / "unc", ec), end; !ec && servers != end; servers.increment(ec)) {
        std::error_code inner;
        for (fs::directory_iterator shares(servers->path(), inner); !inner && shares != end; shares.increment(inner)) {
            const std::string server = servers->path().filename().string();
            const std::string share = shares->path().filename().string();
            if (existsAsEntry(shares->path()))
                mappings.push_back({"\\\\" + server + "\\" + share, linkTarget(shares->path()), MappingSource::Wine});
        }
    }
    std::sort(mappings.begin(), mappings.end(),
              [](const DriveMapping& a, const DriveMapping& b) { return a.root < b.root; });
    return mappings;
}

std::vector<DriveMapping> wslMappings(const fs::path& root)
{
    std::vector<DriveMapping> mappings;
    if (root.empty())
        return mappings;
    for (char letter = 'a'; letter <= 'z'; ++letter) {
        const fs::path folder = root / std::string(1, letter);
        std::error_code ec;
        if (fs::is_directory(folder, ec))
            mappings.push_back({std::string{upperAscii(letter), ':'}, folder.string(), MappingSource::Wsl});
    }
    return mappings;
}

bool DriveMap::add(DriveMapping mapping)
{
    std::string key = rootKey(mapping.root);
    if (std::find(keys_.begin(), keys_.end(), key) != keys_.end())
        return false;
    keys_.push_back(std::move(key));
    mappings_.push_back(std::move(mapping));
    return true;
}

void DriveMap::add(const std::vector<DriveMapping>& mappings)
{
    for (const DriveMapping& mapping : mappings)
        add(mapping);
}

const DriveMapping* DriveMap::find(std::string_view root) const
{
    const std::string key = rootKey(root);
    const auto it = std::find(keys_.begin(), keys_.end(), key);
    return it == keys_.end() ? nullptr : &mappings_[static_cast<std::size_t>(it - keys_.begin())];
}

} // namespace korvane
