#include "render/LineLength.h"

#include "render/BodyEncoding.h"

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
        // Without a blank in the text, one between the attributes of a tag serves; one
        // after "=" does not, and one of the text still comes first.
        {std::string(990, 'x') + "<a href=\"u\" title=\"t\">y</a>", {992, 24}},
        {std::string(985, 'x') + "<a title= \"t\">" + std::string(100, 'y'), {987, 111}},
        {std::string(500, 'x') + " " + std::string(480, 'x') + "<a href=\"u\">" +
             std::string(100, 'y'),
         {500, 592}},
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

namespace {

// The bytes that quoted-printable `text` stands for.
std::string DecodedQuotedPrintable(const std::string& text)
{
    std::string decoded;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '=') {
            decoded += text[at];
        } else if (text.compare(at + 1, 2, "\r\n") == 0) {
            at += 2;
        } else {
            decoded += static_cast<char>(std::stoi(text.substr(at + 1, 2), nullptr, 16));
            at += 2;
        }
    }
    return decoded;
}

} // namespace

TEST(LimitLineLengths, ABodyThatCannotBeBrokenGoesOutQuotedPrintable)
{
    const std::string declared = "Content-Transfer-Encoding: quoted-printable\r\n";
    const struct
    {
        std::string header; // before the empty line
        std::string body;
        std::string headerAfter;
    } cases[] = {
        {"A: 1\r\n", std::string(1500, 'x'), "A: 1\r\n" + declared},
        {"Content-Transfer-Encoding: 8bit\r\nB: 2\r\n",
         " " + std::string(1200, '=') + "\xC3\xA9 \r\n.end\t", declared + "B: 2\r\n"},
        // Blanks inside a quoted value, even of a tag opened on an earlier line, are none.
        {"content-transfer-encoding:\r\n 7bit\r\n", "<img\r\nalt=\"" + Repeat("w ", 600) + "\">",
         "content-transfer-encoding: quoted-printable\r\n"},
    };
    for (const auto& testCase : cases) {
        std::string message = testCase.header + "\r\n" + testCase.body;
        LimitLineLengths(message, testCase.header.size() + 2);
        const std::size_t bodyStart = testCase.headerAfter.size() + 2;
        EXPECT_EQ(message.substr(0, bodyStart), testCase.headerAfter + "\r\n");
        const std::string body = message.substr(std::min(bodyStart, message.size()));
        EXPECT_EQ(DecodedQuotedPrintable(body), testCase.body);
        for (const std::string& line : Lines(body)) {
            EXPECT_LE(line.size(), 76u);
            EXPECT_TRUE(line.empty() || (line.back() != ' ' && line.back() != '\t')) << line;
            for (const char byte : line)
                EXPECT_TRUE(byte >= ' ' && byte < 0x7F) << line;
        }
    }
}

TEST(LimitLineLengths, EachPartOfAMultipartBodyIsEncodedOnItsOwn)
{
    const std::string longLine = std::string(1200, 'x');
    const std::string message =
        "Content-Type: multipart/alternative;\r\n boundary=\"B1\"\r\n\r\n"
        "preamble\r\n--B1\r\nContent-Type: text/plain\r\n\r\nshort\r\n"
        "--B1\r\nContent-Type: text/html\r\nContent-Transfer-Encoding: 8bit\r\n\r\n" +
        longLine + "\r\n--B1\r\n\r\n" + longLine + "\r\n--B1--\r\n";
    std::string limited = message;
    LimitLineLengths(limited, message.find("\r\n\r\n") + 4);
    const std::string soft = QuotedPrintable(longLine.data(), longLine.size());
    std::string expected =
        Replaced(message, "8bit\r\n\r\n" + longLine, "quoted-printable\r\n\r\n" + soft);
    expected = Replaced(expected, "--B1\r\n\r\n" + longLine,
                        "--B1\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n" + soft);
    EXPECT_EQ(limited, expected);
    EXPECT_EQ(DecodedQuotedPrintable(soft), longLine);

    // Parts in parts without end, as a feed's text could make them, are looked into only so
    // far, and no long line is left.
    std::string nested = "Content-Type: multipart/mixed; boundary=B0\r\n\r\n";
    for (int level = 0; level < 10000; ++level)
        nested += "--B" + std::to_string(level) + "\r\nContent-Type: multipart/mixed; boundary=B" +
                  std::to_string(level + 1) + "\r\n\r\n";
    nested += longLine;
    LimitLineLengths(nested, nested.find("\r\n\r\n") + 4);
    for (const std::string& line : Lines(nested))
        EXPECT_LE(line.size(), kMaxLineLength);
    // So are many parts side by side.
    std::string wide = "Content-Type: multipart/mixed; boundary=B\r\n\r\n";
    for (int part = 0; part < 1000; ++part)
        wide += "--B\r\n\r\n" + longLine + "\r\n";
    LimitLineLengths(wide, wide.find("\r\n\r\n") + 4);
    for (const std::string& line : Lines(wide))
        EXPECT_LE(line.size(), kMaxLineLength);
}
