#pragma once

// "Catalogue a disk...": the disk of one folder recorded or refreshed in the
// user's catalogue of disks, on a thread of its own. Meanwhile the window
// draws and takes keys, and is told at most every tenth of a second how far
// it has got. Stopping it ends it at the next folder or file, and what was
// committed stays. It writes the catalogue: it is never abandoned, and a
// window that goes away waits for it to stop.

#include "catalogue/cataloguer.h"
#include "ui/background_task.h"

#include <QCoreApplication>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace korvane::ui {

// How a cataloguing ended: its outcome, or why the catalogue could not be
// opened (damaged, another program's, on a network file system).
struct CataloguingEnd {
    std::optional<CatalogueOutcome> outcome;
    std::string openError;
};

class DiskCataloguing {
    Q_DECLARE_TR_FUNCTIONS(korvane::ui::DiskCataloguing)

public:
    using Progress = std::function<void(const QString& status)>;
    using Done = std::function<void(const CataloguingEnd& end)>;

    // `receiver` lives on the GUI thread and outlives the cataloguing.
    explicit DiskCataloguing(QObject* receiver);
    // Stops what runs and waits for it.
    ~DiskCataloguing();
    DiskCataloguing(const DiskCataloguing&) = delete;
    DiskCataloguing& operator=(const DiskCataloguing&) = delete;

    // Catalogues `folder` (as the file system spells it) into the catalogue
    // file `catalogue`; `progress` is told what the status line says, on the
    // GUI thread, and `done` how it ended. Does nothing while one runs.
    void start(std::string catalogue, std::string folder, Progress progress, Done done);
    // Asks it to stop; `done` is still called, with what was committed.
    void stop() { task_.stop(); }
    // Asks it to stop, and `done` is not called: for a window that closes.
    // What was committed stays; the destructor waits for the rest.
    void stopQuietly()
    {
        quiet_ = true;
        task_.stop();
    }
    bool running() const { return task_.running(); }

private:
    struct Shared;
    void tell();
    static QString statusText(const CatalogueProgress& progress);

    BackgroundTask task_;
    QTimer ticker_;
    std::shared_ptr<Shared> shared_;
    Progress progress_;
    bool quiet_ = false;
};

// What the box that ends a cataloguing of `folder` says: the disk, the files
// counted, what changed, and what could not be read or was not entered.
QString cataloguingSummary(const QString& folder, const CataloguingEnd& end);

} // namespace korvane::ui
