#include "render/HeaderEncoding.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

TEST(EncodeHeaderText, LeavesValuesWithoutSpecialBytesAlone)
{
    EXPECT_EQ(EncodeHeaderText("News"), "News");
    EXPECT_EQ(EncodeHeaderText(""), "");
    // Tabs and punctuation other than _ ? = never force an encoded word.
    EXPECT_EQ(EncodeHeaderText("a\tb(c)\"d\",e"), "a\tb(c)\"d\",e");
}

TEST(EncodeHeaderText, DropsControlsOtherThanTabAndLineBreaks)
{
    EXPECT_EQ(EncodeHeaderText(std::string("a\x1B[31m\x07\x7F\0b\t", 12)), "a[31mb\t");
    EXPECT_EQ(EncodeHeaderText(std::string("\0\x01 x", 4)), "=?utf-8?Q?_x?=");
}

TEST(EncodeHeaderText, MakesOneEncodedWord)
{
    EXPECT_EQ(EncodeHeaderText("Hello World"), "=?utf-8?Q?Hello_World?=");
    EXPECT_EQ(EncodeHeaderText("a=b"), "=?utf-8?Q?a=3Db?=");
    EXPECT_EQ(EncodeHeaderText("x_y?"), "=?utf-8?Q?x=5Fy=3F?=");
    EXPECT_EQ(EncodeHeaderText("Z\xC3\xBCrich"), "=?utf-8?Q?Z=C3=BCrich?=");
    // In a word, only letters, digits and !*+-/ stand as they are: a display name made of
    // encoded words must not seem to hold an address list, and a tab would end the word.
    EXPECT_EQ(EncodeHeaderText("\t \xFF"), "=?utf-8?Q?=09_=FF?=");
    EXPECT_EQ(EncodeHeaderText("J. (\"ed\") <x@y>; [\\]: !*+-/"),
              "=?utf-8?Q?J=2E_=28=22ed=22=29_=3Cx=40y=3E=3B_=5B=5C=5D=3A_!*+-/?=");
}

TEST(EncodeHeaderText, LineBreaksNeverReachTheHeaderLine)
{
    EXPECT_EQ(EncodeHeaderText("a\r\nb"), "=?utf-8?Q?a=0D=0Ab?=");
    EXPECT_EQ(EncodeHeaderText("a b\n"), "=?utf-8?Q?a_b=0A?=");
}

namespace {

// The bytes each encoded word of a header text stands for, word by word.
std::vector<std::string> DecodeWords(const std::string& text)
{
    std::vector<std::string> words;
    std::istringstream blankSeparated(text);
    for (std::string word; blankSeparated >> word;) {
        EXPECT_LE(word.size(), 75u) << word;
        EXPECT_EQ(word.compare(0, 10, "=?utf-8?Q?"), 0) << word;
        EXPECT_EQ(word.compare(word.size() - 2, 2, "?="), 0) << word;
        std::string decoded;
        for (std::size_t at = 10; at < word.size() - 2; ++at) {
            if (word[at] == '=') {
                decoded += static_cast<char>(std::stoi(word.substr(at + 1, 2), nullptr, 16));
                at += 2;
            } else {
                decoded += word[at] == '_' ? ' ' : word[at];
            }
        }
        words.push_back(decoded);
    }
    return words;
}

} // namespace

TEST(EncodeHeaderText, LongValuesBecomeWordsOfAtMost75CharactersSplitBetweenCharacters)
{
    std::string title;
    for (int i = 0; i < 20; ++i)
        title += i % 2 ? "abcd " : "ABCD ";
    const std::string letters(999, 'x'); // too long for a header line even unencoded
    struct Case
    {
        std::string value;
        bool utf8;
    };
    const std::vector<Case> cases = {
        {title, true},
        {"\xC3\xA9" + title + std::string(30, '?') + "\xE2\x82\xAC\xF0\x9F\x98\x80", true},
        {letters, true},
        // Lead bytes without continuation bytes, and continuation bytes without a lead.
        {std::string(100, '\xE2'), false},
        {std::string(7, '\xA9') + "\xF0\x9F\x98\x80" + std::string(40, '\xBF'), false},
    };
    for (const Case& testCase : cases) {
        const std::string encoded = EncodeHeaderText(testCase.value);
        const std::vector<std::string> words = DecodeWords(encoded);
        std::string joined;
        for (const std::string& word : words) {
            joined += word;
            // No word begins inside a UTF-8 character.
            if (testCase.utf8) {
                EXPECT_NE(word[0] & 0xC0, 0x80) << encoded;
            }
        }
        EXPECT_EQ(joined, testCase.value);
        EXPECT_GT(words.size(), 1u) << encoded;
        EXPECT_EQ(encoded.find_first_of("\r\n"), std::string::npos);
    }
    EXPECT_EQ(EncodeHeaderText(title).substr(0, 76),
              "=?utf-8?Q?ABCD_abcd_ABCD_abcd_ABCD_abcd_ABCD_abcd_ABCD_abcd_ABCD_abcd_ABC?= ");
    // Values of a header line's length with nothing to encode stay as they are.
    EXPECT_EQ(EncodeHeaderText(letters.substr(1)), letters.substr(1));
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
