#include "paths/config_file.h"

#include "text/ascii.h"
#include "text/unicode_text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace korvane {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kBlanks = " \t\r";

std::string_view trim(std::string_view text)
{
    const std::size_t begin = text.find_first_not_of(kBlanks);
    if (begin == std::string_view::npos)
        return {};
    const std::size_t end = text.find_last_not_of(kBlanks);
    return text.substr(begin, end - begin + 1);
}

// "map" followed by a blank: the rest of the key is the root.
std::optional<std::string_view> mapRoot(std::string_view key)
{
    if (key.size() < 4 || !equalsIgnoringAsciiCase(key.substr(0, 3), "map") || (key[3] != ' ' && key[3] != '\t'))
        return std::nullopt;
    return trim(key.substr(3));
}

std::string mapLineText(const std::string& root, const std::string& folder)
{
    return "map " + root + " = " + folder;
}

constexpr std::size_t kMaxLineWarnings = 20;
constexpr std::size_t kMaxShownBytes = 60;

std::string systemError(const std::string& what, const fs::path& file)
{
    return what + " " + file.string() + ": " + std::strerror(errno);
}

} // namespace

std::string shownInWarning(std::string_view text)
{
    const bool cut = text.size() > kMaxShownBytes;
    std::string out;
    for (const char c : toValidUtf8(text.substr(0, kMaxShownBytes))) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            static constexpr char kHex[] = "0123456789ABCDEF";
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out += c;
        }
    }
    if (cut)
        out += "...";
    return out;
}

fs::path defaultConfigPath()
{
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    fs::path base;
    if (xdg && *xdg == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home)
            return {};
        base = fs::path(home) / ".config";
    }
    return base / "korvane" / "korvane.conf";
}

namespace {

// What is wrong with a line that holds no '=' (`content` is not empty and
// not a comment).
std::string withoutEquals(std::string_view content)
{
    if (equalsIgnoringAsciiCase(content, "map"))
        return "map needs a drive or share, '=' and a folder";
    if (const std::optional<std::string_view> root = mapRoot(content))
        return "map " + shownInWarning(*root) + " needs '=' and the folder to map it to";
    if (equalsIgnoringAsciiCase(content, "codepage"))
        return "codepage needs '=' and the name of a code page";
    return "'" + shownInWarning(content) + "' is no setting: expected 'key = value'";
}

} // namespace

ConfigFile ConfigFile::parse(std::string_view text)
{
    ConfigFile config;
    std::size_t number = 0;
    std::size_t unreported = 0;
    std::size_t firstUnreported = 0;
    while (!text.empty()) {
        ++number;
        const std::size_t end = text.find('\n');
        std::string_view raw = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (raw.ends_with('\r'))
            raw.remove_suffix(1);

        Line line;
        line.text = raw;
        const std::string_view content = trim(raw);
        const auto warn = [&](const std::string& why) {
            if (config.warnings_.size() < kMaxLineWarnings) {
                config.warnings_.push_back("line " + std::to_string(number) + ": " + why);
            } else if (unreported++ == 0) {
                firstUnreported = number;
            }
        };
        std::size_t equals = content.find('=');
        if (equals != std::string_view::npos && mapRoot(trim(content.substr(0, equals))))
            equals = rootEnd(content); // a folder on a drive may hold a `=`
        if (content.empty() || content.front() == '#') {
            // a comment or a blank line
        } else if (equals == std::string_view::npos) {
            warn(withoutEquals(content));
        } else {
            const std::string_view key = trim(content.substr(0, equals));
            const std::string_view value = trim(content.substr(equals + 1));
            if (const std::optional<std::string_view> rootText = mapRoot(key)) {
                const std::optional<std::string> root = canonicalRoot(*rootText);
                const std::optional<std::string> folder = normaliseFolder(value, false);
                if (!root)
                    warn(notARoot(shownInWarning(*rootText)));
                else if (value.empty())
                    warn("map " + *root + " needs a folder after '='");
                else if (!folder)
                    warn("the folder of " + *root + " must be absolute");
                else
                    line = {std::string(raw), Kind::Map, rootKey(*root), *root, *folder};
            } else if (equalsIgnoringAsciiCase(key, "map")) {
                warn("map needs a drive or share before '='");
            } else if (equalsIgnoringAsciiCase(key, "codepage")) {
                if (value.empty()) {
                    warn("no code page given");
                } else {
                    line = {std::string(raw), Kind::CodePage, "codepage", {}, std::string(value)};
                    config.codePageLine_ = number;
                }
            } else if (key.empty()) {
                warn("a setting needs a name before '='");
            } else {
                warn("unknown setting '" + shownInWarning(key) + "'");
            }
        }
        config.lines_.push_back(std::move(line));
    }
    if (unreported > 0)
        config.warnings_.push_back("lines " + std::to_string(firstUnreported) + " to " + std::to_string(number) + ": " +
                                   std::to_string(unreported) + " more lines not understood");
    return config;
}

