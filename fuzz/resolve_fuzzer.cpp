// korvane-fuzz-resolve: looks stored names up through PathResolver in a
// folder tree held in memory, and aborts when an answer breaks a promise.
// The input chooses everything (see fuzz/README.md for its layout): the code
// page (auto, CP932 or Windows-1252), up to four mappings "ROOT=FOLDER", up
// to 48 files and folders of the tree, and up to 16 stored names. Names of
// every kind come through: drive and share paths, device names, `..` and
// `.`, wildcards, names in either code page, POSIX and relative paths.
//
// The promises, for every stored name:
//  - exists() and resolve().found agree: the shortcut the scan takes answers
//    as the whole look-up does;
//  - asking twice gives the same answer; with a code page given (under auto
//    the names met decide it, so the order counts there), a resolver that
//    asks for the names in the reverse order gives the same answers too:
//    what one run remembers of the folders read never changes an answer;
//  - a mapped name that is found was found in the tree, below the folder of
//    the mapping whose root the answer names, and that root is one of the
//    mappings;
//  - a name that is not found says why.

#include "paths/codepage.h"
#include "paths/drive_map.h"
#include "paths/path_resolver.h"
#include "fs/folder_reader.h"

#include "promise.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using korvane::EntryKind;
using korvane::FolderIdentity;
using korvane::FolderListing;
using korvane::PathResolver;
using korvane::Resolution;

// Files and folders in memory, found as the system finds a path: empty names
// and "." skipped, ".." going up (never above "/"), a relative path taken
// from "/", and every name but the last a folder. No links.
class MemoryTree final : public korvane::FolderReader {
public:
    MemoryTree() { nodes_.push_back({EntryKind::Folder, {}}); }

    // Adds `path` as a file or a folder, and the folders above it, unless a
    // file stands in the way or the path is there already.
    void add(std::string_view path, EntryKind kind)
    {
        if (path.find('\0') != std::string_view::npos)
            return; // no name on a disk holds a zero byte
        std::size_t node = 0;
        std::vector<std::string> names = split(path);
        for (std::size_t k = 0; k < names.size(); ++k) {
            if (nodes_[node].kind != EntryKind::Folder)
                return;
            const std::optional<std::size_t> next = childOf(node, names[k]);
            if (next) {
                node = *next;
                continue;
            }
            const std::size_t added = nodes_.size();
            nodes_.push_back({k + 1 == names.size() ? kind : EntryKind::Folder, {}});
            nodes_[node].children.emplace_back(names[k], added);
            node = added;
        }
    }

    int list(const std::string& path, FolderListing& listing) override
    {
        listing.reset();
        std::size_t node = 0;
        if (const int error = find(path, node))
            return error;
        if (nodes_[node].kind != EntryKind::Folder)
            return ENOTDIR;
        listing.setIdentity({1, node + 1});
        for (const auto& [name, child] : nodes_[node].children)
            listing.add(name, nodes_[child].kind);
        return 0;
    }

    int follow(const std::string& path, EntryKind& kind, FolderIdentity& identity) override
    {
        std::size_t node = 0;
        if (const int error = find(path, node))
            return error;
        kind = nodes_[node].kind;
        identity = {1, node + 1};
        return 0;
    }

    bool exists(const std::string& path)
    {
        std::size_t node = 0;
        return find(path, node) == 0;
    }

private:
    struct Node {
        EntryKind kind;
        std::vector<std::pair<std::string, std::size_t>> children; // in the order added
    };

    static std::vector<std::string> split(std::string_view path)
    {
        std::vector<std::string> names;
        while (!path.empty()) {
            const std::size_t slash = path.find('/');
            const std::string_view name = path.substr(0, slash);
            path.remove_prefix(slash == std::string_view::npos ? path.size() : slash + 1);
            if (name.empty() || name == "." || name == "..")
                continue;
            names.emplace_back(name);
        }
        return names;
    }

    std::optional<std::size_t> childOf(std::size_t node, std::string_view name) const
    {
        for (const auto& [childName, child] : nodes_[node].children) {
            if (childName == name)
                return child;
        }
        return std::nullopt;
    }

