#include "shell/host/OPMLImport.h"

#include "common/ByteString.h"
#include "common/TextException.h"
#include "provider/MessageProviderRSS.h"
#include "render/Charset.h"
#include "render/XmlText.h"

#include <tinyxml.h>

#include <set>
#include <sstream>
#include <vector>

namespace {

struct OPMLFeed
{
    std::string title;
    std::string url;
};

// An attribute as one line of text: each run of blanks, line ends and tabs becomes one blank,
// and none is left at either end.
std::string OneLine(const char* value)
{
    std::string text;
    for (const char* byte = value; byte != nullptr && *byte != '\0'; ++byte) {
        const bool blank = *byte == ' ' || *byte == '\r' || *byte == '\n' || *byte == '\t';
        if (!blank)
            text += *byte;
        else if (!text.empty() && text.back() != ' ')
            text += ' ';
    }
    TrimRight(text);
    return text;
}

std::string OutlineTitle(const TiXmlElement& outline)
{
    std::string title = OneLine(outline.Attribute("title"));
    return title.empty() ? OneLine(outline.Attribute("text")) : title;
}

// Every outline under `parent` with a feed URL, depth first in document order; `folder` is
// the path of titles leading there.
void CollectFeeds(const TiXmlElement& parent, const std::string& folder,
                  std::vector<OPMLFeed>& feeds)
{
    for (const TiXmlElement* outline = parent.FirstChildElement("outline"); outline != nullptr;
         outline = outline->NextSiblingElement("outline")) {
        const std::string title = OutlineTitle(*outline);
        const std::string url = OneLine(outline->Attribute("xmlUrl"));
        if (!url.empty())
            feeds.push_back({folder + (title.empty() ? url : title), url});
        const std::string path = title.empty() ? folder : folder + title + " / ";
        CollectFeeds(*outline, path, feeds);
    }
}

} // namespace

std::size_t ImportOPML(std::string document, std::ostream& list, std::vector<std::string>& warnings)
{
    ConvertToUtf8(document);
    TiXmlDocument xml;
    if (!CXmlText(document).Parse(xml))
        throw CTextException("outlines nested too deeply");
    if (xml.Error())
        throw CTextException("not well-formed XML");
    const TiXmlElement* opml = xml.FirstChildElement("opml");
    const TiXmlElement* body = opml == nullptr ? nullptr : opml->FirstChildElement("body");
    if (body == nullptr)
        throw CTextException("not an OPML file (no opml element with a body)");
    std::vector<OPMLFeed> feeds;
    CollectFeeds(*body, std::string(), feeds);

    std::ostringstream text;
    std::set<std::string> written;
    for (OPMLFeed& feed : feeds) {
        if (!written.insert(feed.url).second)
            continue;
        std::string url;
        for (char byte : feed.url)
            url += byte == ';' ? std::string("%3B") : std::string(1, byte);
        if (url != feed.url)
            warnings.push_back("\";\" written as \"%3B\" in " + feed.url);
        text << "# " << feed.title << "\n" << url << "\n";
    }
    if (written.size() > CMessageProviderRSS::MaxFeeds)
        warnings.push_back(std::to_string(written.size()) +
                           " feeds: a login reads only the first " +
                           std::to_string(CMessageProviderRSS::MaxFeeds) +
                           "; split them into several lists, one mail account each");
    list << text.str();
    return written.size();
}
