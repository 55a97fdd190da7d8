#include "render/XmlText.h"

#include "support/ProcessResources.h"
#include "support/XmlTreeDepth.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

std::string Repeated(const std::string& text, std::size_t times)
{
    std::string repeated;
    repeated.reserve(text.size() * times);
    for (std::size_t i = 0; i < times; ++i)
        repeated += text;
    return repeated;
}

// A start tag of `count` attributes, each named apart.
std::string TagWithAttributes(std::size_t count, const char* end)
{
    std::string tag = "<a";
    for (std::size_t attribute = 0; attribute < count; ++attribute)
        tag += " n" + std::to_string(attribute) + "=''";
    return tag + end;
}

} // namespace

TEST(XmlText, DepthIsReadAsTheParserReadsTheMarkup)
{
    struct Case
    {
        std::string document;
        int depth; // elements open at once, the innermost being read included
    };
    const std::string utf8 = "<?xml version='1.0'?>";
    const std::string latin1 = "<?xml version='1.0' encoding='iso-8859-1'?>";
    // The parser reads on past a quote that follows a UTF-8 lead byte, so only in UTF-8 are
    // the "a" elements content rather than an attribute value.
    const std::string leadByteBeforeQuote = "<r x='\xC3'><s y='><a><a><a>'/></r>";
    const Case cases[] = {
        {"<a><b><c/></b></a>", 3},
        {"<a\n><b\t/></a >", 2},
        // A declaration honours quotes; a comment, CDATA, other markup and attribute values
        // hide what looks like tags.
        {"<?xml version='a><!--'?><a><a><a></a></a></a>", 3},
        {"<a><!-- <b><c> --><![CDATA[<b><c>]]></a>", 1},
        {"<a x='>' y=\"<b>\"><c/></a>", 2},
        {"<!DOCTYPE a [<!ENTITY e 'x'>]><a><b/></a>", 0},
        {"<?pi x='>'?><a><b/></a>", 0},
        {"<a><?xml v='>'?><b/></a>", 2},
        // The parser stops at a wrong end tag and at a repeated attribute.
        {"<a></b><c><c><c>", 1},
        {"<a x='1' x='2'><b><b></b></b></a>", 1},
        {utf8 + leadByteBeforeQuote, 4},
        {latin1 + leadByteBeforeQuote, 2},
        {"\xEF\xBB\xBF" + leadByteBeforeQuote, 4},
        // So does a lead byte in text before an end tag; references are read through.
        {utf8 + "<a>x\xE3</a><b>&amp;&#x41;&#65;&bogus;<b></b></b></a>", 3},
        {latin1 + "<a>x\xE3</a><b><b></b></b></a>", 2},
        {"<a>&#x41</a><b></b></a>", 1},
    };
    for (const Case& test : cases) {
        std::string document = test.document;
        const CXmlText xml(document);
        EXPECT_EQ(xml.Scan(test.depth), XmlRefusal::None) << test.document;
        if (test.depth > 0) {
            EXPECT_EQ(xml.Scan(test.depth - 1), XmlRefusal::TooDeep) << test.document;
        }
        TiXmlDocument parsed;
        parsed.Parse(xml.Text());
        EXPECT_EQ(XmlTreeDepth(parsed), test.depth) << test.document;
    }
}

TEST(XmlText, RefusesAnElementOfTooManyAttributes)
{
    struct Case
    {
        std::string document;
        XmlRefusal refusal;
    };
    const Case cases[] = {
        {TagWithAttributes(kMaxXmlAttributes, "/>"), XmlRefusal::None},
        {"<r>" + TagWithAttributes(kMaxXmlAttributes, "></a>") + "</r>", XmlRefusal::None},
        {TagWithAttributes(kMaxXmlAttributes + 1, "/>"), XmlRefusal::TooManyAttributes},
        {"<r><b/>" + TagWithAttributes(kMaxXmlAttributes + 1, ">") + "</a></r>",
         XmlRefusal::TooManyAttributes},
        // Many attributes spread over elements are no hazard.
        {"<r>" + Repeated(TagWithAttributes(kMaxXmlAttributes, "/>"), 50) + "</r>",
         XmlRefusal::None},
        // The element costs its time before anything deeper is read: it is found first.
        {TagWithAttributes(100000, ">") + Repeated("<b>", 1000), XmlRefusal::TooManyAttributes},
    };
    for (const Case& test : cases) {
        std::string document = test.document;
        const CXmlText xml(document);
        EXPECT_EQ(xml.Scan(), test.refusal) << test.document.substr(0, 60);
        TiXmlDocument parsed;
        EXPECT_EQ(xml.Parse(parsed), test.refusal == XmlRefusal::None);
    }
}

