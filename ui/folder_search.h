#pragma once

// The search of "Find missing files in folder...": one folder walked for the
// missing files of the last run, and what it found matched and turned into
// mappings, all on a thread of its own. Meanwhile the window draws and takes
// keys, and is told at most every tenth of a second how far the search has
// got; stopping it ends the walk at the next folder and drops what it found.

#include "paths/run_setup.h"
#include "search/missing_search.h"
#include "ui/background_task.h"
#include "ui/missing_paths.h"

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
        std::string folder;                           // as the file system spells it
        std::shared_ptr<const MissingPaths> missing;  // of the last run
        MappingSources sources;                       // whose mappings suggestions add to
        DecoderOpener decoderOpener = &TextDecoder::open;
    };
    using Progress = std::function<void(const QString& status)>;
    using Done = std::function<void(std::shared_ptr<const SearchResults>)>;

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
