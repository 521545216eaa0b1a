#pragma once

#include "paths/drive_map.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// $XDG_CONFIG_HOME/korvane/korvane.conf, or ~/.config/korvane/korvane.conf
// when XDG_CONFIG_HOME is unset, empty or relative. Empty when neither that
// nor HOME is set.
std::filesystem::path defaultConfigPath();

// Text of a configuration file as a warning quotes it: bytes that are no
// UTF-8 as U+FFFD, control characters as \xHH, and cut after 60 bytes
// (marked by "...").
std::string shownInWarning(std::string_view text);

// The most a configuration file may hold: 1 MiB. No person writes more, and
// what reads it never holds more.
inline constexpr std::size_t kMaxConfigFileBytes = std::size_t{1} << 20;

// Whether `text` holds a control character: a byte below 0x20 (a line
// break, a NUL, an escape), DEL, or a C1 control (U+0080 to U+009F) written
// in UTF-8. A root or folder that holds one is never a line of the
// configuration file: a line break would end the line and start another.
bool holdsControlCharacter(std::string_view text);

// Why ConfigFile::setMapping refuses to map `root` to `folder`, in words
// ("'/x\x0Amap E: = /tmp' holds a line break, which a line of the
// configuration file cannot hold"); empty when it takes the mapping. It
// takes a root canonicalRoot takes and an absolute folder (or one below ~),
// neither holding a control character, whose line reads back as the same
// mapping.
std::string unwritableMapping(std::string_view root, std::string_view folder);

// The settings file shared by the command line and the dialog. One setting
// a line, `key = value`, blanks around both ignored; a line whose first
// non-blank character is `#` is a comment (a `#` later in a line is part of
// the value: folder names may hold one).
//
//     # korvane settings
//     codepage = auto
//     map D: = /media/video
//     map \\nas\media = /mnt/nas
//     map E:\Archive\2019 = /mnt/archive/2019
//     remember = yes
//
// `map ROOT = FOLDER` maps a drive, a share or a folder on one (see
// canonicalRoot) to an absolute local folder (a leading ~ stands for the
// home folder); the root ends at rootEnd. When a root is mapped twice the
// later line wins. `codepage` names the code page of stored names (see
// TextDecoder). `remember = yes` (or `no`) has the dialog remember the
// present media of each scan in the catalogue of disks (korvane-scan asks
// for it with --remember). Lines that are not understood are reported as warnings,
// ignored, and written back unchanged, as are comments and blank lines; so
// is a map line whose root or folder holds a control character.
class ConfigFile {
public:
    static ConfigFile parse(std::string_view text);
    // A file that does not exist reads as empty, without error. One that
    // cannot be read also reads as empty, with `error` set; so does one that
    // is not a regular file (a FIFO, a device: these are never opened) and
    // one larger than kMaxConfigFileBytes (never read in part).
    static ConfigFile load(const std::filesystem::path& file, std::string* error = nullptr);

    // Writes text() to a new file beside `file` and renames it over `file`,
    // creating the folders on the way; follows a symbolic link to the file.
    // Refuses, writing nothing, when a setting's line holds a control
    // character.
    bool save(const std::filesystem::path& file, std::string* error = nullptr) const;
    std::string text() const;

    // The mappings in the order their roots first appear, source ConfigFile.
    std::vector<DriveMapping> mappings() const;
    // Maps `root` (see canonicalRoot) to `folder` (absolute, or starting with
    // ~). An existing line for the root is rewritten in place, further lines
    // for it are removed; a new root goes after the last mapping. Returns
    // false, changing nothing, when unwritableMapping refuses the mapping;
    // `why` then says why.
    bool setMapping(std::string_view root, std::string_view folder, std::string* why = nullptr);
    // Removes every line of the root; returns whether there was one.
    bool removeMapping(std::string_view root);

    // The value of the last `codepage` line; nothing without one.
    std::optional<std::string> codePage() const;
    // Sets the `codepage` line as setMapping sets a map line; an empty name
    // removes it. Returns false, changing nothing, for a name that holds a
    // control character.
    bool setCodePage(std::string_view codePage);

    // The value of the last `remember` line: whether the dialog remembers
    // the present media of each scan; false without one.
    bool remember() const;
    // Sets the `remember` line, as setCodePage sets its line.
    void setRemember(bool remember);

    // The number of the line codePage() comes from; 0 without one.
    std::size_t codePageLine() const { return codePageLine_; }

    // "line N: ..." and what is wrong, for every line that was not
    // understood; after the first 20 one more, "lines N to M: K more lines
    // not understood".
    const std::vector<std::string>& warnings() const { return warnings_; }

private:
    enum class Kind { Other, Map, CodePage, Remember };
    struct Line {
        std::string text;
        Kind kind = Kind::Other;
        std::string key;   // of a Map line: rootKey of its root
        std::string root;  // of a Map line: canonical
        std::string value; // of a Map line: the folder; of a CodePage line: the name; of a Remember line: yes or no
    };

    // The line of the setting `key = value`; a line of no setting, and
    // `why` said, when the setting is not understood.
    static Line settingLine(std::string_view raw, std::string_view key, std::string_view value, std::string& why);
    void setLine(Kind kind, const std::string& key, Line line);

    std::vector<Line> lines_;
    std::vector<std::string> warnings_;
    std::size_t codePageLine_ = 0;
};

} // namespace korvane
