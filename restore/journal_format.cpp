#include "restore/journal_format.h"

#include "text/ascii.h"

#include <array>
#include <charconv>
#include <vector>

namespace korvane {

namespace {

using Kind = JournalRecord::Kind;

std::string escaped(std::string_view path)
{
    return percentEscaped(path, true);
}

// The bytes of an escaped field, but only when escaping them gives the
// field back exactly: "%41" (an `A`, which is never escaped), "%2f" (lower
// case) and a bare "%" are not what the writer writes.
std::optional<std::string> unescaped(std::string_view field)
{
    std::string out;
    out.reserve(field.size());
    for (std::size_t k = 0; k < field.size(); ++k) {
        if (field[k] != '%') {
            out += field[k];
            continue;
        }
        if (k + 2 >= field.size())
            return std::nullopt;
        unsigned value = 0;
        const auto [end, error] = std::from_chars(field.data() + k + 1, field.data() + k + 3, value, 16);
        if (error != std::errc() || end != field.data() + k + 3)
            return std::nullopt;
        out += static_cast<char>(value);
        k += 2;
    }
    if (escaped(out) != field)
        return std::nullopt;
    return out;
}

// A decimal number as the writer writes one: no sign, no leading zero.
std::optional<std::uint64_t> unsignedField(std::string_view field)
{
    if (field.empty() || (field.size() > 1 && field[0] == '0'))
        return std::nullopt;
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (error != std::errc() || end != field.data() + field.size())
        return std::nullopt;
    return value;
}

std::optional<std::int64_t> signedField(std::string_view field)
{
    if (field.starts_with('-') && (field.size() < 2 || field[1] == '0'))
        return std::nullopt; // no "-0", no "-"
    const std::string_view digits = field.starts_with('-') ? field.substr(1) : field;
    if (digits.empty() || (digits.size() > 1 && digits[0] == '0'))
        return std::nullopt;
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (error != std::errc() || end != field.data() + field.size())
        return std::nullopt;
    return value;
}

std::optional<std::uint64_t> oldHashField(std::string_view field)
{
    if (field.size() != 16)
        return std::nullopt;
    for (const char c : field)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return std::nullopt;
    std::uint64_t value = 0;
    std::from_chars(field.data(), field.data() + field.size(), value, 16);
    return value;
}

std::vector<std::string_view> fieldsOf(std::string_view line)
{
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t space = line.find(' ', start);
        fields.push_back(line.substr(start, space - start));
        if (space == std::string_view::npos)
            return fields;
        start = space + 1;
    }
}

struct KindName {
    Kind kind;
    std::string_view name;
    std::size_t fields; // after the name
    int version;
};

constexpr std::array<KindName, 12> kKinds = {{
    {Kind::Root, "root", 1, 2},
    {Kind::FolderIntent, "folder-intent", 3, 2},
    {Kind::FolderMade, "folder-made", 4, 2},
    {Kind::Put, "put", 8, 2},
    {Kind::Linked, "linked", 2, 2},
    {Kind::Written, "written", 6, 2},
    {Kind::Copied, "copied", 2, 2},
    {Kind::Dropped, "dropped", 1, 2},
    {Kind::OldFolder, "folder", 1, 1},
    {Kind::OldTemporary, "temporary", 1, 1},
    {Kind::OldLink, "link", 4, 1},
    {Kind::OldCopy, "copy", 4, 1},
}};

const KindName& nameOf(Kind kind)
{
    for (const KindName& k : kKinds)
        if (k.kind == kind)
            return k;
    return kKinds[0];
}

// Reads the fields after the kind's name into `record`; false when one is
// not as written.
bool readFields(const std::vector<std::string_view>& f, JournalRecord& r)
{
    std::optional<std::uint64_t> id, device, inode, size;
    std::optional<std::int64_t> time;
    std::optional<std::string> path, temporary, source;
    const auto number = [](std::string_view s) { return unsignedField(s); };
    switch (r.kind) {
    case Kind::Root:
    case Kind::OldFolder:
    case Kind::OldTemporary:
        path = unescaped(f[1]);
        if (!path)
            return false;
        r.path = std::move(*path);
        return true;
    case Kind::FolderIntent:
        id = number(f[1]), temporary = unescaped(f[2]), path = unescaped(f[3]);
        if (!id || !temporary || !path)
            return false;
        r.temporary = std::move(*temporary);
        r.path = std::move(*path);
        break;
    case Kind::FolderMade:
        id = number(f[1]), device = number(f[2]), inode = number(f[3]), time = signedField(f[4]);
        if (!id || !device || !inode || !time)
            return false;
        r.device = *device, r.inode = *inode, r.birth = *time;
        break;
    case Kind::Put:
        id = number(f[1]), path = unescaped(f[2]), temporary = unescaped(f[3]), source = unescaped(f[4]);
        device = number(f[5]), inode = number(f[6]), size = number(f[7]), time = signedField(f[8]);
        if (!id || !path || !temporary || !source || !device || !inode || !size || !time)
            return false;
        r.path = std::move(*path), r.temporary = std::move(*temporary), r.source = std::move(*source);
        r.device = *device, r.inode = *inode, r.size = *size, r.time = *time;
        break;
    case Kind::Dropped:
        id = number(f[1]);
        if (!id)
            return false;
        break;
    case Kind::Written: {
        id = number(f[1]), device = number(f[2]), inode = number(f[3]), time = signedField(f[4]);
        size = number(f[5]);
        const std::optional<Digest> digest = Digest::fromHex(f[6]);
        if (!id || !device || !inode || !time || !size || !digest)
            return false;
        r.device = *device, r.inode = *inode, r.birth = *time, r.size = *size, r.digest = *digest;
        break;
    }
    case Kind::Linked:
    case Kind::Copied:
        id = number(f[1]), time = signedField(f[2]);
        if (!id || !time)
            return false;
        r.time = *time;
        break;
    case Kind::OldLink:
        device = number(f[1]), inode = number(f[2]), path = unescaped(f[3]), source = unescaped(f[4]);
        if (!device || !inode || !path || !source)
            return false;
        r.device = *device, r.inode = *inode, r.path = std::move(*path), r.source = std::move(*source);
        return true;
    case Kind::OldCopy: {
        size = number(f[1]), path = unescaped(f[3]), source = unescaped(f[4]);
        const std::optional<std::uint64_t> hash = oldHashField(f[2]);
        if (!size || !hash || !path || !source)
            return false;
        r.size = *size, r.oldHash = *hash, r.path = std::move(*path), r.source = std::move(*source);
        return true;
    }
    }
    if (*id == 0)
        return false;
    r.id = *id;
    return true;
}

// Whether the paths of a record read are ones the writer writes.
bool pathsAreClean(const JournalRecord& r, int version)
{
    const auto temporaryBeside = [&] {
        return isCleanPath(r.temporary) && folderPart(r.temporary) == folderPart(r.path) &&
               isTemporaryName(namePart(r.temporary), version);
    };
    switch (r.kind) {
    case Kind::Root:
        return isCleanPath(r.path);
    case Kind::FolderIntent:
        return isCleanPath(r.path) && r.path != "/" && temporaryBeside();
    case Kind::Put:
        return isCleanPath(r.path) && r.path != "/" && temporaryBeside() && isCleanPath(r.source);
    case Kind::OldFolder:
        return isCleanPath(r.path) && r.path != "/";
    case Kind::OldTemporary:
        return isCleanPath(r.path) && isTemporaryName(namePart(r.path), version);
    case Kind::OldLink:
    case Kind::OldCopy:
        return isCleanPath(r.path) && r.path != "/" && isCleanPath(r.source);
    default:
        return true;
    }
}

} // namespace

