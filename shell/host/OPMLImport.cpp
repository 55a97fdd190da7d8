#include "shell/host/OPMLImport.h"

#include "common/ByteString.h"
#include "common/PrintableText.h"
#include "common/TextException.h"
#include "provider/FeedList.h"
#include "render/Charset.h"
#include "render/XmlText.h"

#include <tinyxml.h>

#include <cstdio>
#include <set>
#include <vector>

namespace {

// A folder: an outline with a title that holds further outlines. Each folder is kept once,
// with the folder it sits in, so that deep folders with long titles cost their own size only.
struct OPMLFolder
{
    std::size_t parent; // kNoFolder at the top
    std::string title;
};

constexpr std::size_t kNoFolder = static_cast<std::size_t>(-1);

struct OPMLFeed
{
    std::size_t folder; // kNoFolder at the top
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

// Every outline under `parent` with a feed URL, depth first in document order, and the
// folders on the way; `folder` is the one `parent` stands for.
void CollectFeeds(const TiXmlElement& parent, std::size_t folder, std::vector<OPMLFolder>& folders,
                  std::vector<OPMLFeed>& feeds)
{
    for (const TiXmlElement* outline = parent.FirstChildElement("outline"); outline != nullptr;
         outline = outline->NextSiblingElement("outline")) {
        std::string title = OutlineTitle(*outline);
        std::string url = OneLine(outline->Attribute("xmlUrl"));
        const bool holdsOutlines = outline->FirstChildElement("outline") != nullptr;
        std::size_t inner = folder;
        if (holdsOutlines && !title.empty()) {
            folders.push_back({folder, title});
            inner = folders.size() - 1;
        }
        if (!url.empty())
            feeds.push_back({folder, title.empty() ? url : std::move(title), std::move(url)});
        if (holdsOutlines)
            CollectFeeds(*outline, inner, folders, feeds);
    }
}

// Writes the titles of `folder` and the folders it sits in, outermost first, each followed
// by " / ".
void WriteFolderPath(std::ostream& out, const std::vector<OPMLFolder>& folders, std::size_t folder)
{
    std::vector<std::size_t> path;
    for (; folder != kNoFolder; folder = folders[folder].parent)
        path.push_back(folder);
    for (auto step = path.rbegin(); step != path.rend(); ++step)
        out << PrintableText(folders[*step].title) << " / ";
}

// `url` as a line of the list: a ";" would start a template path, and a control character
// or a byte outside UTF-8 would reach whoever prints the list; each is percent-encoded.
std::string ListURL(const std::string& url)
{
    std::string line;
    for (std::size_t index = 0; index < url.size();) {
        const std::size_t length = Utf8CharacterLength(url, index);
        const unsigned char lead = static_cast<unsigned char>(url[index]);
        const bool control = lead < 0x20 || lead == 0x7F ||
                             (lead == 0xC2 && static_cast<unsigned char>(url[index + 1]) < 0xA0);
        const std::size_t bytes = length == 0 ? 1 : length;
        for (std::size_t byte = index; byte < index + bytes; ++byte) {
            if (length == 0 || control || url[byte] == ';') {
                char escape[4];
                std::snprintf(escape, sizeof escape, "%%%02X",
                              static_cast<unsigned char>(url[byte]));
                line += escape;
            } else {
                line += url[byte];
            }
        }
        index += bytes;
    }
    return line;
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
    std::vector<OPMLFolder> folders;
    std::vector<OPMLFeed> feeds;
    CollectFeeds(*body, kNoFolder, folders, feeds);
    xml.Clear();

    std::set<std::string> written;
    for (OPMLFeed& feed : feeds) {
        if (!written.insert(feed.url).second)
            continue;
        const std::string url = ListURL(feed.url);
        if (feed.url.find(';') != std::string::npos)
            warnings.push_back("\";\" written as \"%3B\" in " + feed.url);
        list << "# ";
        WriteFolderPath(list, folders, feed.folder);
        list << PrintableText(feed.title) << "\n" << url << "\n";
    }
    if (written.size() > kMaxFeeds)
        warnings.push_back(std::to_string(written.size()) +
                           " feeds: a login reads only the first " + std::to_string(kMaxFeeds) +
                           "; split them into several lists, one mail account each");
    return written.size();
}
