#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
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

// A drive or share of the editor's system and the local folder that stands
// for it.
struct DriveMapping {
    std::string root;   // "D:" or "\\server\share"
    std::string folder; // absolute, without a trailing slash (except "/")
    MappingSource source = MappingSource::Explicit;
};

// The root written the one way mappings are kept: "D:" with the letter in
// upper case (from "d", "d:", "D:\", "d:/"), or "\\server\share" with
// backslashes (from "\\server\share", "//server/share", with or without a
// trailing separator). Nothing for anything else, a share with a folder
// below it included: mappings are made for whole drives and shares.
std::optional<std::string> canonicalRoot(std::string_view root);

// The message for text that canonicalRoot does not take.
std::string notARoot(std::string_view text);

// The key two roots are compared by: drive letters and share names ignore
// case, as the editor's system did.
std::string rootKey(std::string_view canonical);

// One command-line mapping, "D:=/media/video" or "\\nas\media=/mnt/nas": the
// root up to the first `=` (no drive or share name holds one), the folder
// after it. A leading "~" of the folder stands for $HOME; a relative folder
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

// The mappings of one run: the first mapping added for a root wins, so
// sources are added in order of precedence.
class DriveMap {
public:
    // Adds `mapping` unless its root already has one; returns whether it was added.
    bool add(DriveMapping mapping);
    void add(const std::vector<DriveMapping>& mappings);
    // The mapping of a canonical root ("D:", "\\server\share"), in any case.
    const DriveMapping* find(std::string_view root) const;
    // In the order added.
    const std::vector<DriveMapping>& all() const { return mappings_; }

private:
    std::vector<DriveMapping> mappings_;
    std::vector<std::string> keys_;
};

} // namespace korvane
