#include "platform/CharsetConversion.h"

#include <gtest/gtest.h>

#include <vector>

TEST(ConvertToUTF8, DecodesWhatTheConverterKnowsAndMarksWhatItCannot)
{
    struct Case
    {
        std::string charset;
        std::string text;
        std::string utf8;
    };
    const std::vector<Case> cases = {
        {"CP1252", "Caf\xE9 \x80", "Caf\xC3\xA9 \xE2\x82\xAC"},
        {"windows-1252", "a\x81z", "a?z"}, // a byte the set leaves undefined
        {"gb2312", "\xC4\xE3\xBA\xC3\xC4", "\xE4\xBD\xA0\xE5\xA5\xBD?"}, // cut off at the end
        {"ISO-2022-JP", "\x1B$BF|K\\\x1B(B!", "\xE6\x97\xA5\xE6\x9C\xAC!"},
        {"utf-16le", std::string("a\0\xAC\x20", 4), "a\xE2\x82\xAC"},
        {"latin1", "", ""},
    };
    for (const Case& testCase : cases) {
        std::string utf8 = "old";
        EXPECT_TRUE(platform::ConvertToUTF8(testCase.text, testCase.charset, utf8))
            << testCase.charset;
        EXPECT_EQ(utf8, testCase.utf8) << testCase.charset;
    }
    for (const char* unknown : {"", "no-such-set", "utf-8//IGNORE", "/x", " latin1"}) {
        std::string utf8 = "old";
        EXPECT_FALSE(platform::ConvertToUTF8("abc", unknown, utf8)) << unknown;
        EXPECT_EQ(utf8, "");
    }
}
