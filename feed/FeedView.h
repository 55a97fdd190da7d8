#pragma once

#include "feed/FeedOutcome.h"
#include "feed/LoginMemory.h"

#include <memory>
#include <string>

class CNamespaceScope;
class TiXmlDocument;
class TiXmlElement;

// Every kind of feed is rendered as RSS 2.0 is: templates select from an "item" element whose
// parent is a "channel" element whose parent is an "rss" element. CFeedItems hands out the
// items of a parsed document in that shape. For an "rss" document they are its own items;
// for Atom 1.0, RSS 1.0 and RSS 0.90 documents they are built into a separate view, one
// entry at a time, from this table (elements are matched by namespace and local name,
// whatever prefix the document chose):
//
//   view               Atom 1.0                              RSS 1.0 and RSS 0.90
//   rss xml:base       final URL, then xml:base of feed      final URL, then xml:base of root
//   channel/title      title, as plain text                  channel/title
//   channel/link       alternate link, resolved              channel/link
//   channel/description  subtitle, as plain text             channel/description
//   channel/lastBuildDate  updated, as a mail date           channel/dc:date, as a mail date
//   item/title         title, as plain text                  title
//   item/link          first link rel="alternate" or         link, resolved
//                      without rel (type="text/html" first),
//                      else first link with href; resolved
//   item/description   content when not empty, else summary, content:encoded, else
//                      else media:group/media:description    description (elements in it
//                                                            as their markup)
//   item/pubDate       published, else updated, mail date    dc:date, as a mail date
//   item/guid          id                                    guid, else dc:identifier,
//                                                            else rdf:about
//   item/author        author/name <email>, else the feed's  dc:creator
//   item/category      term of each category                 each dc:subject
//
// Plain text: type "text" (the default) as it stands, "html" without its tags and with its
// references decoded, "xhtml" the text of its div. Descriptions: "html" as it stands, "xhtml"
// the markup inside its div, text escaped as HTML with its line breaks kept as <br>, content
// with a src attribute a link to it; content of another media type without one counts as
// none. Links are resolved against the xml:base chain from the final URL down to the
// element, and so are the links and images of a description whose own base differs from
// the feed's (which the rss element's xml:base gives readers). Missing values give no element,
// so the item's uid falls back as for RSS. After the mapped elements, an item also holds
// copies of the entry's children that the table does not name, and the channel copies of
// all children of its source but the entries, so templates can reach any other element too.
//
// The view's items come one at a time: each is built on request and dropped by the caller
// once rendered, and the source entries are freed as they are read. What the view copies of
// the source (the channel's elements, an entry's) is removed from the source once copied, so
// a document costs little more than its own parse; meanwhile the copies are charged to the
// document's tree. The document must outlive this object. One thread.
class CFeedItems
{
public:
    // `document` is a parsed, well-formed document of kind `kind` (see FeedKindOf), fetched
    // from `finalUrl`, whose tree `tree` pays for; `tree` must outlive this object. An "rss"
    // root gets `finalUrl` resolved with its own xml:base as its xml:base attribute, and its
    // channel's title, when it holds elements, its text.
    CFeedItems(TiXmlDocument& document, DocumentKind kind, const std::string& finalUrl,
               CTreeCharge& tree);
    ~CFeedItems();
    CFeedItems(const CFeedItems&) = delete;
    CFeedItems& operator=(const CFeedItems&) = delete;

    // The next item, in document order; null when there is none, or when the memory of the
    // copies for the view was refused (see Refusal). Items handed out stay in their channel
    // until dropped.
    TiXmlElement* Next();
    // Why the view could not be built whole: None, or the refusal of the memory its copies
    // needed beside the document's tree.
    MemoryRefusal Refusal() const { return m_refusal; }
    // Shows the RSS item `item`, handed out by Next, as a reader sees it: a title holding
    // elements as its text, a description holding elements as their markup (HTML), and an
    // item without a description or with an empty one with its content:encoded as one. Items
    // of the other kinds are built that way already. The item's uid is to be taken before.
    void Present(TiXmlElement& item) const;
    // Frees `item`, handed out by Next before the last call of Next.
    void Drop(TiXmlElement* item);

private:
    // Whether `element` is an entry (an item) of the source document.
    bool IsEntry(const TiXmlElement& element) const;
    // The view's "rss" and "channel" elements, with the channel's values from `channel`
    // (whose scope is `scope`), whose children move into the view.
    void BuildChannel(TiXmlElement& channel, const CNamespaceScope& scope);
    // The view item of the entry `entry`, whose children move into it.
    std::unique_ptr<TiXmlElement> BuildItem(TiXmlElement& entry);

    DocumentKind m_kind;
    CTreeCharge& m_tree;
    MemoryRefusal m_refusal = MemoryRefusal::None;
    // The element whose children are the entries (or the items), the next of them, and the
    // channel that the items handed out belong to.
    TiXmlElement* m_source = nullptr;
    // The namespaces bound at the source element, for the kinds other than RSS.
    std::unique_ptr<CNamespaceScope> m_sourceScope;
    TiXmlElement* m_next = nullptr;
    TiXmlElement* m_channel = nullptr;
    // The view, for kinds other than RSS.
    std::unique_ptr<TiXmlDocument> m_view;
    // The base URL of the feed, and its author as an entry without one gets it.
    std::string m_base;
    std::string m_feedAuthor;
};

// The kind of a document whose root element is `root`: RSS for an "rss" root; Atom for a
// "feed" in the Atom 1.0 namespace, or in none when it holds "entry" elements; RDF or
// RSS090 for an RDF root that declares the RSS 1.0 or RSS 0.90 namespace; HTML for an "html"
// root; otherwise OtherXML.
DocumentKind FeedKindOf(const TiXmlElement& root);
