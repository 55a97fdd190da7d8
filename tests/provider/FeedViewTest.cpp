#include "provider/FeedView.h"

#include "provider/FeedDocumentInternal.h"
#include "provider/Fingerprint.h"
#include "provider/HtmlText.h"
#include "render/Template.h"
#include "support/FeedShapes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace {

const char kFinalUrl[] = "http://example.org/feeds/all.xml";

// The item fields the mapping fills, one line.
const char kFields[] = "%/title%|%/link%|%/description%|%/pubDate%|%/guid%|%/author%|%/category%";

std::string Atom(const std::string& entries, const std::string& feedAttributes = std::string())
{
    return "<?xml version=\"1.0\"?><feed xmlns=\"http://www.w3.org/2005/Atom\" "
           "xmlns:media=\"http://search.yahoo.com/mrss/\"" +
           feedAttributes + "><title>Blog</title><author><name>Ann</name></author>" + entries +
           "</feed>";
}

std::string RDF(const std::string& items, const std::string& space = "http://purl.org/rss/1.0/")
{
    return "<r:RDF xmlns:r=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" xmlns:s=\"" + space +
           "\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
           "xmlns:c=\"http://purl.org/rss/1.0/modules/content/\"><s:channel r:about=\"x\">"
           "<s:title>Chan</s:title><s:link>/</s:link><dc:date>2024-01-02T03:04:05Z</dc:date>"
           "</s:channel>" +
           items + "</r:RDF>";
}

// The fields of each message of `document`.
std::vector<std::string> Fields(const std::string& document,
                                const std::string& templateText = kFields)
{
    std::vector<std::string> fields;
    for (const MessageEntry& message : ParseFeed(document, templateText, kFinalUrl))
        fields.push_back(message.text);
    return fields;
}

} // namespace

TEST(FeedView, AtomEntriesAreMappedToItems)
{
    const struct
    {
        const char* entry;
        const char* fields;
    } cases[] = {
        // Titles of each type, as plain text.
        {"<entry><title>A &amp; B</title></entry>", "A & B||||||"},
        {"<entry><title type='html'>&lt;b&gt;A&lt;/b&gt; &amp;amp; B&amp;#8364;</title></entry>",
         "A & B\xE2\x82\xAC||||||"},
        {"<entry><title type='xhtml'><div xmlns='http://www.w3.org/1999/xhtml'><b>A</b> B</div>"
         "</title></entry>",
         "A B||||||"},
        // Links: an alternate HTML page first, then any alternate, then any href; resolved.
        {"<entry><link rel='self' href='/self'/><link href='/plain'/><link rel='alternate' "
         "type='text/html' href='page'/></entry>",
         "|http://example.org/feeds/page|||||"},
        {"<entry><link rel='self' href='/self'/><link rel='alternate' href='/alt'/></entry>",
         "|http://example.org/alt|||||"},
        {"<entry xml:base='/posts/'><link rel='edit' href='1'/></entry>",
         "|http://example.org/posts/1|||||"},
        // Descriptions: content before summary, each type as HTML.
        {"<entry><content type='html'>&lt;p&gt;C&lt;/p&gt;</content><summary>S</summary></entry>",
         "||<p>C</p>||||"},
        {"<entry><content type='xhtml'><x:div xmlns:x='http://www.w3.org/1999/xhtml'><x:p "
         "class='c'>C <x:b>D</x:b>, E<x:br/><x:a name='n'/></x:p></x:div></content></entry>",
         "||<p class=\"c\">C <b>D</b>, E <br /> <a name=\"n\"></a></p>||||"},
        {"<entry><content><![CDATA[a < b\nnext]]></content></entry>", "||a &lt; b<br>\r\nnext||||"},
        {"<entry><content> </content><summary type='html'>&lt;i&gt;S&lt;/i&gt;</summary></entry>",
         "||<i>S</i>||||"},
        {"<entry><content src='/v.mp4' type='video/mp4'/></entry>",
         "||<a href=\"http://example.org/v.mp4\">http://example.org/v.mp4</a>||||"},
        {"<entry><media:group><media:description>M &amp; N</media:description></media:group>"
         "</entry>",
         "||M &amp; N||||"},
        // Dates as mail dates, published before updated.
        {"<entry><updated>2024-05-06T07:08:09Z</updated></entry>",
         "|||Mon, 06 May 2024 07:08:09 +0000|||"},
        {"<entry><updated>2024-05-06T07:08:09Z</updated><published>2024-05-05T01:02:03+02:00"
         "</published></entry>",
         "|||Sun, 05 May 2024 01:02:03 +0200|||"},
        // Id, author (the feed's when the entry has none) and categories.
        {"<entry><id> tag:x,2024:1 </id><author><name>Bo</name><email>b@x</email></author>"
         "<category term='news'/></entry>",
         "||||tag:x,2024:1|Bo <b@x>|news"},
        {"<entry><title>T</title></entry>", "T||||||"},
    };
    for (const auto& testCase : cases) {
        const std::vector<std::string> fields = Fields(Atom(testCase.entry));
        ASSERT_EQ(fields.size(), 1u) << testCase.entry;
        std::string expected = testCase.fields;
        // The entry without an author of its own gets the feed's.
        if (expected.find("|Bo <b@x>|") == std::string::npos)
            expected.insert(expected.rfind('|'), "Ann");
        EXPECT_EQ(fields[0], expected) << testCase.entry;
    }
}

