#include "run/catalogue_lookup.h"

#include "catalogue/media_memory.h"
#include "catalogue/sqlite_catalogue.h"
#include "catalogue/whereabouts.h"
#include "text/message.h"

#include <algorithm>
#include <filesystem>

namespace korvane {

namespace {

std::string_view evidenceName(Evidence evidence)
{
    switch (evidence) {
    case Evidence::SameContent:
        return "same-content";
    case Evidence::SameSize:
        return "same-size";
    case Evidence::SameFolders:
        break;
    }
    return "same-folders";
}

// The stored path as the catalogue looks it up: its name and folders,
// decoded in the project's code page.
MissingName missingName(const MissingFile& file)
{
    StoredPath path = parseStoredPath(file.decoded);
    return {file.stored, std::move(path.name), std::move(path.folders)};
}

} // namespace

void CatalogueAnswers::makeIndex()
{
    byStored.resize(answers.size());
    for (std::size_t k = 0; k < answers.size(); ++k)
        byStored[k] = k;
    std::sort(byStored.begin(), byStored.end(),
              [this](std::size_t a, std::size_t b) { return answers[a].stored < answers[b].stored; });
}

const CatalogueAnswer* CatalogueAnswers::find(std::string_view stored) const
{
    // Answers filled by hand, without the index, are searched in turn.
    if (byStored.size() != answers.size()) {
        const auto it = std::find_if(answers.begin(), answers.end(),
                                     [&](const CatalogueAnswer& a) { return a.stored == stored; });
        return it == answers.end() ? nullptr : &*it;
    }
    const auto it = std::lower_bound(byStored.begin(), byStored.end(), stored,
                                     [this](std::size_t k, std::string_view key) { return answers[k].stored < key; });
    return it != byStored.end() && answers[*it].stored == stored ? &answers[*it] : nullptr;
}

CatalogueAnswers lookUpCatalogue(const std::string& path, const MountSources& mounts, const std::string& projectFile,
                                 const std::vector<MissingFile>& missing)
{
    CatalogueAnswers out;
    std::error_code error;
    if (missing.empty() || !std::filesystem::exists(path, error))
        return out;
    std::vector<MissingName> names;
    names.reserve(missing.size());
    for (const MissingFile& file : missing)
        names.push_back(missingName(file));
    std::vector<Whereabouts> found;
    try {
        CatalogueOptions options;
        options.readOnly = true;
        const std::unique_ptr<SqliteCatalogue> catalogue = SqliteCatalogue::open(path, options);
        found = findWhereabouts(*catalogue, MountTable::read(mounts), projectKey(projectFile), names);
    } catch (const CatalogueError& e) {
        out.warning = fillMessage("the catalogue %1 is not consulted: %2", {path, e.what()});
        return out;
    }
    for (std::size_t k = 0; k < found.size() && k < missing.size(); ++k) {
        if (found[k].notConnected.empty())
            continue;
        CatalogueAnswer answer{missing[k].stored, {}, found[k].ambiguous};
        for (const Sighting& s : found[k].notConnected)
            answer.notConnected.push_back({s.volume->identity.key, volumeName(s.volume->identity), s.path, s.seen,
                                           std::string(evidenceName(s.evidence))});
        out.answers.push_back(std::move(answer));
    }
    out.makeIndex();
    return out;
}

} // namespace korvane
