#include "render/XmlRepair.h"

#include "support/XmlTreeDepth.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

XmlRepairBounds Bounds(bool utf8 = true, int maxDepth = kMaxXmlDepth)
{
    XmlRepairBounds bounds;
    bounds.utf8 = utf8;
    bounds.maxDepth = maxDepth;
    bounds.maxBytes = 1024 * 1024;
    return bounds;
}

// The depth of the tree the parser builds of `text`.
int ParsedDepth(const std::string& text, bool utf8 = true)
{
    TiXmlDocument parsed;
    parsed.Parse(text.c_str(), nullptr, utf8 ? TIXML_ENCODING_UTF8 : TIXML_ENCODING_UNKNOWN);
    return XmlTreeDepth(parsed);
}

// A start tag of `count` attributes, each named apart.
std::string TagWithAttributes(std::size_t count, const char* end)
{
    std::string tag = "<a";
    for (std::size_t attribute = 0; attribute < count; ++attribute)
        tag += " n" + std::to_string(attribute) + "=''";
    return tag + end;
}

std::string Repeated(const std::string& text, int times)
{
    std::string repeated;
    for (int time = 0; time < times; ++time)
        repeated += text;
    return repeated;
}

} // namespace

TEST(XmlRepair, MendsWhatFeedsGetWrongAndLeavesTheRest)
{
    struct Case
    {
        std::string document;
        std::string mended; // empty: left as it is, not copied
        bool utf8 = true;
    };
    const std::string fffd = "\xEF\xBF\xBD";
    const Case cases[] = {
        // References the parser reads, and what comments, CDATA and instructions hold.
        {"<r a='x&amp;y'>t&lt;&#160;&#xA0;&#x1F600;<![CDATA[& < \xC3\xA9]]><!-- & < --><?pi & <?>"
         "</r>",
         ""},
        {"<t>D&D and you &</t>", "<t>D&amp;D and you &amp;</t>"},
        {"<t>a&nbsp;b&rsquo;c &copy; 2026 &acE;</t>",
         "<t>a&#160;b&#8217;c &#169; 2026 &#8766;&#819;</t>"},
        {"<t>&bogus; &#0; &#X41; &#xD800; &#; &#x110000;</t>",
         "<t>&amp;bogus; &amp;#0; &amp;#X41; &amp;#xD800; &amp;#; &amp;#x110000;</t>"},
        {"<a href=\"?a=1&b=2&amp;c=&eacute;\">x</a>",
         "<a href=\"?a=1&amp;b=2&amp;c=&#233;\">x</a>"},
        {"<t>5 < 6 <= 7 <3 <? 8 <</t>", "<t>5 &lt; 6 &lt;= 7 &lt;3 &lt;? 8 &lt;</t>"},
        // Bytes that belong to no UTF-8 character, also in CDATA; not in another set.
        {"<t a='\xFF'>caf\xE9 \xC0\xAF<![CDATA[\xED\xA0\x80]]>\xC3</t>",
         "<t a='" + fffd + "'>caf" + fffd + " " + fffd + fffd + "<![CDATA[" + fffd + fffd + fffd +
             "]]>" + fffd + "</t>"},
        {"<t>caf\xE9 &</t>", "<t>caf\xE9 &amp;</t>", false},
        // The document's own entities; the subset goes, its line ends stay.
        {"<!DOCTYPE rss [\n<!ENTITY site \"Example &amp; &#233;\">\n<!ENTITY % p 'x'>"
         "<!ENTITY two '&site;/&site;'><!-- > --><!ATTLIST r a CDATA '>'>]>\n<r t='&site;'>"
         "&two;&nbsp;</r>",
         "\n\n\n<r t='Example &amp; &#233;'>Example &amp; &#233;/Example &amp; &#233;&#160;</r>"},
        {"<!DOCTYPE r [<!ENTITY e SYSTEM 'file:///etc/passwd'><!ENTITY m '<b/>'>]><r>&e;&m;</r>",
         "<r>&amp;e;&amp;m;</r>"},
        {"<!DOCTYPE rss SYSTEM \"rss.dtd\"><rss/>", ""},
        // Instructions the parser would end at another ">" go.
        {"<r><?pi a>b?>x<?xml version='?><!-- '?></r>", "<r>x<!-- '?></r>"},
    };
    for (const Case& test : cases) {
        std::string text = test.document;
        const XmlRepairResult result = RepairXml(text, Bounds(test.utf8));
        EXPECT_EQ(result.status, XmlRepairStatus::Done) << test.document;
        EXPECT_EQ(result.copied, !test.mended.empty()) << test.document;
        EXPECT_EQ(text, test.mended.empty() ? test.document : test.mended);
    }
}

TEST(XmlRepair, TheParserNeverGoesDeeperThanThePassFound)
{
    struct Case
    {
        std::string document;
        int depth; // what the parser builds of the mended text
    };
    const Case cases[] = {
        {"<a\n><b\t/></a >", 2},
        {"<a><!-- <b><c> --><![CDATA[<b><c>]]></a>", 1},
        {"<a x='>' y=\"<b>\"><c/></a>", 2},
        {"<!DOCTYPE a [<!ENTITY e '<a>'>]><a><b/></a>", 2},
        {"<?pi x='>'?><a><b/></a>", 2},
        // A quoted value of a declaration that would hide "?>" and a comment's start.
        {"<?xml version='?><!-- '?> <a><a><a></a></a></a> -->", 0},
        // A lead byte before a quote no longer swallows it.
        {"<r x='\xC3'><s y='><a><a><a>'/></r>", 2},
        {"<a>x\xE3</a><b><b></b></b>", 2},
    };
    for (const Case& test : cases) {
        std::string text = test.document;
        ASSERT_EQ(RepairXml(text, Bounds(true, test.depth)).status, XmlRepairStatus::Done)
            << test.document;
        EXPECT_EQ(ParsedDepth(text), test.depth) << test.document;
        if (test.depth > 0) {
            std::string again = test.document;
            EXPECT_EQ(RepairXml(again, Bounds(true, test.depth - 1)).status,
                      XmlRepairStatus::TooDeep)
                << test.document;
        }
    }
}

