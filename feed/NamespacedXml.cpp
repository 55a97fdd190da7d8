#include "feed/NamespacedXml.h"

#include "common/ByteString.h"
#include "render/ElementText.h"
#include "render/XmlText.h"

#include <cstring>
#include <vector>

namespace {

// Appends the texts inside `node`, in document order, with a blank put back between two of
// them as NeedsBlankBetween says. Each text is held against all that came before it, in
// whichever element: the first text inside an element meets the text before the element.
void AppendText(const TiXmlNode& node, std::string& text)
{
    for (const TiXmlNode* child = node.FirstChild(); child != nullptr;) {
        const TiXmlText* part = child->ToText();
        if (part != nullptr) {
            if (NeedsBlankBetween(text, part->ValueStr()))
                text += ' ';
            text += part->ValueStr();
        }
        child = NextNodeBelow(node, child, child->ToElement() != nullptr);
    }
}

// HTML elements that have no end tag; any other element is written with one, as HTML reads
// "<div/>" as a start tag alone.
bool IsVoidElement(const char* name)
{
    for (const char* empty : {"area", "base", "br", "col", "embed", "hr", "img", "input", "link",
                              "meta", "param", "source", "track", "wbr"}) {
        if (std::strcmp(name, empty) == 0)
            return true;
    }
    return false;
}

// Appends the start tag of `element` as HTML: its name without prefix, its attributes but
// the namespace declarations.
void AppendStartTag(const TiXmlElement& element, std::string& markup)
{
    markup += '<';
    markup += LocalName(element.Value());
    std::string value;
    for (const TiXmlAttribute* attribute = element.FirstAttribute(); attribute != nullptr;
         attribute = attribute->Next()) {
        if (std::strncmp(attribute->Name(), "xmlns", 5) == 0)
            continue;
        value.clear();
        TiXmlBase::EncodeString(attribute->ValueStr(), &value);
        markup += std::string(" ") + LocalName(attribute->Name()) + "=\"" + value + "\"";
    }
}

// The markup of the children of `node` as HTML: names without prefixes, no namespace
// declarations, blanks put back as for text, each between two neighbours inside the same
// element. Walks the tree without recursion, however deep it is.
void AppendMarkup(const TiXmlNode& node, std::string& markup)
{
    // Where the content of each element being written begins, `node`'s own first: a blank
    // goes only between neighbours, after something written in the same element.
    std::vector<std::size_t> contentStarts{markup.size()};
    std::string piece;
    for (const TiXmlNode* child = node.FirstChild(); child != nullptr;) {
        const TiXmlText* text = child->ToText();
        const TiXmlElement* element = child->ToElement();
        if (text != nullptr || element != nullptr) {
            piece.clear();
            if (text != nullptr)
                TiXmlBase::EncodeString(text->ValueStr(), &piece);
            else
                piece = "<";
            if (markup.size() > contentStarts.back() && NeedsBlankBetween(markup, piece))
                markup += ' ';
        }
        if (text != nullptr) {
            markup += piece;
        } else if (element != nullptr) {
            AppendStartTag(*element, markup);
            // An element HTML knows as empty has no end tag; what a broken document put
            // inside it follows it.
            const bool isVoid = IsVoidElement(LocalName(element->Value()));
            markup += isVoid ? " />" : ">";
            if (element->FirstChild() != nullptr) {
                contentStarts.push_back(markup.size());
                child = element->FirstChild();
                continue;
            }
            if (!isVoid)
                markup += std::string("</") + LocalName(element->Value()) + ">";
        }
        // Past the last child of an element, its end tag closes it.
        while (child != &node && child->NextSibling() == nullptr) {
            child = child->Parent();
            if (child != &node) {
                contentStarts.pop_back();
                if (!IsVoidElement(LocalName(child->Value())))
                    markup += std::string("</") + LocalName(child->Value()) + ">";
            }
        }
        child = child == &node ? nullptr : child->NextSibling();
    }
}

} // namespace

const char* LocalName(const char* name)
{
    const char* colon = std::strchr(name, ':');
    return colon == nullptr ? name : colon + 1;
}

