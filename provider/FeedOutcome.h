#pragma once

#include <cstddef>
#include <string>

class TiXmlDocument;

// What a document turned out to be, as far as a user cares.
enum class DocumentKind
{
    None,     // no document came
    RSS,      // an "rss" root element: the only kind that gives messages
    Atom,     // a "feed" root element
    RDF,      // an "rdf:RDF" root element: RSS 1.0 and 0.90
    HTML,     // a web page
    OtherXML, // well-formed XML of another kind
    NotXML,   // not well-formed XML
    Wide,     // text in UTF-16 or UTF-32, which is not read
    TooDeep,  // elements nested too deeply to be read
};

// The failure of a feed whose download had not ended when the login's wait was over.
extern const char kNoAnswerInTime[];

// What became of one feed of a list at a login, for reports on a feed list. Filled in by
// the login's own steps as they pass; a login that nobody reports on fills it all the same.
struct FeedOutcome
{
    std::string url;
    // Whether the list names the feed past the most feeds a login reads; a login never
    // looks at it, so nothing else is known.
    bool pastLimit = false;
    // Why no document came (the download's own error text); empty when one came.
    std::string failure;
    // The URL of the last request, after redirections; its response's status code ("200"),
    // empty when no response came; whether that response was still a redirection (the
    // download gave up following them); the download's time in milliseconds.
    std::string finalUrl;
    std::string status;
    bool redirectedTooOften = false;
    long long milliseconds = 0;
    // The document's size as downloaded.
    std::size_t bytes = 0;
    // Whether it parsed as XML (a document nested too deeply is not parsed).
    bool wellFormed = false;
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
};

// Sets the kind of `document` in `outcome` from the parse of it in `xml`, with the place of
// a parse error (as far as the parse tracked it); with `xml` null, as a document nested too
// deeply to be parsed. Looks at the root element's name and, for documents that are not
// XML, at their first bytes.
void DescribeDocument(const std::string& document, const TiXmlDocument* xml, FeedOutcome& outcome);
