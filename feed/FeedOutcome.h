#pragma once

#include "http/HTTPGet.h"

#include <cstddef>
#include <string>

// What a document turned out to be, as far as a user cares.
enum class DocumentKind
{
    None,     // no document came
    RSS,      // an "rss" root element
    Atom,     // a "feed" root element of Atom 1.0
    RDF,      // an RDF root element with items of RSS 1.0
    RSS090,   // an RDF root element with items of RSS 0.90
    HTML,     // a web page
    OtherXML, // well-formed XML of another kind
    NotXML,   // not well-formed XML
    Wide,     // UTF-16 or UTF-32 text that neither a byte order mark nor an XML declaration
              // told apart, so that it was not converted
    TooDeep,  // elements nested too deeply to be read
    TooManyAttributes, // an element with too many attributes to be read
};

// Whether a document of this kind is a feed.
inline bool IsFeedKind(DocumentKind kind)
{
    return kind == DocumentKind::RSS || kind == DocumentKind::Atom || kind == DocumentKind::RDF ||
           kind == DocumentKind::RSS090;
}

// Why a feed gave no document, or gave up its messages.
enum class FeedFailure
{
    None,             // a document came
    Download,         // the download failed; FeedOutcome::downloadError says why
    NoAnswerInTime,   // the download had not ended when the login's wait was over
    OverMessageLimit, // its messages would pass the message limit of one login
    TooLarge,         // its tree would pass what one login may hold; see `elements`
    RepairTooLarge,   // mended, it would pass its bound: its entities expand too far or deep
    OverAllLogins,    // its tree or messages would pass what all logins have left
};

// What became of one feed of a list at a login, for reports on a feed list. Filled in by
// the login's own steps as they pass; a login that nobody reports on fills it all the same.
struct FeedOutcome
{
    std::string url;
    // Whether the list names the feed past the most feeds a login reads; a login never
    // looks at it, so nothing else is known.
    bool pastLimit = false;
    // Why no document came, or why its messages were dropped; for a failed download also
    // the download's own error text.
    FeedFailure failure = FeedFailure::None;
    std::string downloadError;
    // What the download went through: the last request and its response, whether and how
    // the feed's copy served instead. Its header block is not kept.
    DownloadTrace download;
    // The document's size as downloaded (after decoding).
    std::size_t bytes = 0;
    // Whether it parsed as XML (a document nested too deeply, or too large, is not parsed),
    // and the elements the document has, once measured (told of a document too large).
    bool wellFormed = false;
    std::size_t elements = 0;
    // Whether it failed to parse and its complete items were saved from it (SalvageXml): then
    // the "item" and "entry" elements it starts, and those it holds whole.
    bool salvaged = false;
    std::size_t salvageItems = 0;
    std::size_t salvageKeptItems = 0;
    // The character set its XML declaration names (empty when none), and whether it was
    // converted from that character set to UTF-8.
    std::string charset;
    bool converted = false;
    // What the document is; for NotXML, the parser's complaint and where it stopped (1-based;
    // 0 when the parser does not know).
    DocumentKind kind = DocumentKind::None;
    std::string rssVersion;
    std::string errorText;
    int errorLine = 0;
    int errorColumn = 0;
    // The messages rendered from its items, and how many of them the seen store left out.
    std::size_t items = 0;
    std::size_t seen = 0;
    // The template file the list names for the feed (empty: the built-in template), and
    // whether it could not be read or was too large to be, so that the built-in template
    // was used instead.
    std::string templateName;
    bool templateMissing = false;
    bool templateTooLarge = false;
    // For a template file that is there but not read, why its content is not the user's
    // (WhyNotTheUsers in FeedList.h); empty otherwise.
    std::string templateDistrust;
};
