#pragma once

// The search of "Find missing files in folder...": one folder walked for the
// missing files of the last run, and what it found matched and turned into
// mappings, all on a thread of its own, by a run of its own (the mappings
// in use as they are when it starts; each search walks the folder afresh).
// Meanwhile the window draws and takes keys, and is told at most every
// tenth of a second how far the search has got; stopping it stops its run,
// which ends the walk at the next folder, and drops what it found. Where
// the user has a catalogue of disks, what it remembers of the project's
// files settles which file found is which, and it names the disks not
// connected that hold files the folder does not.

#include "paths/run_setup.h"
#include "run/catalogue_lookup.h"
#include "search/missing_search.h"
#include "ui/background_task.h"
#include "ui/scanned_project.h"

#include <QCoreApplication>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace korvane::ui {

class FolderSearch {
    Q_DECLARE_TR_FUNCTIONS(korvane::ui::FolderSearch)

public:
    struct Request {
        std::string folder;                            // as the file system spells it
        std::shared_ptr<const ScannedProject> project; // of the last run: whose missing files are looked for
        MappingSources sources;                        // whose mappings suggestions add to
        DecoderOpener decoderOpener = &TextDecoder::open;
        std::string catalogue; // the catalogue of disks consulted, read-only; empty: none
    };
    // What the search found in the folder, and where the catalogue last saw
    // missing files on disks not connected.
    struct Found {
        std::shared_ptr<const SearchResults> results;
        std::shared_ptr<const CatalogueAnswers> elsewhere;
    };
    using Progress = std::function<void(const QString& status)>;
    // What was found; or no results and why the search's run could not be set up.
    using Done = std::function<void(const Found& found, const std::string& error)>;

    // `receiver` lives on the GUI thread and outlives the search.
    explicit FolderSearch(QObject* receiver);

    // Starts the search; `progress` is told what the status line says, on
    // the GUI thread, and `done` the results once it has ended. Does nothing
    // while a search runs.
    void start(Request request, Progress progress, Done done);
    // Ends the search at once: `done` is not called.
    void stop();
    bool running() const { return task_.running(); }
    // What the status line says once the search was stopped: "Search
    // stopped after 12 folders, 340 files".
    QString stoppedStatus() const;

private:
    struct Shared;
    void tell();

    BackgroundTask task_;
    QTimer ticker_;
    std::shared_ptr<Shared> shared_;
    Progress progress_;
};

} // namespace korvane::ui