TEST(FeedView, RdfItemsAreMappedToItemsWhateverTheirPrefixes)
{
    const std::string item =
        "<s:item r:about='http://x/1'><s:title>T &amp; U</s:title><s:link>/1</s:link>"
        "<s:description>D</s:description><c:encoded>&lt;p&gt;E&lt;/p&gt;</c:encoded>"
        "<dc:date>2024-05-06T07:08:09+01:00</dc:date><dc:creator>Cy</dc:creator>"
        "<dc:subject>tech</dc:subject></s:item><s:item><s:title>V</s:title>"
        "<s:description>D</s:description></s:item>";
    const std::vector<std::string> expected{
        "T & U|http://example.org/1|<p>E</p>|Mon, 06 May 2024 07:08:09 +0100|http://x/1|Cy|tech",
        "V||D||||"};
    EXPECT_EQ(Fields(RDF(item)), expected);
    EXPECT_EQ(Fields(RDF(item, "http://my.netscape.com/rdf/simple/0.9/")), expected);
    EXPECT_EQ(Fields(RDF(item), "%-/title%|%-/link%|%-/lastBuildDate%|%--|xml:base%"),
              std::vector<std::string>(2, "Chan|http://example.org/|Tue, 02 Jan 2024 03:04:05 "
                                          "+0000|http://example.org/feeds/all.xml"));
}

TEST(FeedView, TheChannelAndTheBaseComeFromTheFeed)
{
    const std::string feed =
        Atom("<entry><title>One</title></entry><entry><title>Two</title></entry>",
             " xml:base='http://other.example/blog/'");
    const std::vector<std::string> expected(
        2, "Blog|http://other.example/home|Sub & more|Tue, 02 Jan 2024 03:04:05 +0000|"
           "http://other.example/blog/|One");
    std::string withChannel = feed;
    withChannel.insert(withChannel.find("<entry>"),
                       "<subtitle type='html'>Sub &amp;amp; more</subtitle><link href='/home'/>"
                       "<updated>2024-01-02T03:04:05Z</updated>");
    EXPECT_EQ(Fields(withChannel, "%-/title%|%-/link%|%-/description%|%-/lastBuildDate%|"
                                  "%--|xml:base%|%-/item/title%"),
              expected);
}

TEST(FeedView, UidsComeFromTheIdThenTheLinkAndStayTheSame)
{
    const std::string feed =
        Atom("<entry><id>urn:1</id><link href='/a'/></entry><entry><link href='/a'/></entry>"
             "<entry><id>urn:1</id></entry><entry><title>x</title></entry>");
    const MessageList first = ParseFeed(feed, kBuiltInTemplate, kFinalUrl);
    ASSERT_EQ(first.size(), 4u);
    EXPECT_EQ(first[0].uid, Fingerprint("<guid>urn:1</guid>"));
    EXPECT_EQ(first[1].uid, Fingerprint("<link>http://example.org/a</link>"));
    EXPECT_EQ(first[2].uid, first[0].uid); // one id twice: both served
    const MessageList again = ParseFeed(feed, kBuiltInTemplate, kFinalUrl);
    EXPECT_EQ(again[3].uid, first[3].uid);
    EXPECT_NE(first[3].uid, first[1].uid);
}

TEST(FeedView, ElementsTheMappingLeavesOutStayWithTheItem)
{
    EXPECT_EQ(Fields(Atom("<entry><title>T</title><media:group><media:thumbnail url='t.jpg'/>"
                          "</media:group></entry>"),
                     "%/media:group/media:thumbnail|url%|%/title%|%-/author/name%"),
              std::vector<std::string>{"t.jpg|T|Ann"});
    EXPECT_EQ(Fields(RDF("<s:item><s:title>T</s:title><dc:rights>R</dc:rights></s:item>"),
                     "%/dc:rights%|%/title%|%-/dc:date%"),
              std::vector<std::string>{"R|T|2024-01-02T03:04:05Z"});
}

