#include "fs/shared_folder_cache.h"

#include <cerrno>
#include <new>

namespace korvane {

SharedFolderCache::SharedFolderCache(FolderReader& inner, ReadAhead start) : inner_(inner), disk_(start) {}

SharedFolderCache::~SharedFolderCache() = default;

template <typename Answer, typename Ask>
const Answer& SharedFolderCache::answer(std::unordered_map<std::string, Answer>& answers, const std::string& key,
                                        Ask&& ask)
{
    std::unique_lock lock(mutex_);
    auto [at, first] = answers.try_emplace(key);
    Answer& known = at->second;
    if (!first) {
        answered_.wait(lock, [&] { return known.ready; });
        return known;
    }
    lock.unlock();
    const auto start = std::chrono::steady_clock::now();
    try {
        ask(known);
    } catch (const std::bad_alloc&) {
        // The threads waiting for it must still hear an answer.
        known.error = ENOMEM;
    }
    disk_.timed(std::chrono::steady_clock::now() - start);
    lock.lock();
    known.ready = true;
    answered_.notify_all();
    return known;
}

int SharedFolderCache::list(const std::string& path, FolderListing& listing)
{
    const Listed& known = answer(listed_, path, [&](Listed& a) { a.error = inner_.list(path, a.listing); });
    listing = known.listing;
    return known.error;
}

int SharedFolderCache::follow(const std::string& path, EntryKind& kind, FolderIdentity& identity)
{
    if (!slow()) {
        // A disk that answers at once is asked again rather than remembered:
        // keeping every path costs more than its lookup, and a run's
        // resolver asks for each of its paths once anyway.
        return timedAnswer(disk_, [&] { return inner_.follow(path, kind, identity); });
    }
    const Followed& known =
        answer(followed_, path, [&](Followed& a) { a.error = inner_.follow(path, a.kind, a.identity); });
    kind = known.kind;
    identity = known.identity;
    return known.error;
}

int SharedFolderCache::lookUp(const std::string& path, EntryKind& kind)
{
    if (!slow()) {
        return timedAnswer(disk_, [&] { return inner_.lookUp(path, kind); });
    }
    const Followed& known = answer(lookedUp_, path, [&](Followed& a) { a.error = inner_.lookUp(path, a.kind); });
    kind = known.kind;
    return known.error;
}

} // namespace korvane
