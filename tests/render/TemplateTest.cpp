#include "render/Template.h"

#include "render/HeaderEncoding.h"
#include "render/TemplateInternal.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <vector>

namespace {

const char kUid[] = "020360606060606000000003";

const char kFeed[] = "<?xml version=\"1.0\"?>\n"
                     "<rss version=\"2.0\">\n"
                     "  <channel>\n"
                     "    <title>News</title>\n"
                     "    <item>\n"
                     "      <title>Hello World</title>\n"
                     "      <link>item1.html</link>\n"
                     "      <pubDate>Mon, 07 Dec 2026 08:00:00 GMT</pubDate>\n"
                     "      <description>Some text</description>\n"
                     "    </item>\n"
                     "  </channel>\n"
                     "</rss>\n";

// A parsed feed whose first item is at hand.
class Feed
{
public:
    explicit Feed(const std::string& text)
    {
        m_document.Parse(text.c_str());
        EXPECT_FALSE(m_document.Error()) << m_document.ErrorDesc();
    }

    const TiXmlElement& Item() const
    {
        const TiXmlElement* item =
            m_document.FirstChildElement("rss")->FirstChildElement("channel")->FirstChildElement(
                "item");
        return *item;
    }

    std::string Expand(const std::string& templateText) const
    {
        return ExpandTemplate(templateText, Item(), kUid);
    }

private:
    TiXmlDocument m_document;
};

// Wraps item content in a channel titled News under an rss element with the given attributes.
std::string FeedWithItem(const std::string& itemContent, const std::string& rssAttributes = "")
{
    return "<rss" + rssAttributes + "><channel><title>News</title><item>" + itemContent +
           "</item></channel></rss>";
}

std::vector<std::string> SplitCRLF(const std::string& message)
{
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    for (std::string::size_type end; (end = message.find("\r\n", start)) != std::string::npos;
         start = end + 2)
        lines.push_back(message.substr(start, end - start));
    EXPECT_EQ(start, message.size()) << "message does not end in CR LF";
    return lines;
}

} // namespace

TEST(ExpandTemplate, BuiltInTemplateRendersACompleteMessage)
{
    const std::string message = Feed(kFeed).Expand(kBuiltInTemplate);
    const std::vector<std::string> lines = SplitCRLF(message);
    const std::vector<std::string> expected = {
        "Message-ID: <020360606060606000000003>",
        "Date: Mon, 07 Dec 2026 08:00:00 GMT",
        "From: News <feeds@quillbox.invalid>",
        "Subject: =?utf-8?Q?Hello_World?=",
        "MIME-Version: 1.0",
        "Content-Type: text/html; charset=\"utf-8\"",
        "Content-Transfer-Encoding: 8bit",
        "X-QUILLBOX: vorlenta",
        "",
        "<html>",
        "<head>",
        "<meta http-equiv=\"content-type\" content=\"text/html; charset=utf-8\">",
        "<base href=\"\" />",
        "</head>",
        "<body>",
        "<a href=\"item1.html\">Hello World</a>",
        "<hr>",
        "Some text",
        "</body>",
        "</html>",
    };
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(message.find('\n'), message.find("\r\n") + 1);
}

TEST(ExpandTemplate, MissingDateAndChannelTitleLeaveEmptyValues)
{
    const Feed feed("<rss><channel><item><title>T</title></item></channel></rss>");
    const std::vector<std::string> lines = SplitCRLF(feed.Expand(kBuiltInTemplate));
    ASSERT_EQ(lines.size(), 20u);
    EXPECT_EQ(lines[1], "Date: ");
    EXPECT_EQ(lines[2], "From:  <feeds@quillbox.invalid>");
    EXPECT_EQ(lines[3], "Subject: T");
}