ConfigFile ConfigFile::load(const fs::path& file, std::string* error)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        if (errno != ENOENT && error)
            *error = systemError("cannot read", file);
        return {};
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        if (error)
            *error = "cannot read " + file.string();
        return {};
    }
    return parse(text.str());
}

std::string ConfigFile::text() const
{
    std::string out;
    for (const Line& line : lines_) {
        out += line.text;
        out += '\n';
    }
    return out;
}

bool ConfigFile::save(const fs::path& file, std::string* error) const
{
    const auto fail = [&](std::string why) {
        if (error)
            *error = std::move(why);
        return false;
    };
    std::error_code ec;
    fs::path target = file;
    if (fs::is_symlink(file, ec)) {
        const fs::path resolved = fs::weakly_canonical(file, ec);
        if (!ec)
            target = resolved;
    }
    if (target.has_parent_path()) {
        fs::create_directories(target.parent_path(), ec);
        if (ec)
            return fail("cannot create " + target.parent_path().string() + ": " + ec.message());
    }

    std::string temp = target.string() + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return fail(systemError("cannot write beside", target));
    struct stat old;
    const mode_t mode = ::stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
    ::fchmod(fd, mode);

    const std::string content = text();
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const std::string why = systemError("cannot write", temp);
            ::close(fd);
            ::unlink(temp.c_str());
            return fail(why);
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const std::string why = systemError("cannot write", temp);
        ::unlink(temp.c_str());
        return fail(why);
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const std::string why = systemError("cannot replace", target);
        ::unlink(temp.c_str());
        return fail(why);
    }
    return true;
}

std::vector<DriveMapping> ConfigFile::mappings() const
{
    std::vector<DriveMapping> out;
    std::vector<std::string> keys;
    for (const Line& line : lines_) {
        if (line.kind != Kind::Map)
            continue;
        const auto it = std::find(keys.begin(), keys.end(), line.key);
        DriveMapping mapping{line.root, line.value, MappingSource::ConfigFile};
        if (it == keys.end()) {
            keys.push_back(line.key);
            out.push_back(std::move(mapping));
        } else {
            out[static_cast<std::size_t>(it - keys.begin())] = std::move(mapping);
        }
    }
    return out;
}

void ConfigFile::setLine(Kind kind, const std::string& key, Line line)
{
    const auto same = [&](const Line& l) { return l.kind == kind && l.key == key; };
    const auto first = std::find_if(lines_.begin(), lines_.end(), same);
    if (first != lines_.end()) {
        *first = std::move(line);
        lines_.erase(std::remove_if(first + 1, lines_.end(), same), lines_.end());
        return;
    }
    const auto lastOfKind = std::find_if(lines_.rbegin(), lines_.rend(), [&](const Line& l) { return l.kind == kind; });
    lines_.insert(lastOfKind == lines_.rend() ? lines_.end() : lastOfKind.base(), std::move(line));
}

bool ConfigFile::setMapping(std::string_view root, std::string_view folder)
{
    const std::optional<std::string> canonical = canonicalRoot(root);
    const std::optional<std::string> normalFolder = normaliseFolder(folder, false);
    if (!canonical || !normalFolder)
        return false;
    const std::string key = rootKey(*canonical);
    setLine(Kind::Map, key, {mapLineText(*canonical, *normalFolder), Kind::Map, key, *canonical, *normalFolder});
    return true;
}

bool ConfigFile::removeMapping(std::string_view root)
{
    const std::optional<std::string> canonical = canonicalRoot(root);
    if (!canonical)
        return false;
    const std::string key = rootKey(*canonical);
    const auto removed = std::remove_if(lines_.begin(), lines_.end(),
                                        [&](const Line& l) { return l.kind == Kind::Map && l.key == key; });
    const bool any = removed != lines_.end();
    lines_.erase(removed, lines_.end());
    return any;
}

std::optional<std::string> ConfigFile::codePage() const
{
    for (auto it = lines_.rbegin(); it != lines_.rend(); ++it) {
        if (it->kind == Kind::CodePage)
            return it->value;
    }
    return std::nullopt;
}

void ConfigFile::setCodePage(std::string_view codePage)
{
    const std::string value(trim(codePage));
    if (value.empty()) {
        lines_.erase(std::remove_if(lines_.begin(), lines_.end(), [](const Line& l) { return l.kind == Kind::CodePage; }),
                     lines_.end());
        return;
    }
    setLine(Kind::CodePage, "codepage", {"codepage = " + value, Kind::CodePage, "codepage", {}, value});
}

} // namespace korvane
