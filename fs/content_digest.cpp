#include "fs/content_digest.h"

#include <openssl/evp.h>

#include <csetjmp>
#include <csignal>
#include <mutex>
#include <sys/mman.h>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace korvane {

namespace {

EVP_MD_CTX* contextOf(void* context)
{
    return static_cast<EVP_MD_CTX*>(context);
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Where a read of a mapping on this thread goes when the file under it was
// cut short (SIGBUS); null when no such read is under way.
thread_local sigjmp_buf* mappedRead = nullptr;
struct sigaction earlierBus;

void onBus(int signal, siginfo_t* info, void* context)
{
    if (sigjmp_buf* jump = mappedRead)
        siglongjmp(*jump, 1);
    // Not a read of ours: as the process would have had it. Returning runs
    // the faulting instruction again, under the handler before ours.
    if (earlierBus.sa_flags & SA_SIGINFO) {
        earlierBus.sa_sigaction(signal, info, context);
        return;
    }
    ::sigaction(SIGBUS, &earlierBus, nullptr);
}

void catchBusErrors()
{
    static std::once_flag installed;
    std::call_once(installed, [] {
        struct sigaction action {};
        action.sa_sigaction = onBus;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGBUS, &action, &earlierBus);
    });
}

} // namespace

std::string Digest::hex() const
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(2 * bytes.size());
    for (const std::uint8_t b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

std::optional<Digest> Digest::fromHex(std::string_view text)
{
    Digest digest;
    if (text.size() != 2 * digest.bytes.size())
        return std::nullopt;
    for (std::size_t k = 0; k < digest.bytes.size(); ++k) {
        const int high = hexValue(text[2 * k]);
        const int low = hexValue(text[2 * k + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        digest.bytes[k] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return digest;
}

DigestBuilder::DigestBuilder() : context_(EVP_MD_CTX_new())
{
    if (!context_ || EVP_DigestInit_ex(contextOf(context_), EVP_sha256(), nullptr) != 1) {
        EVP_MD_CTX_free(contextOf(context_));
        throw std::bad_alloc();
    }
}

DigestBuilder::~DigestBuilder()
{
    EVP_MD_CTX_free(contextOf(context_));
}

void DigestBuilder::add(const void* data, std::size_t size)
{
    EVP_DigestUpdate(contextOf(context_), data, size);
}

Digest DigestBuilder::finish()
{
    Digest digest;
    unsigned int length = 0;
    EVP_DigestFinal_ex(contextOf(context_), digest.bytes.data(), &length);
    EVP_DigestInit_ex(contextOf(context_), EVP_sha256(), nullptr);
    return digest;
}

std::optional<ContentDigest> digestOpenFile(int fd)
{
    DigestBuilder builder;
    std::vector<unsigned char> buffer(1 << 18);
    std::uint64_t size = 0;
    for (;;) {
        const ssize_t got = ::pread(fd, buffer.data(), buffer.size(), static_cast<off_t>(size));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        if (got == 0)
            break;
        builder.add(buffer.data(), static_cast<std::size_t>(got));
        size += static_cast<std::uint64_t>(got);
    }
    return ContentDigest{size, builder.finish()};
}

std::optional<ContentDigest> digestMappedFile(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return std::nullopt;
    const auto size = static_cast<std::uint64_t>(st.st_size);
    void* map = size == 0 ? MAP_FAILED : ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED)
        return digestOpenFile(fd);
    ::madvise(map, size, MADV_SEQUENTIAL);
    catchBusErrors();
    DigestBuilder builder;
    sigjmp_buf jump;
    volatile bool whole = false;
    if (sigsetjmp(jump, 1) == 0) {
        mappedRead = &jump;
        builder.add(map, size);
        whole = true;
    }
    mappedRead = nullptr;
    ::munmap(map, size);
    if (!whole) {
        errno = EIO;
        return std::nullopt;
    }
    return ContentDigest{size, builder.finish()};
}

std::optional<Digest> fingerprintOpenFile(int fd, std::uint64_t size)
{
    DigestBuilder builder;
    unsigned char length[8];
    for (int k = 0; k < 8; ++k)
        length[k] = static_cast<unsigned char>(size >> (8 * k));
    builder.add(length, sizeof length);
    std::vector<unsigned char> buffer(kFingerprintPiece);
    const auto addPiece = [&](std::uint64_t at, std::uint64_t count) {
        for (std::uint64_t done = 0; done < count;) {
            const ssize_t got = ::pread(fd, buffer.data(), static_cast<std::size_t>(count - done),
                                        static_cast<off_t>(at + done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                if (got == 0)
                    errno = EIO; // shorter than it was said to be
                return false;
            }
            builder.add(buffer.data(), static_cast<std::size_t>(got));
            done += static_cast<std::uint64_t>(got);
        }
        return true;
    };
    const std::uint64_t head = std::min(size, kFingerprintPiece);
    const std::uint64_t tail = std::min(size - head, kFingerprintPiece);
    if (!addPiece(0, head) || !addPiece(size - tail, tail))
        return std::nullopt;
    return builder.finish();
}

std::optional<ContentDigest> digestFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return std::nullopt;
    }
    std::optional<ContentDigest> content = digestOpenFile(fd);
    const int error = errno;
    ::close(fd);
    errno = error;
    return content;
}

} // namespace korvane
