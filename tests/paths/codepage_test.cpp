// Decoding stored names from the editor's code page to UTF-8.

#include "paths/codepage.h"

#include <gtest/gtest.h>

#include <string>

namespace korvane {
namespace {

const std::string kReplacement = "\xEF\xBF\xBD";

struct DecodeCase {
    const char* codePage;
    std::string stored;
    std::string utf8;
};

std::string decode(std::string_view codePage, std::string_view stored)
{
    std::optional<TextDecoder> decoder = TextDecoder::open(codePage);
    if (!decoder)
        return "<no decoder>";
    return decoder->toUtf8(stored);
}

TEST(TextDecoder, DecodesEachCodePageByItsOwnTable)
{
    const DecodeCase cases[] = {
        // A trail byte 0x5C is part of its character, not a backslash.
        {"CP932", "\x95\x5C", "\xE8\xA1\xA8"},                  // 表
        {"CP932", "\x83\x5C", "\xE3\x82\xBD"},                  // ソ
        {"CP932", "\x81\x60", "\xEF\xBD\x9E"},                  // full-width tilde, not the wave dash of JIS
        {"CP932", "\xB1", "\xEF\xBD\xB1"},                      // half-width katakana: one byte
        {"CP932", "\x5C\x7E", "\\~"},                           // not the yen sign and overline of JIS X 0201
        {"CP932", "D:\\Video\\Clip 01.AVI", "D:\\Video\\Clip 01.AVI"},
        {"WINDOWS-1252", "Caf\xE9", "Caf\xC3\xA9"},
        {"WINDOWS-1252", "\x80", "\xE2\x82\xAC"},               // euro sign
        {"WINDOWS-1252", "\x95\x5C", "\xE2\x80\xA2\\"},         // bullet, then a real backslash
        {"WINDOWS-1252", "D:\\Video\\Clip 01.AVI", "D:\\Video\\Clip 01.AVI"},
    };
    for (const DecodeCase& c : cases)
        EXPECT_EQ(decode(c.codePage, c.stored), c.utf8) << c.codePage << " " << c.stored;
}

TEST(TextDecoder, EveryUndecodableByteBecomesOneReplacementCharacter)
{
    const DecodeCase cases[] = {
        {"CP932", "\x80", kReplacement},
        {"CP932", "a\xA0z", "a" + kReplacement + "z"},
        {"CP932", "\xFD\xFE\xFF", kReplacement + kReplacement + kReplacement},
        // A lead byte at the end, and one before a byte that cannot trail it:
        // the byte after it is decoded on its own, never swallowed.
        {"CP932", "clip\x81", "clip" + kReplacement},
        {"CP932", "\x81\\x", "\xE2\x80\x95x"}, // but 81 5C is a character (U+2015)
        {"CP932", "\x81 a", kReplacement + " a"},
        {"CP932", "\x81\x7F", kReplacement + "\x7F"},
        {"WINDOWS-1252", "\x81\x8D\x8F\x90\x9D", kReplacement + kReplacement + kReplacement + kReplacement + kReplacement},
        {"WINDOWS-1252", "a\x81z", "a" + kReplacement + "z"},
    };
    for (const DecodeCase& c : cases)
        EXPECT_EQ(decode(c.codePage, c.stored), c.utf8) << c.codePage << " " << ::testing::PrintToString(c.stored);
}

TEST(TextDecoder, AutoReadsValidCp932AsCp932AndAnythingElseAsWindows1252)
{
    const DecodeCase cases[] = {
        {"auto", "D:\\Video\\clip.avi", "D:\\Video\\clip.avi"},
        {"auto", "\x95\x5C\\\x83\x5C.avi", "\xE8\xA1\xA8\\\xE3\x82\xBD.avi"},
        {"auto", "Caf\xE9.avi", "Caf\xC3\xA9.avi"}, // E9 2E is no CP932 character
        {"auto", "Caf\xE9", "Caf\xC3\xA9"},         // a lead byte at the end
        // 0xFF is no CP932 byte, so the whole name is Windows-1252, where
        // 0x81 has no character either.
        {"auto", "\x81\x60\xFF", kReplacement + "`\xC3\xBF"},
    };
    for (const DecodeCase& c : cases)
        EXPECT_EQ(decode(c.codePage, c.stored), c.utf8) << ::testing::PrintToString(c.stored);

    std::optional<TextDecoder> decoder = TextDecoder::open("auto");
    ASSERT_TRUE(decoder);
    EXPECT_EQ(decoder->codePageFor("\x95\x5C"), "CP932");
    EXPECT_EQ(decoder->codePageFor("Caf\xE9.avi"), "WINDOWS-1252");
}

TEST(TextDecoder, AcceptsOnlyCodePagesThatKeepAscii)
{
    EXPECT_FALSE(TextDecoder::open("NO-SUCH-CODE-PAGE"));
    EXPECT_FALSE(TextDecoder::open(""));
    EXPECT_FALSE(TextDecoder::open("UTF-16")) << "two bytes a character";
    EXPECT_FALSE(TextDecoder::open("SHIFT_JIS")) << "reads 0x5C as the yen sign";
    EXPECT_FALSE(TextDecoder::open("EBCDIC-US"));

    std::optional<TextDecoder> lower = TextDecoder::open("cp932");
    ASSERT_TRUE(lower);
    EXPECT_EQ(lower->codePage(), "CP932");
    EXPECT_EQ(lower->toUtf8("\x95\x5C"), "\xE8\xA1\xA8");
    std::optional<TextDecoder> automatic = TextDecoder::open("AUTO");
    ASSERT_TRUE(automatic);
    EXPECT_EQ(automatic->codePage(), "auto");
    EXPECT_TRUE(TextDecoder::open("ISO-8859-1"));
}

TEST(TextDecoder, StaysUsableAfterAnUndecodableName)
{
    std::optional<TextDecoder> decoder = TextDecoder::open("CP932");
    ASSERT_TRUE(decoder);
    EXPECT_EQ(decoder->toUtf8("\x81"), kReplacement);
    EXPECT_EQ(decoder->toUtf8("\x60"), "`") << "no state left over from the lead byte before";
    const std::string longName(600, '\xB1'); // more than one conversion buffer
    std::string expected;
    for (int k = 0; k < 600; ++k)
        expected += "\xEF\xBD\xB1";
    EXPECT_EQ(decoder->toUtf8(longName), expected);
}

} // namespace
} // namespace korvane
