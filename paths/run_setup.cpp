#include "paths/run_setup.h"

#include "paths/config_file.h"
#include "paths/name_match.h"
#include "text/message.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <unordered_set>

namespace korvane {

namespace {

bool runningUnderWsl()
{
    if (const char* distro = std::getenv("WSL_DISTRO_NAME"); distro && *distro)
        return true;
    std::ifstream release("/proc/sys/kernel/osrelease");
    std::string text;
    std::getline(release, text);
    return foldCase(text).find("microsoft") != std::string::npos;
}

bool isFolder(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isAnything(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// At most this many warnings about mappings to missing folders, then one
// that counts the rest.
constexpr std::size_t kMaxMissingFolderWarnings = 20;

// The warnings about the explicit and configured mappings of `drives`
// whose folders do not exist, each sentence once, the first
// kMaxMissingFolderWarnings of them and then "and N more".
void warnAboutMissingFolders(const DriveMap& drives, std::vector<SetupWarning>& warnings)
{
    std::unordered_set<std::string> said;
    std::size_t more = 0;
    for (const DriveMapping& mapping : drives.all()) {
        if (mapping.source != MappingSource::Explicit && mapping.source != MappingSource::ConfigFile)
            continue;
        if (isFolder(mapping.folder))
            continue;
        std::string text = missingFolderWarning(mapping);
        if (!said.insert(text).second)
            continue;
        if (said.size() > kMaxMissingFolderWarnings)
            ++more;
        else
            warnings.push_back({SetupWarning::About::MissingFolder, std::move(text)});
    }
    if (more > 0)
        warnings.push_back({SetupWarning::About::MissingFolder,
                            fillMessage("and %1 more mappings to folders that do not exist", {std::to_string(more)})});
}

constexpr const char* kNotACodePage = N_("not a code page this system can decode stored names from");

} // namespace

MappingSources MappingSources::fromEnvironment()
{
    MappingSources sources;
    sources.configFile = defaultConfigPath();
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix && *prefix)
        sources.winePrefix = prefix;
    else if (const char* home = std::getenv("HOME"); home && *home)
        sources.winePrefix = std::filesystem::path(home) / ".wine";
    if (runningUnderWsl())
        sources.wslRoot = "/mnt";
    return sources;
}

ResolverSettings loadResolverSettings(const MappingSources& sources)
{
    ResolverSettings settings;
    settings.drives.add(sources.explicitMappings);
    if (!sources.configFile.empty()) {
        std::string error;
        const ConfigFile config = ConfigFile::load(sources.configFile, &error);
        if (!error.empty())
            settings.warnings.push_back(error);
        for (const std::string& warning : config.warnings())
            settings.warnings.push_back(fillMessage("%1, %2", {sources.configFile.string(), warning}));
        settings.drives.add(config.mappings());
        if (const std::optional<std::string> codePage = config.codePage()) {
            settings.codePage = *codePage;
            settings.codePageLine = config.codePageLine();
        }
    }
    settings.drives.add(wineMappings(sources.winePrefix));
    settings.drives.add(wslMappings(sources.wslRoot));
    return settings;
}

std::string missingFolderWarning(const DriveMapping& mapping)
{
    const std::string_view base = driveOrShare(mapping.root);
    const bool share = base.starts_with("\\\\");
    std::string root;
    if (base.size() != mapping.root.size())
        root = fillMessage(share ? N_("folder %1 on share %2") : N_("folder %1 on drive %2"), {mapping.root, base});
    else
        root = fillMessage(share ? N_("share %1") : N_("drive %1"), {mapping.root});
    return fillMessage(isAnything(mapping.folder)
                           ? N_("%1 is mapped to %2, which is not a folder")
                           : N_("%1 is mapped to %2, which does not exist; is the disk mounted?"),
                       {root, mapping.folder});
}

std::string RunSetup::errorText() const
{
    switch (error) {
    case SetupError::None:
        break;
    case SetupError::CodePage:
        return fillMessage("%1 (try auto, CP932 or WINDOWS-1252)", {message(kNotACodePage)});
    case SetupError::NoDecoder:
        return message("the system's iconv cannot decode CP932 and WINDOWS-1252");
    }
    return {};
}

RunSetup setUpRun(const MappingSources& sources, const std::optional<std::string>& codePage, DecoderOpener open)
{
    RunSetup setup;
    ResolverSettings settings = loadResolverSettings(sources);
    for (std::string& warning : settings.warnings)
        setup.warnings.push_back({SetupWarning::About::Settings, std::move(warning)});
    warnAboutMissingFolders(settings.drives, setup.warnings);

    setup.codePage = codePage ? *codePage : settings.codePage;
    std::optional<TextDecoder> decoder = open(setup.codePage);
    if (!decoder && codePage) {
        setup.error = SetupError::CodePage;
        return setup;
    }
    if (!decoder && setup.codePage != kAutoCodePage) {
        setup.warnings.push_back({SetupWarning::About::Settings,
                                  fillMessage("%1, line %2: codepage %3 is %4; using auto",
                                              {sources.configFile.string(), std::to_string(settings.codePageLine),
                                               shownInWarning(setup.codePage), message(kNotACodePage)})});
        setup.codePage = kAutoCodePage;
        decoder = open(kAutoCodePage);
    }
    if (!decoder) {
        setup.error = SetupError::NoDecoder;
        return setup;
    }
    setup.resolver.emplace(std::move(settings.drives), std::move(*decoder));
    return setup;
}

} // namespace korvane
