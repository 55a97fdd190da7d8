// The item view: the input, once mended and parsed as a feed reads it, is handed out item by
// item, each shown as a reader sees it; every item handed out sits in a channel in an rss
// element, whatever kind of document it came from.
#include "feed/FeedView.h"
#include "feed/LoginMemory.h"
#include "http/ByteBudget.h"
#include "render/XmlRepair.h"

#include <tinyxml.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static CByteBudget allLogins(1024 * 1024 * 1024);
    std::string text(reinterpret_cast<const char*>(data), size);
    XmlRepairBounds bounds = RepairBoundsOf(text);
    if (RepairXml(text, bounds).status != XmlRepairStatus::Done)
        return 0;
    TiXmlDocument document;
    const CXmlText xml(text);
    document.Parse(xml.Text(), nullptr, bounds.utf8 ? TIXML_ENCODING_UTF8 : TIXML_ENCODING_UNKNOWN);
    const TiXmlElement* root = document.RootElement();
    if (document.Error() || root == nullptr)
        return 0;

    CLoginMemory memory(CLoginMemory::kMaxTreeBytes, CLoginMemory::kMaxMessageBytes, allLogins);
    CTreeCharge tree(memory);
    CFeedItems items(document,
                     document.FirstChildElement("rss") != nullptr ? DocumentKind::RSS
                                                                  : FeedKindOf(*root),
                     "http://127.0.0.1/feeds/feed.xml", tree);
    TiXmlElement* const first = items.Next();
    for (TiXmlElement* item = first; item != nullptr;) {
        const TiXmlNode* channel = item->Parent();
        const TiXmlNode* rss = channel == nullptr ? nullptr : channel->Parent();
        if (item->ValueStr() != "item" || channel->ValueStr() != "channel" || rss == nullptr ||
            rss->ValueStr() != "rss") {
            std::fprintf(stderr, "an item is handed out outside rss/channel\n");
            std::abort();
        }
        items.Present(*item);
        TiXmlElement* const next = items.Next();
        if (item != first)
            items.Drop(item);
        item = next;
    }
    return 0;
}
