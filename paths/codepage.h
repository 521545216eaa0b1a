#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace korvane {

// The code page chosen when none is given: CP932 or Windows-1252, decided
// for the project as a whole from the names met so far (ASCII reads the same
// in both). One name that is not valid CP932 settles it: the project is
// Windows-1252. Until then each valid CP932 name casts a vote: its CP932
// reading is plausible when common characters (kana, JIS level 1 kanji,
// full-width symbols, half-width katakana among themselves) are not
// outnumbered by rare ones (JIS level 2 and extension kanji, user-defined
// characters, half-width katakana beside a Latin letter), which is how
// accented Windows-1252 letters read as CP932 ("C\xE9r\xE9monie" as
// "C駻駑onie"); Windows-1252's typographic punctuation inside a Latin word
// ("d\x92honneur", CP932 "d檀onneur") counts as rare. The majority of votes decides; while the votes are even a
// name is read as its own vote says.
inline constexpr std::string_view kAutoCodePage = "auto";

// Decodes stored names from the editor's 8-bit code page to UTF-8 through
// the system's iconv. A byte that starts no valid character becomes U+FFFD
// and decoding goes on with the next byte: nothing is dropped, and an ASCII
// byte after a broken lead byte stays itself.
// Holds conversion state: not for use from several threads at once.
class TextDecoder {
public:
    // "auto" or a name iconv knows ("CP932", "WINDOWS-1252", "ISO-8859-1",
    // "UTF-8", in any case). Nothing when iconv does not know the name or when
    // the code page does not keep printable ASCII as it is (UTF-16, EBCDIC):
    // the separators of a stored path are found in the decoded text.
    // SHIFT_JIS, SJIS and MS_KANJI open CP932, the editor's Shift JIS, whose
    // 0x5C is the backslash.
    static std::optional<TextDecoder> open(std::string_view codePage);

    TextDecoder(TextDecoder&&) noexcept;
    TextDecoder& operator=(TextDecoder&&) noexcept;
    ~TextDecoder();

    // The name as given to open(), in upper case ("AUTO" stays "auto").
    const std::string& codePage() const { return name_; }

    std::string toUtf8(std::string_view stored);
    // The same into `out`, replacing what it held; for callers that decode
    // many names into one buffer.
    void toUtf8(std::string_view stored, std::string& out);

    // The code page that toUtf8 uses for `stored`: the chosen one, or under
    // "auto" the project's reading as decided so far.
    std::string_view codePageFor(std::string_view stored);

    // Forgets the names met: the start of another project.
    void forgetNames();

    // Under "auto", reads every name in `codePage` from now on where it can
    // ("CP932" or "WINDOWS-1252", as codePageFor names them): what the disk
    // says when it finds more names in that reading. False, and nothing
    // changed, for another name or a code page that was chosen.
    bool settleOn(std::string_view codePage);

    // Under "auto", adds `stored` to what decides the project's code page;
    // once for each distinct name. Nothing otherwise.
    void meet(std::string_view stored);

    // Under "auto", when `stored` also reads validly in the code page that
    // codePageFor did not choose, and differently: that reading into `out`,
    // and the name of that code page. Empty otherwise.
    std::string_view otherReading(std::string_view stored, std::string& out);

private:
    struct Converter;
    TextDecoder(std::string name, std::unique_ptr<Converter> primary, std::unique_ptr<Converter> fallback);
    // Of a name that is valid CP932, under auto: whether it reads as CP932.
    bool leansToCp932(std::string_view stored) const;

    std::string name_;
    std::unique_ptr<Converter> primary_;  // the chosen code page, or CP932 under auto
    std::unique_ptr<Converter> fallback_; // WINDOWS-1252 under auto, else empty
    bool settled_ = false;                // under auto: a name that is not CP932 was met
    bool onCp932_ = false;                // under auto: the disk found the project's names as CP932
    std::size_t cp932Votes_ = 0;
    std::size_t cp1252Votes_ = 0;
    std::string scratch_;
};

} // namespace korvane
