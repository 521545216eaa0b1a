#include "catalogue/whereabouts.h"

#include "catalogue/media_memory.h"
#include "catalogue/name_key.h"
#include "text/unicode_text.h"

#include <algorithm>
#include <tuple>
#include <unordered_map>

namespace korvane {

namespace {

// Whether two names are one as names on disk are compared: alike, or alike
// once folded.
bool sameName(std::string_view a, std::string_view b)
{
    return a == b || foldCase(a) == foldCase(b);
}

// How many folder names `stored` (decoded, outermost first) and the folder
// path `folder` (on disk, '/' between names) end with alike.
std::uint16_t sharedFolders(const std::vector<std::string>& stored, std::string_view folder)
{
    std::uint16_t shared = 0;
    auto name = stored.rbegin();
    while (name != stored.rend() && !folder.empty() && shared < UINT16_MAX) {
        const std::size_t slash = folder.rfind('/');
        const std::string_view last = slash == std::string_view::npos ? folder : folder.substr(slash + 1);
        if (!sameName(last, *name))
            break;
        ++shared;
        ++name;
        folder = slash == std::string_view::npos ? std::string_view() : folder.substr(0, slash);
    }
    return shared;
}

// Whether the sightings are all one content: each fingerprint known and alike.
bool oneContent(const std::vector<Sighting>& sightings)
{
    const Sighting& first = sightings.front();
    return std::all_of(sightings.begin(), sightings.end(), [&](const Sighting& s) {
        return s.file.fingerprint && first.file.fingerprint && *s.file.fingerprint == *first.file.fingerprint &&
               s.file.facts.size == first.file.facts.size;
    });
}

// Where a look-up by fingerprint goes in its index: the first 8 bytes, the
// high bit cleared so that all of them come before the look-ups by name.
std::uint64_t indexOrder(const Digest& fingerprint)
{
    std::uint64_t key = 0;
    for (int k = 0; k < 8; ++k)
        key = key << 8 | fingerprint.bytes[static_cast<std::size_t>(k)];
    return key >> 1;
}

// Where a look-up by name goes in its table of keys, as SQLite orders them.
std::uint64_t indexOrder(const MissingName& missing)
{
    const std::uint64_t key =
        fileNameKey(folderNameKey(missing.folders.empty() ? std::string() : missing.folders.back()), missing.name);
    return std::uint64_t{1} << 63 | (key ^ std::uint64_t{1} << 63) >> 1;
}

class Finder {
public:
    Finder(CatalogueStore& store, const MountTable& mounts, std::string_view project, const WhereaboutsOptions& options)
        : store_(store), mounts_(mounts), options_(options)
    {
        for (VolumeRecord& volume : store_.volumes()) {
            const bool connected = mounts_.connected(volume.identity.key);
            std::string name = volumeName(volume.identity);
            volumes_.emplace(volume.id, Volume{std::make_shared<const VolumeRecord>(std::move(volume)), connected,
                                               std::move(name)});
        }
        std::vector<Recollection> own;
        store_.recallProject(project, own);
        for (Recollection& r : own)
            recollections_.emplace(r.stored, std::move(r));
    }

    // What this project remembered of `stored`; null when nothing.
    const Recollection* own(const std::string& stored) const;
    // What other projects remembered of it, when they agree.
    std::optional<Recollection> others(const std::string& stored);
    // Fills in where `missing` is, `w.remembered` being known.
    void find(const MissingName& missing, Whereabouts& w);

private:
    struct Volume {
        std::shared_ptr<const VolumeRecord> record;
        bool connected;
        std::string name; // volumeName
    };

    void sight(const CataloguedFile& found, Evidence evidence, std::uint16_t shared, std::vector<Sighting>& out);
    void byName(const MissingName& missing, const std::optional<Recollection>& remembered, std::vector<Sighting>& out);
    bool better(const Sighting& a, const Sighting& b) const;
    void keepBest(Whereabouts& w, std::vector<Sighting>& notConnected) const;