TEST(ExpandTemplate, NoLineIsLongerThan998Bytes)
{
    // A long title is several encoded words on one line, folded when the line gets too long;
    // a long description line is broken at blanks outside its tags.
    const std::string title = "Ab cd " + std::string(94, 'x');
    std::string longTitle, description;
    for (int word = 0; word < 300; ++word) {
        longTitle += "word" + std::to_string(word) + " ";
        description += "<a href=\"x y\">w" + std::to_string(word) + "</a> ";
    }
    const Feed feed(FeedWithItem("<title>" + title + "</title><description><![CDATA[" +
                                 description + "]]></description><category>" + longTitle +
                                 "</category>"));
    const std::vector<std::string> lines =
        SplitCRLF(feed.Expand("Subject: %E/title%\nKeywords: %E/category%\n\n%/description%\n"));
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(lines[0], "Subject: =?utf-8?Q?Ab_cd_" + std::string(57, 'x') + "?= =?utf-8?Q?" +
                            std::string(37, 'x') + "?=");
    std::string keywords = lines[1];
    std::size_t line = 2;
    for (; lines[line] != ""; ++line) {
        EXPECT_EQ(lines[line][0], ' ');
        keywords += lines[line];
    }
    EXPECT_GT(line, 3u);
    // The parser drops the trailing blank of the text.
    EXPECT_EQ(keywords, "Keywords: " + EncodeHeaderText(longTitle.substr(0, longTitle.size() - 1)));
    std::string body;
    for (++line; line < lines.size(); ++line) {
        if (line + 1 < lines.size()) {
            EXPECT_EQ(lines[line].substr(lines[line].size() - 4), "</a>");
        }
        body += lines[line] + " ";
    }
    EXPECT_EQ(body, description + " ");
    for (const std::string& text : lines)
        EXPECT_LE(text.size(), 998u);
}

TEST(ExpandTemplate, ValuesGoInUnchangedButForTheirLineEnds)
{
    // Decoded markup is not escaped again. Every line end of a value in the body, bare LF,
    // bare CR or CR LF, becomes CR LF, like the template's own line ends.
    const Feed feed(FeedWithItem("<title>a &lt;b&gt; &amp; c</title>"
                                 "<description><![CDATA[one\ntwo %/title%\r\n\r\r\n.x\r]]>"
                                 "</description>",
                                 " xml:base=\"http://example.org/\""));
    EXPECT_EQ(feed.Expand("%/title%\n%/description%\n%--|xml:base%"),
              "a <b> & c\r\none\r\ntwo %/title%\r\n\r\n\r\n.x\r\n\r\nhttp://example.org/");
}

TEST(ExpandTemplate, FeedLineBreaksCannotBreakTheHeader)
{
    const Feed feed(FeedWithItem("<title><![CDATA[a\n\nb]]></title>"
                                 "<pubDate><![CDATA[Mon\r\nBcc: x@example.org\n]]></pubDate>"
                                 "<description><![CDATA[one\ntwo]]></description>"));
    const std::vector<std::string> lines = SplitCRLF(feed.Expand(kBuiltInTemplate));
    ASSERT_EQ(lines.size(), 23u);
    EXPECT_EQ(lines[1], "Date: Mon  Bcc: x@example.org ");
    EXPECT_EQ(lines[3], "Subject: =?utf-8?Q?a=0A=0Ab?=");
    EXPECT_EQ(lines[8], "");
    // In the body the same values keep their line breaks, as CR LF.
    EXPECT_EQ(lines[15], "<a href=\"\">a");
    EXPECT_EQ(lines[16], "");
    EXPECT_EQ(lines[17], "b</a>");

    // Only the lines before the first empty template line are header lines.
    EXPECT_EQ(feed.Expand("S: %/description%\r\n\r\n%/description%"),
              "S: one two\r\n\r\none\r\ntwo");
    EXPECT_EQ(feed.Expand("S: %/description%\n%+UIDL%\n\n"),
              "S: one two\r\n" + std::string(kUid) + "\r\n\r\n");
}

