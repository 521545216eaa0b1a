// Names quoted for a terminal: what needs quoting, the exact form, and that
// the form reads back in the shell as the very bytes of the name.

#include "tests/process.h"
#include "text/terminal_quote.h"

#include <gtest/gtest.h>

#include <string>

namespace korvane {
namespace {

struct Case {
    const char* what;
    std::string name;
    std::string shown;
};

const Case kCases[] = {
    {"plain ASCII", "D:\\Video\\clip 01.avi", "D:\\Video\\clip 01.avi"},
    {"a Windows folder named x1b", "D:\\x1b\\clip.avi", "D:\\x1b\\clip.avi"},
    {"quotes and dollars alone", "it's $HOME", "it's $HOME"},
    {"UTF-8 text", "/m/Caf\xC3\xA9/\xE6\x98\xA0\xE5\x83\x8F.avi", "/m/Caf\xC3\xA9/\xE6\x98\xA0\xE5\x83\x8F.avi"},
    {"empty", "", ""},
    {"OSC 52 to the clipboard", "a\x1b]52;c;ZWNobyBwd24=\x07.avi", "$'a\\e]52;c;ZWNobyBwd24=\\a.avi'"},
    {"clear screen, backslashes doubled", "D:\\\x1b[2J\\b.avi", "$'D:\\\\\\e[2J\\\\b.avi'"},
    {"CR LF as a fake heading", "x.avi\r\n[Title]", "$'x.avi\\r\\n[Title]'"},
    {"TAB, BS, VT, FF", "\t\b\v\f", "$'\\t\\b\\v\\f'"},
    {"other C0 and DEL", "\x01\x1f\x7f", "$'\\x01\\x1f\\x7f'"},
    {"a quote inside a quoted name", "it's\n", "$'it\\'s\\n'"},
    {"C1 CSI in UTF-8", "a\xC2\x9B" "2J", "$'a\\xc2\\x9b2J'"},
    {"next line U+0085", "a\xC2\x85" "b", "$'a\\xc2\\x85b'"},
    {"first printable past C1", "\xC2\xA0", "\xC2\xA0"},
    {"line separator U+2028", "a\xE2\x80\xA8" "b", "$'a\\xe2\\x80\\xa8b'"},
    {"right-to-left override U+202E", "gpj.\xE2\x80\xAE" "exe", "$'gpj.\\xe2\\x80\\xaeexe'"},
    {"isolate U+2066", "\xE2\x81\xA6", "$'\\xe2\\x81\\xa6'"},
    {"zero width joiner is no control", "\xE2\x80\x8D", "\xE2\x80\x8D"},
    {"undecoded CP932", "D:\\\x95\x5C.avi", "$'D:\\\\\\x95\\\\.avi'"},
    {"raw 8-bit CSI", "\x9b" "2J", "$'\\x9b2J'"},
    {"Windows-1252", "Caf\xE9", "$'Caf\\xe9'"},
    {"truncated UTF-8", "a\xE6\x98", "$'a\\xe6\\x98'"},
    {"overlong slash", "\xC0\xAF", "$'\\xc0\\xaf'"},
    {"UTF-16 surrogate", "\xED\xA0\x80", "$'\\xed\\xa0\\x80'"},
    {"looks quoted already", "$'\\e'", "$'$\\'\\\\e\\''"},
    {"a NUL", std::string("a\0b", 3), "$'a\\x00b'"},
    {"hex digit after an escape", "\x1b" "ab", "$'\\eab'"},
};

TEST(TerminalQuote, QuotesAWholeNameOnlyWhenItHoldsAByteThatNeedsIt)
{
    for (const Case& c : kCases) {
        EXPECT_EQ(quoteName(c.name), c.shown) << c.what;
        EXPECT_EQ(needsQuoting(c.name), c.shown != c.name) << c.what;
        const std::string shown = quoteName(c.name);
        for (const char byte : shown) {
            const auto b = static_cast<unsigned char>(byte);
            EXPECT_TRUE(b >= 0x20 && b != 0x7F) << c.what << ": a control byte is shown raw";
        }
    }
}

TEST(TerminalQuote, TheQuotedFormReadsBackInTheShellAsTheName)
{
    if (::access("/bin/bash", X_OK) != 0)
        GTEST_SKIP() << "no bash";
    for (const Case& c : kCases) {
        // A name shown as it is is no shell word, and no shell word holds a NUL.
        if (!needsQuoting(c.name) || c.name.find('\0') != std::string::npos)
            continue;
        const testkit::ProcessResult r = testkit::runProcess({"/bin/bash", "-c", "printf %s " + quoteName(c.name)});
        EXPECT_EQ(r.status, 0) << c.what;
        EXPECT_EQ(r.out, c.name) << c.what;
    }
}

} // namespace
} // namespace korvane
