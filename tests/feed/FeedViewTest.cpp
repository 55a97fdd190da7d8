#include "feed/FeedView.h"

#include "feed/FeedDocumentInternal.h"
#include "feed/Fingerprint.h"
#include "feed/HtmlText.h"
#include "feed/LoginMemory.h"
#include "platform/Thread.h"
#include "render/Template.h"
#include "render/XmlRepair.h"
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

TEST(FeedView, NamesResolveThroughTheNearestDeclaration)
{
    const struct
    {
        const char* entry;
        const char* fields;
    } cases[] = {
        {"<entry><title>T</title></entry>", "T|||||Ann|"},
        // An element's own declaration comes before its ancestors'.
        {"<entry><id>I</id></entry>", "||||I|Ann|"},
        {"<entry><id xmlns='urn:other'>I</id></entry>", "|||||Ann|"},
        {"<entry xmlns='urn:other'><title>T</title></entry>", ""},
        {"<entry xmlns:p='http://www.w3.org/2005/Atom'><p:title>T</p:title>"
         "<p:author xmlns:p='urn:other'><p:name>B</p:name></p:author></entry>",
         "T|||||Ann|"},
        {"<entry><author xmlns:q='http://www.w3.org/2005/Atom'><q:name>B</q:name></author>"
         "<q:title>T</q:title></entry>",
         "|||||B|"},
        // "xmlns:" binds no prefix, nor the default namespace.
        {"<entry xmlns:='urn:other'><title>T</title></entry>", "T|||||Ann|"},
    };
    for (const auto& test : cases) {
        const std::vector<std::string> fields = Fields(Atom(test.entry));
        EXPECT_EQ(fields.empty() ? std::string() : fields[0], test.fields) << test.entry;
    }
    EXPECT_EQ(Fields(RDF("<s:item xmlns:q='http://www.w3.org/1999/02/22-rdf-syntax-ns#' "
                         "q:about='urn:a'><s:title xmlns:s='urn:other'>T</s:title></s:item>"),
                     "%/title%|%/guid%"),
              std::vector<std::string>{"|urn:a"});
}

TEST(FeedView, TreesOfAnyDepthAreReadOnASessionsStack)
{
    // Each walk over a tree (text, markup, copies, uids, freeing) with elements nested as
    // deeply as a document may have them, on a stack as small as a session's.
    constexpr int kDepth = kMaxXmlDepth - 5;
    std::string open, close;
    for (int level = 0; level < kDepth; ++level) {
        open += "<div><b>x</b>";
        close += "</div>";
    }
    const std::string deep = open + close;
    const std::string atom =
        Atom("<entry><title type='xhtml'>" + deep + "</title><summary type='xhtml'><div>" + deep +
             "</div></summary><x>" + deep + "</x></entry>");
    const std::string rdf =
        RDF("<s:item><s:title>" + deep + "</s:title><s:x>" + deep + "</s:x></s:item>");
    std::vector<std::string> atomFields, rdfFields;
    platform::CThread thread;
    ASSERT_TRUE(thread.Start(
        [&] {
            atomFields = Fields(atom, "%/title%|%/description%");
            rdfFields = Fields(rdf, "%/title%|%+UIDL%");
        },
        256 * 1024));
    thread.Join();
    ASSERT_EQ(atomFields.size(), 1u);
    ASSERT_EQ(rdfFields.size(), 1u);
    // Every level's word, wherever the line is folded.
    for (const std::string& fields : {atomFields[0], rdfFields[0]}) {
        const std::string title = fields.substr(0, fields.find('|'));
        EXPECT_EQ(std::count(title.begin(), title.end(), 'x'), kDepth);
    }
    EXPECT_EQ(atomFields[0].substr(atomFields[0].find('|') + 1, 30),
              "<div><b>x</b> <div><b>x</b> <d");
}

TEST(FeedView, TheViewHoldsWhatItCopiesOnceAndChargesItMeanwhile)
{
    std::string many;
    for (int element = 0; element < 2000; ++element)
        many += "<x a='1'>t</x>";
    std::string rdf = RDF("<s:item><s:title>T</s:title></s:item>");
    rdf.insert(rdf.find("</s:channel>"), many);
    const struct
    {
        const char* shape;
        std::string document;
        bool fits;
    } cases[] = {
        // Many elements beside the entries move into the channel one at a time: the tree
        // alone is charged for them.
        {"many in the feed", Atom(many + "<entry><title>T</title></entry>"), true},
        {"many in an entry", Atom("<entry><title>T</title>" + many + "</entry>"), true},
        {"many in the channel", rdf, true},
        // One element holding them all exists twice while it is copied.
        {"one large in the feed", Atom("<y>" + many + "</y><entry><title>T</title></entry>"),
         false},
        {"one large in an entry", Atom("<entry><title>T</title><y>" + many + "</y></entry>"),
         false},
    };
    for (const auto& test : cases) {
        std::string text = test.document;
        const XmlRepairResult repaired = RepairXml(text, RepairBoundsOf(text));
        ASSERT_EQ(repaired.status, XmlRepairStatus::Done);
        const XmlNodeCount& nodes = repaired.nodes;
        // Room for the tree and a little more, far less than a second copy of it.
        CByteBudget allLogins(64 * 1024 * 1024);
        CLoginMemory memory(EstimatedTreeBytes(nodes, text.size()) * 5 / 4,
                            CLoginMemory::kMaxMessageBytes, allLogins);
        FeedOutcome outcome;
        const MessageList messages =
            ReadFeedDocument(test.document, "%/title%", kFinalUrl, memory, outcome);
        EXPECT_EQ(messages.size(), test.fits ? 1u : 0u) << test.shape;
        EXPECT_EQ(outcome.failure, test.fits ? FeedFailure::None : FeedFailure::TooLarge)
            << test.shape;
    }
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
