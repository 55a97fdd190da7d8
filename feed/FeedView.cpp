#include "feed/FeedView.h"

#include "common/ByteString.h"
#include "feed/HtmlText.h"
#include "feed/NamespacedXml.h"
#include "http/URL.h"
#include "render/DateHeader.h"
#include "render/ElementText.h"
#include "render/XmlText.h"

#include <tinyxml.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

const char kAtom[] = "http://www.w3.org/2005/Atom";
const char kRDF[] = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";
const char kRSS10[] = "http://purl.org/rss/1.0/";
const char kRSS090[] = "http://my.netscape.com/rdf/simple/0.9/";
const char kContent[] = "http://purl.org/rss/1.0/modules/content/";
const char kDublinCore[] = "http://purl.org/dc/elements/1.1/";
const char kMedia[] = "http://search.yahoo.com/mrss/";

// Whether `element` is a guid, in whatever namespace: RSS 1.0 defines none, and feeds borrow
// RSS 2.0's.
bool IsGuid(const TiXmlElement& element)
{
    return std::strcmp(LocalName(element.Value()), "guid") == 0;
}

bool AttributeIs(const TiXmlElement& element, const char* name, const char* value)
{
    const char* attribute = element.Attribute(name);
    return attribute != nullptr && std::strcmp(attribute, value) == 0;
}

// Whether a "type" attribute says HTML, XHTML, or text (the default).
enum class TextType
{
    Text,
    HTML,
    XHTML,
    XML,   // another XML media type
    Other, // any other media type
};

TextType TypeOf(const TiXmlElement& element)
{
    const char* type = element.Attribute("type");
    if (type == nullptr)
        return TextType::Text;
    const std::string name = ToLowerASCII(Trimmed(type));
    if (name == "html" || name == "text/html")
        return TextType::HTML;
    if (name == "xhtml" || name == "application/xhtml+xml")
        return TextType::XHTML;
    if (name.empty() || name == "text" || name.compare(0, 5, "text/") == 0)
        return TextType::Text;
    const std::size_t length = name.size();
    if ((length > 4 && name.compare(length - 4, 4, "+xml") == 0) ||
        (length > 4 && name.compare(length - 4, 4, "/xml") == 0))
        return TextType::XML;
    return TextType::Other;
}

// An Atom text construct as plain text.
std::string PlainText(const TiXmlElement* element)
{
    if (element == nullptr)
        return std::string();
    std::string text = TextOf(element);
    return TypeOf(*element) == TextType::HTML ? Trimmed(PlainTextOfHtml(text)) : text;
}

std::string BaseOf(const TiXmlElement& element, const std::string& parentBase)
{
    const char* base = element.Attribute("xml:base");
    return base == nullptr ? parentBase : ResolveReference(parentBase, Trimmed(base));
}

std::string LinkTo(const std::string& url)
{
    const std::string escaped = HtmlOfText(url);
    return "<a href=\"" + escaped + "\">" + escaped + "</a>";
}

// An Atom content or summary (or any element of such a type) as HTML.
std::string HtmlOf(const TiXmlElement& element, const std::string& base)
{
    if (const char* source = element.Attribute("src"))
        return LinkTo(ResolveReference(BaseOf(element, base), Trimmed(source)));
    switch (TypeOf(element)) {
    case TextType::HTML:
        return TextOf(&element);
    case TextType::XHTML:
        return InnerMarkup(element);
    case TextType::Text:
        return HtmlOfText(TextOf(&element));
    case TextType::XML:
        return HtmlOfText(InnerMarkup(element));
    case TextType::Other:
        break;
    }
    return std::string();
}

// Whether an Atom content (or an RSS 1.0 one) has anything to show: a src to link to, or text
// or markup of a type that can be shown.
bool HasContent(const TiXmlElement* element)
{
    if (element == nullptr)
        return false;
    if (element->Attribute("src") != nullptr)
        return true;
    return TypeOf(*element) != TextType::Other &&
           (element->FirstChildElement() != nullptr || !TextOf(element).empty());
}

