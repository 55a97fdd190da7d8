#include "render/LineLength.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    lines.push_back(text.substr(start));
    return lines;
}

std::string Repeat(const std::string& part, std::size_t times)
{
    std::string text;
    for (std::size_t i = 0; i < times; ++i)
        text += part;
    return text;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to)
{
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

} // namespace

TEST(LimitLineLengths, LeavesShortLinesAlone)
{
    const std::vector<std::string> messages = {
        "",
        "A: " + std::string(995, 'a') + "\r\n\r\n" + std::string(998, 'b') + "\r\n",
        "no header\r\n" + Repeat("word ", 199) + "end",
    };
    for (const std::string& message : messages) {
        std::string limited = message;
        LimitLineLengths(limited, message.find("\r\n\r\n") == std::string::npos
                                      ? 0
                                      : message.find("\r\n\r\n") + 4);
        EXPECT_EQ(limited, message);
    }
}

TEST(LimitLineLengths, BreaksBodyLinesAtTheLastBlankOfTheTextWithinTheLimit)
{
    struct Case
    {
        std::string body;
        std::vector<std::size_t> lengths; // of the body's lines afterwards
    };
    const std::string tag = "<a href=\"x y\" title='p > q' >";
    const std::vector<Case> cases = {
        // Words of five bytes: the break replaces the blank at byte 995.
        {Repeat("word ", 300), {994, 505}},
        // A blank at byte 999 makes a line of exactly 998.
        {std::string(998, 'x') + " " + std::string(10, 'y'), {998, 10}},
        // Blanks inside a tag, quoted values included, are no break points.
        {std::string(900, 'x') + " " + tag + std::string(200, 'y') + " z", {900, 231}},
        // A "<" before a blank opens no tag.
        {std::string(900, 'x') + " < " + std::string(200, 'y'), {902, 200}},
        // A run without a blank stays whole and is broken at the first blank after it.
        {std::string(1500, 'x') + " a b", {1500, 3}},
        {std::string(1500, 'x'), {1500}},
        // A tag left open on an earlier line still counts.
        {"<img\r\nalt=\"" + Repeat("w ", 600) + "\">", {4, 1207}},
        // Blanks at the start of a line make no empty lines.
        {" " + std::string(1200, 'x'), {1201}},
    };
    for (const Case& testCase : cases) {
        const std::string head = "H: v\r\n\r\n";
        std::string message = head + testCase.body;
        LimitLineLengths(message, head.size());
        ASSERT_EQ(message.compare(0, head.size(), head), 0);
        const std::string body = message.substr(head.size());
        std::vector<std::size_t> lengths;
        for (const std::string& line : Lines(body))
            lengths.push_back(line.size());
        EXPECT_EQ(lengths, testCase.lengths) << testCase.body.substr(0, 40);
        // Only blanks became line ends.
        EXPECT_EQ(Replaced(body, "\r\n", " "), Replaced(testCase.body, "\r\n", " "));
    }
}

TEST(LimitLineLengths, FoldsHeaderLinesBeforeABlankThatStays)
{
    const std::string subject = "Subject: " + Repeat("=?utf-8?Q?abcdefgh?= ", 150) + "end   ";
    const std::string message =
        "A: 1\r\n" + subject + "\r\nB: " + std::string(1200, 'c') + "\r\n\r\n" + Repeat("x ", 600);
    const std::size_t bodyStart = message.find("\r\n\r\n") + 4;
    std::string limited = message;
    LimitLineLengths(limited, bodyStart);

    const std::vector<std::string> lines = Lines(limited);
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(lines[0], "A: 1");
    EXPECT_EQ(lines[1].size(), 995u); // before the blank after the 47th word
    std::size_t index = 2;
    for (; lines[index].find("B: ") != 0; ++index) {
        EXPECT_EQ(lines[index][0], ' ');
        EXPECT_LE(lines[index].size(), kMaxLineLength);
    }
    EXPECT_EQ(index, 5u);
    // Unfolding gives the header back; a value without blanks cannot be folded.
    const std::string header = limited.substr(0, limited.find("\r\n\r\n") + 4);
    EXPECT_EQ(Replaced(header, "\r\n ", " "), message.substr(0, bodyStart));
    EXPECT_NE(header.find("\r\nB: " + std::string(1200, 'c') + "\r\n"), std::string::npos);
}
