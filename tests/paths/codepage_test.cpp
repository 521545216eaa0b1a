// Decoding stored names from the editor's code page to UTF-8.

#include "paths/codepage.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

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

// Accented Windows-1252 names whose bytes are also valid CP932, and real
// CP932 names.
const DecodeCase kLatinNames[] = {
    {"WINDOWS-1252", "C\xE9r\xE9monie", "C\xC3\xA9r\xC3\xA9monie"}, // CP932: C駻駑onie
    {"WINDOWS-1252", "Se\xF1ora", "Se\xC3\xB1ora"},
    {"WINDOWS-1252", "H\xF4tel", "H\xC3\xB4tel"},
    {"WINDOWS-1252", "K\xF6ln", "K\xC3\xB6ln"},
    {"WINDOWS-1252", "Stra\xDF" "e", "Stra\xC3\x9F" "e"}, // CP932: a half-width katakana among letters
    {"WINDOWS-1252", "Mari\xE9" "e", "Mari\xC3\xA9" "e"},
    {"WINDOWS-1252", "Cr\xE8me br\xFBl\xE9" "e", "Cr\xC3\xA8me br\xC3\xBBl\xC3\xA9" "e"},
};
const DecodeCase kJapaneseNames[] = {
    {"CP932", "\x95\x5C", "\xE8\xA1\xA8"},                                              // 表
    {"CP932", "\x83\x72\x83\x66\x83\x49", "\xE3\x83\x93\xE3\x83\x87\xE3\x82\xAA"},     // ビデオ
    {"CP932", "\x8C\x8B\x8D\xA5\x8E\xAE", "\xE7\xB5\x90\xE5\xA9\x9A\xE5\xBC\x8F"},     // 結婚式
    {"CP932", "\xB6\xD2\xD7_01", "\xEF\xBD\xB6\xEF\xBE\x92\xEF\xBE\x97_01"},           // ｶﾒﾗ_01
    {"CP932", "\x8E\x52\x93\x63\x9C\x71", "\xE5\xB1\xB1\xE7\x94\xB0\xE5\xBE\xA0"},     // 山田徠: one rare kanji
};

TEST(TextDecoder, AutoReadsEachNameAsItsMostPlausibleCodePageWhenItMeetsItFirst)
{
    std::vector<DecodeCase> names(std::begin(kLatinNames), std::end(kLatinNames));
    names.insert(names.end(), std::begin(kJapaneseNames), std::end(kJapaneseNames));
    for (const DecodeCase& c : names) {
        SCOPED_TRACE(c.stored);
        std::optional<TextDecoder> fresh = TextDecoder::open("auto");
        ASSERT_TRUE(fresh);
        std::optional<TextDecoder> exact = TextDecoder::open(c.codePage);
        ASSERT_TRUE(exact);
        std::string other;
        if (std::string_view(c.codePage) == "WINDOWS-1252") {
            ASSERT_EQ(fresh->otherReading(c.stored, other), "CP932") << "valid CP932 too";
        }
        EXPECT_EQ(fresh->codePageFor(c.stored), c.codePage);
        EXPECT_EQ(fresh->toUtf8(c.stored), c.utf8);
        EXPECT_EQ(exact->toUtf8(c.stored), c.utf8);
    }
}

TEST(TextDecoder, AutoDecidesForTheWholeProjectFromTheNamesItMet)
{
    const auto project = [](std::initializer_list<std::string_view> names) {
        std::optional<TextDecoder> decoder = TextDecoder::open("auto");
        for (const std::string_view name : names)
            decoder->meet(name);
        return std::move(*decoder);
    };
    const std::string_view hyou = kJapaneseNames[0].stored;
    const std::string_view strasse = kLatinNames[4].stored;
    std::string other;

    // One name that is not CP932 makes every name Windows-1252, even one
    // that reads well as CP932; the other reading stays at hand.
    TextDecoder latin = project({"D:\\a.avi", "Caf\xE9", hyou});
    EXPECT_EQ(latin.codePageFor(hyou), "WINDOWS-1252");
    EXPECT_EQ(latin.toUtf8(hyou), "\xE2\x80\xA2\\");
    EXPECT_EQ(latin.otherReading(hyou, other), "CP932");
    EXPECT_EQ(other, kJapaneseNames[0].utf8);
    EXPECT_EQ(latin.otherReading("Caf\xE9", other), "") << "no valid CP932 reading";
    for (int k = 0; k < 5; ++k)
        latin.meet(hyou);
    EXPECT_EQ(latin.codePageFor(hyou), "WINDOWS-1252") << "settled for good";

    // Names that read well as CP932 outvote one that does not.
    TextDecoder japanese = project({hyou, kJapaneseNames[1].stored, kJapaneseNames[2].stored, strasse});
    EXPECT_EQ(japanese.codePageFor(strasse), "CP932");
    EXPECT_EQ(japanese.otherReading(strasse, other), "WINDOWS-1252");
    EXPECT_EQ(other, kLatinNames[4].utf8);

    // And the other way round; a new project starts afresh.
    TextDecoder accented = project({kLatinNames[0].stored, kLatinNames[1].stored, hyou});
    EXPECT_EQ(accented.codePageFor(hyou), "WINDOWS-1252");
    accented.forgetNames();
    EXPECT_EQ(accented.codePageFor(hyou), "CP932");

    // A code page that is chosen is never second-guessed.
    std::optional<TextDecoder> chosen = TextDecoder::open("CP932");
    chosen->meet("Caf\xE9");
    EXPECT_EQ(chosen->codePageFor(strasse), "CP932");
    EXPECT_EQ(chosen->otherReading(strasse, other), "");
}

