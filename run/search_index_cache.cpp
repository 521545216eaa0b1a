#include "run/search_index_cache.h"

namespace korvane {

SearchIndexCache::Index SearchIndexCache::indexOf(const std::vector<std::string>& folders,
                                                  const IndexOptions& options)
{
    std::promise<Index> promise;
    std::shared_future<Index> index;
    bool walks = false;
    {
        const std::lock_guard lock(mutex_);
        const auto [at, fresh] = built_.try_emplace({folders, options.oneFileSystem});
        if (fresh)
            at->second = promise.get_future().share();
        index = at->second;
        walks = fresh;
    }
    if (walks) {
        try {
            promise.set_value(std::make_shared<const FileIndex>(FileIndex::build(folders, options)));
        } catch (...) {
            promise.set_exception(std::current_exception());
        }
    }
    return index.get();
}

} // namespace korvane
