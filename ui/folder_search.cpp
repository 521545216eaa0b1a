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
    auto results = std::make_shared<std::shared_ptr<const SearchResults>>();
    task_.start(
        [request = std::move(request), shared, results](std::stop_token stop) {
            SearchOptions options;
            // Suggestions add places to look to the mappings in use, never replace one.
            if (const RunSetup setup = setUpRun(request.sources, std::nullopt, request.decoderOpener); setup.resolver)
                options.suggest.inUse = setup.resolver->drives().all();
            options.index.stop = stop;
            options.index.progress = [&shared](const WalkProgress& where) {
                const std::lock_guard lock(shared->mutex);
                shared->folders = where.folders;
                shared->files = where.files;
                shared->changed = true;
            };
            // Matching and suggesting take a while on large trees: the walk's
            // last count must not stand for them.
            options.step = [&shared](const SearchStep& step) {
                const std::lock_guard lock(shared->mutex);
                shared->step = step;
                shared->changed = true;
            };
            SearchResults found = searchMissing({request.folder}, request.missing->distinct(), options);
            if (!stop.stop_requested())
                *results = std::make_shared<const SearchResults>(std::move(found));
        },
        [this, results, done = std::move(done)] {
            ticker_.stop();
            tell();
            done(*results);
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
