#include "text/unicode_text.h"

#include "text/ascii.h"
#include "text/utf8.h"

#include <utf8proc.h>

#include <algorithm>
#include <array>
#include <atomic>

// The character data (decompositions, combining classes, compositions, case
// folding) is utf8proc's; this file only decides in which order it is
// applied.

namespace korvane {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
// Canonical composition, leaving composition exclusions decomposed.
constexpr auto kCompose = static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPOSE);

std::uint8_t combiningClass(std::int32_t c)
{
    return c < 0x300 ? 0 : static_cast<std::uint8_t>(utf8proc_get_property(c)->combining_class);
}

// Appends the full canonical decomposition of c.
void decompose(std::int32_t c, std::vector<std::int32_t>& out)
{
    if (c < 0xC0) {
        out.push_back(c);
        return;
    }
    // No canonical decomposition is longer than four characters; ask again
    // with room enough should that ever change.
    std::size_t room = 4;
    for (;;) {
        const std::size_t at = out.size();
        out.resize(at + room);
        const auto size = static_cast<utf8proc_ssize_t>(room);
        const utf8proc_ssize_t length = utf8proc_decompose_char(c, out.data() + at, size, UTF8PROC_DECOMPOSE, nullptr);
        if (length < 0) {
            out.resize(at);
            out.push_back(c);
            return;
        }
        if (static_cast<std::size_t>(length) <= room) {
            out.resize(at + static_cast<std::size_t>(length));
            return;
        }
        out.resize(at);
        room = static_cast<std::size_t>(length);
    }
}

// Sorts every run of non-starters by combining class, keeping the order of
// equal classes.
void reorder(std::vector<std::int32_t>& text)
{
    for (std::size_t k = 1; k < text.size(); ++k) {
        const std::uint8_t cc = combiningClass(text[k]);
        if (cc == 0)
            continue;
        std::size_t j = k;
        const std::int32_t c = text[k];
        while (j > 0 && combiningClass(text[j - 1]) > cc) {
            text[j] = text[j - 1];
            --j;
        }
        text[j] = c;
    }
}

// The full case folding of c, as utf8proc gives it (one to three
// characters).
std::size_t fullFold(std::int32_t c, std::array<std::int32_t, 4>& out)
{
    const utf8proc_ssize_t length = utf8proc_decompose_char(c, out.data(), 4, UTF8PROC_CASEFOLD, nullptr);
    if (length < 1 || length > 4) {
        out[0] = c;
        return 1;
    }
    return static_cast<std::size_t>(length);
}

// Canonical composition of a decomposed, reordered text, appended to `out`
// as UTF-8. utf8proc composes a Hangul syllable with U+11A7, the character
// before the first trailing consonant, dropping it; U+11A7 composes with
// nothing, so the text is composed in pieces that it separates.
void composeInto(std::vector<std::int32_t>& text, std::string& out)
{
    constexpr std::int32_t kBeforeTrailing = 0x11A7;
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t to = from;
        while (to < text.size() && text[to] != kBeforeTrailing)
            ++to;
        const utf8proc_ssize_t length =
            utf8proc_normalize_utf32(text.data() + from, static_cast<utf8proc_ssize_t>(to - from),
                                     kCompose);
        for (utf8proc_ssize_t k = 0; k < length; ++k)
            appendUtf8(out, static_cast<char32_t>(text[from + static_cast<std::size_t>(k)]));
        if (to < text.size())
            appendUtf8(out, static_cast<char32_t>(kBeforeTrailing));
        from = to + 1;
    }
}