// A date element as a mail date; a value in no known form stays as written.
std::string MailDate(const TiXmlElement* element)
{
    std::string text = TextOf(element);
    std::string date = MailDateFromISO8601(text);
    return date.empty() ? text : date;
}

// An Atom person construct as "name <email>"; `parent` is the scope of its parent.
std::string PersonOf(const TiXmlElement* person, const CNamespaceScope& parent)
{
    if (person == nullptr)
        return std::string();
    const CNamespaceScope scope(*person, &parent);
    const std::string name = TextOf(scope.ChildIn(kAtom, "name"));
    const std::string email = TextOf(scope.ChildIn(kAtom, "email"));
    if (email.empty())
        return name;
    return name.empty() ? email : name + " <" + email + ">";
}

// The link a reader follows among the Atom "link" children of an entry or feed.
std::string AtomLink(const std::vector<const TiXmlElement*>& links, const std::string& base)
{
    const TiXmlElement* any = nullptr;
    const TiXmlElement* alternate = nullptr;
    const TiXmlElement* page = nullptr;
    for (const TiXmlElement* link : links) {
        if (link->Attribute("href") == nullptr)
            continue;
        if (any == nullptr)
            any = link;
        const char* relation = link->Attribute("rel");
        if (relation != nullptr && std::strcmp(relation, "alternate") != 0)
            continue;
        if (alternate == nullptr)
            alternate = link;
        if (page == nullptr && AttributeIs(*link, "type", "text/html"))
            page = link;
    }
    const TiXmlElement* chosen = page != nullptr ? page : alternate != nullptr ? alternate : any;
    if (chosen == nullptr)
        return std::string();
    return ResolveReference(BaseOf(*chosen, base), Trimmed(chosen->Attribute("href")));
}

// Appends an element named `name` holding the text `value`, unless the value is empty.
void AddChild(TiXmlElement& parent, const char* name, const std::string& value)
{
    if (value.empty())
        return;
    std::unique_ptr<TiXmlElement> child = std::make_unique<TiXmlElement>(name);
    child->LinkEndChild(new TiXmlText(value));
    parent.LinkEndChild(child.release());
}

// Moves the children of `source` for which `keep` holds to the end of `parent`: each is
// copied, then removed from `source`, so that the document holds it once again as soon as it
// is in the view. While both exist, the copy is charged to `tree`; when it cannot be, the
// refusal is returned and nothing more is moved.
template <typename Keep>
MemoryRefusal MoveChildren(TiXmlElement& parent, TiXmlElement& source, CTreeCharge& tree, Keep keep)
{
    for (TiXmlNode* child = source.FirstChild(); child != nullptr;) {
        TiXmlNode* const next = child->NextSibling();
        const TiXmlElement* element = child->ToElement();
        if (element != nullptr && keep(*element)) {
            const std::size_t bytes = EstimatedTreeBytes(*element);
            const MemoryRefusal refusal = tree.TakeMore(bytes);
            if (refusal != MemoryRefusal::None)
                return refusal;
            parent.InsertEndChild(*element);
            source.RemoveChild(child);
            tree.GiveMore(bytes);
        }
        child = next;
    }
    return MemoryRefusal::None;
}

// The parts of an Atom entry or feed that the view maps.
struct AtomParts
{
    const TiXmlElement* title = nullptr;
    const TiXmlElement* subtitle = nullptr;
    const TiXmlElement* content = nullptr;
    const TiXmlElement* summary = nullptr;
    const TiXmlElement* published = nullptr;
    const TiXmlElement* updated = nullptr;
    const TiXmlElement* id = nullptr;
    const TiXmlElement* author = nullptr;
    const TiXmlElement* mediaDescription = nullptr;
    std::vector<const TiXmlElement*> links;
    std::vector<const TiXmlElement*> categories;
    // Every element of the kinds above, which the view holds in its own way.
    std::vector<const TiXmlElement*> mapped;
};

