// Comparing names without regard to case, and find-first patterns over
// decoded names.

#include "paths/name_match.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

TEST(FoldCase, CapitalsFoldToTheirSmallLetters)
{
    const struct {
        char32_t capital, small;
    } pairs[] = {
        {U'A', U'a'},      {U'Z', U'z'},      {U'\u00C0', U'\u00E0'}, {U'\u00C9', U'\u00E9'}, {U'\u00DE', U'\u00FE'},
        {U'\u0178', U'\u00FF'}, {U'\u0100', U'\u0101'}, {U'\u0141', U'\u0142'}, {U'\u017D', U'\u017E'},
        {U'\u0391', U'\u03B1'}, {U'\u03A3', U'\u03C3'}, {U'\u0386', U'\u03AC'}, {U'\u038F', U'\u03CE'},
        {U'\u0401', U'\u0451'}, {U'\u0414', U'\u0434'}, {U'\u0462', U'\u0463'}, {U'\u0531', U'\u0561'},
        {U'\u1E80', U'\u1E81'}, {U'\u1EA0', U'\u1EA1'}, {U'\u216B', U'\u217B'}, {U'\u24B6', U'\u24D0'},
        {U'\uFF21', U'\uFF41'}, {U'\uFF3A', U'\uFF5A'}, {U'\u1E9E', U'\u00DF'}, {U'\u10A0', U'\u2D00'},
        {U'\u1C90', U'\u10D0'},  {U'\uAB70', U'\u13A0'},  {U'\u1F88', U'\u1F80'},
    };
    for (const auto& p : pairs) {
        EXPECT_EQ(foldCase(p.capital), p.small) << std::hex << static_cast<unsigned>(p.capital);
        EXPECT_EQ(foldCase(p.small), p.small) << std::hex << static_cast<unsigned>(p.small);
    }
    // Letters whose small forms have the same capital fold together.
    EXPECT_EQ(foldCase(U'\u03C2'), foldCase(U'\u03A3')) << "final sigma";
    EXPECT_EQ(foldCase(U'\u00B5'), foldCase(U'\u039C')) << "micro sign and mu";
    EXPECT_EQ(foldCase(U'\u017F'), foldCase(U'S')) << "long s";
}

TEST(FoldCase, CharactersWithoutASimplePairStayThemselves)
{
    for (const char32_t c : {U'@', U'[', U'`', U'{', U'\u00D7', U'\u00F7', U'\u00DF', U'\u0130', U'\u0131', U'\u0138',
                             U'\u0149', U'\u03A2', U'\u30BD', U'\u8868', U'\uFF20', U'\uFF3B', U'\uFFFD'}) {
        EXPECT_EQ(foldCase(c), c) << std::hex << static_cast<unsigned>(c);
    }
}

TEST(FoldCase, TextFoldsCharacterByCharacterAndKeepsInvalidBytes)
{
    EXPECT_EQ(foldCase("CAF\xC3\x89 Clip.AVI"), "caf\xC3\xA9 clip.avi");
    EXPECT_EQ(foldCase("\xEF\xBC\xA1\xEF\xBC\xA2"), "\xEF\xBD\x81\xEF\xBD\x82"); // ＡＢ
    EXPECT_EQ(foldCase("\xE8\xA1\xA8.AVI"), "\xE8\xA1\xA8.avi");                // 表 has no case
    EXPECT_EQ(foldCase("A\xFF" "B\xC3"), "a\xFF" "b\xC3") << "stray and cut-off bytes stay";
    EXPECT_EQ(foldCase("\xC0\x81"), "\xC0\x81") << "an overlong A is not A";
    EXPECT_EQ(foldCase("\xED\xA0\x80"), "\xED\xA0\x80") << "a surrogate is not a character";
}

