#include "render/XmlText.h"

#include "common/HeapBytes.h"
#include "render/XmlRepair.h"

namespace {

// The parser reads at most three bytes of a character past its first one before it looks
// for the end of the text again.
constexpr std::size_t kPadding = 4;

} // namespace

std::size_t EstimatedTreeBytes(const XmlNodeCount& nodes, std::size_t textBytes)
{
    // A declaration is the largest of the other nodes.
    return nodes.elements * AllocatedBytes(sizeof(TiXmlElement)) +
           nodes.attributes * AllocatedBytes(sizeof(TiXmlAttribute)) +
           nodes.texts * AllocatedBytes(sizeof(TiXmlText)) +
           nodes.others * AllocatedBytes(sizeof(TiXmlDeclaration)) + 2 * textBytes;
}

const TiXmlNode* NextNodeBelow(const TiXmlNode& top, const TiXmlNode* node, bool enterChildren)
{
    if (enterChildren && node->FirstChild() != nullptr)
        return node->FirstChild();
    while (node != &top && node->NextSibling() == nullptr)
        node = node->Parent();
    return node == &top ? nullptr : node->NextSibling();
}

std::size_t EstimatedTreeBytes(const TiXmlNode& root)
{
    XmlNodeCount nodes;
    std::size_t textBytes = 0;
    for (const TiXmlNode* node = &root; node != nullptr;) {
        textBytes += node->ValueStr().size();
        if (const TiXmlElement* element = node->ToElement()) {
            ++nodes.elements;
            for (const TiXmlAttribute* attribute = element->FirstAttribute(); attribute != nullptr;
                 attribute = attribute->Next()) {
                ++nodes.attributes;
                textBytes += attribute->NameTStr().size() + attribute->ValueStr().size();
            }
        } else {
            ++(node->ToText() != nullptr ? nodes.texts : nodes.others);
        }
        node = NextNodeBelow(root, node, true);
    }
    return EstimatedTreeBytes(nodes, textBytes);
}

CXmlText::CXmlText(std::string& text) : m_text(text), m_size(text.size())
{
    m_text.append(kPadding, '\0');
}

CXmlText::~CXmlText()
{
    m_text.resize(m_size);
}

bool CXmlText::Parse(TiXmlDocument& document)
{
    m_text.resize(m_size);
    const XmlRepairBounds bounds = RepairBoundsOf(m_text);
    const XmlRepairResult repaired = RepairXml(m_text, bounds);
    m_size = m_text.size();
    m_text.append(kPadding, '\0');
    if (repaired.status != XmlRepairStatus::Done)
        return false;
    document.Parse(Text(), nullptr, bounds.utf8 ? TIXML_ENCODING_UTF8 : TIXML_ENCODING_UNKNOWN);
    return true;
}