// Projects of Windows-1252 whose only bytes past ASCII are typographic
// punctuation, and CP932 projects with rare kanji: neither breaks the other.
TEST(TextDecoder, PunctuationInALatinWordIsWindows1252AndRareKanjiStayCp932)
{
    const DecodeCase cases[] = {
        {"WINDOWS-1252", "D:\\Mariage\\Vin d\x92honneur\\clip.avi", "D:\\Mariage\\Vin d\xE2\x80\x99honneur\\clip.avi"},
        {"WINDOWS-1252", "It\x92s a wrap", "It\xE2\x80\x99s a wrap"},
        {"WINDOWS-1252", "Rock\x96n\x96Roll", "Rock\xE2\x80\x93n\xE2\x80\x93Roll"},
        {"WINDOWS-1252", "Le \x93Oui\x94", "Le \xE2\x80\x9COui\xE2\x80\x9D"}, // 0x94 at the end: no CP932
        {"CP932", "\xFB\xFC\x8B\xB4", "\xE9\xAB\x99\xE6\xA9\x8B"},                  // 髙橋
        {"CP932", "\x8E\x52\xFA\xB1", "\xE5\xB1\xB1\xEF\xA8\x91"},                  // 山﨑
        {"CP932", "\x8E\x52\x93\x63", "\xE5\xB1\xB1\xE7\x94\xB0"},                  // 山田: 田 after the byte 'R'
        {"CP932", "Scene\x93\x63\x92\x86", "Scene\xE7\x94\xB0\xE4\xB8\xAD"},        // Scene田中
    };
    for (const DecodeCase& c : cases) {
        SCOPED_TRACE(c.stored);
        std::optional<TextDecoder> decoder = TextDecoder::open("auto");
        decoder->meet(c.stored);
        EXPECT_EQ(decoder->codePageFor(c.stored), c.codePage);
        EXPECT_EQ(decoder->toUtf8(c.stored), c.utf8);
    }
}

// What the disk found settles the reading, both ways, and forgetting the
// names starts afresh; a chosen code page is not switched.
TEST(TextDecoder, SettlingOnTheDisksReadingOverridesTheVotes)
{
    const std::string_view tanaka = "\x93\x63\x92\x86"; // 田中, or “c’† in Windows-1252
    std::optional<TextDecoder> decoder = TextDecoder::open("auto");
    decoder->meet(tanaka);
    EXPECT_EQ(decoder->codePageFor(tanaka), "CP932");
    ASSERT_TRUE(decoder->settleOn("WINDOWS-1252"));
    EXPECT_EQ(decoder->toUtf8(tanaka), "\xE2\x80\x9C" "c\xE2\x80\x99\xE2\x80\xA0");
    ASSERT_TRUE(decoder->settleOn("CP932"));
    decoder->meet("Caf\xE9 \xE9t\xE9");
    EXPECT_EQ(decoder->codePageFor(tanaka), "CP932") << "votes no longer count";
    EXPECT_EQ(decoder->codePageFor("Caf\xE9"), "WINDOWS-1252") << "a name CP932 cannot read";
    decoder->forgetNames();
    decoder->meet("Vin d\x92honneur");
    EXPECT_EQ(decoder->codePageFor(tanaka), "WINDOWS-1252");
    std::optional<TextDecoder> chosen = TextDecoder::open("CP932");
    EXPECT_FALSE(chosen->settleOn("WINDOWS-1252"));
}

TEST(TextDecoder, AcceptsOnlyCodePagesThatKeepAscii)
{
    EXPECT_FALSE(TextDecoder::open("NO-SUCH-CODE-PAGE"));
    EXPECT_FALSE(TextDecoder::open(""));
    EXPECT_FALSE(TextDecoder::open("UTF-16")) << "two bytes a character";
    EXPECT_FALSE(TextDecoder::open("EBCDIC-US"));

    std::optional<TextDecoder> lower = TextDecoder::open("cp932");
    ASSERT_TRUE(lower);
    EXPECT_EQ(lower->codePage(), "CP932");
    EXPECT_EQ(lower->toUtf8("\x95\x5C"), "\xE8\xA1\xA8");
    std::optional<TextDecoder> automatic = TextDecoder::open("AUTO");
    ASSERT_TRUE(automatic);
    EXPECT_EQ(automatic->codePage(), "auto");
    EXPECT_TRUE(TextDecoder::open("ISO-8859-1"));
    // The names of Shift JIS open the editor's CP932, where 0x5C is the backslash.
    for (const char* name : {"SHIFT_JIS", "shift_jis", "SJIS", "sjis", "MS_KANJI", "Ms_Kanji"}) {
        std::optional<TextDecoder> sjis = TextDecoder::open(name);
        ASSERT_TRUE(sjis) << name;
        EXPECT_EQ(sjis->codePage(), "CP932") << name;
        EXPECT_EQ(sjis->toUtf8("\x95\x5C\\~"), "\xE8\xA1\xA8\\~") << name;
    }
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
