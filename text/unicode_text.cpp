#include "text/unicode_text.h"

#include "text/utf8.h"
#include "text/unicode_tables.h"

#include <algorithm>

namespace korvane {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Hangul syllables: composed and decomposed by arithmetic (Unicode 3.12).
constexpr char32_t kSBase = 0xAC00, kLBase = 0x1100, kVBase = 0x1161, kTBase = 0x11A7;
constexpr char32_t kLCount = 19, kVCount = 21, kTCount = 28;
constexpr char32_t kNCount = kVCount * kTCount, kSCount = kLCount * kNCount;

bool isAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::uint8_t combiningClass(char32_t c)
{
    if (c < 0x300)
        return 0;
    const auto classes = unicode::combiningClasses();
    const auto it = std::upper_bound(classes.begin(), classes.end(), c,
                                     [](char32_t v, const unicode::CombiningClassRange& r) { return v < r.first; });
    if (it == classes.begin())
        return 0;
    const auto& range = *(it - 1);
    return c <= range.last ? range.value : 0;
}

char32_t foldCharacter(char32_t c)
{
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? c + 0x20 : c;
    const auto runs = unicode::foldRuns();
    const auto it = std::upper_bound(runs.begin(), runs.end(), c,
                                     [](char32_t v, const unicode::FoldRun& r) { return v < r.first; });
    if (it == runs.begin())
        return c;
    const auto& run = *(it - 1);
    if (c > run.last || (c - run.first) % run.stride != 0)
        return c;
    return static_cast<char32_t>(static_cast<std::int64_t>(c) + run.delta);
}

// Appends the full canonical decomposition of c.
void decompose(char32_t c, std::vector<char32_t>& out)
{
    if (c < 0xC0) {
        out.push_back(c);
        return;
    }
    if (c >= kSBase && c < kSBase + kSCount) {
        const char32_t s = c - kSBase;
        out.push_back(kLBase + s / kNCount);
        out.push_back(kVBase + (s % kNCount) / kTCount);
        if (s % kTCount != 0)
            out.push_back(kTBase + s % kTCount);
        return;
    }
    const auto table = unicode::decompositions();
    const auto it = std::lower_bound(table.begin(), table.end(), c,
                                     [](const unicode::Decomposition& d, char32_t v) { return d.code < v; });
    if (it == table.end() || it->code != c) {
        out.push_back(c);
        return;
    }
    const auto pool = unicode::decompositionPool().subspan(it->offset, it->length);
    out.insert(out.end(), pool.begin(), pool.end());
}

// The primary composite of `first` and `second`, or 0.
char32_t compose(char32_t first, char32_t second)
{
    if (first >= kLBase && first < kLBase + kLCount && second >= kVBase && second < kVBase + kVCount)
        return kSBase + ((first - kLBase) * kVCount + (second - kVBase)) * kTCount;
    if (first >= kSBase && first < kSBase + kSCount && (first - kSBase) % kTCount == 0 && second > kTBase &&
        second < kTBase + kTCount)
        return first + (second - kTBase);
    const auto table = unicode::compositions();
    const auto it = std::lower_bound(table.begin(), table.end(), std::pair{first, second},
                                     [](const unicode::Composition& c, const std::pair<char32_t, char32_t>& v) {
                                         return c.first < v.first || (c.first == v.first && c.second < v.second);
                                     });
    if (it == table.end() || it->first != first || it->second != second)
        return 0;
    return it->composite;
}

// Sorts every run of non-starters by combining class, keeping the order of
// equal classes.
void reorder(std::vector<char32_t>& text)
{
    for (std::size_t k = 1; k < text.size(); ++k) {
        const std::uint8_t cc = combiningClass(text[k]);
        if (cc == 0)
            continue;
        std::size_t j = k;
        const char32_t c = text[k];
        while (j > 0 && combiningClass(text[j - 1]) > cc) {
            text[j] = text[j - 1];
            --j;
        }
        text[j] = c;
    }
}

// Canonical composition of a decomposed, reordered text, in place.
void composeAll(std::vector<char32_t>& text)
{
    if (text.empty())
        return;
    std::size_t starter = 0;
    int lastClass = combiningClass(text[0]) == 0 ? 0 : 256; // nothing composes with a leading non-starter
    std::size_t out = 1;
    for (std::size_t k = 1; k < text.size(); ++k) {
        const char32_t c = text[k];
        const int cc = combiningClass(c);
        const char32_t composite = compose(text[starter], c);
        if (composite != 0 && (lastClass < cc || lastClass == 0)) {
            text[starter] = composite;
            continue;
        }
        if (cc == 0)
            starter = out;
        lastClass = cc;
        text[out++] = c;
    }
    text.resize(out);
}

// NFC of `utf8`, or with `fold` NFC(fold(NFD(utf8))): folding comes after
// the canonical order, since it can turn a combining mark into a starter
// (U+0345 folds to iota), and the folded text is put in order again.
void normalise(std::string_view utf8, bool fold, std::vector<char32_t>& characters, std::vector<char32_t>& folded,
               std::vector<char32_t>& decomposed, std::string& out)
{
    characters.clear();
    decodeUtf8(utf8, characters);
    decomposed.clear();
    for (const char32_t c : characters)
        decompose(c, decomposed);
    reorder(decomposed);
    if (fold) {
        folded.clear();
        for (const char32_t c : decomposed) {
            const char32_t f = foldCharacter(c);
            if (f == c)
                folded.push_back(c);
            else
                decompose(f, folded); // the Kelvin sign folds to k, U+1E9E to U+00DF
        }
        folded.swap(decomposed);
        reorder(decomposed);
    }
    composeAll(decomposed);
    for (const char32_t c : decomposed)
        appendUtf8(out, c);
}

} // namespace

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
    std::vector<char32_t> characters, folded, decomposed;
    std::string out;
    normalise(utf8, false, characters, folded, decomposed, out);
    return out;
}

std::string matchKey(std::string_view utf8)
{
    std::string out;
    MatchKeyMaker().append(utf8, out);
    return out;
}

void MatchKeyMaker::append(std::string_view utf8, std::string& out)
{
    if (isAscii(utf8)) {
        const std::size_t from = out.size();
        out.append(utf8);
        for (std::size_t k = from; k < out.size(); ++k)
            out[k] = asciiLower(out[k]);
        return;
    }
    normalise(utf8, true, characters_, folded_, decomposed_, out);
}

} // namespace korvane