// NFC of `text`, or with `fold` NFC(fold(NFD(text))), appended to `out` as
// UTF-8; `text` and `work` are left with no meaning. Folding comes after the
// canonical order, since it can turn a combining mark into a starter (U+0345
// folds to iota), and the folded text is decomposed and put in order again
// (the Kelvin sign folds to k, U+1E9E to ß).
void normalise(std::vector<std::int32_t>& text, bool fold, std::vector<std::int32_t>& work, std::string& out)
{
    work.clear();
    for (const std::int32_t c : text)
        decompose(c, work);
    reorder(work);
    if (fold) {
        bool changed = false;
        for (std::int32_t& c : work) {
            const auto f = static_cast<std::int32_t>(foldCase(static_cast<char32_t>(c)));
            changed = changed || f != c;
            c = f;
        }
        if (changed) {
            text.clear();
            for (const std::int32_t c : work)
                decompose(c, text);
            text.swap(work);
            reorder(work);
        }
    }
    composeInto(work, out);
}

// The starters (combining class 0) that are the second part of some
// canonical decomposition, and so may compose with the character before
// them: Indic and Tibetan vowel signs and the like. Found once, through
// utf8proc's public calls, from the decompositions of the first three
// planes (beyond them there are none).
const std::vector<std::int32_t>& composingStarters()
{
    static const std::vector<std::int32_t> starters = [] {
        std::vector<std::int32_t> found;
        for (std::int32_t c = 0xC0; c < 0x30000; ++c) {
            std::array<std::int32_t, 4> parts{};
            const utf8proc_ssize_t length = utf8proc_decompose_char(c, parts.data(), 4, UTF8PROC_DECOMPOSE, nullptr);
            for (utf8proc_ssize_t k = 1; k < length && k < 4; ++k) {
                if (combiningClass(parts[static_cast<std::size_t>(k)]) == 0)
                    found.push_back(parts[static_cast<std::size_t>(k)]);
            }
        }
        std::sort(found.begin(), found.end());
        found.erase(std::unique(found.begin(), found.end()), found.end());
        return found;
    }();
    return starters;
}

// Whether the key leaves c as it is whatever stands around it: c has no
// case, combining class 0, is never the second of a composition, and either
// has no canonical decomposition or one that composes back to c (ダ is タ
// and a voiced mark). Most characters of names in other scripts (kana,
// kanji) are such, and a name of nothing else is its own key.
bool computeInert(char32_t c)
{
    if (c >= 0x1100 && c < 0x1200) // conjoining jamo compose by arithmetic
        return false;
    const auto code = static_cast<std::int32_t>(c);
    if (combiningClass(code) != 0)
        return false;
    std::array<std::int32_t, 4> parts{};
    if (fullFold(code, parts) != 1 || parts[0] != code)
        return false;
    const std::vector<std::int32_t>& starters = composingStarters();
    if (std::binary_search(starters.begin(), starters.end(), code))
        return false;
    const utf8proc_ssize_t length = utf8proc_decompose_char(code, parts.data(), 4, UTF8PROC_DECOMPOSE, nullptr);
    if (length == 1 && parts[0] == code)
        return true; // no canonical decomposition
    // Singletons (the Angstrom sign), composition exclusions and
    // decompositions that start with a combining mark (Tibetan vowel signs)
    // do not compose back.
    if (length < 2 || length > 4 || combiningClass(parts[0]) != 0)
        return false;
    return utf8proc_normalize_utf32(parts.data(), length, kCompose) == 1 && parts[0] == code;
}

// computeInert, remembered for the Basic Multilingual Plane: 0 not yet
// known, 1 inert, 2 not.
bool isInert(char32_t c)
{
    static std::array<std::atomic<std::uint8_t>, 0x10000> known{};
    if (c >= known.size())
        return computeInert(c);
    std::atomic<std::uint8_t>& slot = known[c];
    std::uint8_t state = slot.load(std::memory_order_relaxed);
    if (state == 0) {
        state = computeInert(c) ? 1 : 2;
        slot.store(state, std::memory_order_relaxed);
    }
    return state == 1;
}

} // namespace