void KeepFirst(const TiXmlElement*& slot, const TiXmlElement& element)
{
    if (slot == nullptr)
        slot = &element;
}

// The Atom elements of which the first one counts.
const struct AtomSlot
{
    const char* name;
    const TiXmlElement* AtomParts::*member;
} kAtomSlots[] = {
    {"title", &AtomParts::title},
    {"subtitle", &AtomParts::subtitle},
    {"content", &AtomParts::content},
    {"summary", &AtomParts::summary},
    {"published", &AtomParts::published},
    {"updated", &AtomParts::updated},
    {"id", &AtomParts::id},
    {"author", &AtomParts::author},
};

// The parts of the element whose scope is `parent`.
AtomParts ReadAtomParts(const CNamespaceScope& parent)
{
    AtomParts parts;
    for (const TiXmlElement* child = parent.Element().FirstChildElement(); child != nullptr;
         child = child->NextSiblingElement()) {
        const char* name = LocalName(child->Value());
        const char* bound = parent.NamespaceOfChild(*child);
        if (bound == nullptr)
            continue;
        if (std::strcmp(bound, kMedia) == 0) {
            if (std::strcmp(name, "description") == 0) {
                KeepFirst(parts.mediaDescription, *child);
            } else if (std::strcmp(name, "group") == 0) {
                const CNamespaceScope group(*child, &parent);
                if (const TiXmlElement* description = group.ChildIn(kMedia, "description"))
                    KeepFirst(parts.mediaDescription, *description);
            }
            continue;
        }
        if (std::strcmp(bound, kAtom) != 0)
            continue;
        if (std::strcmp(name, "link") == 0) {
            parts.links.push_back(child);
            parts.mapped.push_back(child);
        } else if (std::strcmp(name, "category") == 0) {
            parts.categories.push_back(child);
            parts.mapped.push_back(child);
        } else {
            for (const AtomSlot& slot : kAtomSlots) {
                if (std::strcmp(name, slot.name) == 0) {
                    KeepFirst(parts.*slot.member, *child);
                    parts.mapped.push_back(child);
                    break;
                }
            }
        }
    }
    return parts;
}

// The HTML of an Atom content or summary whose parent's base is `base`, its relative links
// and images resolved against its own base where that differs from `feedBase`, the base that
// messages give their readers.
std::string ResolvedHtmlOf(const TiXmlElement& element, const std::string& base,
                           const std::string& feedBase)
{
    const std::string html = HtmlOf(element, base);
    const std::string ownBase = BaseOf(element, base);
    if (ownBase == feedBase)
        return html;
    return ReplaceLinks(
        html, [&ownBase](const std::string& link) { return ResolveReference(ownBase, link); });
}

// The description of an Atom entry whose base is `base`: its content when not empty, else its
// summary, else its media description.
std::string AtomDescription(const AtomParts& parts, const std::string& base,
                            const std::string& feedBase)
{
    if (HasContent(parts.content))
        return ResolvedHtmlOf(*parts.content, base, feedBase);
    if (parts.summary != nullptr)
        return ResolvedHtmlOf(*parts.summary, base, feedBase);
    if (parts.mediaDescription != nullptr)
        return HtmlOfText(TextOf(parts.mediaDescription));
    return std::string();
}

// The identity of an RSS 1.0 or 0.90 item: its own guid, else its dc:identifier, else its
// rdf:about, which many feeds fill with one placeholder for all their items.
std::string RdfIdentity(const CNamespaceScope& entry)
{
    for (const TiXmlElement* child = entry.Element().FirstChildElement(); child != nullptr;
         child = child->NextSiblingElement()) {
        if (IsGuid(*child)) {
            const std::string guid = TextOf(child);
            if (!guid.empty())
                return guid;
        }
    }
    const std::string identifier = TextOf(entry.ChildIn(kDublinCore, "identifier"));
    if (!identifier.empty())
        return identifier;
    const char* about = entry.AttributeIn(kRDF, "about");
    return about == nullptr ? std::string() : Trimmed(about);
}

