#include "ui/disk_cataloguing.h"

#include "catalogue/mount_table.h"
#include "catalogue/sqlite_catalogue.h"
#include "text/system_error.h"
#include "ui/shown_name.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <stop_token>
#include <utility>

namespace korvane::ui {

namespace {

// How often the status line says how far the cataloguing has got.
constexpr std::chrono::milliseconds kTellEvery{100};
// How many problems of a disk the closing box names; the rest are counted.
constexpr std::size_t kProblemsNamed = 5;

} // namespace

// What the cataloguing's thread says of where it is, for the GUI thread.
struct DiskCataloguing::Shared {
    std::mutex mutex;
    std::optional<CatalogueProgress> progress; // its folder not kept: it points into the walk
    bool changed = false;
};

DiskCataloguing::DiskCataloguing(QObject* receiver) : task_(receiver)
{
    ticker_.setInterval(kTellEvery);
    QObject::connect(&ticker_, &QTimer::timeout, receiver, [this] { tell(); });
}

DiskCataloguing::~DiskCataloguing()
{
    task_.stopAndWait();
}

void DiskCataloguing::start(std::string catalogue, std::string folder, Progress progress, Done done)
{
    if (task_.running())
        return;
    quiet_ = false;
    auto shared = std::make_shared<Shared>();
    shared_ = shared;
    progress_ = std::move(progress);
    progress_(tr("Cataloguing: %1 files in %2 folders").arg(0).arg(0));
    auto end = std::make_shared<CataloguingEnd>();
    task_.start(
        [catalogue = std::move(catalogue), folder = std::move(folder), shared, end](std::stop_token stop) {
            std::atomic<bool> stopped{false};
            const std::stop_callback onStop(stop, [&stopped] { stopped.store(true); });
            std::unique_ptr<SqliteCatalogue> store;
            try {
                store = SqliteCatalogue::open(catalogue);
            } catch (const CatalogueError& error) {
                end->openError = error.what();
                return;
            }
            CatalogueRunOptions options;
            options.stop = &stopped;
            options.progress = [&shared](const CatalogueProgress& p) {
                const std::lock_guard lock(shared->mutex);
                shared->progress = p;
                shared->progress->folder = {};
                shared->changed = true;
            };
            end->outcome = catalogueFolder(*store, MountTable::read(), folder, options);
        },
        [this, end, done = std::move(done)] {
            ticker_.stop();
            if (!quiet_)
                done(*end);
        });
    ticker_.start();
}

QString DiskCataloguing::statusText(const CatalogueProgress& p)
{
    if (p.phase == CatalogueProgress::Phase::Listing)
        return tr("Cataloguing: %1 files in %2 folders").arg(p.files).arg(p.folders);
    return tr("Cataloguing: fingerprints %1 of %2 (%3 MB read)")
        .arg(p.fingerprinted)
        .arg(p.toFingerprint)
        .arg(p.bytesRead / 1000000);
}

void DiskCataloguing::tell()
{
    if (!shared_)
        return;
    QString status;
    {
        const std::lock_guard lock(shared_->mutex);
        if (!shared_->changed || !shared_->progress)
            return;
        shared_->changed = false;
        status = statusText(*shared_->progress);
    }
    progress_(status);
}

QString cataloguingSummary(const QString& folder, const CataloguingEnd& end)
{
    if (!end.outcome)
        return DiskCataloguing::tr("The catalogue of disks cannot be opened: %1")
            .arg(oneLineName(fromUtf8(end.openError)));
    const CatalogueOutcome& o = *end.outcome;
    if (o.folderError != 0)
        return DiskCataloguing::tr("%1 cannot be catalogued: %2")
            .arg(oneLineName(folder), QString::fromStdString(systemErrorText(o.folderError)));
    QString text = (o.stopped ? DiskCataloguing::tr("Stopped while cataloguing %1 on disk \"%2\"; what "
                                                    "was recorded is kept.")
                              : DiskCataloguing::tr("Catalogued %1 on disk \"%2\"."))
                       .arg(oneLineName(folder), oneLineName(fromBytes(volumeName(o.volume.identity))));
    text += QLatin1Char('\n')
        + DiskCataloguing::tr("%1 files in %2 folders: %3 new, %4 changed, %5 gone; %6 "
                              "fingerprinted, %7 without a fingerprint.")
              .arg(o.files)
              .arg(o.folders)
              .arg(o.added)
              .arg(o.changed)
              .arg(o.removed)
              .arg(o.fingerprinted)
              .arg(o.unfingerprinted);
    for (const std::string& other : o.otherVolumes)
        text += QLatin1Char('\n')
            + DiskCataloguing::tr("%1 is another disk, not entered: catalogue it on its own.")
                  .arg(oneLineName(fromBytes(other)));
    if (!o.problems.empty()) {
        text += QStringLiteral("\n\n") + DiskCataloguing::tr("Could not be read:");
        for (std::size_t k = 0; k < o.problems.size() && k < kProblemsNamed; ++k)
            text += QLatin1Char('\n') + oneLineName(fromBytes(o.problems[k]));
        if (o.problems.size() > kProblemsNamed)
            text += QLatin1Char('\n') + DiskCataloguing::tr("and %1 more").arg(o.problems.size() - kProblemsNamed);
    }
    if (o.error)
        text += QStringLiteral("\n\n")
            + DiskCataloguing::tr("The catalogue could not be written: %1").arg(oneLineName(fromUtf8(o.error->what())));
    return text;
}

} // namespace korvane::ui