CNamespaceScope::CNamespaceScope(const TiXmlElement& element, const CNamespaceScope* outer)
    : m_element(element), m_outer(outer)
{
    // Without the parent's scope, every ancestor's declarations are read here, the nearest
    // first: a prefix keeps the binding nearest to the element.
    for (const TiXmlNode* node = &element; node != nullptr; node = node->Parent()) {
        const TiXmlElement* scope = node->ToElement();
        if (scope == nullptr)
            break;
        for (const TiXmlAttribute* attribute = scope->FirstAttribute(); attribute != nullptr;
             attribute = attribute->Next()) {
            std::string_view prefix;
            if (DeclaredPrefix(*attribute, prefix))
                m_bound.emplace(prefix, attribute->Value());
        }
        if (outer != nullptr)
            break;
    }
}

bool CNamespaceScope::DeclaredPrefix(const TiXmlAttribute& attribute, std::string_view& prefix)
{
    const char* name = attribute.Name();
    // "xmlns:" alone binds no prefix: no name starts with a colon.
    if (std::strncmp(name, "xmlns", 5) != 0 || (name[5] != '\0' && name[5] != ':') ||
        (name[5] == ':' && name[6] == '\0'))
        return false;
    prefix = name[5] == '\0' ? std::string_view() : std::string_view(name + 6);
    return true;
}

std::string_view CNamespaceScope::PrefixOf(const char* name)
{
    const char* colon = std::strchr(name, ':');
    return colon == nullptr ? std::string_view() : std::string_view(name, colon - name);
}

const char* CNamespaceScope::NamespaceOf(const char* name) const
{
    const std::string_view prefix = PrefixOf(name);
    for (const CNamespaceScope* scope = this; scope != nullptr; scope = scope->m_outer) {
        const auto bound = scope->m_bound.find(prefix);
        if (bound != scope->m_bound.end())
            return bound->second;
    }
    return nullptr;
}

const char* CNamespaceScope::NamespaceOfChild(const TiXmlElement& child) const
{
    const std::string_view prefix = PrefixOf(child.Value());
    for (const TiXmlAttribute* attribute = child.FirstAttribute(); attribute != nullptr;
         attribute = attribute->Next()) {
        std::string_view declared;
        if (DeclaredPrefix(*attribute, declared) && declared == prefix)
            return attribute->Value();
    }
    return NamespaceOf(child.Value());
}

bool CNamespaceScope::IsChildNamed(const TiXmlElement& child, const char* space,
                                   const char* localName) const
{
    if (std::strcmp(LocalName(child.Value()), localName) != 0)
        return false;
    const char* bound = NamespaceOfChild(child);
    return bound != nullptr && std::strcmp(bound, space) == 0;
}

const TiXmlElement* CNamespaceScope::ChildIn(const char* space, const char* localName) const
{
    for (const TiXmlElement* child = m_element.FirstChildElement(); child != nullptr;
         child = child->NextSiblingElement()) {
        if (IsChildNamed(*child, space, localName))
            return child;
    }
    return nullptr;
}

const char* CNamespaceScope::AttributeIn(const char* space, const char* localName) const
{
    for (const TiXmlAttribute* attribute = m_element.FirstAttribute(); attribute != nullptr;
         attribute = attribute->Next()) {
        const char* name = attribute->Name();
        if (std::strchr(name, ':') == nullptr || std::strcmp(LocalName(name), localName) != 0)
            continue;
        const char* bound = NamespaceOf(name);
        if (bound != nullptr && std::strcmp(bound, space) == 0)
            return attribute->Value();
    }
    return nullptr;
}

bool IsNamed(const TiXmlElement& element, const char* space, const char* localName)
{
    if (std::strcmp(LocalName(element.Value()), localName) != 0)
        return false;
    const char* bound = CNamespaceScope(element).NamespaceOf(element.Value());
    return bound != nullptr && std::strcmp(bound, space) == 0;
}

std::string TextOf(const TiXmlElement* element)
{
    std::string text;
    if (element != nullptr)
        AppendText(*element, text);
    TrimLeft(text);
    TrimRight(text);
    return text;
}

std::string InnerMarkup(const TiXmlElement& element)
{
    const TiXmlElement* holder = &element;
    for (const TiXmlElement* child = element.FirstChildElement(); child != nullptr;
         child = child->NextSiblingElement()) {
        if (std::strcmp(LocalName(child->Value()), "div") == 0) {
            holder = child;
            break;
        }
    }
    return MarkupOf(*holder);
}

std::string MarkupOf(const TiXmlElement& element)
{
    std::string markup;
    AppendMarkup(element, markup);
    return markup;
}