TEST(FeedView, OnlyTheKnownNamespacesAreRead)
{
    for (const std::string& document : {
             std::string("<feed><title>x</title></feed>"),
             std::string("<feed xmlns='http://purl.org/atom/ns#'><entry><title>x</title></entry>"
                         "</feed>"),
             std::string("<a:feed xmlns='http://www.w3.org/2005/Atom'><entry/></a:feed>"),
             std::string("<rdf:RDF><item><title>x</title></item></rdf:RDF>"),
             RDF("<item><title>x</title></item>"),
         })
        EXPECT_TRUE(Fields(document).empty()) << document;
    // A "feed" of entries without any namespace is Atom, as its generator meant.
    EXPECT_EQ(Fields("<feed><entry><title>x</title><link href='a'/></entry></feed>"),
              std::vector<std::string>{"x|http://example.org/feeds/a|||||"});
    // Prefixes are whatever the document binds.
    EXPECT_EQ(Fields("<a:feed xmlns:a='http://www.w3.org/2005/Atom'><a:entry><a:title>x"
                     "</a:title></a:entry></a:feed>"),
              std::vector<std::string>{"x||||||"});
}

TEST(FeedView, EachShapeOfFeedShowsWhatTheFeedSays)
{
    for (const FeedShape& shape : FeedShapes()) {
        const MessageList messages = ParseFeed(shape.document, kBuiltInTemplate, kFinalUrl);
        ASSERT_EQ(messages.size(), shape.messages) << shape.what;
        std::set<std::string> uids;
        for (const MessageEntry& message : messages) {
            uids.insert(message.uid);
            // Lines end in CR LF and keep within the limit; the header holds no control.
            const std::string& text = message.text;
            const std::size_t headerEnd = text.find("\r\n\r\n");
            for (std::size_t start = 0, end; start < text.size(); start = end + 2) {
                end = std::min(text.find("\r\n", start), text.size());
                EXPECT_LE(end - start, 998u) << shape.what;
                for (std::size_t at = start; at < end && start < headerEnd; ++at)
                    EXPECT_TRUE(text[at] >= ' ' && text[at] < 0x7F) << shape.what;
            }
            EXPECT_EQ(text.find_first_of('\n'), text.find("\r\n") + 1) << shape.what;
        }
        EXPECT_EQ(uids.size(), shape.uids) << shape.what;
        const std::string& first = messages[0].text;
        EXPECT_NE(first.find("\r\nSubject: " + shape.subject + "\r\n"), std::string::npos)
            << shape.what << "\n"
            << first;
        for (const std::string& shown : shape.shown)
            EXPECT_NE(first.find(shown), std::string::npos) << shape.what << ": " << shown << "\n"
                                                            << first;
    }
}

TEST(FeedView, RssDocumentsGetTheirFinalUrlAsBase)
{
    const struct
    {
        const char* attributes;
        const char* base;
    } cases[] = {
        {"", kFinalUrl},
        {" xml:base='/news/'", "http://example.org/news/"},
        {" xml:base='http://cdn.example/'", "http://cdn.example/"},
    };
    for (const auto& testCase : cases) {
        const std::string feed = std::string("<rss version='2.0'") + testCase.attributes +
                                 "><channel><item><link>/relative</link></item></channel></rss>";
        const MessageList messages = ParseFeed(feed, "%--|xml:base%|%/link%", kFinalUrl);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].text, std::string(testCase.base) + "|/relative");
        EXPECT_EQ(messages[0].uid, Fingerprint("<link>/relative</link>"));
    }
}

TEST(HtmlText, ConvertsBetweenPlainTextAndHtml)
{
    const struct
    {
        const char* html;
        const char* text;
    } cases[] = {
        {"<p class='a'>x</p> <!-- <b>no</b> -->y", "x y"},
        {"&#233;&#xE9;&eacute;&amp;&nbsp;&#0;&#x110000;", "\xC3\xA9\xC3\xA9&eacute;&\xC2\xA0"
                                                          "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"a & b; &#; &#x; &#12a; <unclosed", "a & b; &#; &#x; &#12a; "},
        {"1 < 2 <3 <= a<b>c</b><?x?><!x>", "1 < 2 <3 <= ac"},
    };
    for (const auto& testCase : cases)
        EXPECT_EQ(PlainTextOfHtml(testCase.html), testCase.text) << testCase.html;
    EXPECT_EQ(ReplaceLinks("<!-- <a href=x> --><A HREF=a.html title=t>1 < 2<img alt='>' "
                           "src = \"i.png\"/><a href=\"\">",
                           [](const std::string& link) { return "[" + link + "]"; }),
              "<!-- <a href=x> --><A HREF=[a.html] title=t>1 < 2<img alt='>' src = "
              "\"[i.png]\"/><a href=\"\">");
    EXPECT_EQ(HtmlOfText("<a href=\"x\">&\r\nb\rc\nd"),
              "&lt;a href=&quot;x&quot;&gt;&amp;<br>\nb<br>\nc<br>\nd");
}