TEST(ExpandTemplate, AnEmptyDateComesFromTheFeedAndISODatesAreRewritten)
{
    struct Case
    {
        std::string channel;
        std::string item;
        std::string date;
    };
    const std::string rfc = "Mon, 09 Jun 2003 04:00:00 GMT";
    const std::string iso = "2003-06-10T04:00:00Z";
    const std::string isoAsMail = "Tue, 10 Jun 2003 04:00:00 +0000";
    const std::vector<Case> cases = {
        {"<pubDate>x</pubDate>", "<pubDate>" + rfc + "</pubDate><dc:date>y</dc:date>", rfc},
        {"<pubDate>x</pubDate>", "<pubDate>" + iso + "</pubDate>", isoAsMail},
        {"<pubDate>x</pubDate>", "<dc:date>" + iso + "</dc:date>", isoAsMail},
        {"<dc:date>y</dc:date><lastBuildDate>z</lastBuildDate><pubDate>" + rfc + "</pubDate>",
         "<pubDate> </pubDate>", rfc},
        {"<lastBuildDate>" + iso + "</lastBuildDate><dc:date>y</dc:date>", "", isoAsMail},
        {"<dc:date><![CDATA[" + rfc + "\n]]></dc:date>", "", rfc},
        {"<dc:date>Mon,\x07 09 <![CDATA[Jun]]></dc:date>", "", "Mon, 09 Jun"},
        // What cannot be read stays as it is; without any date the header stays empty.
        {"", "<pubDate>Di, 10 Jun 2003</pubDate>", "Di, 10 Jun 2003"},
        {"<title>News</title>", "<title>T</title>", ""},
    };
    for (const Case& testCase : cases) {
        const Feed feed("<rss><channel>" + testCase.channel + "<item>" + testCase.item +
                        "</item></channel></rss>");
        const std::vector<std::string> lines = SplitCRLF(feed.Expand(kBuiltInTemplate));
        ASSERT_EQ(lines.size(), 20u);
        EXPECT_EQ(lines[1], "Date: " + testCase.date) << testCase.item;
    }
    // Only the first header named Date changes, whatever case its name is in.
    const Feed feed(FeedWithItem("<dc:date>" + iso + "</dc:date>"));
    EXPECT_EQ(feed.Expand("X-Date: %/dc:date%\ndate:\nDate: %/dc:date%\n\nDate: %/pubDate%\n"),
              "X-Date: " + iso + "\r\ndate: " + isoAsMail + "\r\nDate: " + iso +
                  "\r\n\r\nDate: \r\n");
}

TEST(ExpandTemplate, LineEndsAreCRLFWhateverTheTemplateUses)
{
    const Feed feed(kFeed);
    EXPECT_EQ(feed.Expand("a\r\nb\n%/link%\r\n"), feed.Expand("a\nb\n%/link%\n"));
    EXPECT_EQ(feed.Expand("x\ry\r"), "xy");
    EXPECT_EQ(feed.Expand(""), "");
}

