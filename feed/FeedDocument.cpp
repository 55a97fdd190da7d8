#include "feed/FeedDocument.h"

#include "common/ByteString.h"
#include "feed/FeedDocumentInternal.h"
#include "feed/FeedView.h"
#include "feed/Fingerprint.h"
#include "feed/LoginMemory.h"
#include "feed/UidAssignment.h"
#include "http/ByteBudget.h"
#include "render/Charset.h"
#include "render/Template.h"
#include "render/XmlRepair.h"
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

// What a document is that gives no root element: text that looks wide, a web page, or
// something else that is not XML. Read before any mending, which would hide it.
DocumentKind UnreadableKind(const std::string& document)
{
    return LooksWide(document)          ? DocumentKind::Wide
           : LooksLikeWebPage(document) ? DocumentKind::HTML
                                        : DocumentKind::NotXML;
}

// Sets the kind of a document in `outcome` from the parse of it in `xml`, with the place of
// a parse error (as far as the parse tracked it); a document that gives no root element is of
// the kind `unreadable`.
void DescribeDocument(DocumentKind unreadable, const TiXmlDocument& xml, FeedOutcome& outcome)
{
    const TiXmlElement* root = xml.Error() ? nullptr : xml.RootElement();
    if (root == nullptr) {
        outcome.kind = unreadable;
        if (xml.Error()) {
            // "Error reading Element value." as "error reading element value".
            outcome.errorText = ToLowerASCII(xml.ErrorDesc());
            TrimRight(outcome.errorText, ".");
            outcome.errorLine = xml.ErrorRow();
            outcome.errorColumn = xml.ErrorCol();
        }
        return;
    }
    outcome.kind = FeedKindOf(*root);
    if (outcome.kind == DocumentKind::RSS) {
        const char* version = root->Attribute("version");
        outcome.rssVersion = version == nullptr ? "" : version;
    }
}

// Tells in `outcome` that the memory of the document's tree, or of its view, was refused.
void RefuseMemory(MemoryRefusal refusal, FeedOutcome& outcome)
{
    outcome.failure =
        refusal == MemoryRefusal::OverLogin ? FeedFailure::TooLarge : FeedFailure::OverAllLogins;
}

using XmlPass = XmlRepairResult (*)(std::string&, const XmlRepairBounds&);

// Runs `pass` over `document` and parses the text it gives into the empty `xml` when its
// tree fits in `tree`, and returns true; otherwise returns false with the reason in `outcome`.
// `result` receives what the pass found.
bool ParseWithinMemory(std::string& document, XmlPass pass, const XmlRepairBounds& bounds,
                       TiXmlDocument& xml, CTreeCharge& tree, FeedOutcome& outcome,
                       XmlRepairResult& result)
{
    result = pass(document, bounds);
    switch (result.status) {
    case XmlRepairStatus::Done:
        break;
    case XmlRepairStatus::TooDeep:
        outcome.kind = DocumentKind::TooDeep;
        return false;
    case XmlRepairStatus::TooManyAttributes:
        outcome.kind = DocumentKind::TooManyAttributes;
        return false;
    case XmlRepairStatus::TooLarge:
        outcome.failure = FeedFailure::RepairTooLarge;
        return false;
    case XmlRepairStatus::OverBudget:
        outcome.failure = FeedFailure::OverAllLogins;
        return false;
    }
    const CXmlText text(document);
    outcome.elements = result.nodes.elements;
    const MemoryRefusal refusal = tree.Take(EstimatedTreeBytes(result.nodes, text.Size()));
    if (refusal != MemoryRefusal::None) {
        RefuseMemory(refusal, outcome);
        return false;
    }
    xml.Parse(text.Text(), nullptr, bounds.utf8 ? TIXML_ENCODING_UTF8 : TIXML_ENCODING_UNKNOWN);
    return true;
}

// Parses again what SalvageXml saves of `document`, which the parser refused (`xml`, with
// the refusal described in `outcome`). Returns true when that is a feed, with `outcome`
// saying so; otherwise the document stays described as it was, unless the salvage itself
// failed for want of memory.
bool Salvage(std::string& document, const XmlRepairBounds& bounds, TiXmlDocument& xml,
             CTreeCharge& tree, FeedOutcome& outcome)
{
    xml.Clear();
    XmlRepairResult saved;
    if (!ParseWithinMemory(document, SalvageXml, bounds, xml, tree, outcome, saved))
        return false;
    const TiXmlElement* root = xml.Error() ? nullptr : xml.RootElement();
    if (root == nullptr || !IsFeedKind(FeedKindOf(*root)))
        return false;
    const DocumentKind unreadable = outcome.kind;
    DescribeDocument(unreadable, xml, outcome);
    outcome.salvaged = true;
    outcome.salvageItems = saved.items;
    outcome.salvageKeptItems = saved.keptItems;
    return true;
}

} // namespace

MessageList ReadFeedDocument(std::string document, const std::string& templateText,
                             const std::string& finalUrl, CLoginMemory& memory,
                             FeedOutcome& outcome, bool locateErrors)
{
    MessageList messages;
    outcome.wellFormed = false;
    outcome.salvaged = false;
    if (document.empty())
        return messages;
    const DocumentKind unreadable = UnreadableKind(document);
    // A mended copy of the document exists until the document is parsed.
    CByteCharge copy(&memory.AllLoginsBudget());
    CTreeCharge tree(memory);
    TiXmlDocument xml;
    // Keeping row and column up to date costs a third of the parse: only reports want them.
    xml.SetTabSize(locateErrors ? kReportTabSize : 0);
    XmlRepairBounds bounds = RepairBoundsOf(document);
    bounds.charge = &copy;
    XmlRepairResult repaired;
    if (!ParseWithinMemory(document, RepairXml, bounds, xml, tree, outcome, repaired))
        return messages;
    DescribeDocument(unreadable, xml, outcome);
    if (xml.Error() && !Salvage(document, bounds, xml, tree, outcome))
        return messages;
    std::string().swap(document);
    outcome.wellFormed = !outcome.salvaged;
    CFeedItems items(xml,
                     xml.FirstChildElement("rss") != nullptr ? DocumentKind::RSS : outcome.kind,
                     finalUrl, tree);
    TiXmlElement* const first = items.Next();
    std::size_t taken = 0;
    CChannelValues channelValues;
    const std::string uidStandIn = UidStandIn();
    for (TiXmlElement* item = first; item != nullptr;) {
        MessageEntry message;
        // The uid is of the item as the feed wrote it, the message of what a reader sees.
        IdentifyItem(*item, message);
        items.Present(*item);
        message.text = ExpandTemplate(templateText, *item, uidStandIn, channelValues);
        PlaceUid(message, uidStandIn);
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
    if (items.Refusal() != MemoryRefusal::None) {
        memory.GiveMessages(taken);
        RefuseMemory(items.Refusal(), outcome);
        return MessageList();
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

void IdentifyItem(const TiXmlElement& item, MessageEntry& message)
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
    message.uid = Fingerprint(printer.Str());
    message.identity = StrongIdentity(printer.Str());
}
