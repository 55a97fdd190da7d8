#include "render/ElementText.h"

#include <tinyxml.h>

#include <cstring>

bool NeedsBlankBetween(const std::string& before, const std::string& after)
{
    if (before.empty() || after.empty())
        return false;
    return std::strchr(" \n([{\"'/", before.back()) == nullptr &&
           std::strchr(" \n.,;:!?)]}\"'/", after.front()) == nullptr;
}

std::string ElementText(const TiXmlElement& element)
{
    const TiXmlNode* first = element.FirstChild();
    if (first == nullptr)
        return std::string();
    // Most elements hold one piece of text, which is their value as it stands.
    if (first->NextSibling() == nullptr)
        return first->ValueStr();
    std::string text;
    bool found = false;
    bool afterSection = false;
    for (const TiXmlNode* child = first; child != nullptr; child = child->NextSibling()) {
        const TiXmlText* piece = child->ToText();
        if (piece == nullptr)
            continue;
        // A section that follows a section was split only to hold "]]>", or by the feed's
        // own choice; either way nothing stood between the two.
        if (!(afterSection && piece->CDATA()) && NeedsBlankBetween(text, piece->ValueStr()))
            text += ' ';
        text += piece->ValueStr();
        found = true;
        afterSection = piece->CDATA();
    }
    return found ? text : first->ValueStr();
}
