#include "paths/drive_map.h"

#include "paths/name_match.h"
#include "paths/windows_path.h"
#include "text/message.h"

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
    std::string canonical;
    std::string_view rest;
    if (!root.empty() && isAsciiLetter(root[0])) {
        rest = root.substr(1);
        if (rest.starts_with(':'))
            rest.remove_prefix(1);
        else if (!rest.empty())
            return std::nullopt;
        canonical = {upperAscii(root[0]), ':'};
        if (!rest.empty() && !isPathSeparator(rest[0]))
            return std::nullopt;
        if (!rest.empty())
            rest.remove_prefix(1);
    } else {
        if (root.size() < 2 || !isPathSeparator(root[0]) || !isPathSeparator(root[1]))
            return std::nullopt;
        rest = root.substr(2);
        const std::string_view server = takePathName(rest);
        const std::string_view share = takePathName(rest);
        if (server.empty() || share.empty())
            return std::nullopt;
        canonical = "\\\\" + std::string(server) + "\\" + std::string(share);
    }
    // The folders, each ended by a separator or the end of the text.
    while (!rest.empty()) {
        const std::string_view name = takePathName(rest);
        if (name.empty() || name == "." || name == ".." || containsWildcard(name))
            return std::nullopt;
        canonical += '\\';
        canonical += name;
    }
    return canonical;
}

std::string_view driveOrShare(std::string_view canonical)
{
    if (!canonical.starts_with("\\\\"))
        return canonical.substr(0, 2);
    const std::size_t server = canonical.find('\\', 2);
    if (server == std::string_view::npos)
        return canonical;
    return canonical.substr(0, canonical.find('\\', server + 1));
}

std::string notARoot(std::string_view text)
{
    return fillMessage("'%1' is neither a drive (D:) nor a share (\\\\server\\share), nor a folder on one (D:\\Video)",
                       {text});
}

std::string rootKey(std::string_view canonical)
{
    return foldCase(canonical);
}

std::size_t rootEnd(std::string_view mapping)
{
    const std::size_t first = mapping.find('=');
    for (std::size_t at = first; at != std::string_view::npos; at = mapping.find('=', at + 1)) {
        const std::size_t next = mapping.find_first_not_of(" \t", at + 1);
        if (next != std::string_view::npos && (mapping[next] == '/' || mapping[next] == '~'))
            return at;
    }
    return first;
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
    const std::size_t equals = rootEnd(argument);
    if (equals == std::string_view::npos)
        return fail(fillMessage("expected DRIVE:=FOLDER, \\\\SERVER\\SHARE=FOLDER or DRIVE:\\PATH=FOLDER, got '%1'",
                                {argument}));
    const std::optional<std::string> root = canonicalRoot(argument.substr(0, equals));
    if (!root)
        return fail(notARoot(argument.substr(0, equals)));
    const std::optional<std::string> folder = normaliseFolder(argument.substr(equals + 1), true);
    if (!folder)
        return fail(fillMessage("no folder given for %1", {*root}));
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
    Key key;
    key.whole = rootKey(mapping.root);
    std::vector<std::size_t>& sameRoot = byRoot_[key.whole];
    for (const std::size_t m : sameRoot) {
        const DriveMapping& kept = mappings_[m];
        if (kept.source == mapping.source || kept.folder == mapping.folder)
            return false;
    }
    sameRoot.push_back(mappings_.size());
    const std::string_view base = driveOrShare(mapping.root);
    key.base = rootKey(base);
    std::string_view rest = std::string_view(mapping.root).substr(base.size());
    if (!rest.empty())
        rest.remove_prefix(1);
    while (!rest.empty())
        key.folders.push_back(foldCase(takePathName(rest)));
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
    const auto it = byRoot_.find(rootKey(root));
    return it == byRoot_.end() || it->second.empty() ? nullptr : &mappings_[it->second.front()];
}

std::vector<DriveMap::Match> DriveMap::covering(std::string_view root, const std::vector<std::string>& names) const
{
    std::vector<Match> found;
    const std::string base = rootKey(root);
    std::vector<std::string> folded; // names[k] folded, as far as needed
    for (std::size_t m = 0; m < keys_.size(); ++m) {
        const Key& key = keys_[m];
        if (key.base != base || key.folders.size() > names.size())
            continue;
        while (folded.size() < key.folders.size())
            folded.push_back(foldCase(names[folded.size()]));
        if (std::equal(key.folders.begin(), key.folders.end(), folded.begin()))
            found.push_back({&mappings_[m], key.folders.size()});
    }
    std::stable_sort(found.begin(), found.end(), [](const Match& a, const Match& b) { return a.folders > b.folders; });
    return found;
}

DriveMap::Match DriveMap::match(std::string_view root, const std::vector<std::string>& names) const
{
    Match best;
    const std::string base = rootKey(root);
    std::vector<std::string> folded; // names[k] folded, as far as needed
    for (std::size_t m = 0; m < keys_.size(); ++m) {
        const Key& key = keys_[m];
        if (key.base != base || key.folders.size() > names.size())
            continue;
        if (best.mapping && key.folders.size() <= best.folders)
            continue;
        while (folded.size() < key.folders.size())
            folded.push_back(foldCase(names[folded.size()]));
        if (std::equal(key.folders.begin(), key.folders.end(), folded.begin()))
            best = {&mappings_[m], key.folders.size()};
    }
    return best;
}

std::vector<const DriveMapping*> DriveMap::foldersOn(std::string_view root) const
{
    std::vector<const DriveMapping*> out;
    const std::string base = rootKey(root);
    for (std::size_t m = 0; m < keys_.size(); ++m) {
        if (keys_[m].base != base || keys_[m].folders.empty())
            continue;
        if (byRoot_.at(keys_[m].whole).front() == m) // the first of its root
            out.push_back(&mappings_[m]);
    }
    return out;
}

} // namespace korvane
