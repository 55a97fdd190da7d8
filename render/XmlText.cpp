#include "render/XmlText.h"

#include "common/HeapBytes.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

namespace {

// The parser reads at most three bytes of a character past its first one before it looks
// for the end of the text again.
constexpr std::size_t kPadding = 4;

// Gives access to the parser's own readers, so the depth check reads every byte as it does.
struct XmlLexer : TiXmlBase
{
    using TiXmlBase::GetChar;
    using TiXmlBase::IsAlpha;
    using TiXmlBase::IsWhiteSpace;
    using TiXmlBase::ReadName;
    using TiXmlBase::SkipWhiteSpace;
    using TiXmlBase::StringEqual;
};

// The kinds of node the parser tells apart by the markup that starts them.
enum class NodeKind
{
    None, // no markup here: the document ends, or the text of an element begins
    Declaration,
    Comment,
    CData,
    Unknown, // DOCTYPE and other "<!...>", processing instructions, a lone "<"
    Element,
};

// What the parser makes of the markup at `p`, in its own order of tests.
NodeKind IdentifyNode(const char* p, TiXmlEncoding encoding)
{
    p = XmlLexer::SkipWhiteSpace(p, encoding);
    if (p == nullptr || *p != '<')
        return NodeKind::None;
    if (XmlLexer::StringEqual(p, "<?xml", true, encoding))
        return NodeKind::Declaration;
    if (XmlLexer::StringEqual(p, "<!--", false, encoding))
        return NodeKind::Comment;
    if (XmlLexer::StringEqual(p, "<![CDATA[", false, encoding))
        return NodeKind::CData;
    if (XmlLexer::StringEqual(p, "<!", false, encoding))
        return NodeKind::Unknown;
    const unsigned char next = static_cast<unsigned char>(p[1]);
    if (XmlLexer::IsAlpha(next, encoding) || next == '_')
        return NodeKind::Element;
    return NodeKind::Unknown;
}

// Reads over a node other than an element with the parser's own reader for it; returns the
// position after it, or null where the parser fails. `declared` receives a declaration's
// encoding.
const char* SkipNode(NodeKind kind, const char* p, TiXmlEncoding encoding, std::string& declared)
{
    switch (kind) {
    case NodeKind::Declaration: {
        TiXmlDeclaration declaration;
        p = declaration.Parse(p, nullptr, encoding);
        declared = declaration.Encoding();
        return p;
    }
    case NodeKind::Comment:
        return TiXmlComment().Parse(p, nullptr, encoding);
    case NodeKind::CData: {
        TiXmlText text("");
        text.SetCDATA(true);
        return text.Parse(p, nullptr, encoding);
    }
    case NodeKind::Unknown:
        return TiXmlUnknown().Parse(p, nullptr, encoding);
    case NodeKind::None:
    case NodeKind::Element:
        break;
    }
    return nullptr;
}

// Reads an element's start tag as the parser does, attributes and all. Returns the position
// after it, or null where the parser fails or the tag has more than kMaxXmlAttributes
// attributes (`tooMany` tells which); `opened` tells whether content follows (no "/>").
// `attributes` counts the attributes the parser keeps.
const char* ReadStartTag(const char* p, TiXmlEncoding encoding, std::string& name, bool& opened,
                         std::size_t& attributes, bool& tooMany)
{
    p = XmlLexer::SkipWhiteSpace(p, encoding);
    if (p == nullptr || *p != '<')
        return nullptr;
    p = XmlLexer::SkipWhiteSpace(p + 1, encoding);
    if (p == nullptr)
        return nullptr;
    p = XmlLexer::ReadName(p, &name, encoding);
    std::vector<std::string> attributeNames;
    while (p != nullptr && *p != '\0') {
        p = XmlLexer::SkipWhiteSpace(p, encoding);
        if (p == nullptr || *p == '\0')
            return nullptr;
        if (*p == '/') {
            opened = false;
            return p[1] == '>' ? p + 2 : nullptr;
        }
        if (*p == '>') {
            opened = true;
            return p + 1;
        }
        // The check for repeated names below, as the parser's own, costs time by the square
        // of the attributes: a tag may not have many.
        if (attributeNames.size() == kMaxXmlAttributes) {
            tooMany = true;
            return nullptr;
        }
        TiXmlAttribute attribute;
        p = attribute.Parse(p, nullptr, encoding);
        if (p == nullptr || *p == '\0')
            return nullptr;
        // The parser refuses an element that repeats an attribute.
        if (std::find(attributeNames.begin(), attributeNames.end(), attribute.NameTStr()) !=
            attributeNames.end())
            return nullptr;
        attributeNames.push_back(attribute.NameTStr());
        ++attributes;
    }
    return nullptr;
}

// The references the parser knows by name.
constexpr std::string_view kNamedReferences[] = {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"};

// Reads over the text of an element as the parser's reader of text does, character by
// character with its own reader of characters and references, without keeping the text;
// returns the position of the "<" after it, or null where the parser fails. `blank` is
// cleared when a character read is not white space: the parser keeps only a text that is
// not blank, also one it failed in.
const char* SkipText(const char* p, TiXmlEncoding encoding, bool& blank)
{
    if (TiXmlBase::IsWhiteSpaceCondensed())
        p = XmlLexer::SkipWhiteSpace(p, encoding);
    char character[4];
    int length = 0;
    while (p != nullptr) {
        // A character of one byte that starts no reference is that byte, in every encoding.
        while (static_cast<unsigned char>(*p) < 0x80 && *p != '&' && *p != '<' && *p != '\0') {
            blank = blank && XmlLexer::IsWhiteSpace(*p);
            ++p;
        }
        if (*p == '\0' || *p == '<')
            break;
        if (*p == '&' && p[1] != '#') {
            // The parser reads one of its five named references whole, and any other "&" as
            // that byte alone, which it then drops.
            const char* after = p + 1;
            for (const std::string_view name : kNamedReferences) {
                if (p[1] == name[1] && std::strncmp(p, name.data(), name.size()) == 0) {
                    after = p + name.size();
                    blank = false;
                    break;
                }
            }
            p = after;
            continue;
        }
        p = XmlLexer::GetChar(p, character, &length, encoding);
        blank = blank && (length == 0 || (length == 1 && XmlLexer::IsWhiteSpace(character[0])));
    }
    // The parser fails on a text that the end of the document cuts, or that a lone "<" ends.
    if (p == nullptr || *p == '\0' || p[1] == '\0')
        return nullptr;
    return p;
}

// The encoding the parser switches to after the first declaration of a document.
TiXmlEncoding DeclaredEncoding(const std::string& name)
{
    if (name.empty() ||
        XmlLexer::StringEqual(name.c_str(), "UTF-8", true, TIXML_ENCODING_UNKNOWN) ||
        XmlLexer::StringEqual(name.c_str(), "UTF8", true, TIXML_ENCODING_UNKNOWN))
        return TIXML_ENCODING_UTF8;
    return TIXML_ENCODING_LEGACY;
}

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

XmlRefusal CXmlText::Scan(int maxDepth, TiXmlEncoding encoding, XmlNodeCount* nodes) const
{
    // The parser's own recursion, unrolled: the names of the elements whose content is being
    // read, outermost first. Any failure of the parser ends its reading, so it ends here too;
    // the parser keeps the nodes it made up to there, also the one it failed in.
    XmlNodeCount unused;
    XmlNodeCount& count = nodes != nullptr ? *nodes : unused;
    count = XmlNodeCount();
    const char* p = Text();
    if (*p == '\0')
        return XmlRefusal::None;
    if (encoding == TIXML_ENCODING_UNKNOWN && std::string_view(p, 3) == "\xEF\xBB\xBF")
        encoding = TIXML_ENCODING_UTF8;
    std::vector<std::string> open;
    const char* withWhiteSpace = p;
    p = XmlLexer::SkipWhiteSpace(p, encoding);
    while (p != nullptr && *p != '\0') {
        NodeKind kind = NodeKind::None;
        if (open.empty()) {
            kind = IdentifyNode(p, encoding);
            if (kind == NodeKind::None)
                break;
        } else if (*p != '<') {
            bool blank = true;
            p = SkipText(TiXmlBase::IsWhiteSpaceCondensed() ? p : withWhiteSpace, encoding, blank);
            count.texts += blank ? 0 : 1;
        } else if (XmlLexer::StringEqual(p, "</", false, encoding)) {
            const std::string endTag = "</" + open.back();
            if (!XmlLexer::StringEqual(p, endTag.c_str(), false, encoding))
                break;
            p = XmlLexer::SkipWhiteSpace(p + endTag.size(), encoding);
            if (p == nullptr || *p != '>')
                break;
            ++p;
            open.pop_back();
        } else {
            kind = IdentifyNode(p, encoding);
        }

        if (kind == NodeKind::Element) {
            // Every element being read is one level of the parser's recursion, also one
            // that turns out to have no content.
            if (static_cast<int>(open.size()) >= maxDepth)
                return XmlRefusal::TooDeep;
            ++count.elements;
            std::string name;
            bool opened = false;
            bool tooMany = false;
            p = ReadStartTag(p, encoding, name, opened, count.attributes, tooMany);
            if (tooMany)
                return XmlRefusal::TooManyAttributes;
            if (p != nullptr && opened)
                open.push_back(std::move(name));
        } else if (kind != NodeKind::None) {
            ++(kind == NodeKind::CData ? count.texts : count.others);
            std::string declared;
            p = SkipNode(kind, p, encoding, declared);
            if (open.empty() && kind == NodeKind::Declaration && encoding == TIXML_ENCODING_UNKNOWN)
                encoding = DeclaredEncoding(declared);
        }
        withWhiteSpace = p;
        p = XmlLexer::SkipWhiteSpace(p, encoding);
    }
    return XmlRefusal::None;
}

bool CXmlText::Parse(TiXmlDocument& document, TiXmlEncoding encoding) const
{
    if (Scan(kMaxXmlDepth, encoding) != XmlRefusal::None)
        return false;
    document.Parse(Text(), nullptr, encoding);
    return true;
}
