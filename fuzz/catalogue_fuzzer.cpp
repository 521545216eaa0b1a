// korvane-fuzz-catalogue: takes arbitrary bytes for a catalogue file, opens
// it read-only as korvane does before a search, and asks it everything a
// search asks. The sanitizers catch bad reads and undefined behaviour;
// libFuzzer's -timeout and -rss_limit_mb bound time and memory.
//
// The promises:
//  - opening either refuses the file with a CatalogueError or opens it, and
//    every query after either answers or throws a CatalogueError: nothing
//    else escapes;
//  - the file is never changed by being read;
//  - what comes back keeps its own rules: the folders below a path are that
//    path or below it, a file found by fingerprint has that fingerprint,
//    what a project remembered is of that project, and the sightings of a
//    missing file are of volumes the catalogue lists, best first.

#include "catalogue/mount_table.h"
#include "catalogue/sqlite_catalogue.h"
#include "catalogue/whereabouts.h"

#include "promise.h"
#include "work_folder.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using namespace korvane;

std::string readAll(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

constexpr std::size_t kVolumes = 8;
constexpr std::size_t kFolders = 16;
constexpr std::size_t kFiles = 64;

// Asks the catalogue what a search asks of it, checking each answer.
void query(SqliteCatalogue& catalogue)
{
    const std::vector<VolumeRecord> volumes = catalogue.volumes();
    std::vector<MissingName> missing;
    std::vector<FolderRecord> folders;
    std::vector<FileRecord> files;
    std::vector<CataloguedFile> found;
    for (std::size_t v = 0; v < volumes.size() && v < kVolumes; ++v) {
        catalogue.fileCount(volumes[v].id);
        folders.clear();
        catalogue.foldersBelow(volumes[v].id, "Footage", folders);
        for (const FolderRecord& f : folders)
            PROMISE(f.path == "Footage" || f.path.starts_with("Footage/"));
        folders.clear();
        catalogue.foldersBelow(volumes[v].id, "", folders);
        for (std::size_t d = 0; d < folders.size() && d < kFolders; ++d) {
            catalogue.files(folders[d].id, files);
            for (std::size_t k = 0; k < files.size() && k < kFiles; ++k) {
                const FileRecord& file = files[k];
                MissingName name{"D:\\" + folders[d].path + "\\" + file.name, file.name, {}};
                const std::size_t slash = folders[d].path.rfind('/');
                name.folders.push_back(slash == std::string::npos ? folders[d].path : folders[d].path.substr(slash + 1));
                missing.push_back(std::move(name));
                if (!file.fingerprint)
                    continue;
                found.clear();
                catalogue.filesWithFingerprint(*file.fingerprint, found);
                for (const CataloguedFile& same : found)
                    PROMISE(same.file.fingerprint && *same.file.fingerprint == *file.fingerprint);
            }
        }
    }
    std::vector<Recollection> remembered;
    catalogue.recallProject("/home/me/wedding.dvc", remembered);
    for (const Recollection& r : remembered) {
        PROMISE(r.project == "/home/me/wedding.dvc");
        missing.push_back({r.stored, "C0001.MP4", {"Footage"}});
    }
    const MountTable none = MountTable::parse("", {}, {});
    const std::vector<Whereabouts> where = findWhereabouts(catalogue, none, "/home/me/wedding.dvc", missing);
    PROMISE(where.size() == missing.size());
    for (const Whereabouts& w : where) {
        PROMISE(w.sameFile.empty()); // nothing is connected
        for (std::size_t k = 0; k < w.notConnected.size(); ++k) {
            const Sighting& s = w.notConnected[k];
            PROMISE(s.volume && !s.connected());
            PROMISE(std::any_of(volumes.begin(), volumes.end(), [&](const VolumeRecord& v) { return v.id == s.volume->id; }));
            PROMISE(k == 0 || w.notConnected[k - 1].evidence <= s.evidence);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::filesystem::path file = korvane::fuzz::workFolder("catalogue") / "catalogue.sqlite";
    std::error_code ignored;
    for (const char* suffix : {"", "-wal", "-shm"})
        std::filesystem::remove(file.string() + suffix, ignored);
    {
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        PROMISE(out.good());
    }
    const std::string before = readAll(file);
    CatalogueOptions options;
    options.readOnly = true;
    options.busyMilliseconds = 0;
    try {
        std::unique_ptr<SqliteCatalogue> catalogue = SqliteCatalogue::open(file.string(), options);
        try {
            query(*catalogue);
        } catch (const CatalogueError&) {
        }
    } catch (const CatalogueError&) {
    }
    PROMISE(readAll(file) == before);
    return 0;
}
