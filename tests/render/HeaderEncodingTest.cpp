#include "render/HeaderEncoding.h"

#include <gtest/gtest.h>

TEST(EncodeHeaderText, LeavesValuesWithoutSpecialBytesAlone)
{
    EXPECT_EQ(EncodeHeaderText("News"), "News");
    EXPECT_EQ(EncodeHeaderText(""), "");
    // Tabs, controls and punctuation other than _ ? = never force an encoded word.
    EXPECT_EQ(EncodeHeaderText("a\tb(c)\"d\",e\x01"), "a\tb(c)\"d\",e\x01");
}

TEST(EncodeHeaderText, MakesOneEncodedWord)
{
    EXPECT_EQ(EncodeHeaderText("Hello World"), "=?utf-8?Q?Hello_World?=");
    EXPECT_EQ(EncodeHeaderText("a=b"), "=?utf-8?Q?a=3Db?=");
    EXPECT_EQ(EncodeHeaderText("x_y?"), "=?utf-8?Q?x=5Fy=3F?=");
    EXPECT_EQ(EncodeHeaderText("Z\xC3\xBCrich"), "=?utf-8?Q?Z=C3=BCrich?=");
    // Once encoding, the other bytes pass through unchanged, tabs included.
    EXPECT_EQ(EncodeHeaderText("\t \xFF"), "=?utf-8?Q?\t_=FF?=");
}

TEST(EncodeHeaderText, LineBreaksNeverReachTheHeaderLine)
{
    EXPECT_EQ(EncodeHeaderText("a\r\nb"), "=?utf-8?Q?a=0D=0Ab?=");
    EXPECT_EQ(EncodeHeaderText("a b\n"), "=?utf-8?Q?a_b=0A?=");
}

TEST(EncodeHeaderText, LongValuesAreNeitherSplitNorFolded)
{
    std::string title;
    for (int i = 0; i < 20; ++i)
        title += i % 2 ? "abcd " : "ABCD ";
    ASSERT_EQ(title.size(), 100u);
    const std::string encoded = EncodeHeaderText(title);
    EXPECT_EQ(encoded.size(), 112u);
    EXPECT_EQ(encoded.find("?="), encoded.size() - 2);
    EXPECT_EQ(encoded.find_first_of(" \r\n"), std::string::npos);
}

TEST(MakeBoundary, IsSixteenHexDigitsWithAFifteenBitDraw)
{
    for (int i = 0; i < 200; ++i) {
        const std::string boundary = MakeBoundary();
        ASSERT_EQ(boundary.size(), 16u);
        EXPECT_EQ(boundary.find_first_not_of("0123456789ABCDEF"), std::string::npos) << boundary;
        EXPECT_EQ(boundary.substr(8, 4), "0000") << boundary;
        EXPECT_LE(boundary[12], '7') << boundary;
    }
}
