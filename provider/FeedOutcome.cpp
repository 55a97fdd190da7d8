#include "provider/FeedOutcome.h"

#include "common/ByteString.h"

#include <tinyxml.h>

const char kNoAnswerInTime[] = "no answer within the wait";

namespace {

// How far into a document that is not XML a web page's first tag is looked for.
constexpr std::size_t kPageStartBytes = 1024;

// UTF-16 and UTF-32 put a zero byte beside every ASCII character; XML starts with one.
bool LooksWide(const std::string& document)
{
    return document.substr(0, 4).find('\0') != std::string::npos ||
           document.compare(0, 2, "\xFF\xFE") == 0 || document.compare(0, 2, "\xFE\xFF") == 0;
}

bool LooksLikeWebPage(const std::string& document)
{
    const std::string start = ToLowerASCII(document.substr(0, kPageStartBytes));
    return start.find("<!doctype html") != std::string::npos ||
           start.find("<html") != std::string::npos;
}

} // namespace

void DescribeDocument(const std::string& document, const TiXmlDocument* xml, FeedOutcome& outcome)
{
    if (xml == nullptr) {
        outcome.kind = DocumentKind::TooDeep;
        return;
    }
    const TiXmlElement* root = xml->Error() ? nullptr : xml->RootElement();
    if (root == nullptr) {
        outcome.kind = LooksWide(document)          ? DocumentKind::Wide
                       : LooksLikeWebPage(document) ? DocumentKind::HTML
                                                    : DocumentKind::NotXML;
        if (xml->Error()) {
            // "Error reading Element value." as "error reading element value".
            outcome.errorText = ToLowerASCII(xml->ErrorDesc());
            TrimRight(outcome.errorText, ".");
            outcome.errorLine = xml->ErrorRow();
            outcome.errorColumn = xml->ErrorCol();
        }
        return;
    }
    const std::string& name = root->ValueStr();
    if (name == "rss") {
        outcome.kind = DocumentKind::RSS;
        const char* version = root->Attribute("version");
        outcome.rssVersion = version == nullptr ? "" : version;
    } else if (name == "feed") {
        outcome.kind = DocumentKind::Atom;
    } else if (name == "rdf:RDF") {
        outcome.kind = DocumentKind::RDF;
    } else if (ToLowerASCII(name) == "html") {
        outcome.kind = DocumentKind::HTML;
    } else {
        outcome.kind = DocumentKind::OtherXML;
    }
}
