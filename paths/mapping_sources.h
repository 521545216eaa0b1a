#pragma once

#include "paths/codepage.h"
#include "paths/drive_map.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace korvane {

// Where the mappings of a run come from, in order of precedence: the
// explicit ones, the configuration file, a Wine prefix, WSL's drives. An
// empty path leaves that source out.
struct MappingSources {
    std::vector<DriveMapping> explicitMappings;
    std::filesystem::path configFile;
    std::filesystem::path winePrefix;
    std::filesystem::path wslRoot;

    // No explicit mappings; defaultConfigPath(); $WINEPREFIX, else ~/.wine;
    // /mnt when running under WSL (WSL_DISTRO_NAME is set, or the kernel's
    // release names Microsoft), else none.
    static MappingSources fromEnvironment();
};

// What a run needs to know before it starts.
struct ResolverSettings {
    DriveMap drives;
    std::string codePage{kAutoCodePage}; // the file's `codepage` when it has one
    std::size_t codePageLine = 0;        // the line of the file it is on; 0 when none
    std::vector<std::string> warnings;   // lines of the file that were not understood, a file that could not be read
};

ResolverSettings loadResolverSettings(const MappingSources& sources);

} // namespace korvane
