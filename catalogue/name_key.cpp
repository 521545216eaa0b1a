#include "catalogue/name_key.h"

#include "text/unicode_text.h"

#include <string>

namespace korvane {

std::uint64_t nameKeyHash(std::string_view name)
{
    thread_local std::string folded;
    foldCaseInto(folded, name);
    std::uint64_t hash = 0xcbf29ce484222325u;
    for (const char c : folded) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3u;
    }
    return hash;
}

} // namespace korvane