char32_t foldCase(char32_t c)
{
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? c + 0x20 : c;
    const auto code = static_cast<std::int32_t>(c);
    std::array<std::int32_t, 4> full{};
    if (fullFold(code, full) == 1)
        return static_cast<char32_t>(full[0]);
    // The full folding takes several characters. A simple one exists only
    // where the small letter folds the same way: U+1E9E to ß, the Greek
    // capitals with prosgegrammeni to the small letters with ypogegrammeni.
    // İ (U+0130) lower-cases to i but does not fold to it.
    const std::int32_t lower = utf8proc_tolower(code);
    if (lower == code)
        return c;
    std::array<std::int32_t, 4> lowerFull{};
    const std::size_t length = fullFold(lower, lowerFull);
    return length > 1 && lowerFull == full ? static_cast<char32_t>(lower) : c;
}

void decodeUtf8(std::string_view bytes, std::vector<char32_t>& out)
{
    for (std::size_t k = 0; k < bytes.size();) {
        char32_t c = 0;
        const std::size_t length = decodeUtf8At(bytes, k, c);
        if (length == 0) {
            out.push_back(kReplacement);
            ++k;
        } else {
            out.push_back(c);
            k += length;
        }
    }
}

std::string toValidUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t k = 0; k < bytes.size();) {
        char32_t c = 0;
        const std::size_t length = decodeUtf8At(bytes, k, c);
        if (length == 0) {
            appendUtf8(out, kReplacement);
            ++k;
        } else {
            out.append(bytes.substr(k, length));
            k += length;
        }
    }
    return out;
}

std::string toNfc(std::string_view utf8)
{
    if (isAscii(utf8))
        return std::string(utf8);
    std::vector<char32_t> characters;
    decodeUtf8(utf8, characters);
    std::vector<std::int32_t> text(characters.begin(), characters.end()), work;
    std::string out;
    normalise(text, false, work, out);
    return out;
}

void MatchKeyMaker::appendRun(std::string& out)
{
    if (!run_.empty())
        normalise(run_, true, work_, out);
    run_.clear();
}

bool MatchKeyMaker::appendInert(std::string_view utf8, std::string& out) const
{
    const std::size_t from = out.size();
    for (std::size_t k = 0; k < utf8.size();) {
        const unsigned char b = static_cast<unsigned char>(utf8[k]);
        if (b < 0x80) {
            out += asciiLower(utf8[k++]);
            continue;
        }
        char32_t c = 0;
        const std::size_t length = decodeUtf8At(utf8, k, c);
        if (length == 0) {
            if (invalid_ == InvalidBytes::keep)
                out += utf8[k];
            else
                appendUtf8(out, kReplacement);
            ++k;
        } else if (isInert(c)) {
            out.append(utf8.substr(k, length));
            k += length;
        } else {
            out.resize(from);
            return false;
        }
    }
    return true;
}

void MatchKeyMaker::append(std::string_view utf8, std::string& out)
{
    if (isAscii(utf8)) {
        const std::size_t from = out.size();
        out.append(utf8);
        lowerAscii(out, from);
        return;
    }
    if (appendInert(utf8, out))
        return;
    run_.clear();
    for (std::size_t k = 0; k < utf8.size();) {
        char32_t c = 0;
        const std::size_t length = decodeUtf8At(utf8, k, c);
        if (length != 0) {
            run_.push_back(static_cast<std::int32_t>(c));
            k += length;
        } else if (invalid_ == InvalidBytes::replace) {
            run_.push_back(static_cast<std::int32_t>(kReplacement));
            ++k;
        } else {
            // A kept byte is no character: nothing composes across it.
            appendRun(out);
            out += utf8[k++];
        }
    }
    appendRun(out);
}

std::string matchKey(std::string_view utf8)
{
    std::string out;
    MatchKeyMaker().append(utf8, out);
    return out;
}

void foldCaseInto(std::string& out, std::string_view utf8)
{
    out.clear();
    thread_local MatchKeyMaker maker(InvalidBytes::keep);
    maker.append(utf8, out);
}

std::string foldCase(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    foldCaseInto(out, utf8);
    return out;
}

} // namespace korvane