TEST(XmlText, PadsTheTextOnlyWhileLent)
{
    // Ends inside a UTF-8 character, which the parser steps over whole.
    std::string document = "<?xml version='1.0'?><rss><channel><item><title>abc\xC3";
    const std::string original = document;
    {
        const CXmlText xml(document);
        EXPECT_EQ(xml.Size(), original.size());
        EXPECT_EQ(std::string(xml.Text(), original.size() + 4), original + std::string(4, '\0'));
        TiXmlDocument parsed;
        EXPECT_TRUE(xml.Parse(parsed));
        EXPECT_TRUE(parsed.Error());
    }
    EXPECT_EQ(document, original);
}

TEST(XmlText, CountsTheNodesTheParserMakes)
{
    const std::string documents[] = {
        "<?xml version='1.0'?><!-- c --><!DOCTYPE r><r a='1' b='2'>x<b/> \n <![CDATA[y]]>"
        "<?pi?><!-- d --><c d='3'>z</c></r>",
        // Blank text is dropped; text after a child is kept.
        "<r>  <a> </a>\n<b>t</b> u </r>",
        // The parser keeps what it read up to an error, the failing element included.
        "<r><a x='1'/><b y='2' y='3'/><c/></r>",
        "<r><a>text</b></r>",
    };
    for (const std::string& document : documents) {
        std::string text = document;
        const CXmlText xml(text);
        XmlNodeCount counted;
        EXPECT_EQ(xml.Scan(kMaxXmlDepth, TIXML_ENCODING_UNKNOWN, &counted), XmlRefusal::None);
        TiXmlDocument parsed;
        parsed.Parse(xml.Text());
        const XmlNodeCount tree = XmlTreeNodes(parsed);
        EXPECT_EQ(counted.elements, tree.elements) << document;
        EXPECT_EQ(counted.attributes, tree.attributes) << document;
        EXPECT_EQ(counted.texts, tree.texts) << document;
        EXPECT_EQ(counted.others, tree.others) << document;
    }
}

TEST(XmlText, TheEstimateCoversTheTreeTheParserBuilds)
{
    struct Case
    {
        const char* shape;
        std::string document;
    };
    const Case cases[] = {
        {"empty elements",
         "<rss><channel><item>" + Repeated("<a/>", 50000) + "</item></channel></rss>"},
        {"tiny items",
         "<rss><channel>" + Repeated("<item><title>t</title></item>", 20000) + "</channel></rss>"},
        {"attributes", "<r>" + Repeated("<a b='1' c='22222222222222222222'/>", 20000) + "</r>"},
        {"long names and texts",
         "<r>" + Repeated("<abcdefghijklmnopq>abcdefghijklmnopq</abcdefghijklmnopq>", 20000) +
             "</r>"},
        {"one long text", "<r><d>" + std::string(2000000, 'x') + "</d></r>"},
        {"comments", "<r>" + Repeated("<!--x-->", 50000) + "</r>"},
    };
    for (const Case& test : cases) {
        std::string text = test.document;
        const CXmlText xml(text);
        XmlNodeCount nodes;
        ASSERT_EQ(xml.Scan(kMaxXmlDepth, TIXML_ENCODING_UNKNOWN, &nodes), XmlRefusal::None);
        const std::size_t before = HeapBytesInUse();
        auto parsed = std::make_unique<TiXmlDocument>();
        parsed->Parse(xml.Text());
        const std::size_t after = HeapBytesInUse();
        if (before == 0 || after <= before)
            GTEST_SKIP() << "the heap does not tell what it holds";
        const std::size_t tree = after - before;
        const std::size_t estimate = EstimatedTreeBytes(nodes, xml.Size());
        EXPECT_GE(estimate, tree) << test.shape;
        // Close enough that real feeds are not refused for memory they would not take.
        EXPECT_LE(estimate, 3 * tree) << test.shape;
    }
}