// Replaces the children of `element` by the text `text`.
void ReplaceChildren(TiXmlElement& element, const std::string& text)
{
    element.Clear();
    element.LinkEndChild(new TiXmlText(text));
}

// The HTML that an RSS description (or content:encoded) holds: markup written as elements
// as HTML, else its text.
std::string RssHtmlOf(const TiXmlElement& element)
{
    return element.FirstChildElement() != nullptr ? MarkupOf(element) : ElementText(element);
}

// Whether the text and CDATA pieces of `element` hold more than blanks.
bool HoldsText(const TiXmlElement& element)
{
    for (const TiXmlNode* child = element.FirstChild(); child != nullptr;
         child = child->NextSibling()) {
        const TiXmlText* text = child->ToText();
        if (text != nullptr && text->ValueStr().find_first_not_of(" \t\r\n") != std::string::npos)
            return true;
    }
    return false;
}

// Makes the first "title" child of the RSS item or channel `parent`, when it holds markup
// written as elements, hold its text instead: a title is never shown as markup.
void ShowTitleAsText(TiXmlElement& parent)
{
    TiXmlElement* title = parent.FirstChildElement("title");
    if (title != nullptr && title->FirstChildElement() != nullptr)
        ReplaceChildren(*title, TextOf(title));
}

} // namespace

DocumentKind FeedKindOf(const TiXmlElement& root)
{
    const char* name = root.Value();
    if (std::strcmp(name, "rss") == 0)
        return DocumentKind::RSS;
    if (IsNamed(root, kAtom, "feed"))
        return DocumentKind::Atom;
    // Some generators leave the namespace out; a bare "feed" of entries is Atom all the same.
    if (std::strcmp(name, "feed") == 0 && CNamespaceScope(root).NamespaceOf(name) == nullptr &&
        root.FirstChildElement("entry") != nullptr)
        return DocumentKind::Atom;
    if (IsNamed(root, kRDF, "RDF")) {
        // Told by the namespaces it declares, so that a feed without items is one too.
        for (const TiXmlAttribute* attribute = root.FirstAttribute(); attribute != nullptr;
             attribute = attribute->Next()) {
            if (std::strncmp(attribute->Name(), "xmlns", 5) != 0)
                continue;
            if (std::strcmp(attribute->Value(), kRSS10) == 0)
                return DocumentKind::RDF;
            if (std::strcmp(attribute->Value(), kRSS090) == 0)
                return DocumentKind::RSS090;
        }
    }
    return ToLowerASCII(name) == "html" ? DocumentKind::HTML : DocumentKind::OtherXML;
}

CFeedItems::CFeedItems(TiXmlDocument& document, DocumentKind kind, const std::string& finalUrl,
                       CTreeCharge& tree)
    : m_kind(kind), m_tree(tree)
{
    if (kind == DocumentKind::RSS) {
        TiXmlElement* rss = document.FirstChildElement("rss");
        if (rss == nullptr)
            return;
        rss->SetAttribute("xml:base", BaseOf(*rss, finalUrl));
        m_channel = rss->FirstChildElement("channel");
        m_source = m_channel;
        if (m_channel == nullptr)
            return;
        ShowTitleAsText(*m_channel);
        m_next = m_channel->FirstChildElement("item");
        return;
    }
    TiXmlElement* root = document.RootElement();
    if (root == nullptr ||
        (kind != DocumentKind::Atom && kind != DocumentKind::RDF && kind != DocumentKind::RSS090))
        return;
    m_source = root;
    // A "feed" without a namespace is read as if it declared Atom's.
    if (kind == DocumentKind::Atom && CNamespaceScope(*root).NamespaceOf(root->Value()) == nullptr)
        root->SetAttribute("xmlns", kAtom);
    m_sourceScope = std::make_unique<CNamespaceScope>(*root);
    m_base = BaseOf(*root, finalUrl);
    if (kind == DocumentKind::Atom) {
        BuildChannel(*root, *m_sourceScope);
    } else {
        // The root is this view's to change; ChildIn only finds the channel in it.
        TiXmlElement* channel = const_cast<TiXmlElement*>(
            m_sourceScope->ChildIn(kind == DocumentKind::RDF ? kRSS10 : kRSS090, "channel"));
        TiXmlElement none("channel");
        TiXmlElement& source = channel == nullptr ? none : *channel;
        BuildChannel(source, CNamespaceScope(source, m_sourceScope.get()));
    }
    m_next = root->FirstChildElement();
    while (m_next != nullptr && !IsEntry(*m_next))
        m_next = m_next->NextSiblingElement();
}

