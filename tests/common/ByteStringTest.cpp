#include "common/ByteString.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

TEST(ByteString, TrimsOnlyBlankBytesAtEachEnd)
{
    std::string text = " \t\r\n a b \r\n\t ";
    TrimLeft(text);
    EXPECT_EQ(text, "a b \r\n\t ");
    TrimRight(text);
    EXPECT_EQ(text, "a b");
}

TEST(ByteString, TrimsToEmptyWhenEveryByteIsInTheSet)
{
    std::string left = " \r\n";
    std::string right = "\t\t";
    TrimLeft(left);
    TrimRight(right);
    EXPECT_EQ(left, "");
    EXPECT_EQ(right, "");
}

TEST(ByteString, TrimsAGivenSetAndKeepsOtherBytes)
{
    std::string text = "xxaxx";
    TrimLeft(text, "x");
    TrimRight(text, "y");
    EXPECT_EQ(text, "axx");
    std::string withNul("\0a", 2);
    TrimLeft(withNul);
    EXPECT_EQ(withNul.size(), 2u);
}

TEST(ByteString, ChangesTheCaseOfASCIILettersOnly)
{
    EXPECT_EQ(ToLowerASCII("LOCATION: Ab\xC9\xE9[@"), "location: ab\xC9\xE9[@");
    EXPECT_EQ(ToUpperASCII("quit\xE9\xC9{`"), "QUIT\xE9\xC9{`");
}

TEST(ByteString, EncodesCharactersAsUTF8OfTheirLength)
{
    const std::pair<std::uint32_t, const char*> cases[] = {
        {0x41, "A"},
        {0x7F, "\x7F"},
        {0x80, "\xC2\x80"},
        {0x7FF, "\xDF\xBF"},
        {0x800, "\xE0\xA0\x80"},
        {0xFFFD, "\xEF\xBF\xBD"},
        {0x10000, "\xF0\x90\x80\x80"},
        {0x10FFFF, "\xF4\x8F\xBF\xBF"},
    };
    for (const auto& [character, utf8] : cases) {
        std::string text = "x";
        AppendUTF8(text, character);
        EXPECT_EQ(text, std::string("x") + utf8) << character;
    }
}
