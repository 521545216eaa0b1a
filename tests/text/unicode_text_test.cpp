#include "text/unicode_text.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

// "Café" with é as one character (U+00E9) and as e and U+0301.
constexpr std::string_view kCafeComposed = "Caf\xC3\xA9";
constexpr std::string_view kCafeDecomposed = "Cafe\xCC\x81";

TEST(Nfc, ComposesWhatWasDecomposedAndKeepsWhatIsComposed)
{
    EXPECT_EQ(toNfc(kCafeDecomposed), kCafeComposed);
    EXPECT_EQ(toNfc(kCafeComposed), kCafeComposed);
    EXPECT_EQ(toNfc("clip 01.avi"), "clip 01.avi");
    // A character with two marks: U+1EC7 (e with circumflex and dot below).
    EXPECT_EQ(toNfc("e\xCC\xA3\xCC\x82"), "\xE1\xBB\x87");
}

TEST(Nfc, PutsMarksInCanonicalOrderBeforeComposing)
{
    // a, dot above (230), dot below (220): the dot below comes first and
    // composes (U+1EA1); the dot above stays a mark.
    EXPECT_EQ(toNfc("a\xCC\x87\xCC\xA3"), "\xE1\xBA\xA1\xCC\x87");
    EXPECT_EQ(toNfc("a\xCC\xA3\xCC\x87"), "\xE1\xBA\xA1\xCC\x87");
}

TEST(Nfc, AMarkOfTheSameClassBlocksComposition)
{
    // a, overline (230), acute (230): the acute is blocked and stays.
    EXPECT_EQ(toNfc("a\xCC\x85\xCC\x81"), "a\xCC\x85\xCC\x81");
    // A leading mark composes with nothing.
    EXPECT_EQ(toNfc("\xCC\x81" "e"), "\xCC\x81" "e");
}

TEST(Nfc, ExclusionsAndSingletonsNeverCompose)
{
    // U+0958 (Devanagari qa) is excluded: it stays decomposed.
    EXPECT_EQ(toNfc("\xE0\xA5\x98"), "\xE0\xA4\x95\xE0\xA4\xBC");
    // The Angstrom sign U+212B is a singleton for U+00C5.
    EXPECT_EQ(toNfc("\xE2\x84\xAB"), "\xC3\x85");
}

TEST(Nfc, HangulSyllablesComposeByArithmetic)
{
    // U+1100 U+1161 U+11A8 is U+AC01; a syllable followed by a trailing
    // consonant takes it in.
    EXPECT_EQ(toNfc("\xE1\x84\x80\xE1\x85\xA1\xE1\x86\xA8"), "\xEA\xB0\x81");
    EXPECT_EQ(toNfc("\xEA\xB0\x80\xE1\x86\xA8"), "\xEA\xB0\x81");
    EXPECT_EQ(toNfc("\xEA\xB0\x81"), "\xEA\xB0\x81");
    // U+11A7 comes just before the trailing consonants and is none.
    EXPECT_EQ(toNfc("\xEA\xB0\x80\xE1\x86\xA7"), "\xEA\xB0\x80\xE1\x86\xA7");
    EXPECT_NE(matchKey("\xEA\xB0\x80\xE1\x86\xA7"), matchKey("\xEA\xB0\x80"));
}

TEST(Nfc, JapaneseNamesStayAsTheyAre)
{
    // 表 (whose CP932 trail byte is a backslash) and a voiced kana, both composed.
    EXPECT_EQ(toNfc("\xE8\xA1\xA8.avi"), "\xE8\xA1\xA8.avi");
    EXPECT_EQ(toNfc("\xE3\x81\x8B\xE3\x82\x99"), "\xE3\x81\x8C"); // か + voiced mark = が
}

TEST(ValidUtf8, EachByteThatStartsNoCharacterBecomesOneReplacement)
{
    const std::string r = "\xEF\xBF\xBD";
    EXPECT_EQ(toValidUtf8("Caf\xE9.avi"), "Caf" + r + ".avi");
    EXPECT_EQ(toValidUtf8("\xC0\xAF"), r + r) << "overlong";
    EXPECT_EQ(toValidUtf8("\xED\xA0\x80"), r + r + r) << "surrogate";
    EXPECT_EQ(toValidUtf8("\xF4\x90\x80\x80"), r + r + r + r) << "past U+10FFFF";
    EXPECT_EQ(toValidUtf8("ab\xE8\xA1"), "ab" + r + r) << "cut short at the end";
    EXPECT_EQ(toValidUtf8("\xE8\xA1" "a"), r + r + "a") << "the next byte is read again";
    EXPECT_EQ(toValidUtf8(kCafeComposed), kCafeComposed);
    EXPECT_EQ(toValidUtf8(std::string_view("a\0b", 3)), std::string("a\0b", 3));
}