CFeedItems::~CFeedItems() = default;

bool CFeedItems::IsEntry(const TiXmlElement& element) const
{
    switch (m_kind) {
    case DocumentKind::Atom:
        return m_sourceScope->IsChildNamed(element, kAtom, "entry");
    case DocumentKind::RDF:
        return m_sourceScope->IsChildNamed(element, kRSS10, "item");
    case DocumentKind::RSS090:
        return m_sourceScope->IsChildNamed(element, kRSS090, "item");
    default:
        return false;
    }
}

void CFeedItems::BuildChannel(TiXmlElement& source, const CNamespaceScope& scope)
{
    m_view = std::make_unique<TiXmlDocument>();
    TiXmlElement* rss = m_view->LinkEndChild(new TiXmlElement("rss"))->ToElement();
    rss->SetAttribute("version", "2.0");
    rss->SetAttribute("xml:base", m_base);
    m_channel = rss->LinkEndChild(new TiXmlElement("channel"))->ToElement();
    if (m_kind == DocumentKind::Atom) {
        const AtomParts parts = ReadAtomParts(scope);
        AddChild(*m_channel, "title", PlainText(parts.title));
        AddChild(*m_channel, "link", AtomLink(parts.links, m_base));
        AddChild(*m_channel, "description", PlainText(parts.subtitle));
        AddChild(*m_channel, "lastBuildDate", MailDate(parts.updated));
        m_feedAuthor = PersonOf(parts.author, scope);
        m_refusal = MoveChildren(*m_channel, source, m_tree,
                                 [this](const TiXmlElement& element) { return !IsEntry(element); });
        return;
    }
    const char* space = m_kind == DocumentKind::RDF ? kRSS10 : kRSS090;
    AddChild(*m_channel, "title", TextOf(scope.ChildIn(space, "title")));
    const TiXmlElement* link = scope.ChildIn(space, "link");
    AddChild(*m_channel, "link", link == nullptr ? "" : ResolveReference(m_base, TextOf(link)));
    AddChild(*m_channel, "description", TextOf(scope.ChildIn(space, "description")));
    AddChild(*m_channel, "lastBuildDate", MailDate(scope.ChildIn(kDublinCore, "date")));
    m_refusal = MoveChildren(*m_channel, source, m_tree, [](const TiXmlElement&) { return true; });
}

