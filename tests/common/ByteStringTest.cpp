#include "common/ByteString.h"

#include <gtest/gtest.h>

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
