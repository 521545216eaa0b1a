#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvane {

// The SHA-256 digest of some bytes: what proves that a file still holds the
// content korvane wrote or saw. Its hex form is the one sha256sum prints.
struct Digest {
    std::array<std::uint8_t, 32> bytes{};
    bool operator==(const Digest&) const = default;
    // 64 lower-case hex digits.
    std::string hex() const;
    // From exactly 64 lower-case hex digits; nothing for any other text.
    static std::optional<Digest> fromHex(std::string_view text);
};

// A digest made piece by piece.
class DigestBuilder {
public:
    DigestBuilder();
    ~DigestBuilder();
    DigestBuilder(const DigestBuilder&) = delete;
    DigestBuilder& operator=(const DigestBuilder&) = delete;

    void add(const void* data, std::size_t size);
    // The digest of everything added; the builder starts again empty.
    Digest finish();

private:
    void* context_; // libcrypto's, kept out of this header
};

// A file's size and the digest of its content.
struct ContentDigest {
    std::uint64_t size = 0;
    Digest digest;
    bool operator==(const ContentDigest&) const = default;
};

// The content of the file open as `fd`, read from its start (its offset is
// left alone); nothing, with errno set, when it cannot be read.
std::optional<ContentDigest> digestOpenFile(int fd);

// The same, read through a mapping of the file rather than copied out of
// the page cache: for a file being written and digested at once, whose
// bytes are still in memory. A file cut shorter while it is read is caught
// (SIGBUS on this thread) and reported as EIO; a file that cannot be mapped
// is read as digestOpenFile reads it.
std::optional<ContentDigest> digestMappedFile(int fd);

// A fingerprint of the file open as `fd`, of `size` bytes: the digest of
// its size (8 bytes, little-endian) and of its first and last 64 KiB (the
// whole file when it is no larger than 128 KiB). Two files of different
// fingerprints differ; two of the same almost always agree, which only
// their whole digests prove. Nothing, with errno set, when it cannot be read.
inline constexpr std::uint64_t kFingerprintPiece = 64 * 1024;
std::optional<Digest> fingerprintOpenFile(int fd, std::uint64_t size);

// The content of the regular file at `path`, opened without following a
// final link and without blocking: nothing, with errno set, for a link, a
// FIFO, a device or a file that cannot be read.
std::optional<ContentDigest> digestFile(const std::string& path);

} // namespace korvane