bool isTemporaryName(std::string_view name, int version)
{
    if (!name.starts_with(kTemporaryPrefix))
        return false;
    const std::string_view rest = name.substr(kTemporaryPrefix.size());
    if (rest.size() != (version == 1 ? 6u : 12u))
        return false;
    for (const char c : rest)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
            return false;
    return true;
}

bool isCleanPath(std::string_view path)
{
    if (path.empty() || path[0] != '/' || path.find('\0') != std::string_view::npos)
        return false;
    if (path == "/")
        return true;
    for (std::size_t start = 1;;) {
        const std::size_t slash = path.find('/', start);
        const std::string_view name = path.substr(start, slash - start);
        if (name.empty() || name == "." || name == "..")
            return false;
        if (slash == std::string_view::npos)
            return true;
        start = slash + 1;
    }
}

std::string_view folderPart(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return {};
    return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

std::string_view namePart(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string formatRecord(const JournalRecord& r)
{
    const KindName& kind = nameOf(r.kind);
    std::string line(kind.name);
    const auto add = [&line](std::string_view field) {
        line += ' ';
        line += field;
    };
    const auto number = [&add](auto value) { add(std::to_string(value)); };
    switch (r.kind) {
    case Kind::Root:
    case Kind::OldFolder:
    case Kind::OldTemporary:
        add(escaped(r.path));
        break;
    case Kind::FolderIntent:
        number(r.id), add(escaped(r.temporary)), add(escaped(r.path));
        break;
    case Kind::FolderMade:
        number(r.id), number(r.device), number(r.inode), number(r.birth);
        break;
    case Kind::Put:
        number(r.id), add(escaped(r.path)), add(escaped(r.temporary)), add(escaped(r.source));
        number(r.device), number(r.inode), number(r.size), number(r.time);
        break;
    case Kind::Dropped:
        number(r.id);
        break;
    case Kind::Written:
        number(r.id), number(r.device), number(r.inode), number(r.birth), number(r.size), add(r.digest.hex());
        break;
    case Kind::Linked:
    case Kind::Copied:
        number(r.id), number(r.time);
        break;
    case Kind::OldLink:
        number(r.device), number(r.inode), add(escaped(r.path)), add(escaped(r.source));
        break;
    case Kind::OldCopy: {
        static constexpr char kHex[] = "0123456789abcdef";
        std::string hash(16, '0');
        for (int k = 15, shift = 0; k >= 0; --k, shift += 4)
            hash[static_cast<std::size_t>(k)] = kHex[(r.oldHash >> shift) & 15];
        number(r.size), add(hash), add(escaped(r.path)), add(escaped(r.source));
        break;
    }
    }
    line += '\n';
    return line;
}

std::optional<JournalRecord> parseRecord(std::string_view line, int version)
{
    const std::vector<std::string_view> fields = fieldsOf(line);
    for (const KindName& kind : kKinds) {
        if (kind.name != fields[0] || kind.version != version)
            continue;
        if (fields.size() != kind.fields + 1)
            return std::nullopt;
        JournalRecord record;
        record.kind = kind.kind;
        if (!readFields(fields, record) || !pathsAreClean(record, version))
            return std::nullopt;
        return record;
    }
    return std::nullopt;
}

} // namespace korvane