TEST(ExpandTemplate, FlagsUpStepsAndPaths)
{
    const Feed feed(FeedWithItem("<title>Hello World</title><enclosure url=\"u\" type=\"t\"/>"
                                 "<a><b>deep</b></a><!-- note --><c><!-- note --></c>"
                                 "<d><!-- c -->Hi <![CDATA[a]]]]><![CDATA[>b]]> end</d>",
                                 " xml:base=\"base\""));
    EXPECT_EQ(feed.Expand("%E-/title%"), "News");
    EXPECT_EQ(feed.Expand("%E/title%"), "=?utf-8?Q?Hello_World?=");
    EXPECT_EQ(feed.Expand("%ET/title%"), "=?utf-8?Q?Hello_World?=");
    EXPECT_EQ(feed.Expand("%T/title%"), "Hello World");
    EXPECT_EQ(feed.Expand("%TE/title%"), "");
    EXPECT_EQ(feed.Expand("%--|xml:base%"), "base");
    EXPECT_EQ(feed.Expand("%-/title%"), "News");
    EXPECT_EQ(feed.Expand("%---/title%"), "");
    EXPECT_EQ(feed.Expand("%----%"), "");
    EXPECT_EQ(feed.Expand("%/a/b%"), "deep");
    EXPECT_EQ(feed.Expand("%/a%"), "b");
    EXPECT_EQ(feed.Expand("%/c%"), " note ");
    // All text and CDATA pieces; split sections join as they stand.
    EXPECT_EQ(feed.Expand("%/d%"), "Hi a]]>b end");
    EXPECT_EQ(feed.Expand("%/enclosure|url%"), "u");
    EXPECT_EQ(feed.Expand("%/enclosure|type/x|url%"), "t");
    EXPECT_EQ(feed.Expand("%/enclosure|missing%"), "");
    EXPECT_EQ(feed.Expand("%/missing%"), "");
    EXPECT_EQ(feed.Expand("%x/title%"), "");
    EXPECT_EQ(feed.Expand("%/title/%"), "");
    // An empty path gives the item's first child node: here the title element's tag name.
    EXPECT_EQ(feed.Expand("%%"), "title");
    EXPECT_EQ(feed.Expand("[%%]%%"), "[title]title");
}

TEST(ExpandTemplate, Variables)
{
    const Feed feed(kFeed);
    EXPECT_EQ(feed.Expand("%+UIDL%"), kUid);
    EXPECT_EQ(feed.Expand("%+uidl%"), "");
    EXPECT_EQ(feed.Expand("%+UIDL/anything%"), kUid);
    EXPECT_EQ(feed.Expand("%+UIDL|x%"), kUid);
    EXPECT_EQ(feed.Expand("%+E/title%"), "");

    const std::string boundaries = feed.Expand("%+BOUNDARY1% %+BOUNDARY2%");
    ASSERT_EQ(boundaries.size(), 33u);
    EXPECT_EQ(boundaries.substr(8, 4), "0000");
    EXPECT_EQ(boundaries.substr(25, 4), "0000");
}

TEST(ExpandTemplate, PlaceholdersCutOffByTheEnd)
{
    const Feed feed(kFeed);
    // Each template is copied into a buffer of its exact size, so that the sanitizers catch
    // any read past its end.
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"a%", "a"},
        {"a%E", "a"},
        {"a%ET", "a"},
        {"a%--", "a"},
        {"a%+", "a"},
        {"a%+UIDL", std::string("a") + kUid},
        {"a%/title", "aHello World"},
        {"a%E/title", "a=?utf-8?Q?Hello_World?="},
        {"a%/", "a"},
        {"a%|", "a"},
        {"a%--|xml:base", "a"},
        {"a%x", "a"},
        {"a%/title/", "a"},
    };
    for (const auto& [text, expected] : cases) {
        const std::vector<char> buffer(text.begin(), text.end());
        const std::string exact(buffer.data(), buffer.size());
        EXPECT_EQ(feed.Expand(exact), expected) << text;

        const char* cursor = buffer.data() + text.find('%') + 1;
        const char* end = buffer.data() + buffer.size();
        TemplateVariables variables{{"UIDL", kUid}};
        ExpandPlaceholder(cursor, end, feed.Item(), variables);
        EXPECT_EQ(cursor, end) << text;
    }
}

TEST(ReadPlaceholderName, StopsOnTheFirstDelimiter)
{
    const std::string text = "xml:base x|y/z%";
    const char* cursor = text.data();
    EXPECT_EQ(ReadPlaceholderName(cursor, text.data() + text.size()), "xml:base x");
    EXPECT_EQ(*cursor, '|');
    const char* end = text.data() + 3;
    cursor = text.data();
    EXPECT_EQ(ReadPlaceholderName(cursor, end), "xml");
    EXPECT_EQ(cursor, end);
}
