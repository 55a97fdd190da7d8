#include "provider/NamespacedXml.h"

#include "common/ByteString.h"
#include "render/ElementText.h"

#include <cstring>

namespace {

void AppendText(const TiXmlNode& node, std::string& text)
{
    for (const TiXmlNode* child = node.FirstChild(); child != nullptr;
         child = child->NextSibling()) {
        if (const TiXmlText* part = child->ToText()) {
            if (NeedsBlankBetween(text, part->ValueStr()))
                text += ' ';
            text += part->ValueStr();
        } else if (child->ToElement() != nullptr) {
            std::string inner;
            AppendText(*child, inner);
            if (NeedsBlankBetween(text, inner))
                text += ' ';
            text += inner;
        }
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

// The markup of the children of `node` as HTML: names without prefixes, no namespace
// declarations, blanks put back as for text.
void AppendMarkup(const TiXmlNode& node, std::string& markup)
{
    std::string piece;
    const std::size_t start = markup.size();
    for (const TiXmlNode* child = node.FirstChild(); child != nullptr;
         child = child->NextSibling()) {
        piece.clear();
        if (const TiXmlText* text = child->ToText()) {
            TiXmlBase::EncodeString(text->ValueStr(), &piece);
        } else if (const TiXmlElement* element = child->ToElement()) {
            const char* name = LocalName(element->Value());
            piece = std::string("<") + name;
            for (const TiXmlAttribute* attribute = element->FirstAttribute(); attribute != nullptr;
                 attribute = attribute->Next()) {
                if (std::strncmp(attribute->Name(), "xmlns", 5) == 0)
                    continue;
                piece += std::string(" ") + LocalName(attribute->Name()) + "=\"";
                std::string value;
                TiXmlBase::EncodeString(attribute->ValueStr(), &value);
                piece += value + "\"";
            }
            if (element->FirstChild() == nullptr && IsVoidElement(name)) {
                piece += " />";
            } else {
                piece += '>';
                AppendMarkup(*element, piece);
                piece += std::string("</") + name + ">";
            }
        } else {
            continue;
        }
        if (markup.size() > start && NeedsBlankBetween(markup, piece))
            markup += ' ';
        markup += piece;
    }
}

} // namespace

const char* LocalName(const char* name)
{
    const char* colon = std::strchr(name, ':');
    return colon == nullptr ? name : colon + 1;
}

const char* NamespaceAt(const TiXmlElement& element, const char* name)
{
    const char* colon = std::strchr(name, ':');
    const std::size_t prefixLength = colon == nullptr ? 0 : static_cast<std::size_t>(colon - name);
    for (const TiXmlNode* node = &element; node != nullptr; node = node->Parent()) {
        const TiXmlElement* scope = node->ToElement();
        if (scope == nullptr)
            break;
        for (const TiXmlAttribute* attribute = scope->FirstAttribute(); attribute != nullptr;
             attribute = attribute->Next()) {
            const char* declared = attribute->Name();
            if (std::strncmp(declared, "xmlns", 5) != 0)
                continue;
            const bool binds = colon == nullptr
                                   ? declared[5] == '\0'
                                   : declared[5] == ':' &&
                                         std::strncmp(declared + 6, name, prefixLength) == 0 &&
                                         declared[6 + prefixLength] == '\0';
            if (binds)
                return attribute->Value();
        }
    }
    return nullptr;
}

bool IsNamed(const TiXmlElement& element, const char* space, const char* localName)
{
    if (std::strcmp(LocalName(element.Value()), localName) != 0)
        return false;
    const char* bound = NamespaceAt(element, element.Value());
    return bound != nullptr && std::strcmp(bound, space) == 0;
}

const char* AttributeIn(const TiXmlElement& element, const char* space, const char* localName)
{
    for (const TiXmlAttribute* attribute = element.FirstAttribute(); attribute != nullptr;
         attribute = attribute->Next()) {
        const char* name = attribute->Name();
        if (std::strchr(name, ':') == nullptr || std::strcmp(LocalName(name), localName) != 0)
            continue;
        const char* bound = NamespaceAt(element, name);
        if (bound != nullptr && std::strcmp(bound, space) == 0)
            return attribute->Value();
    }
    return nullptr;
}

const TiXmlElement* ChildIn(const TiXmlElement& parent, const char* space, const char* localName)
{
    for (const TiXmlElement* child = parent.FirstChildElement(); child != nullptr;
         child = child->NextSiblingElement()) {
        if (IsNamed(*child, space, localName))
            return child;
    }
    return nullptr;
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
