#include "paths/codepage.h"

#include "text/ascii.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>

namespace korvane {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD"; // U+FFFD

std::string upper(std::string_view name)
{
    std::string out(name);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

bool isLatinLetter(unsigned char byte)
{
    return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
}

bool isHalfWidthKatakana(unsigned char byte)
{
    return byte >= 0xA1 && byte <= 0xDF;
}

// Whether a two-byte CP932 character is common in names: full-width symbols
// and kana, JIS level 1 kanji and the NEC special characters.
bool isCommonDoubleByte(unsigned char lead, unsigned char trail)
{
    const unsigned code = (unsigned{lead} << 8) | trail;
    return (lead >= 0x81 && lead <= 0x83) || lead == 0x87 || (code >= 0x889F && code <= 0x9872);
}

// Whether the two bytes at `k` are Windows-1252 typographic punctuation
// (‘ ’ “ ” • – —, 0x91-0x97) then a Latin letter, inside a Latin word: a
// Latin letter before them (a character of its own, not the second byte of
// one) or after them. CP932 reads the two as one kanji of level 1
// (d’honneur as "d檀onneur", Rock–n–Roll as "Rock墨乏oll"), which a
// Japanese name hardly wedges into a Latin word.
bool isPunctuationInWord(std::string_view stored, std::size_t k, bool afterLetter)
{
    const auto lead = static_cast<unsigned char>(stored[k]);
    if (lead < 0x91 || lead > 0x97 || k + 1 >= stored.size() ||
        !isLatinLetter(static_cast<unsigned char>(stored[k + 1])))
        return false;
    return afterLetter || (k + 2 < stored.size() && isLatinLetter(static_cast<unsigned char>(stored[k + 2])));
}

// Whether the CP932 reading of `stored` (known to be valid) is plausible:
// its rare characters do not outnumber its common ones.
bool plausibleCp932(std::string_view stored)
{
    std::size_t common = 0;
    std::size_t rare = 0;
    bool afterLetter = false; // the character before is a Latin letter
    for (std::size_t k = 0; k < stored.size(); ++k) {
        const auto byte = static_cast<unsigned char>(stored[k]);
        if (byte < 0x80) {
            afterLetter = isLatinLetter(byte);
            continue;
        }
        if (isHalfWidthKatakana(byte)) {
            const bool letterAfter = k + 1 < stored.size() && isLatinLetter(static_cast<unsigned char>(stored[k + 1]));
            ++(afterLetter || letterAfter ? rare : common);
            afterLetter = false;
            continue;
        }
        if (k + 1 >= stored.size())
            break;
        const bool commonKanji = isCommonDoubleByte(byte, static_cast<unsigned char>(stored[k + 1]));
        ++(commonKanji && !isPunctuationInWord(stored, k, afterLetter) ? common : rare);
        afterLetter = false;
        ++k;
    }
    return common >= rare;
}

bool isShiftJisName(const std::string& upperName)
{
    return upperName == "SHIFT_JIS" || upperName == "SHIFT-JIS" || upperName == "SJIS" || upperName == "MS_KANJI";
}

} // namespace

struct TextDecoder::Converter {
    std::string name;
    iconv_t cd;