std::unique_ptr<TiXmlElement> CFeedItems::BuildItem(TiXmlElement& entry)
{
    std::unique_ptr<TiXmlElement> item = std::make_unique<TiXmlElement>("item");
    const std::string base = BaseOf(entry, m_base);
    const CNamespaceScope scope(entry, m_sourceScope.get());
    if (m_kind == DocumentKind::Atom) {
        const AtomParts parts = ReadAtomParts(scope);
        AddChild(*item, "title", PlainText(parts.title));
        AddChild(*item, "link", AtomLink(parts.links, base));
        AddChild(*item, "description", AtomDescription(parts, base, m_base));
        AddChild(*item, "pubDate",
                 MailDate(parts.published != nullptr ? parts.published : parts.updated));
        AddChild(*item, "guid", TextOf(parts.id));
        AddChild(*item, "author",
                 parts.author != nullptr ? PersonOf(parts.author, scope) : m_feedAuthor);
        for (const TiXmlElement* category : parts.categories) {
            const char* term = category->Attribute("term");
            AddChild(*item, "category", term == nullptr ? "" : Trimmed(term));
        }
        m_refusal = MoveChildren(*item, entry, m_tree, [&parts](const TiXmlElement& element) {
            return std::find(parts.mapped.begin(), parts.mapped.end(), &element) ==
                   parts.mapped.end();
        });
        return item;
    }
    const char* space = m_kind == DocumentKind::RDF ? kRSS10 : kRSS090;
    const TiXmlElement* link = scope.ChildIn(space, "link");
    const TiXmlElement* content = scope.ChildIn(kContent, "encoded");
    AddChild(*item, "title", TextOf(scope.ChildIn(space, "title")));
    AddChild(*item, "link", link == nullptr ? "" : ResolveReference(base, TextOf(link)));
    const TiXmlElement* body = HasContent(content) ? content : scope.ChildIn(space, "description");
    AddChild(*item, "description",
             body != nullptr && body->FirstChildElement() != nullptr ? MarkupOf(*body)
                                                                     : TextOf(body));
    AddChild(*item, "pubDate", MailDate(scope.ChildIn(kDublinCore, "date")));
    AddChild(*item, "guid", RdfIdentity(scope));
    AddChild(*item, "author", TextOf(scope.ChildIn(kDublinCore, "creator")));
    for (const TiXmlElement* child = entry.FirstChildElement(); child != nullptr;
         child = child->NextSiblingElement()) {
        if (scope.IsChildNamed(*child, kDublinCore, "subject"))
            AddChild(*item, "category", TextOf(child));
    }
    m_refusal = MoveChildren(*item, entry, m_tree, [space, &scope](const TiXmlElement& element) {
        for (const char* name : {"title", "link", "description"}) {
            if (scope.IsChildNamed(element, space, name))
                return false;
        }
        for (const char* name : {"date", "creator", "subject"}) {
            if (scope.IsChildNamed(element, kDublinCore, name))
                return false;
        }
        return !scope.IsChildNamed(element, kContent, "encoded") && !IsGuid(element);
    });
    return item;
}

TiXmlElement* CFeedItems::Next()
{
    TiXmlElement* entry = m_next;
    if (entry == nullptr || m_refusal != MemoryRefusal::None)
        return nullptr;
    if (m_kind == DocumentKind::RSS) {
        m_next = entry->NextSiblingElement("item");
        return entry;
    }
    do
        m_next = m_next->NextSiblingElement();
    while (m_next != nullptr && !IsEntry(*m_next));
    std::unique_ptr<TiXmlElement> item = BuildItem(*entry);
    // The view holds all that is wanted of the entry now.
    m_source->RemoveChild(entry);
    if (m_refusal != MemoryRefusal::None)
        return nullptr;
    return m_channel->LinkEndChild(item.release())->ToElement();
}

void CFeedItems::Present(TiXmlElement& item) const
{
    if (m_kind != DocumentKind::RSS)
        return;
    ShowTitleAsText(item);
    TiXmlElement* description = item.FirstChildElement("description");
    if (description != nullptr && description->FirstChildElement() != nullptr) {
        ReplaceChildren(*description, MarkupOf(*description));
        return;
    }
    if (description != nullptr && HoldsText(*description))
        return;
    const TiXmlElement* content = nullptr;
    for (const TiXmlElement* child = item.FirstChildElement(); child != nullptr && !content;
         child = child->NextSiblingElement()) {
        // Also where the feed forgot to declare the prefix.
        if (IsNamed(*child, kContent, "encoded") || child->ValueStr() == "content:encoded")
            content = child;
    }
    if (!HasContent(content))
        return;
    if (description == nullptr)
        description = item.LinkEndChild(new TiXmlElement("description"))->ToElement();
    ReplaceChildren(*description, RssHtmlOf(*content));
}

void CFeedItems::Drop(TiXmlElement* item)
{
    m_channel->RemoveChild(item);
}
