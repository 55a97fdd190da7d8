#include "render/XmlText.h"

#include "render/XmlRepair.h"
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

} // namespace

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
        parsed.Parse(xml.Text(), nullptr, TIXML_ENCODING_UTF8);
        EXPECT_TRUE(parsed.Error());
    }
    EXPECT_EQ(document, original);
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
        const XmlRepairResult repaired = RepairXml(text, RepairBoundsOf(text));
        ASSERT_EQ(repaired.status, XmlRepairStatus::Done);
        const XmlNodeCount& nodes = repaired.nodes;
        const CXmlText xml(text);
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
