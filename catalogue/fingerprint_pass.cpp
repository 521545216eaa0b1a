#include "catalogue/fingerprint_pass.h"

#include "text/system_error.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <thread>

namespace korvane {

namespace {

struct Task {
    CatalogueId folder = 0;
    std::string path; // absolute
    FileRecord record;
    std::optional<Fingerprinted> result;
    int error = 0;
};

// Files read in one round: enough to keep every reader busy, few enough that
// a stop is heard soon and a round's results fit in one short unit.
constexpr std::size_t kRound = 64;

bool stopping(const CatalogueRunOptions& options)
{
    return options.stop && options.stop->load(std::memory_order_relaxed);
}

// Reads the fingerprints of `tasks`, `readers` at a time.
void readRound(std::vector<Task>& tasks, const CatalogueRunOptions& options)
{
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t k = next++; k < tasks.size(); k = next++) {
            if (stopping(options))
                return;
            tasks[k].result = fingerprintFile(tasks[k].path);
            tasks[k].error = tasks[k].result ? 0 : errno;
        }
    };
    const std::size_t readers = std::min<std::size_t>(static_cast<std::size_t>(std::max(options.readers, 1)),
                                                      tasks.size());
    std::vector<std::thread> threads;
    for (std::size_t k = 1; k < readers; ++k)
        threads.emplace_back(work);
    work();
    for (std::thread& thread : threads)
        thread.join();
}

// Writes what a round read. A file that changed since it was listed is
// recorded as it was read, fingerprint and all.
void writeRound(CatalogueStore& store, std::vector<Task>& tasks, FingerprintTally& tally, CatalogueProgress& progress)
{
    inOneUnit(store, [&] {
        for (Task& task : tasks) {
            if (!task.result)
                continue;
            task.record.facts = task.result->facts;
            task.record.fingerprint = task.result->fingerprint;
            store.updateFile(task.folder, task.record);
        }
    });
    for (const Task& task : tasks) {
        if (task.result) {
            ++tally.fingerprinted;
            ++progress.fingerprinted;
            progress.bytesRead += std::min<std::uint64_t>(task.result->facts.size, 2 * kFingerprintPiece);
        } else {
            ++tally.left;
            if (task.error != 0)
                tally.problems.push_back(task.path + ": " + systemErrorText(task.error));
        }
    }
}

void runRound(CatalogueStore& store, std::vector<Task>& tasks, const CatalogueRunOptions& options,
              FingerprintTally& tally, CatalogueProgress& progress)
{
    // A stop leaves the files of the round not read: left, without a problem.
    readRound(tasks, options);
    writeRound(store, tasks, tally, progress);
    tasks.clear();
    if (options.progress)
        options.progress(progress);
}

} // namespace

FingerprintTally fingerprintFolders(CatalogueStore& store, const std::vector<FolderToFingerprint>& folders,
                                    const CatalogueRunOptions& options, CatalogueProgress& progress)
{
    FingerprintTally tally;
    progress.phase = CatalogueProgress::Phase::Fingerprinting;
    progress.folder = {};
    std::vector<FileRecord> records;
    std::vector<Task> tasks;
    for (const FolderToFingerprint& folder : folders) {
        store.files(folder.id, records);
        for (FileRecord& record : records) {
            if (record.fingerprint)
                continue;
            if (stopping(options)) {
                tally.stopped = true;
                ++tally.left;
                continue;
            }
            Task task;
            task.folder = folder.id;
            task.path = folder.absolute.empty() || folder.absolute.back() != '/' ? folder.absolute + "/" + record.name
                                                                                   : folder.absolute + record.name;
            task.record = std::move(record);
            tasks.push_back(std::move(task));
            if (tasks.size() == kRound)
                runRound(store, tasks, options, tally, progress);
        }
    }
    if (!tasks.empty())
        runRound(store, tasks, options, tally, progress);
    tally.stopped = tally.stopped || stopping(options);
    return tally;
}

} // namespace korvane
