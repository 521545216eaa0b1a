// korvane-make-catalogue-seeds DIR: writes the seed corpus of
// korvane-fuzz-catalogue into DIR/catalogue/seeds: small catalogues (pages
// of 512 bytes) made through the store itself, from empty to one with
// every kind of row and hostile names.

#include "catalogue/sqlite_catalogue.h"

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

using namespace korvane;

VolumeIdentity disk(const std::string& uuid, const std::string& label)
{
    VolumeIdentity id;
    id.kind = VolumeKind::Uuid;
    id.key = "uuid:" + uuid;
    id.uuid = uuid;
    id.label = label;
    id.source = "/dev/sdb1";
    id.fsType = "exfat";
    id.stableInodes = false;
    return id;
}

Digest digestOf(unsigned char seed)
{
    Digest d;
    for (std::size_t k = 0; k < d.bytes.size(); ++k)
        d.bytes[k] = static_cast<std::uint8_t>(seed * 31 + k);
    return d;
}

// A catalogue with `volumes` disks of a few folders and files each, and what
// a project remembered of some of them.
void fill(SqliteCatalogue& catalogue, int volumes, const std::string& oddName)
{
    inOneUnit(catalogue, [&] {
        for (int v = 0; v < volumes; ++v) {
            const VolumeRecord volume = catalogue.recordVolume(
                disk("1234-000" + std::to_string(v), v == 1 ? oddName : "WD_2024_" + std::to_string(v)),
                "/media/me/disk" + std::to_string(v), 1718400000 + v);
            for (const char* path : {"", "Footage", "Footage/2024-06-15", "Footage/2024-06-15/FX6"}) {
                const CatalogueId folder = catalogue.addFolder(volume.id, path, 1718400000);
                for (int k = 0; k < 3; ++k) {
                    const std::string name = k == 2 ? oddName : "C000" + std::to_string(k + 1) + ".MP4";
                    const auto seed = static_cast<unsigned char>(v * 7 + k);
                    catalogue.addFile(folder, name, {1000u + seed, 1718400000123456789, 100u + seed},
                                      k == 1 ? std::optional<Digest>() : digestOf(seed));
                }
            }
            Recollection r;
            r.project = "/home/me/wedding.dvc";
            r.stored = "D:\\Footage\\C000" + std::to_string(v + 1) + ".MP4";
            r.facts = {1000u + static_cast<unsigned>(v * 7), 1718400000123456789, 100};
            r.fingerprint = digestOf(static_cast<unsigned char>(v * 7));
            r.volume = volume.id;
            r.path = "Footage/2024-06-15/FX6/C0001.MP4";
            r.seen = 1718500000;
            catalogue.remember(r);
        }
    });
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: korvane-make-catalogue-seeds DIR\n");
        return 2;
    }
    const std::filesystem::path seeds = std::filesystem::path(argv[1]) / "catalogue" / "seeds";
    std::filesystem::create_directories(seeds);
    const struct {
        const char* name;
        int volumes;
        std::string oddName;
    } kinds[] = {
        {"empty.sqlite", 0, ""},
        {"one-disk.sqlite", 1, "Einzug_Braut.mp4"},
        {"three-disks.sqlite", 3, std::string("line\nbreak \xff\xfe \x1b[31m", 17)},
    };
    for (const auto& kind : kinds) {
        const std::string path = (seeds / kind.name).string();
        std::filesystem::remove(path);
        CatalogueOptions options;
        options.pageSize = 512;
        fill(*SqliteCatalogue::open(path, options), kind.volumes, kind.oddName);
        std::printf("%s: %ju bytes\n", path.c_str(), static_cast<std::uintmax_t>(std::filesystem::file_size(path)));
    }
    return 0;
}
