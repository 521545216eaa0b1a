#include "ui/folder_search.h"

#include <chrono>
#include <optional>
#include <utility>

namespace korvane::ui {

namespace {

// How often the status line says how far the search has got.
constexpr std::chrono::milliseconds kTellEvery{100};

} // namespace

// What the search's thread says of where it is, for the GUI thread to show.
struct FolderSearch::Shared {
    std::mutex mutex;
    std::size_t folders = 0;
    std::size_t files = 0;
    std::optional<SearchStep> step; // once the walk is done
    bool changed = false;
};

FolderSearch::FolderSearch(QObject* receiver) : task_(receiver)
{
    ticker_.setInterval(kTellEvery);
    QObject::connect(&ticker_, &QTimer::timeout, receiver, [this] { tell(); });
}

void FolderSearch::start(Request request, Progress progress, Done done)
{
    if (task_.running())
        return;
    auto shared = std::make_shared<Shared>();
    shared_ = shared;
    progress_ = std::move(progress);
    progress_(tr("Searching: %1 folders, %2 files").arg(0).arg(0));
    auto found = std::make_shared<Found>();
    auto error = std::make_shared<std::string>();
    task_.start(
        [request = std::move(request), shared, found, error](std::stop_token stop) {
            RunOptions options;
            options.sources = request.sources;
            options.openDecoder = request.decoderOpener;
            options.catalogue = request.catalogue;
            Run run(std::move(options));
            if (!run.ready()) {
                *error = run.errorText();
                return;
            }
            const std::stop_callback stopRun(stop, [&run] { run.requestStop(); });
            SearchRequest search;
            search.folders = {request.folder};
            search.progress = [&shared](const WalkProgress& where) {
                const std::lock_guard lock(shared->mutex);
                shared->folders = where.folders;
                shared->files = where.files;
                shared->changed = true;
            };
            // Matching and suggesting take a while on large trees: the walk's
            // last count must not stand for them.
            search.step = [&shared](const SearchStep& step) {
                const std::lock_guard lock(shared->mutex);
                shared->step = step;
                shared->changed = true;
            };
            const std::vector<MissingFile>& missing = request.project->missing();
            SearchResults results = run.search(request.project->file(), missing, search);
            CatalogueAnswers elsewhere = run.lookUpCatalogue(request.project->file(), missing);
            if (stop.stop_requested())
                return;
            found->results = std::make_shared<const SearchResults>(std::move(results));
            found->elsewhere = std::make_shared<const CatalogueAnswers>(std::move(elsewhere));
        },
        [this, found, error, done = std::move(done)] {
            ticker_.stop();
            tell();
            done(*found, *error);
        });
    ticker_.start();
}

void FolderSearch::stop()
{
    ticker_.stop();
    task_.abandon();
}

void FolderSearch::tell()
{
    if (!shared_)
        return;
    QString status;
    {
        const std::lock_guard lock(shared_->mutex);
        if (!shared_->changed)
            return;
        shared_->changed = false;
        status = shared_->step ? QString::fromStdString(searchStepText(*shared_->step))
                               : tr("Searching: %1 folders, %2 files").arg(shared_->folders).arg(shared_->files);
    }
    progress_(status);
}

QString FolderSearch::stoppedStatus() const
{
    std::size_t folders = 0;
    std::size_t files = 0;
    if (shared_) {
        const std::lock_guard lock(shared_->mutex);
        folders = shared_->folders;
        files = shared_->files;
    }
    return tr("Search stopped after %1 folders, %2 files").arg(folders).arg(files);
}

} // namespace korvane::ui