// The parser checks each attribute against all before it in its element: an element of many
// would cost time by their square, so both passes refuse it before the parser sees it.
TEST(XmlRepair, AnElementOfTooManyAttributesIsRefused)
{
    const std::pair<std::string, XmlRepairStatus> cases[] = {
        {TagWithAttributes(kMaxXmlAttributes, "/>"), XmlRepairStatus::Done},
        {"<r>" + TagWithAttributes(kMaxXmlAttributes, "></a>") + "</r>", XmlRepairStatus::Done},
        {TagWithAttributes(kMaxXmlAttributes + 1, "/>"), XmlRepairStatus::TooManyAttributes},
        {"<r><b/>" + TagWithAttributes(kMaxXmlAttributes + 1, ">") + "</a></r>",
         XmlRepairStatus::TooManyAttributes},
        // Many attributes spread over elements are no hazard.
        {"<r>" + Repeated(TagWithAttributes(kMaxXmlAttributes, "/>"), 50) + "</r>",
         XmlRepairStatus::Done},
        // The element is found before anything deeper is read.
        {TagWithAttributes(100000, ">") + Repeated("<b>", 1000), XmlRepairStatus::TooManyAttributes},
    };
    for (const auto& [document, status] : cases) {
        std::string repaired = document;
        EXPECT_EQ(RepairXml(repaired, Bounds()).status, status) << document.substr(0, 60);
        std::string salvaged = document;
        EXPECT_EQ(SalvageXml(salvaged, Bounds(true, 2000)).status, status)
            << document.substr(0, 60);
    }
}

TEST(XmlRepair, EntitiesExpandOnlySoFar)
{
    std::string laughs = "<!DOCTYPE r [<!ENTITY l0 'lol'>";
    for (int level = 1; level <= 8; ++level) {
        std::string value;
        for (int copy = 0; copy < 10; ++copy)
            value += "&l" + std::to_string(level - 1) + ";";
        laughs += "<!ENTITY l" + std::to_string(level) + " '" + value + "'>";
    }
    laughs += "]><r>&l8;</r>";
    std::string chain = "<!DOCTYPE r [<!ENTITY e0 'x'>";
    for (int level = 1; level <= 8; ++level)
        chain += "<!ENTITY e" + std::to_string(level) + " '&e" + std::to_string(level - 1) + ";'>";
    chain += "]><r>&e7;</r>";
    const struct
    {
        std::string document;
        XmlRepairStatus status;
    } cases[] = {
        {laughs, XmlRepairStatus::TooLarge},
        // Empty values cost reading, not writing.
        {std::string(laughs).replace(laughs.find("'lol'"), 5, "''"), XmlRepairStatus::TooLarge},
        {"<!DOCTYPE r [<!ENTITY a '&a;'>]><r>&a;</r>", XmlRepairStatus::TooLarge},
        {chain, XmlRepairStatus::Done},
        {std::string(chain).replace(chain.find("&e7;</r>"), 4, "&e8;"), XmlRepairStatus::TooLarge},
    };
    for (const auto& test : cases) {
        std::string text = test.document;
        EXPECT_EQ(RepairXml(text, Bounds()).status, test.status) << test.document;
        if (test.status != XmlRepairStatus::Done) {
            EXPECT_EQ(text, test.document);
        }
    }
}

TEST(XmlRepair, SalvageKeepsTheCompleteItems)
{
    const struct
    {
        std::string document;
        std::string saved;
        std::size_t items;
        std::size_t kept;
    } cases[] = {
        {"<rss><channel><item><title>1</title></item><item><title>2</title></item><item><title>3"
         "</title></item><item><title>4</ti",
         "<rss><channel><item><title>1</title></item><item><title>2</title></item><item><title>3"
         "</title></item></channel></rss>",
         4, 3},
        {"<item><description><br>x<p a=1>y</description></item>",
         "<item><description><br>x<p a=\"1\">y</p></br></description></item>", 1, 1},
        {"<r><item><title>a</b>b</title></item></r>", "<r><item><title>ab</title></item></r>", 1,
         1},
        {"junk<r x='1' x='2' y=3 disabled z='4'>t</r>junk", "<r x='1' y=\"3\">t</r>", 0, 0},
        {"<c><atom:entry><item/><title>x</title></c>", "<c></c>", 1, 0},
        {"<c><item><item>i</item></c>", "<c></c>", 2, 0},
    };
    for (const auto& test : cases) {
        std::string text = test.document;
        const XmlRepairResult result = SalvageXml(text, Bounds());
        EXPECT_EQ(result.status, XmlRepairStatus::Done) << test.document;
        EXPECT_EQ(text, test.saved);
        EXPECT_EQ(result.items, test.items) << test.document;
        EXPECT_EQ(result.keptItems, test.kept) << test.document;
        TiXmlDocument parsed;
        parsed.Parse(text.c_str(), nullptr, TIXML_ENCODING_UTF8);
        EXPECT_FALSE(parsed.Error()) << text;
    }
}
