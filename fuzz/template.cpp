// Template expansion: the input is the template, rendered for an item with nested elements,
// attributes, text and CDATA at every level the placeholders can reach.
#include "render/Template.h"

#include <tinyxml.h>

#include <cstdint>
#include <string>

namespace {

const TiXmlElement& Item()
{
    static const TiXmlDocument* const document = [] {
        auto* parsed = new TiXmlDocument;
        parsed->Parse("<?xml version='1.0'?><rss version='2.0' xml:base='http://127.0.0.1/'>"
                      "<channel><title>Caf\xC3\xA9 news</title><link>http://127.0.0.1/</link>"
                      "<item a='1' b=''><title>T\xC3\xA9tre</title><link>http://127.0.0.1/1</link>"
                      "<description><![CDATA[<p>x%y</p>]]></description><pubDate>Mon</pubDate>"
                      "<enclosure url='http://127.0.0.1/a.mp3'/><a><b c='d'>e<f/>g</b></a>"
                      "</item></channel></rss>");
        return parsed;
    }();
    return *document->FirstChildElement("rss")->FirstChildElement("channel")->FirstChildElement(
        "item");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string templateText(reinterpret_cast<const char*>(data), size);
    ExpandTemplate(templateText, Item(), "0123456789ABCDEF01234567");
    return 0;
}
