#include "cli/catalogue_command.h"

#include "cli/catalogue_output.h"
#include "catalogue/catalogue_location.h"
#include "catalogue/cataloguer.h"
#include "catalogue/sqlite_catalogue.h"
#include "cli/cli_feedback.h"
#include "cli/cli_options.h"
#include "cli/messages.h"
#include "text/system_error.h"
#include "text/terminal_quote.h"

#include "text/message.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <optional>

namespace korvane {

namespace {

// How many problems of one folder are named; the rest are counted.
constexpr std::size_t kProblemsShown = 20;

void complain(const std::string& text)
{
    std::fprintf(stderr, "korvane-scan: %s\n", text.c_str());
}

int statusOf(const CatalogueError& error)
{
    switch (error.kind()) {
    case CatalogueError::Kind::Damaged:
    case CatalogueError::Kind::Foreign:
    case CatalogueError::Kind::Newer:
        return kDamaged;
    case CatalogueError::Kind::Busy:
    case CatalogueError::Kind::ReadOnly:
    case CatalogueError::Kind::Full:
    case CatalogueError::Kind::Io:
        return kCannotWrite;
    case CatalogueError::Kind::CannotOpen:
    case CatalogueError::Kind::NetworkFileSystem:
        break;
    }
    return kCannotOpenOrUsage;
}

std::unique_ptr<SqliteCatalogue> openCatalogue(int& status)
{
    try {
        return SqliteCatalogue::open(defaultCataloguePath());
    } catch (const CatalogueError& error) {
        complain(quoteName(error.what()));
        status = statusOf(error);
        return nullptr;
    }
}

// The progress line of a cataloguing run on a terminal.
std::string progressText(const std::string& disk, const CatalogueProgress& p)
{
    if (p.phase == CatalogueProgress::Phase::Listing)
        return formatted(_("%s: %s files in %s folders, %s"), disk.c_str(), groupedDigits(p.files).c_str(),
                         groupedDigits(p.folders).c_str(), quoteName(p.folder).c_str());
    return formatted(_("%s: fingerprints %s of %s (%s MB read)"), disk.c_str(), groupedDigits(p.fingerprinted).c_str(),
                     groupedDigits(p.toFingerprint).c_str(), groupedDigits(p.bytesRead / 1000000).c_str());
}

// Says what a run did, and what it could not do; returns its status.
int report(const std::string& folder, const CatalogueOutcome& outcome)
{
    if (outcome.folderError != 0) {
        complain(formatted(_("--catalogue %s: %s"), quoteName(folder).c_str(),
                           systemErrorText(outcome.folderError).c_str()));
        return kCannotOpenOrUsage;
    }
    std::printf(_("%s: disk %s, %s files in %s folders: %s new, %s changed, %s gone; %s fingerprinted, %s "
                  "without a fingerprint\n"),
                quoteName(folder).c_str(), quoteName(volumeName(outcome.volume.identity)).c_str(),
                groupedDigits(outcome.files).c_str(), groupedDigits(outcome.folders).c_str(), groupedDigits(outcome.added).c_str(),
                groupedDigits(outcome.changed).c_str(), groupedDigits(outcome.removed).c_str(),
                groupedDigits(outcome.fingerprinted).c_str(), groupedDigits(outcome.unfingerprinted).c_str());
    for (const std::string& other : outcome.otherVolumes)
        complain(formatted(_("%s is another disk, not entered: catalogue it on its own"), quoteName(other).c_str()));
    for (std::size_t k = 0; k < outcome.problems.size() && k < kProblemsShown; ++k)
        complain(quoteName(outcome.problems[k]));
    if (outcome.problems.size() > kProblemsShown)
        complain(formatted(_("and %zu more that could not be read"), outcome.problems.size() - kProblemsShown));
    if (outcome.error) {
        complain(quoteName(outcome.error->what()));
        return statusOf(*outcome.error);
    }
    return outcome.problems.empty() ? kComplete : kSomethingMissing;
}

} // namespace

int catalogueFolders(const std::vector<std::string>& folders, const std::atomic<bool>& stop)
{
    int status = kComplete;
    std::unique_ptr<SqliteCatalogue> catalogue = openCatalogue(status);
    if (!catalogue)
        return status;
    const MountTable mounts = MountTable::read();
    std::optional<TerminalProgress> terminal;
    if (::isatty(STDERR_FILENO))
        terminal.emplace(stderr);
    for (const std::string& folder : folders) {
        if (stop.load())
            break;
        std::string disk = folder;
        CatalogueRunOptions options;
        options.stop = &stop;
        if (terminal) {
            options.progress = [&](const CatalogueProgress& p) { terminal->text(progressText(disk, p)); };
            if (char* real = ::realpath(folder.c_str(), nullptr)) {
                if (const Mount* mount = mounts.containing(real))
                    disk = quoteName(volumeName(mount->identity));
                std::free(real);
            }
        }
        const CatalogueOutcome outcome = catalogueFolder(*catalogue, mounts, folder, options);
        if (terminal)
            terminal->finish();
        status = std::max(status, report(folder, outcome));
        if (outcome.error)
            break;
    }
    if (std::fflush(stdout) != 0)
        return kCannotWrite;
    return status;
}

} // namespace korvane

