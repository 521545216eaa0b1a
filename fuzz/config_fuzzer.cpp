// korvane-fuzz-config: reads arbitrary bytes as a configuration file and
// aborts when a promise of the settings file is broken. The sanitizers catch
// bad reads and undefined behaviour; libFuzzer's -timeout and -rss_limit_mb
// bound time and memory.
//
// An input is an edit and a file (see fuzz/README.md): a root and a folder
// as libFuzzer's FuzzedDataProvider takes strings (`\\` for a backslash, `\`
// and one more byte to end one), the file's text, and a last byte that
// chooses the edit (none, setMapping, removeMapping or setCodePage).
//
// The promises:
//  - the file written to disk, loaded, saved and loaded again gives the same
//    mappings, code page (and its line) and warnings; so does the text of a
//    configuration parsed again;
//  - at most 20 line warnings, then one that counts the rest;
//  - an edit that is taken changes what it says and nothing else: after a
//    save and a load the mappings are the old ones with the root's replaced
//    or added (setMapping) or gone (removeMapping), or the code page is the
//    one set; the lines of other roots and settings are kept.

#include "paths/config_file.h"
#include "paths/drive_map.h"

#include "promise.h"
#include "work_folder.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using korvane::ConfigFile;
using korvane::DriveMapping;

constexpr std::size_t kLineWarnings = 20;

bool sameMappings(const std::vector<DriveMapping>& a, const std::vector<DriveMapping>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t k = 0; k < a.size(); ++k) {
        if (a[k].root != b[k].root || a[k].folder != b[k].folder || a[k].source != b[k].source)
            return false;
    }
    return true;
}

void writeFile(const std::filesystem::path& file, std::string_view text)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    PROMISE(out.good());
}

// Saves `config` and loads it again.
ConfigFile saveAndLoad(const ConfigFile& config, const std::filesystem::path& file)
{
    std::string error;
    PROMISE(config.save(file, &error));
    ConfigFile loaded = ConfigFile::load(file, &error);
    PROMISE(error.empty());
    return loaded;
}

// The text itself may change: a line that ends in more than one CR loses
// one each round, as the CR in front of the line end is taken for part of it.
void checkSame(const ConfigFile& a, const ConfigFile& b)
{
    PROMISE(sameMappings(a.mappings(), b.mappings()));
    PROMISE(a.codePage() == b.codePage());
    PROMISE(a.codePageLine() == b.codePageLine());
    PROMISE(a.warnings() == b.warnings());
}

// The mappings once `root` maps to `folder` (both as ConfigFile keeps them),
// or no longer maps anywhere when `folder` is empty.
std::vector<DriveMapping> editedMappings(std::vector<DriveMapping> mappings, const std::string& root,
                                         const std::string& folder)
{
    const std::string key = korvane::rootKey(root);
    std::vector<DriveMapping> out;
    bool replaced = false;
    for (DriveMapping& mapping : mappings) {
        if (korvane::rootKey(mapping.root) != key) {
            out.push_back(std::move(mapping));
        } else if (!folder.empty()) {
            out.push_back({root, folder, korvane::MappingSource::ConfigFile});
            replaced = true;
        }
    }
    if (!folder.empty() && !replaced)
        out.push_back({root, folder, korvane::MappingSource::ConfigFile});
    return out;
}

void checkEdit(ConfigFile config, std::uint8_t edit, const std::string& root, const std::string& folder,
               const std::filesystem::path& file)
{
    const std::vector<DriveMapping> before = config.mappings();
    const std::optional<std::string> codePage = config.codePage();
    std::vector<DriveMapping> expected = before;
    std::optional<std::string> expectedCodePage = codePage;
    switch (edit % 4) {
    case 0:
        return;
    case 1: {
        const std::optional<std::string> canonical = korvane::canonicalRoot(root);
        const std::optional<std::string> normal = korvane::normaliseFolder(folder, false);
        const bool taken = config.setMapping(root, folder);
        PROMISE(!taken || (canonical && normal));
        if (!taken)
            return; // refused: a mapping that could not be read back as it is
        expected = editedMappings(before, *canonical, *normal);
        break;
    }
    case 2: {
        const std::optional<std::string> canonical = korvane::canonicalRoot(root);
        const bool removed = config.removeMapping(root);
        if (!canonical) {
            PROMISE(!removed);
            return;
        }
        expected = editedMappings(before, *canonical, {});
        PROMISE(removed == (expected.size() != before.size()));
        break;
    }
    default: {
        if (!config.setCodePage(folder))
            return; // refused: a name that could not be read back as it is
        const std::size_t begin = folder.find_first_not_of(" \t\r");
        const std::size_t end = folder.find_last_not_of(" \t\r");
        const std::string value = begin == std::string::npos ? std::string() : folder.substr(begin, end - begin + 1);
        expectedCodePage = value.empty() ? std::nullopt : std::optional<std::string>(value);
        break;
    }
    }
    PROMISE(sameMappings(config.mappings(), expected));
    PROMISE(config.codePage() == expectedCodePage);
    const ConfigFile loaded = saveAndLoad(config, file);
    PROMISE(sameMappings(loaded.mappings(), expected));
    PROMISE(loaded.codePage() == expectedCodePage);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const std::uint8_t edit = input.ConsumeIntegral<std::uint8_t>(); // the last byte
    const std::string root = input.ConsumeRandomLengthString(300);
    const std::string folder = input.ConsumeRandomLengthString(300);
    const std::string text = input.ConsumeRemainingBytesAsString();

    const ConfigFile parsed = ConfigFile::parse(text);
    std::size_t lineWarnings = 0;
    for (const std::string& warning : parsed.warnings())
        lineWarnings += warning.starts_with("line ") ? 1 : 0;
    PROMISE(lineWarnings <= kLineWarnings);
    PROMISE(parsed.warnings().size() <= kLineWarnings + 1);
    checkSame(parsed, ConfigFile::parse(parsed.text()));

    const std::filesystem::path file = korvane::fuzz::workFolder("config") / "korvane.conf";
    writeFile(file, text);
    std::string error;
    const ConfigFile loaded = ConfigFile::load(file, &error);
    PROMISE(error.empty());
    PROMISE(sameMappings(loaded.mappings(), parsed.mappings()));
    PROMISE(loaded.codePage() == parsed.codePage());
    PROMISE(loaded.warnings() == parsed.warnings());
    checkSame(loaded, saveAndLoad(loaded, file));

    checkEdit(loaded, edit, root, folder, file);
    return 0;
}
