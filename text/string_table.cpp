#include "text/string_table.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace korvane {

namespace {

constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15u;

// Keys go into blocks of up to this size (a larger key into one of its
// own), the first of them kFirstBlockBytes.
constexpr std::size_t kBlockBytes = 256 * 1024;
constexpr std::size_t kFirstBlockBytes = 4 * 1024;

std::uint64_t mix(std::uint64_t h, std::uint64_t word)
{
    h = (h ^ word) * kMultiplier;
    return h ^ (h >> 32);
}

} // namespace

std::uint32_t hashBytes(std::string_view bytes)
{
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    std::uint64_t h = mix(0x243F6A8885A308D3u, left);
    for (; left >= 8; p += 8, left -= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        h = mix(h, word);
    }
    if (left > 0) {
        std::uint64_t word = 0;
        std::memcpy(&word, p, left);
        h = mix(h, word);
    }
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9u;
    h ^= h >> 32;
    return static_cast<std::uint32_t>(h);
}

std::string_view StringTable::keyAt(std::uint64_t at) const
{
    const char* start = blocks_[(at - 1) >> 32].bytes.get() + ((at - 1) & 0xFFFFFFFFu);
    std::size_t length;
    std::memcpy(&length, start, sizeof length);
    return {start + sizeof length, length};
}

std::uint64_t StringTable::store(std::string_view key)
{
    const std::size_t length = key.size();
    const std::size_t need = sizeof length + length;
    if (need > 0xFFFFFFFFu)
        throw std::length_error("a key of 4 GiB or more");
    // A block left with too little room is passed over; after clear() the
    // blocks are filled again from the first.
    while (block_ < blocks_.size() && used_ + need > blocks_[block_].size) {
        ++block_;
        used_ = 0;
    }
    if (block_ == blocks_.size()) {
        // Small tables are many (one a folder listed, several a project in
        // a run of thousands): the first block is small, and each next one
        // twice the last, up to kBlockBytes.
        const std::size_t grown = blocks_.empty() ? kFirstBlockBytes : std::min(kBlockBytes, 2 * blocks_.back().size);
        const std::size_t size = std::max(grown, need);
        blocks_.push_back({std::make_unique_for_overwrite<char[]>(size), size});
        used_ = 0;
    }
    char* place = blocks_[block_].bytes.get() + used_;
    std::memcpy(place, &length, sizeof length);
    std::memcpy(place + sizeof length, key.data(), length);
    const std::uint64_t at = 1 + ((static_cast<std::uint64_t>(block_) << 32) | used_);
    used_ += need;
    return at;
}

std::size_t StringTable::slotOf(std::string_view key, std::uint32_t hash) const
{
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t k = hash & mask;; k = (k + 1) & mask) {
        const Slot& slot = slots_[k];
        if (slot.at == 0 || (slot.hash == hash && keyAt(slot.at) == key))
            return k;
    }
}

const std::uint32_t* StringTable::find(std::string_view key, std::uint32_t hash) const
{
    if (size_ == 0)
        return nullptr;
    const Slot& slot = slots_[slotOf(key, hash)];
    return slot.at == 0 ? nullptr : &slot.value;
}

std::pair<std::uint32_t*, bool> StringTable::insert(std::string_view key, std::uint32_t hash, std::uint32_t value)
{
    if ((size_ + 1) * 2 > slots_.size())
        grow();
    Slot& slot = slots_[slotOf(key, hash)];
    if (slot.at != 0)
        return {&slot.value, false};
    slot = {hash, value, store(key)};
    ++size_;
    return {&slot.value, true};
}

void StringTable::grow()
{
    std::vector<Slot> old(std::max<std::size_t>(16, slots_.size() * 2), Slot{0, 0, 0});
    old.swap(slots_);
    const std::size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
        if (slot.at == 0)
            continue;
        std::size_t k = slot.hash & mask;
        while (slots_[k].at != 0)
            k = (k + 1) & mask;
        slots_[k] = slot;
    }
}

void StringTable::clear()
{
    block_ = 0;
    used_ = 0;
    std::fill(slots_.begin(), slots_.end(), Slot{0, 0, 0});
    size_ = 0;
}

} // namespace korvane
