#include "run/remembering.h"

#include "catalogue/media_memory.h"
#include "catalogue/sqlite_catalogue.h"
#include "text/message.h"

#include <filesystem>

namespace korvane {

namespace {

std::vector<ChangedSinceSeen> changedFiles(const std::vector<ChangedFile>& files)
{
    std::vector<ChangedSinceSeen> out;
    out.reserve(files.size());
    for (const ChangedFile& file : files)
        out.push_back({file.stored, {}, file.path, file.now.size, file.remembered.facts.size});
    return out;
}

} // namespace

MemoryAnswers rememberFiles(const std::string& path, const MountSources& mounts, const std::string& projectFile,
                            const std::vector<FoundFile>& present, bool write)
{
    MemoryAnswers out;
    std::error_code error;
    if (!write && !std::filesystem::exists(path, error))
        return out;
    std::vector<PresentFile> files;
    files.reserve(present.size());
    for (const FoundFile& file : present)
        files.push_back({file.stored, file.path});
    try {
        CatalogueOptions options;
        options.readOnly = !write;
        options.mounts = mounts;
        const std::unique_ptr<SqliteCatalogue> catalogue = SqliteCatalogue::open(path, options);
        const MountTable table = MountTable::read(mounts);
        MediaMemory memory(*catalogue, table);
        const std::string project = projectKey(projectFile);
        if (!write) {
            out.changed = changedFiles(memory.changed(project, files, out.problems));
            return out;
        }
        RememberOutcome remembered = memory.remember(project, files);
        out.recorded = remembered.recorded;
        out.unchanged = remembered.unchanged;
        out.changed = changedFiles(remembered.changed);
        out.problems = std::move(remembered.problems);
        if (remembered.error)
            out.warning = fillMessage("the catalogue %1 could not be written: %2", {path, remembered.error->what()});
    } catch (const CatalogueError& e) {
        out.warning = write ? fillMessage("the catalogue %1 is not written: %2", {path, e.what()})
                            : fillMessage("the catalogue %1 is not consulted: %2", {path, e.what()});
    }
    return out;
}

std::unordered_map<std::string, RememberedContent> rememberedContent(const std::string& path,
                                                                     const MountSources& mounts,
                                                                     const std::string& projectFile,
                                                                     const std::vector<MissingFile>& missing)
{
    std::unordered_map<std::string, RememberedContent> out;
    std::error_code error;
    if (missing.empty() || !std::filesystem::exists(path, error))
        return out;
    try {
        CatalogueOptions options;
        options.readOnly = true;
        options.mounts = mounts;
        const std::unique_ptr<SqliteCatalogue> catalogue = SqliteCatalogue::open(path, options);
        const MountTable table = MountTable::read(mounts);
        MediaMemory memory(*catalogue, table);
        const std::string project = projectKey(projectFile);
        for (const MissingFile& file : missing)
            if (const std::optional<Recollection> r = memory.recall(project, file.stored))
                out.emplace(file.stored, RememberedContent{r->facts.size, r->fingerprint.bytes});
    } catch (const CatalogueError&) {
        out.clear();
    }
    return out;
}

} // namespace korvane