    CatalogueStore& store_;
    const MountTable& mounts_;
    const WhereaboutsOptions& options_;
    std::unordered_map<CatalogueId, Volume> volumes_;
    std::unordered_map<std::string, Recollection> recollections_;
    std::vector<CataloguedFile> found_;
};

const Recollection* Finder::own(const std::string& stored) const
{
    const auto it = recollections_.find(stored);
    return it == recollections_.end() ? nullptr : &it->second;
}

std::optional<Recollection> Finder::others(const std::string& stored)
{
    std::vector<Recollection> everywhere;
    store_.recallEverywhere(stored, everywhere);
    return MediaMemory::agreed(everywhere);
}

void Finder::sight(const CataloguedFile& found, Evidence evidence, std::uint16_t shared, std::vector<Sighting>& out)
{
    const auto volume = volumes_.find(found.volume);
    if (volume == volumes_.end())
        return;
    Sighting s;
    s.volume = volume->second.record;
    s.path = found.path();
    const bool known = std::any_of(out.begin(), out.end(), [&](const Sighting& o) {
        return o.volume == s.volume && o.path == s.path;
    });
    if (known)
        return;
    if (volume->second.connected)
        s.now = mounts_.pathNow(s.volume->identity.key, s.path);
    s.file = found.file;
    s.seen = found.seen;
    s.evidence = evidence;
    s.sharedFolders = shared;
    out.push_back(std::move(s));
}

// Files of the missing file's name in a folder of its folder's name, on
// volumes not connected (those connected are the search's to walk), when
// the evidence holds; and the place it was remembered at.
void Finder::byName(const MissingName& missing, const std::optional<Recollection>& remembered,
                    std::vector<Sighting>& out)
{
    found_.clear();
    store_.filesNamed(missing.folders.empty() ? std::string() : missing.folders.back(), missing.name, found_);
    const bool placeSeen = std::any_of(out.begin(), out.end(), [&](const Sighting& s) {
        return remembered && remembered->volume && s.volume->id == *remembered->volume && s.path == remembered->path;
    });
    if (remembered && remembered->volume && !placeSeen) {
        if (std::optional<CataloguedFile> there = store_.fileAt(*remembered->volume, remembered->path))
            found_.push_back(std::move(*there));
    }
    for (const CataloguedFile& found : found_) {
        const auto volume = volumes_.find(found.volume);
        if (volume == volumes_.end() || volume->second.connected)
            continue;
        const std::uint16_t shared = sharedFolders(missing.folders, found.folder);
        if (remembered) {
            // Told apart by what was remembered: another size, or another
            // fingerprint, is another file.
            if (found.file.facts.size == remembered->facts.size && !found.file.fingerprint)
                sight(found, Evidence::SameSize, shared, out);
        } else if (shared >= 1 && sameName(found.file.name, missing.name)) {
            sight(found, Evidence::SameFolders, shared, out);
        }
    }
}

bool Finder::better(const Sighting& a, const Sighting& b) const
{
    if (a.evidence != b.evidence || a.sharedFolders != b.sharedFolders)
        return std::pair(a.evidence, -static_cast<int>(a.sharedFolders)) <
               std::pair(b.evidence, -static_cast<int>(b.sharedFolders));
    const std::string& aName = volumes_.at(a.volume->id).name;
    const std::string& bName = volumes_.at(b.volume->id).name;
    return std::tie(aName, a.path) < std::tie(bName, b.path);
}

void Finder::keepBest(Whereabouts& w, std::vector<Sighting>& notConnected) const
{
    const auto order = [this](const Sighting& a, const Sighting& b) { return better(a, b); };
    std::sort(w.sameFile.begin(), w.sameFile.end(), order);
    if (w.sameFile.size() > options_.maxSightings)
        w.sameFile.resize(options_.maxSightings);
    if (notConnected.empty())
        return;
    std::sort(notConnected.begin(), notConnected.end(), order);
    const Sighting& best = notConnected.front();
    const auto weaker = std::find_if(notConnected.begin(), notConnected.end(), [&](const Sighting& s) {
        return s.evidence != best.evidence || s.sharedFolders != best.sharedFolders;
    });
    notConnected.erase(weaker, notConnected.end());
    w.ambiguous = best.evidence != Evidence::SameContent && notConnected.size() > 1 && !oneContent(notConnected);
    if (notConnected.size() > options_.maxSightings)
        notConnected.resize(options_.maxSightings);
    w.notConnected = std::move(notConnected);
}

void Finder::find(const MissingName& missing, Whereabouts& w)
{
    std::vector<Sighting> sightings;
    if (w.remembered) {
        found_.clear();
        store_.filesWithFingerprint(w.remembered->fingerprint, found_);
        for (const CataloguedFile& found : found_) {
            if (found.file.facts.size == w.remembered->facts.size)
                sight(found, Evidence::SameContent, sharedFolders(missing.folders, found.folder), sightings);
        }
    }
    // The same content anywhere outweighs every other evidence.
    if (sightings.empty())
        byName(missing, w.remembered, sightings);
    std::vector<Sighting> notConnected;
    for (Sighting& s : sightings) {
        if (!s.connected())
            notConnected.push_back(std::move(s));
        else if (s.evidence == Evidence::SameContent && MediaMemory::isSameFile(*w.remembered, s.now))
            w.sameFile.push_back(std::move(s));
    }
    keepBest(w, notConnected);
}

} // namespace

std::vector<Whereabouts> findWhereabouts(CatalogueStore& store, const MountTable& mounts, std::string_view project,
                                         const std::vector<MissingName>& missing, const WhereaboutsOptions& options)
{
    return inOneReading(store, [&] {
        Finder finder(store, mounts, project, options);
        std::vector<Whereabouts> out(missing.size());
        // What other projects remembered of the names this one did not,
        // asked in the order of the stored names, as their index holds them.
        std::vector<std::size_t> unknown;
        for (std::size_t k = 0; k < missing.size(); ++k) {
            if (const Recollection* r = finder.own(missing[k].stored))
                out[k].remembered = *r;
            else
                unknown.push_back(k);
        }
        std::sort(unknown.begin(), unknown.end(),
                  [&](std::size_t a, std::size_t b) { return missing[a].stored < missing[b].stored; });
        for (const std::size_t k : unknown)
            out[k].remembered = finder.others(missing[k].stored);
        // Looked up in the order of their keys in the indexes, so that
        // neighbours share pages: a large catalogue is read once, mostly
        // in order, rather than at random.
        std::vector<std::pair<std::uint64_t, std::size_t>> order;
        order.reserve(missing.size());
        for (std::size_t k = 0; k < missing.size(); ++k)
            order.emplace_back(out[k].remembered ? indexOrder(out[k].remembered->fingerprint) : indexOrder(missing[k]),
                               k);
        std::sort(order.begin(), order.end());
        for (const auto& [key, k] : order)
            finder.find(missing[k], out[k]);
        return out;
    });
}

} // namespace korvane
