#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvane {

// A 32-bit hash of any bytes, eight at a time. Not kept anywhere: it may
// differ between machines.
std::uint32_t hashBytes(std::string_view bytes);

// Strings to 32-bit values, for the many small look-ups of one run (each
// stored name, each folder): the keys' bytes go one after another into
// large blocks, each after its length (a block is never moved or copied once
// filled), and an open-addressing table of 16-byte
// slots (the hash, the value and where the key is) finds them, so a look-up
// allocates nothing and touches two places in memory, and an insertion
// seldom allocates. Keys may hold any bytes, zero bytes included.
// Nothing is removed but everything at once.
class StringTable {
public:
    using Hash = std::uint32_t (*)(std::string_view);

    // `hash` decides only where keys go; keys with equal hashes are told
    // apart by their bytes.
    explicit StringTable(Hash hash = hashBytes) : hash_(hash) {}

    std::uint32_t hashOf(std::string_view key) const { return hash_(key); }

    // The value of `key`; null when it was never added. `hash` is hashOf(key).
    const std::uint32_t* find(std::string_view key, std::uint32_t hash) const;
    const std::uint32_t* find(std::string_view key) const { return find(key, hashOf(key)); }

    // Adds `key` with `value` unless it is there. Returns the value kept for
    // `key` and whether it was added; the pointer is good until the next
    // insert or clear.
    std::pair<std::uint32_t*, bool> insert(std::string_view key, std::uint32_t hash, std::uint32_t value);
    std::pair<std::uint32_t*, bool> insert(std::string_view key, std::uint32_t value)
    {
        return insert(key, hashOf(key), value);
    }

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    // Forgets every key; keeps the memory for the next run.
    void clear();

private:
    struct Slot {
        std::uint32_t hash;
        std::uint32_t value;
        std::uint64_t at; // 1 + the block (high 32 bits) and where in it the key's length is; 0 for a free slot
    };

    // The slot that holds `key`, else the free slot where it would go.
    std::size_t slotOf(std::string_view key, std::uint32_t hash) const;
    std::string_view keyAt(std::uint64_t at) const;
    void grow();
    // Where `key` goes in the blocks, after its length; returns its `at`.
    std::uint64_t store(std::string_view key);

    Hash hash_;
    struct Block {
        std::unique_ptr<char[]> bytes;
        std::size_t size = 0;
    };
    std::vector<Block> blocks_; // each key's length (a std::size_t), then its bytes
    std::size_t block_ = 0;     // the block being filled
    std::size_t used_ = 0;      // of it
    std::vector<Slot> slots_; // a power of two of them, at most half in use
    std::size_t size_ = 0;
};

} // namespace korvane