    // The node of `path`, or ENOENT or ENOTDIR.
    int find(std::string_view path, std::size_t& node) const
    {
        if (path.find('\0') != std::string_view::npos)
            return ENOENT; // the system stops at a zero byte; no name in the tree holds one
        std::vector<std::size_t> up;
        node = 0;
        while (!path.empty()) {
            const std::size_t slash = path.find('/');
            const std::string_view name = path.substr(0, slash);
            path.remove_prefix(slash == std::string_view::npos ? path.size() : slash + 1);
            if (name.empty() || name == ".")
                continue;
            if (nodes_[node].kind != EntryKind::Folder)
                return ENOTDIR;
            if (name == "..") {
                if (!up.empty()) {
                    node = up.back();
                    up.pop_back();
                }
                continue;
            }
            const std::optional<std::size_t> next = childOf(node, name);
            if (!next)
                return ENOENT;
            up.push_back(node);
            node = *next;
        }
        return 0;
    }

    std::vector<Node> nodes_;
};

bool same(const Resolution& a, const Resolution& b)
{
    if (a.kind != b.kind || a.found != b.found || a.codePage != b.codePage || a.otherCodePage != b.otherCodePage ||
        a.root != b.root || a.mappedRoot != b.mappedRoot || a.localPath != b.localPath || a.reason != b.reason ||
        a.tried.size() != b.tried.size())
        return false;
    for (std::size_t k = 0; k < a.tried.size(); ++k) {
        const Resolution::Attempt& x = a.tried[k];
        const Resolution::Attempt& y = b.tried[k];
        if (x.mappedRoot != y.mappedRoot || x.localPath != y.localPath || x.reason != y.reason)
            return false;
    }
    return true;
}

constexpr std::string_view kCodePages[] = {korvane::kAutoCodePage, "CP932", "WINDOWS-1252"};

struct Setting {
    std::string_view codePage;
    korvane::DriveMap drives;
};

PathResolver makeResolver(const Setting& setting, MemoryTree& tree)
{
    std::optional<korvane::TextDecoder> decoder = korvane::TextDecoder::open(setting.codePage);
    PROMISE(decoder.has_value());
    return PathResolver(setting.drives, std::move(*decoder), tree);
}

void checkAnswer(const PathResolver& resolver, MemoryTree& tree, const Resolution& r)
{
    if (!r.found) {
        PROMISE(!r.reason.empty());
        return;
    }
    PROMISE(r.reason.empty());
    if (r.kind != korvane::PathKind::Mapped)
        return;
    PROMISE(tree.exists(r.localPath));
    const korvane::DriveMapping* mapping = resolver.drives().find(r.mappedRoot);
    PROMISE(mapping != nullptr);
    const std::string& folder = mapping->folder;
    PROMISE(r.localPath.starts_with(folder));
    PROMISE(r.localPath.size() == folder.size() || folder == "/" || r.localPath[folder.size()] == '/');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    Setting setting;
    setting.codePage = kCodePages[input.ConsumeIntegralInRange<std::size_t>(0, 2)];
    const std::size_t mappings = input.ConsumeIntegralInRange<std::size_t>(0, 4);
    const std::size_t entries = input.ConsumeIntegralInRange<std::size_t>(0, 48);
    MemoryTree tree;
    for (std::size_t k = 0; k < mappings; ++k) {
        const std::string argument = input.ConsumeRandomLengthString(80);
        if (std::optional<korvane::DriveMapping> mapping = korvane::parseMapArgument(argument)) {
            if (mapping->folder.starts_with('/'))
                setting.drives.add(std::move(*mapping));
        }
    }
    for (std::size_t k = 0; k < entries; ++k) {
        const bool folder = input.ConsumeBool();
        tree.add(input.ConsumeRandomLengthString(80), folder ? EntryKind::Folder : EntryKind::File);
    }
    std::vector<std::string> stored;
    while (input.remaining_bytes() > 0 && stored.size() < 16)
        stored.push_back(input.ConsumeRandomLengthString(120));

    PathResolver first = makeResolver(setting, tree);
    std::vector<Resolution> answers;
    for (const std::string& name : stored) {
        const bool exists = first.exists(name);
        const Resolution r = first.resolve(name);
        PROMISE(r.found == exists);
        PROMISE(first.exists(name) == exists);
        PROMISE(same(first.resolve(name), r));
        checkAnswer(first, tree, r);
        answers.push_back(r);
    }
    if (setting.codePage == korvane::kAutoCodePage)
        return 0;
    PathResolver second = makeResolver(setting, tree);
    for (std::size_t k = stored.size(); k-- > 0;) {
        PROMISE(same(second.resolve(stored[k]), answers[k]));
        PROMISE(second.exists(stored[k]) == answers[k].found);
    }
    return 0;
}
