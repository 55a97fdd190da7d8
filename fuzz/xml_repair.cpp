// The mending and the salvage of documents against the parser itself. Whenever a pass finds
// a text shallow, the parser must not go deeper, and must make no more nodes than the pass
// counted; a mended text needs no more mending; and what the salvage gives, the parser reads
// without an error. A small nesting limit lets short inputs reach it.
#include "render/XmlRepair.h"
#include "support/XmlTreeDepth.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr int kLimit = 4;

void Fail(const char* what, const std::string& text)
{
    std::fprintf(stderr, "%s:\n%s\n", what, text.c_str());
    std::abort();
}

// Parses a text a pass found shallow, and checks the parser's tree against what it counted.
void ParseChecked(std::string& text, const XmlRepairBounds& bounds, const XmlRepairResult& result,
                  TiXmlDocument& parsed)
{
    const CXmlText xml(text);
    parsed.Parse(xml.Text(), nullptr, bounds.utf8 ? TIXML_ENCODING_UTF8 : TIXML_ENCODING_UNKNOWN);
    if (XmlTreeDepth(parsed) > kLimit)
        Fail("the parser went deeper than the pass found", text);
    const XmlNodeCount tree = XmlTreeNodes(parsed);
    const XmlNodeCount& counted = result.nodes;
    if (tree.elements > counted.elements || tree.attributes > counted.attributes ||
        tree.texts > counted.texts || tree.others > counted.others)
        Fail("the parser made more nodes than the pass counted", text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    XmlRepairBounds bounds = RepairBoundsOf(text);
    bounds.maxDepth = kLimit;
    const XmlRepairResult repaired = RepairXml(text, bounds);
    if (repaired.status != XmlRepairStatus::Done)
        return 0;
    std::string again = text;
    if (RepairXml(again, bounds).copied)
        Fail("a mended text needed mending again", text);
    TiXmlDocument parsed;
    ParseChecked(text, bounds, repaired, parsed);
    if (!parsed.Error())
        return 0;
    const XmlRepairResult saved = SalvageXml(text, bounds);
    if (saved.status != XmlRepairStatus::Done)
        return 0;
    TiXmlDocument salvaged;
    ParseChecked(text, bounds, saved, salvaged);
    if (salvaged.Error() && salvaged.ErrorId() != TiXmlBase::TIXML_ERROR_DOCUMENT_EMPTY)
        Fail("the parser refused the salvaged text", text);
    if (saved.keptItems > saved.items)
        Fail("the salvage kept more items than it saw", text);
    return 0;
}
