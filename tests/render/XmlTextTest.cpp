#include "render/XmlText.h"

#include "support/XmlTreeDepth.h"

#include <gtest/gtest.h>

#include <string>

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
        EXPECT_TRUE(xml.IsShallow(test.depth)) << test.document;
        if (test.depth > 0) {
            EXPECT_FALSE(xml.IsShallow(test.depth - 1)) << test.document;
        }
        TiXmlDocument parsed;
        parsed.Parse(xml.Text());
        EXPECT_EQ(XmlTreeDepth(parsed), test.depth) << test.document;
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
