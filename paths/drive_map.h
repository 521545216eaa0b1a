#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace korvane {

// Where a mapping came from, in order of precedence.
enum class MappingSource {
    Explicit,   // given by the caller (korvane-scan --map)
    ConfigFile, // korvane.conf
    Wine,       // a Wine prefix's dosdevices links
    Wsl,        // WSL's /mnt/<letter>
};

// "--map", "configuration file", "Wine prefix", "WSL".
std::string_view describe(MappingSource source);

// A drive or share of the editor's system, or a folder on one, and the
// local folder that stands for it.
struct DriveMapping {
    std::string root;   // "D:", "\\server\share", "D:\Video", "\\server\share\2019"
    std::string folder; // absolute, without a trailing slash (except "/")
    MappingSource source = MappingSource::Explicit;
};

// The root written the one way mappings are kept: "D:" with the letter in
// upper case (from "d", "d:", "D:\", "d:/"), or "\\server\share" with
// backslashes (from "\\server\share", "//server/share"), either followed
// by folder names joined by `\` ("D:\Video\Day1" from "d:/Video/Day1/"),
// with or without a trailing separator. The names are kept as written (they
// are UTF-8, compared with the decoded stored names); nothing when one is
// empty, ".", "..", or holds a wildcard, and nothing for any other text.
std::optional<std::string> canonicalRoot(std::string_view root);

// The drive or share of a canonical root: "D:" of "D:\Video".
std::string_view driveOrShare(std::string_view canonical);

// The message for text that canonicalRoot does not take.
std::string notARoot(std::string_view text);

// The key two roots are compared by: drive letters, share and folder names
// ignore case, as the editor's system did.
std::string rootKey(std::string_view canonical);

// Where the root of "ROOT=FOLDER" ends: no drive or share name holds a `=`,
// but a folder name may, so it is the first `=` followed (after blanks) by
// "/" or "~", else the first `=`; npos when there is none. A root whose
// folders hold a `=` thus takes an absolute folder or one below "~".
std::size_t rootEnd(std::string_view mapping);

// One command-line mapping, "D:=/media/video", "\\nas\media=/mnt/nas" or
// "D:\Video=/mnt/archive/Video": the root up to rootEnd, the folder after it. A leading "~" of the folder stands for $HOME; a relative folder
// is taken from the current directory. Nothing, with `error` set, when the
// argument is not of that form.
std::optional<DriveMapping> parseMapArgument(std::string_view argument, std::string* error = nullptr);

// Turns a folder as given by a user into the form DriveMapping keeps;
// nothing when it is empty, or relative while `allowRelative` is false.
std::optional<std::string> normaliseFolder(std::string_view folder, bool allowRelative);

// The drives of a Wine prefix: every link or folder "x:" in its dosdevices
// folder, and every share "unc/server/share". Links are followed to their
// targets; a link whose target is gone still maps its drive (the report then
// says which folder is missing). Nothing when the prefix has no dosdevices.
std::vector<DriveMapping> wineMappings(const std::filesystem::path& prefix);

// WSL's drives: every folder "<root>/x" named by one small letter.
std::vector<DriveMapping> wslMappings(const std::filesystem::path& root);

// The mappings of one run, which form a search path. A mapping covers a
// stored path when its root is a prefix of it at whole names (compared
// without regard to case: "D:\Video" covers "D:\video\a.avi", never
// "D:\VideoOld\a.avi"). A stored path is looked for below every mapping
// that covers it, the longest root first, then the shorter ones; of mappings
// of one root, in the order added, so sources are added in order of
// precedence. The first place where the file is found wins, so a mapping
// only ever adds a place to look: a folder mapping never hides its drive's.
class DriveMap {
public:
    // Adds `mapping` unless its source already maps its root (the first of
    // one source wins) or another source maps its root to the same folder;
    // returns whether it was added.
    bool add(DriveMapping mapping);
    void add(const std::vector<DriveMapping>& mappings);
    // The first mapping added of a canonical root ("D:", "\\server\share",
    // "D:\Video"), in any case.
    const DriveMapping* find(std::string_view root) const;

    struct Match {
        const DriveMapping* mapping = nullptr;
        std::size_t folders = 0; // how many of the names its root takes
    };
    // Every mapping that covers a path on drive or share `root` ("D:", as
    // splitWindowsPath writes it) with the names `names` below it, in the
    // order they are tried: the longest root first, mappings of one root in
    // the order added. Empty when none covers it.
    std::vector<Match> covering(std::string_view root, const std::vector<std::string>& names) const;
    // The first of covering(root, names); no mapping when none covers it.
    Match match(std::string_view root, const std::vector<std::string>& names) const;
    // The mappings of folders on drive or share `root`, in the order added,
    // each root once.
    std::vector<const DriveMapping*> foldersOn(std::string_view root) const;

    // In the order added.
    const std::vector<DriveMapping>& all() const { return mappings_; }

private:
    struct Key {
        std::string whole;                // rootKey of the root
        std::string base;                 // rootKey of its drive or share
        std::vector<std::string> folders; // its folder names, folded
    };

    std::vector<DriveMapping> mappings_;
    std::vector<Key> keys_;
    // The mappings of each root, by rootKey, in the order added: so adding
    // many mappings costs time linear in their number.
    std::unordered_map<std::string, std::vector<std::size_t>> byRoot_;
};

} // namespace korvane