namespace korvane {

namespace {

// "WD_2024_B (uuid 1234-ABCD, last seen 2024-06-15 at /media/me/WD_2024_B)"
std::string described(const VolumeRecord& volume)
{
    std::string text = quoteName(volumeName(volume.identity));
    text += " (";
    if (!volume.identity.uuid.empty())
        text += "uuid " + quoteName(volume.identity.uuid) + ", ";
    text += formatted(_("last seen %s at %s"), dayOf(volume.lastSeen).c_str(), quoteName(volume.lastMountPoint).c_str());
    return text + ")";
}

// The volumes `disk` names: by label, UUID, share, key or where it was
// last mounted; else, for a folder, the volume it is on now.
std::vector<const VolumeRecord*> named(const std::vector<VolumeRecord>& volumes, const std::string& disk,
                                       const MountTable& mounts)
{
    std::vector<const VolumeRecord*> found;
    for (const VolumeRecord& v : volumes) {
        const VolumeIdentity& id = v.identity;
        if (disk == volumeName(id) || disk == id.label || disk == id.uuid || disk == id.key ||
            (id.kind == VolumeKind::Share && disk == id.source) || disk == v.lastMountPoint)
            found.push_back(&v);
    }
    if (!found.empty())
        return found;
    if (char* real = ::realpath(disk.c_str(), nullptr)) {
        const Mount* mount = mounts.containing(real);
        std::free(real);
        for (const VolumeRecord& v : volumes) {
            if (mount && v.identity.key == mount->identity.key)
                found.push_back(&v);
        }
    }
    return found;
}

} // namespace

int forgetDisks(const std::vector<std::string>& disks)
{
    struct stat st {};
    if (::stat(defaultCataloguePath().c_str(), &st) != 0) {
        complain(formatted(_("--forget: nothing is catalogued yet (%s)"), quoteName(defaultCataloguePath()).c_str()));
        return kCannotOpenOrUsage;
    }
    int status = kComplete;
    std::unique_ptr<SqliteCatalogue> catalogue = openCatalogue(status);
    if (!catalogue)
        return status;
    const MountTable mounts = MountTable::read();
    try {
        const std::vector<VolumeRecord> volumes = catalogue->volumes();
        for (const std::string& disk : disks) {
            const std::vector<const VolumeRecord*> found = named(volumes, disk, mounts);
            if (found.size() != 1) {
                complain(formatted(found.empty() ? _("--forget %s: no such disk in the catalogue; it knows:")
                                                 : _("--forget %s: more than one disk is known by that name; "
                                                     "give its UUID:"),
                                   quoteName(disk).c_str()));
                for (const VolumeRecord& v : volumes) {
                    if (found.empty() || std::find(found.begin(), found.end(), &v) != found.end())
                        std::fprintf(stderr, "  %s\n", described(v).c_str());
                }
                status = kCannotOpenOrUsage;
                continue;
            }
            const std::uint64_t files = catalogue->fileCount(found.front()->id);
            inOneUnit(*catalogue, [&] { catalogue->forgetVolume(found.front()->id); });
            std::printf(_("forgot disk %s and its %s files\n"), described(*found.front()).c_str(),
                        groupedDigits(files).c_str());
        }
    } catch (const CatalogueError& error) {
        complain(quoteName(error.what()));
        return statusOf(error);
    }
    if (std::fflush(stdout) != 0)
        return kCannotWrite;
    return status;
}

} // namespace korvane
