#include "paths/config_file.h"

#include "text/ascii.h"
#include "text/unicode_text.h"
#include "text/system_error.h"
#include "text/message.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

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

// `pattern` ("cannot write %1: %2") with the file and the system's words for errno.
std::string systemError(const char* pattern, const fs::path& file)
{
    return fillMessage(pattern, {file.string(), systemErrorText(errno)});
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

bool holdsControlCharacter(std::string_view text)
{
    for (std::size_t k = 0; k < text.size(); ++k) {
        const auto byte = static_cast<unsigned char>(text[k]);
        if (byte < 0x20 || byte == 0x7F)
            return true;
        // 0xC2 is never a continuation byte, so this is U+0080 to U+009F.
        if (byte == 0xC2 && k + 1 < text.size() && static_cast<unsigned char>(text[k + 1]) <= 0x9F &&
            static_cast<unsigned char>(text[k + 1]) >= 0x80)
            return true;
    }
    return false;
}

namespace {

// "'D:\x\x0Amap E:...' holds a line break", naming a line break or a NUL
// before any other control character, since those are what make a line
// read as two or as less than it says.
std::string controlCharacterFault(std::string_view text)
{
    const char* kind = N_("'%1' holds a control character");
    if (text.find_first_of("\n\r") != std::string_view::npos)
        kind = N_("'%1' holds a line break");
    else if (text.find('\0') != std::string_view::npos)
        kind = N_("'%1' holds a NUL byte");
    return fillMessage(kind, {shownInWarning(text)});
}

struct MapLine {
    std::string root;   // canonical
    std::string folder; // normalised
    std::string text;
};

// The line that maps `root` to `folder`; nothing, with `why` set, when
// there is none (see unwritableMapping).
std::optional<MapLine> makeMapLine(std::string_view root, std::string_view folder, std::string& why)
{
    const std::optional<std::string> canonical = canonicalRoot(root);
    if (!canonical) {
        why = notARoot(shownInWarning(root));
        return std::nullopt;
    }
    const std::optional<std::string> normalFolder = normaliseFolder(folder, false);
    if (!normalFolder) {
        why = folder.empty() ? fillMessage("no folder given for %1", {shownInWarning(*canonical)})
                             : fillMessage("the folder %1 is not absolute", {shownInWarning(folder)});
        return std::nullopt;
    }
    // The folder both as given and as expanded: a ~ stands for a home folder
    // that may hold one.
    for (const std::string_view text : {std::string_view(*canonical), folder, std::string_view(*normalFolder)}) {
        if (holdsControlCharacter(text)) {
            why = fillMessage("%1, which a line of the configuration file cannot hold", {controlCharacterFault(text)});
            return std::nullopt;
        }
    }
    MapLine line{*canonical, *normalFolder, mapLineText(*canonical, *normalFolder)};
    // A name that ends in a blank, say, would read back as another mapping:
    // the line is read back to be sure it does not.
    const std::vector<DriveMapping> reread = ConfigFile::parse(line.text).mappings();
    if (reread.size() != 1 || reread[0].root != line.root || reread[0].folder != line.folder) {
        why = fillMessage("'%1' would read back as another mapping", {shownInWarning(line.text)});
        return std::nullopt;
    }
    return line;
}

} // namespace

std::string unwritableMapping(std::string_view root, std::string_view folder)
{
    std::string why;
    return makeMapLine(root, folder, why) ? std::string() : why;
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
        return message("map needs a drive or share, '=' and a folder");
    if (const std::optional<std::string_view> root = mapRoot(content))
        return fillMessage("map %1 needs '=' and the folder to map it to", {shownInWarning(*root)});
    if (equalsIgnoringAsciiCase(content, "codepage"))
        return message("codepage needs '=' and the name of a code page");
    if (equalsIgnoringAsciiCase(content, "remember"))
        return message("remember needs '=' and yes or no");
    return fillMessage("'%1' is no setting: expected 'key = value'", {shownInWarning(content)});
}

} // namespace

