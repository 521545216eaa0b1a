#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace korvane {

// The code page chosen when none is given. A stored name whose bytes are
// valid CP932 is read as CP932, any other as Windows-1252. ASCII reads the
// same in both. The guess is made name by name and can be wrong: Windows-1252
// text in which an accented letter is followed by a letter ("\xE8m") is also
// valid CP932 and reads as a kanji. Choosing the code page avoids that.
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
    // the code page does not keep printable ASCII as it is (UTF-16, EBCDIC,
    // and SHIFT_JIS, which reads 0x5C as the yen sign): the separators of a
    // stored path are found in the decoded text.
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
    // "auto" CP932 or WINDOWS-1252.
    std::string_view codePageFor(std::string_view stored);

private:
    struct Converter;
    TextDecoder(std::string name, std::unique_ptr<Converter> primary, std::unique_ptr<Converter> fallback);

    std::string name_;
    std::unique_ptr<Converter> primary_;  // the chosen code page, or CP932 under auto
    std::unique_ptr<Converter> fallback_; // WINDOWS-1252 under auto, else empty
};

} // namespace korvane