TEST(MatchKey, IgnoresCase)
{
    EXPECT_EQ(matchKey("CLIP 01.AVI"), matchKey("clip 01.avi"));
    EXPECT_EQ(matchKey("\xC3\x89T\xC3\x89"), matchKey("\xC3\xA9t\xC3\xA9")); // ÉTÉ
    EXPECT_EQ(matchKey("\xCE\xA3\xCE\x9F\xCE\xA6\xCE\x99\xCE\x91"), matchKey("\xCF\x83\xCE\xBF\xCF\x86\xCE\xB9\xCE\xB1"));
    EXPECT_EQ(matchKey("\xD0\x9C\xD0\x9E\xD0\xA1\xD0\x9A\xD0\x92\xD0\x90"), matchKey("\xD0\xBC\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0"));
    EXPECT_EQ(matchKey("\xEF\xBC\xA1\xEF\xBC\xB6\xEF\xBC\xA9"), matchKey("\xEF\xBD\x81\xEF\xBD\x96\xEF\xBD\x89")); // full-width AVI
    EXPECT_EQ(matchKey("\xE2\x84\xAA"), matchKey("k")); // the Kelvin sign
    EXPECT_NE(matchKey("clip1.avi"), matchKey("clip2.avi"));
}

TEST(MatchKey, IgnoresCompositionOnBothSides)
{
    EXPECT_EQ(matchKey(kCafeComposed), matchKey(kCafeDecomposed));
    EXPECT_EQ(matchKey("CAFE\xCC\x81"), matchKey(kCafeComposed));
    EXPECT_EQ(matchKey("CAF\xC3\x89"), matchKey(kCafeDecomposed));
    EXPECT_EQ(matchKey("a\xCC\x87\xCC\xA3"), matchKey("A\xCC\xA3\xCC\x87"));
    EXPECT_NE(matchKey("Cafe"), matchKey(kCafeComposed)) << "an accent is not a case";
}

TEST(MatchKey, FoldsOneCharacterToOne)
{
    // Simple folding, as file systems fold: ß is not "ss", final sigma
    // folds like sigma.
    EXPECT_NE(matchKey("Stra\xC3\x9F" "e"), matchKey("STRASSE"));
    EXPECT_EQ(matchKey("\xCF\x82"), matchKey("\xCE\xA3"));
}

TEST(MatchKey, CanonicallyEquivalentNamesWithAFoldingMarkShareAKey)
{
    // U+0345 folds to iota, a starter: the marks must be in order first.
    // alpha, ypogegrammeni (240), dasia (230) and alpha, dasia, ypogegrammeni.
    EXPECT_EQ(matchKey("\xCE\xB1\xCD\x85\xCC\x94"), matchKey("\xCE\xB1\xCC\x94\xCD\x85"));
    EXPECT_EQ(matchKey("\xE1\xBE\x81"), matchKey("\xCE\x91\xCC\x94\xCD\x85")); // U+1F81
}

TEST(MatchKey, InvalidBytesMatchAsReplacementCharacters)
{
    EXPECT_EQ(matchKey("Caf\xE9.avi"), matchKey("Caf\xE8.avi"));
    EXPECT_EQ(matchKey("Caf\xE9.avi"), matchKey("caf\xEF\xBF\xBD.avi"));
    EXPECT_NE(matchKey("Caf\xE9.avi"), matchKey(kCafeComposed)) << "an undecodable byte is not é";
}

TEST(MatchKey, TheMakerAppendsAndCanBeReused)
{
    MatchKeyMaker maker;
    std::string out = "x/";
    maker.append(kCafeDecomposed, out);
    maker.append("/CLIP", out);
    EXPECT_EQ(out, "x/caf\xC3\xA9/clip");
}

} // namespace
} // namespace korvane