    Converter(std::string codePage, iconv_t handle) : name(std::move(codePage)), cd(handle) {}
    ~Converter() { ::iconv_close(cd); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    static std::unique_ptr<Converter> open(const std::string& codePage)
    {
        const iconv_t cd = ::iconv_open("UTF-8", codePage.c_str());
        if (cd == reinterpret_cast<iconv_t>(-1))
            return nullptr;
        return std::make_unique<Converter>(codePage, cd);
    }

    // Appends the UTF-8 of `in` to `out`; returns how many bytes could not be
    // decoded (each became U+FFFD).
    std::size_t convert(std::string_view in, std::string& out)
    {
        ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
        // iconv's interface takes a non-const input pointer; it never writes through it.
        char* src = const_cast<char*>(in.data());
        std::size_t left = in.size();
        std::size_t undecodable = 0;
        char buffer[512];
        while (left > 0) {
            char* dst = buffer;
            std::size_t room = sizeof buffer;
            const std::size_t r = ::iconv(cd, &src, &left, &dst, &room);
            const int error = errno;
            out.append(buffer, static_cast<std::size_t>(dst - buffer));
            if (r != static_cast<std::size_t>(-1) || error == E2BIG)
                continue;
            // EILSEQ: no character starts here; EINVAL: a lead byte at the end.
            out += kReplacement;
            ++src;
            --left;
            ++undecodable;
            ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
        char* dst = buffer;
        std::size_t room = sizeof buffer;
        ::iconv(cd, nullptr, nullptr, &dst, &room);
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        return undecodable;
    }
};

std::optional<TextDecoder> TextDecoder::open(std::string_view codePage)
{
    std::string name = upper(codePage);
    if (name == upper(kAutoCodePage)) {
        std::unique_ptr<Converter> cp932 = Converter::open("CP932");
        std::unique_ptr<Converter> cp1252 = Converter::open("WINDOWS-1252");
        if (!cp932 || !cp1252)
            return std::nullopt;
        return TextDecoder(std::string(kAutoCodePage), std::move(cp932), std::move(cp1252));
    }
    if (name.empty())
        return std::nullopt;
    if (isShiftJisName(name))
        name = "CP932";
    std::unique_ptr<Converter> converter = Converter::open(name);
    if (!converter)
        return std::nullopt;
    std::string printable;
    for (char c = 0x20; c < 0x7F; ++c)
        printable += c;
    std::string decoded;
    if (converter->convert(printable, decoded) != 0 || decoded != printable)
        return std::nullopt;
    return TextDecoder(std::move(name), std::move(converter), nullptr);
}

TextDecoder::TextDecoder(std::string name, std::unique_ptr<Converter> primary, std::unique_ptr<Converter> fallback)
    : name_(std::move(name)), primary_(std::move(primary)), fallback_(std::move(fallback))
{
}

TextDecoder::TextDecoder(TextDecoder&&) noexcept = default;
TextDecoder& TextDecoder::operator=(TextDecoder&&) noexcept = default;
TextDecoder::~TextDecoder() = default;

std::string TextDecoder::toUtf8(std::string_view stored)
{
    std::string out;
    toUtf8(stored, out);
    return out;
}

void TextDecoder::toUtf8(std::string_view stored, std::string& out)
{
    out.clear();
    if (isAscii(stored)) {
        out.append(stored);
        return;
    }
    out.reserve(stored.size() * 3 / 2);
    if (!fallback_) {
        primary_->convert(stored, out);
        return;
    }
    if (!settled_) {
        if (primary_->convert(stored, out) == 0 && leansToCp932(stored))
            return;
        out.clear();
    }
    fallback_->convert(stored, out);
}

bool TextDecoder::leansToCp932(std::string_view stored) const
{
    if (onCp932_)
        return true;
    return cp932Votes_ != cp1252Votes_ ? cp932Votes_ > cp1252Votes_ : plausibleCp932(stored);
}

std::string_view TextDecoder::codePageFor(std::string_view stored)
{
    if (!fallback_ || isAscii(stored))
        return primary_->name;
    if (settled_)
        return fallback_->name;
    scratch_.clear();
    const bool valid = primary_->convert(stored, scratch_) == 0;
    return valid && leansToCp932(stored) ? primary_->name : fallback_->name;
}

void TextDecoder::forgetNames()
{
    settled_ = false;
    onCp932_ = false;
    cp932Votes_ = 0;
    cp1252Votes_ = 0;
}

bool TextDecoder::settleOn(std::string_view codePage)
{
    if (!fallback_)
        return false;
    if (codePage == fallback_->name) {
        settled_ = true;
        onCp932_ = false;
        return true;
    }
    if (codePage == primary_->name) {
        settled_ = false;
        onCp932_ = true;
        return true;
    }
    return false;
}

void TextDecoder::meet(std::string_view stored)
{
    if (!fallback_ || settled_ || onCp932_ || isAscii(stored))
        return;
    scratch_.clear();
    if (primary_->convert(stored, scratch_) != 0)
        settled_ = true;
    else
        ++(plausibleCp932(stored) ? cp932Votes_ : cp1252Votes_);
    scratch_.clear();
}

std::string_view TextDecoder::otherReading(std::string_view stored, std::string& out)
{
    out.clear();
    if (!fallback_ || isAscii(stored))
        return {};
    Converter& other = codePageFor(stored) == primary_->name ? *fallback_ : *primary_;
    if (other.convert(stored, out) != 0) {
        out.clear();
        return {};
    }
    return other.name;
}

} // namespace korvane