// The resolver (foldCase, and matchesIgnoringCase without wildcards) and
// the search (matchKey) must take the same names for the same, or a file
// would be missing to one and found by the other. Case is simple case
// folding, one character to one: Georgian capitals and Mtavruli fold to
// Mkhedruli, small Cherokee letters to the capitals, final sigma to sigma,
// ẞ to ß; but ß is not "ss" and İ is not "i" (their foldings take two
// characters), and the Turkish dotless ı is no i. Composition is NFC: a
// decomposed accent is the composed one, and since İ is I with a combining
// dot above, it is i with that dot.
TEST(NameComparison, ResolverAndSearchTakeTheSameNamesForTheSame)
{
    const struct {
        const char* a;
        const char* b;
        bool same;
    } cases[] = {
        {"\xE1\x83\x90\xE1\x83\x91.avi", "\xE1\xB2\x90\xE1\xB2\x91.AVI", true},  // Georgian: Mkhedruli and Mtavruli
        {"\xE2\xB4\x80.avi", "\xE1\x82\xA0.avi", true},                         // Georgian: Nuskhuri and Asomtavruli
        {"\xE1\x8E\xA0\xE1\x8F\xB8.avi", "\xEA\xAD\xB0\xE1\x8F\xB0.avi", true}, // Cherokee: small and capital
        {"\xCE\xA3\xCE\x9F\xCE\xA6\xCE\x9F\xCE\xA3.avi",                         // final sigma
         "\xCF\x83\xCE\xBF\xCF\x86\xCE\xBF\xCF\x82.avi", true},
        {"STRA\xE1\xBA\x9E" "E.avi", "stra\xC3\x9F" "e.avi", true},             // ẞ and ß
        {"STRASSE.avi", "stra\xC3\x9F" "e.avi", false},                         // ß is not ss
        {"\xC4\xB0stanbul.avi", "istanbul.avi", false},                         // İ is not i
        {"\xC4\xB0stanbul.avi", "i\xCC\x87stanbul.avi", true},                  // but i with a dot above
        {"\xC4\xB1stanbul.avi", "Istanbul.avi", false},                         // ı is not I
        {"Cafe\xCC\x81.avi", "CAF\xC3\x89.AVI", true},                          // decomposed and composed é
        {"A\xCC\x8A" "ngstr\xC3\xB6m.avi", "\xE2\x84\xAB" "NGSTRO\xCC\x88M.avi", true}, // Å three ways
        {"\xE1\xBE\x88.avi", "\xE1\xBC\x80\xCD\x85.avi", true},                 // ᾈ and ἀ with ypogegrammeni
        {"Cafe.avi", "Caf\xC3\xA9.avi", false},                                 // an accent is not a case
    };
    for (const auto& c : cases) {
        EXPECT_EQ(foldCase(c.a) == foldCase(c.b), c.same) << c.a << " / " << c.b;
        EXPECT_EQ(matchesIgnoringCase(c.a, c.b), c.same) << c.a << " / " << c.b;
        EXPECT_EQ(matchKey(c.a) == matchKey(c.b), c.same) << c.a << " / " << c.b;
    }
}

TEST(MatchesIgnoringCase, AsciiPatternsFollowTheFindFirstRules)
{
    EXPECT_TRUE(matchesIgnoringCase("*.AVI", "clip.avi"));
    EXPECT_TRUE(matchesIgnoringCase("CLIP?.avi", "Clip1.AVI"));
    EXPECT_FALSE(matchesIgnoringCase("CLIP?.avi", "Clip12.AVI"));
    EXPECT_TRUE(matchesIgnoringCase("*.", "README"));
    EXPECT_FALSE(matchesIgnoringCase("*.", "clip.avi"));
    EXPECT_FALSE(matchesIgnoringCase("*.bmp", "clip.avi"));
}

TEST(MatchesIgnoringCase, QuestionMarkStandsForOneCharacterNotOneByte)
{
    EXPECT_TRUE(matchesIgnoringCase("?.avi", "\xE8\xA1\xA8.avi"));                // 表: three bytes
    EXPECT_FALSE(matchesIgnoringCase("?.avi", "\xE8\xA1\xA8\xE8\xA1\xA8.avi"));
    EXPECT_TRUE(matchesIgnoringCase("??.avi", "\xE8\xA1\xA8.avi")) << "? also matches nothing before a dot";
    EXPECT_TRUE(matchesIgnoringCase("CAF?.AVI", "caf\xC3\xA9.avi"));
    EXPECT_TRUE(matchesIgnoringCase("?.avi", "\xFF.avi")) << "an invalid byte counts as one";
}

TEST(MatchesIgnoringCase, NonAsciiLettersMatchWithoutRegardToCase)
{
    EXPECT_TRUE(matchesIgnoringCase("CAF\xC3\x89*", "caf\xC3\xA9 01.avi"));
    EXPECT_TRUE(matchesIgnoringCase("\xEF\xBC\xA1*.avi", "\xEF\xBD\x81 clip.avi")); // Ａ* finds ａ
    EXPECT_TRUE(matchesIgnoringCase("*\xD0\x94.avi", "\xD0\xB4.avi"));              // *Д finds д
    EXPECT_FALSE(matchesIgnoringCase("caf\xC3\xA9*", "cafe.avi"));
    EXPECT_FALSE(matchesIgnoringCase("\xE8\xA1\xA8*", "\xE8\xA1\xA9.avi")) << "a different kanji";
    EXPECT_FALSE(matchesIgnoringCase("*\xFF*", "\xC3\xBF.avi")) << "the byte FF is not the letter U+00FF";
}

TEST(MatchesIgnoringCase, PatternsWithMoreCharactersThanBytesStillMatch)
{
    // 300 distinct characters in the pattern: more than a byte can number.
    std::string pattern, name;
    for (char32_t c = 0x4E00; c < 0x4E00 + 300; ++c) {
        const std::string utf8 = {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                                  static_cast<char>(0x80 | (c & 0x3F))};
        pattern += utf8;
        name += utf8;
    }
    EXPECT_TRUE(matchesIgnoringCase(pattern + "*", name + ".avi"));
    EXPECT_FALSE(matchesIgnoringCase(pattern + "*", "x" + name));
}

} // namespace
} // namespace korvane