ConfigFile::Line ConfigFile::settingLine(std::string_view raw, std::string_view key, std::string_view value,
                                        std::string& why)
{
    Line line;
    line.text = raw;
    if (const std::optional<std::string_view> rootText = mapRoot(key)) {
        const std::optional<std::string> root = canonicalRoot(*rootText);
        const std::optional<std::string> folder = normaliseFolder(value, false);
        if (!root)
            why = notARoot(shownInWarning(*rootText));
        else if (holdsControlCharacter(*root) || holdsControlCharacter(value))
            why = fillMessage("%1, which no mapping may hold",
                              {controlCharacterFault(holdsControlCharacter(*root) ? *root : std::string(value))});
        else if (value.empty())
            why = fillMessage("map %1 needs a folder after '='", {*root});
        else if (!folder)
            why = fillMessage("the folder of %1 must be absolute", {*root});
        else
            line = {std::string(raw), Kind::Map, rootKey(*root), *root, *folder};
    } else if (equalsIgnoringAsciiCase(key, "map")) {
        why = message("map needs a drive or share before '='");
    } else if (equalsIgnoringAsciiCase(key, "codepage")) {
        if (value.empty())
            why = message("no code page given");
        else
            line = {std::string(raw), Kind::CodePage, "codepage", {}, std::string(value)};
    } else if (equalsIgnoringAsciiCase(key, "remember")) {
        if (equalsIgnoringAsciiCase(value, "yes") || equalsIgnoringAsciiCase(value, "no"))
            line = {std::string(raw), Kind::Remember, "remember", {},
                    equalsIgnoringAsciiCase(value, "yes") ? "yes" : "no"};
        else
            why = fillMessage("remember takes yes or no, not '%1'", {shownInWarning(value)});
    } else if (key.empty()) {
        why = message("a setting needs a name before '='");
    } else {
        why = fillMessage("unknown setting '%1'", {shownInWarning(key)});
    }
    return line;
}

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
                config.warnings_.push_back(fillMessage("line %1: %2", {std::to_string(number), why}));
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
            std::string why;
            line = settingLine(raw, trim(content.substr(0, equals)), trim(content.substr(equals + 1)), why);
            if (!why.empty())
                warn(why);
            else if (line.kind == Kind::CodePage)
                config.codePageLine_ = number;
        }
        // Runs of lines that are no setting are kept as one, so that a file
        // of them costs little more than its text.
        if (line.kind == Kind::Other && !config.lines_.empty() && config.lines_.back().kind == Kind::Other) {
            config.lines_.back().text += '\n';
            config.lines_.back().text += line.text;
        } else {
            config.lines_.push_back(std::move(line));
        }
    }
    if (unreported > 0)
        config.warnings_.push_back(fillMessage("lines %1 to %2: %3 more lines not understood",
                                               {std::to_string(firstUnreported), std::to_string(number),
                                                std::to_string(unreported)}));
    return config;
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
            return fail(fillMessage("cannot create %1: %2", {target.parent_path().string(), ec.message()}));
    }

    std::string temp = target.string() + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return fail(systemError(N_("cannot write beside %1: %2"), target));
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
            const std::string why = systemError(N_("cannot write %1: %2"), temp);
            ::close(fd);
            ::unlink(temp.c_str());
            return fail(why);
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const std::string why = systemError(N_("cannot write %1: %2"), temp);
        ::unlink(temp.c_str());
        return fail(why);
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const std::string why = systemError(N_("cannot replace %1: %2"), target);
        ::unlink(temp.c_str());
        return fail(why);
    }
    return true;
}

std::vector<DriveMapping> ConfigFile::mappings() const
{
    std::vector<DriveMapping> out;
    std::unordered_map<std::string_view, std::size_t> byKey; // index in `out`
    for (const Line& line : lines_) {
        if (line.kind != Kind::Map)
            continue;
        DriveMapping mapping{line.root, line.value, MappingSource::ConfigFile};
        const auto [it, added] = byKey.try_emplace(line.key, out.size());
        if (added)
            out.push_back(std::move(mapping));
        else
            out[it->second] = std::move(mapping);
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

bool ConfigFile::setMapping(std::string_view root, std::string_view folder, std::string* why)
{
    std::string reason;
    std::optional<MapLine> line = makeMapLine(root, folder, reason);
    if (!line) {
        if (why)
            *why = std::move(reason);
        return false;
    }
    const std::string key = rootKey(line->root);
    setLine(Kind::Map, key, {std::move(line->text), Kind::Map, key, std::move(line->root), std::move(line->folder)});
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

bool ConfigFile::setCodePage(std::string_view codePage)
{
    const std::string value(trim(codePage));
    if (holdsControlCharacter(value))
        return false;
    if (value.empty()) {
        lines_.erase(std::remove_if(lines_.begin(), lines_.end(), [](const Line& l) { return l.kind == Kind::CodePage; }),
                     lines_.end());
        return true;
    }
    setLine(Kind::CodePage, "codepage", {"codepage = " + value, Kind::CodePage, "codepage", {}, value});
    return true;
}

bool ConfigFile::remember() const
{
    for (auto it = lines_.rbegin(); it != lines_.rend(); ++it) {
        if (it->kind == Kind::Remember)
            return it->value == "yes";
    }
    return false;
}

void ConfigFile::setRemember(bool remember)
{
    const std::string value = remember ? "yes" : "no";
    setLine(Kind::Remember, "remember", {"remember = " + value, Kind::Remember, "remember", {}, value});
}

} // namespace korvane
