#include "report/folder_cache.h"

#include <cerrno>
#include <new>

namespace korvane {

struct SharedFolderCache::Answer {
    bool ready = false;
    int error = 0;
    FolderListing listing;
    EntryKind kind{};
    FolderIdentity identity;
};

SharedFolderCache::SharedFolderCache(FolderReader& inner) : inner_(inner)
{
}

SharedFolderCache::~SharedFolderCache() = default;

template <typename Ask> const SharedFolderCache::Answer& SharedFolderCache::answer(const std::string& key, Ask&& ask)
{
    std::unique_lock lock(mutex_);
    auto [at, first] = answers_.try_emplace(key);
    if (!first) {
        Answer& known = *at->second;
        answered_.wait(lock, [&] { return known.ready; });
        return known;
    }
    at->second = std::make_unique<Answer>();
    Answer& fresh = *at->second; // stays where it is while the table grows
    lock.unlock();
    try {
        ask(fresh);
    } catch (const std::bad_alloc&) {
        // The threads waiting for it must still hear an answer.
        fresh.error = ENOMEM;
    }
    lock.lock();
    fresh.ready = true;
    answered_.notify_all();
    return fresh;
}

int SharedFolderCache::list(const std::string& path, FolderListing& listing)
{
    const Answer& known = answer("l" + path, [&](Answer& a) { a.error = inner_.list(path, a.listing); });
    listing = known.listing;
    return known.error;
}

int SharedFolderCache::follow(const std::string& path, EntryKind& kind, FolderIdentity& identity)
{
    const Answer& known = answer("f" + path, [&](Answer& a) { a.error = inner_.follow(path, a.kind, a.identity); });
    kind = known.kind;
    identity = known.identity;
    return known.error;
}

std::size_t SharedFolderCache::asked() const
{
    const std::lock_guard lock(mutex_);
    return answers_.size();
}

} // namespace korvane
