#include "catalogue/name_key.h"

#include "text/unicode_text.h"

#include <string>

namespace korvane {

namespace {

constexpr std::uint64_t kBasis = 0xcbf29ce484222325u;
constexpr std::uint64_t kPrime = 0x100000001b3u;

std::uint64_t addFolded(std::uint64_t hash, std::string_view name)
{
    thread_local std::string folded;
    foldCaseInto(folded, name);
    for (const char c : folded) {
        hash ^= static_cast<unsigned char>(c);
        hash *= kPrime;
    }
    return hash;
}

} // namespace

std::uint32_t folderNameKey(std::string_view folder)
{
    const std::size_t slash = folder.rfind('/');
    const std::string_view last = slash == std::string_view::npos ? folder : folder.substr(slash + 1);
    return static_cast<std::uint32_t>(addFolded(kBasis, last) & 0x7FFFFFFFu);
}

std::uint64_t fileNameKey(std::uint32_t folderKey, std::string_view name)
{
    std::uint64_t hash = kBasis;
    for (int k = 0; k < 4; ++k) {
        hash ^= (folderKey >> (8 * k)) & 0xFFu;
        hash *= kPrime;
    }
    return addFolded(hash, name);
}

} // namespace korvane
