#pragma once

// The set-up of one run, shared by the command line and the dialog: from
// where the mappings come from and the code page asked for to a resolver.

#include "paths/mapping_sources.h"
#include "paths/path_resolver.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// Something the user should know about the settings of a run; the run goes
// on regardless.
struct SetupWarning {
    enum class About {
        Settings,        // the configuration file: a line not understood, a file that could not be read, its code page
        MissingFolder,   // a mapping given or configured whose folder does not exist (see missingFolderWarning),
                         // or after the first 20 of those, "and N more mappings to folders that do not exist"
    };
    About about = About::Settings;
    std::string text;
};

// Why a run cannot start.
enum class SetupError {
    None,
    CodePage,  // the code page asked for cannot be had; `codePage` names it
    NoDecoder, // the system's iconv decodes neither CP932 nor WINDOWS-1252
};

struct RunSetup {
    std::optional<PathResolver> resolver; // empty when `error` says why
    std::vector<SetupWarning> warnings;   // in the order met, also when `error` is set
    SetupError error = SetupError::None;
    std::string codePage; // the code page of the resolver, or the one that could not be had

    // The error in words, without a subject: "not a code page this system
    // can decode stored names from (try auto, CP932 or WINDOWS-1252)", "the
    // system's iconv cannot decode CP932 and WINDOWS-1252". Empty for None.
    std::string errorText() const;
};

// The warning about `mapping`, whose folder does not exist: "drive D: is
// mapped to /media/usb, which does not exist; is the disk mounted?" ("share
// \\nas\media is ...", "folder D:\Video on drive D: is ..."); "..., which is
// not a folder" when something else is there.
std::string missingFolderWarning(const DriveMapping& mapping);

// How a code page is had; TextDecoder::open, except in tests.
using DecoderOpener = std::optional<TextDecoder> (*)(std::string_view codePage);

// The resolver of a run: the mappings of `sources` in their order of
// precedence, and the code page `codePage` when one is asked for, else the
// configuration file's, else auto. A configuration file's code page that
// cannot be had is warned about and auto is used instead; a code page asked
// for that cannot be had is an error, and so is auto when it cannot be had.
// An explicit or configured mapping to a folder that does not exist is
// warned about, each once (the folders of Wine and WSL drives are often
// absent media, so they are not); the first 20, then how many more. So the
// warnings are bounded whatever the file holds: the file's own are (see
// ConfigFile::warnings), and so is the file.
RunSetup setUpRun(const MappingSources& sources, const std::optional<std::string>& codePage,
                  DecoderOpener open = &TextDecoder::open);

} // namespace korvane
