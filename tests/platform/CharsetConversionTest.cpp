#include "platform/CharsetConversion.h"

#include <gtest/gtest.h>

#include <vector>

TEST(DecodeCharset, DecodesWhatTheConverterKnowsAndMarksWhatItCannot)
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
        // The JIS Roman set, and characters whose code points differ between converters.
        {"ISO-2022-JP", "\x1B(J\\~\x1B$B!A!5\x1B(B",
         "\xC2\xA5\xE2\x80\xBE\xE3\x80\x9C\xE3\x82\x9D"},
        // A pair that is no character, a control character within two-byte text, an escape
        // sequence of a set the converter lacks, and one cut off.
        {"ISO-2022-JP", "\x1B$BF\nK\\\x1B(BA\x1B(I1\x1B$", "?\n\xE6\x9C\xAC\x41\x1B(I1?"},
        {"utf-16le", std::string("a\0\xAC\x20", 4), "a\xE2\x82\xAC"},
        {"utf-16be", std::string("\xD8\x3D\xDE\x00", 4), "\xF0\x9F\x98\x80"},
        // A mark gives the order and goes; without one, big-endian.
        {"UTF-16", std::string("\xFF\xFE\x61\0", 4), "a"},
        {"utf-16", std::string("\0a", 2), "a"},
        {"utf-32", std::string("\xFF\xFE\0\0\x61\0\0\0", 8), "a"},
        // A surrogate out of its pair, a value beyond Unicode and a cut-off unit are one "?"
        // each, and the units after them are read in step.
        {"utf-16le", std::string("a\0\0\xD8\x62\0\0\xDC\x63\0d", 11), "a?b?c?"},
        {"utf-32le", std::string("a\0\0\0\0\0\x11\0\x62\0\0\0\0\xD8\0\0c", 17), "a?b??"},
        {"latin1", "", ""},
    };
    for (const Case& testCase : cases) {
        std::string utf8 = "old";
        EXPECT_TRUE(platform::DecodeCharset(testCase.text, testCase.charset, utf8))
            << testCase.charset;
        EXPECT_EQ(utf8, testCase.utf8) << testCase.charset;
    }
    for (const char* unknown : {"", "no-such-set", "utf-8//IGNORE", "/x", " latin1"}) {
        std::string utf8 = "old";
        EXPECT_FALSE(platform::DecodeCharset("abc", unknown, utf8)) << unknown;
        EXPECT_EQ(utf8, "");
    }
}
