// The ASCII helpers and the English list.

#include "text/ascii.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

TEST(Ascii, CaseOnlyOfAToZ)
{
    EXPECT_TRUE(isAscii("Clip 01.AVI"));
    EXPECT_FALSE(isAscii("Caf\xC3\xA9"));
    EXPECT_TRUE(equalsIgnoringAsciiCase("UNC", "unc"));
    EXPECT_TRUE(equalsIgnoringAsciiCase("@[`{", "@[`{"));
    EXPECT_FALSE(equalsIgnoringAsciiCase("@", "`")) << "0x40 and 0x60 differ by the case bit but are no letters";
    EXPECT_FALSE(equalsIgnoringAsciiCase("[", "{"));
    EXPECT_FALSE(equalsIgnoringAsciiCase("\xC3\x89", "\xC3\xA9")) << "É is not ASCII";
    EXPECT_FALSE(equalsIgnoringAsciiCase("map", "maps"));
    std::string text = "KEEP Clip.AVI";
    lowerAscii(text, 5);
    EXPECT_EQ(text, "KEEP clip.avi");
}

TEST(Ascii, JoinsAnEnglishList)
{
    const struct {
        std::vector<std::string> items;
        const char* joined;
    } cases[] = {
        {{}, ""},
        {{"D:"}, "D:"},
        {{"D:", "E:"}, "D: and E:"},
        {{"D:", "E:", "\\\\nas\\media"}, "D:, E: and \\\\nas\\media"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(joinWithAnd(c.items), c.joined);
}

} // namespace
} // namespace korvane
