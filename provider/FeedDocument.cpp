#include "provider/FeedDocument.h"

#include "common/ByteString.h"
#include "provider/FeedDocumentInternal.h"
#include "provider/FeedView.h"
#include "provider/Fingerprint.h"
#include "provider/LoginMemory.h"
#include "render/Charset.h"
#include "render/Template.h"
#include "render/XmlText.h"

#include <tinyxml.h>

#include <utility>

namespace {

// Columns of a tab when parse errors are located; any tab size above 0 turns locating on.
constexpr int kReportTabSize = 4;

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

// Sets the kind of `document` in `outcome` from the parse of it in `xml`, with the place of
// a parse error (as far as the parse tracked it); with `xml` null, as a document nested too
// deeply to be parsed. Looks at the root element's name and, for documents that are not
// XML, at their first bytes.
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
    outcome.kind = FeedKindOf(*root);
    if (outcome.kind == DocumentKind::RSS) {
        const char* version = root->Attribute("version");
        outcome.rssVersion = version == nullptr ? "" : version;
    }
}

// Parses `document` into the empty `xml` when its tree fits in `tree`, and returns true;
// otherwise returns false with the reason in `outcome` (a document nested too deeply is
// described as such).
bool ParseWithinMemory(std::string& document, TiXmlEncoding encoding, TiXmlDocument& xml,
                       CTreeCharge& tree, FeedOutcome& outcome)
{
    const CXmlText text(document);
    XmlNodeCount nodes;
    if (!text.IsShallow(kMaxXmlDepth, encoding, &nodes)) {
        DescribeDocument(document, nullptr, outcome);
        return false;
    }
    switch (tree.Take(EstimatedTreeBytes(nodes, text.Size()))) {
    case MemoryRefusal::None:
        xml.Parse(text.Text(), nullptr, encoding);
        return true;
    case MemoryRefusal::OverLogin:
        outcome.failure = FeedFailure::TooLarge;
        outcome.elements = nodes.elements;
        return false;
    case MemoryRefusal::OverAllLogins:
        outcome.failure = FeedFailure::OverAllLogins;
        return false;
    }
    return false;
}

} // namespace

MessageList ReadFeedDocument(std::string document, const std::string& templateText,
                             const std::string& finalUrl, CLoginMemory& memory,
                             FeedOutcome& outcome, bool locateErrors)
{
    MessageList messages;
    outcome.wellFormed = false;
    if (document.empty())
        return messages;
    CTreeCharge tree(memory);
    TiXmlDocument xml;
    // Keeping row and column up to date costs a third of the parse: only reports want them.
    xml.SetTabSize(locateErrors ? kReportTabSize : 0);
    const TiXmlEncoding encoding =
        IsUndeclaredUtf8(document) ? TIXML_ENCODING_UTF8 : TIXML_ENCODING_UNKNOWN;
    if (!ParseWithinMemory(document, encoding, xml, tree, outcome))
        return messages;
    DescribeDocument(document, &xml, outcome);
    std::string().swap(document);
    if (xml.Error())
        return messages;
    outcome.wellFormed = true;
    CFeedItems items(
        xml, xml.FirstChildElement("rss") != nullptr ? DocumentKind::RSS : outcome.kind, finalUrl);
    TiXmlElement* const first = items.Next();
    std::size_t taken = 0;
    CChannelValues channelValues;
    for (TiXmlElement* item = first; item != nullptr;) {
        MessageEntry message;
        // The uid is of the item as the feed wrote it, the message of what a reader sees.
        message.uid = ItemUid(*item);
        items.Present(*item);
        message.text = ExpandTemplate(templateText, *item, message.uid, channelValues);
        // Rendering leaves the text room to grow, up to its own size again; the login keeps
        // the message for as long as it lasts.
        message.text.shrink_to_fit();
        const std::size_t bytes = CLoginMemory::MessageBytes(message);
        const MemoryRefusal refusal = memory.TakeMessage(bytes);
        if (refusal != MemoryRefusal::None) {
            memory.GiveMessages(taken);
            outcome.failure = refusal == MemoryRefusal::OverLogin ? FeedFailure::OverMessageLimit
                                                                  : FeedFailure::OverAllLogins;
            return MessageList();
        }
        taken += bytes;
        messages.push_back(std::move(message));
        TiXmlElement* const next = items.Next();
        // A template reaches other items only through the channel, which leads to the first
        // item alone: every later one is of no more use once rendered, and is freed at once.
        if (item != first)
            items.Drop(item);
        item = next;
    }
    outcome.items = messages.size();
    return messages;
}

MessageList ParseFeed(std::string document, const std::string& templateText,
                      const std::string& finalUrl)
{
    FeedOutcome outcome;
    CLoginMemory memory(CLoginMemory::kMaxTreeBytes, CLoginMemory::kMaxMessageBytes,
                        CLoginMemory::AllLogins());
    return ReadFeedDocument(std::move(document), templateText, finalUrl, memory, outcome);
}

std::string ItemUid(const TiXmlElement& item)
{
    const TiXmlElement* source = item.FirstChildElement("guid");
    if (source == nullptr)
        source = item.FirstChildElement("link");
    if (source == nullptr)
        source = &item;
    // The markup as a string stream of the node writes it, taken straight from the printer:
    // an item without guid or link prints whole, and need not be held twice.
    TiXmlPrinter printer;
    printer.SetStreamPrinting();
    source->Accept(&printer);
    return Fingerprint(printer.Str());
}
