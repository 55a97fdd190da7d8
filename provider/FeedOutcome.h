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
};

// Why a feed gave no document, or gave up its messages.
enum class FeedFailure
{
    None,             // a document came
    Download,         // the download failed; FeedOutcome::downloadError says why
    NoAnswerInTime,   // the download had not ended when the login's wait was over
    OverMessageLimit, // its messages would pass the message limit of one login
    TooLarge,         // its tree would pass what one login may hold; see `elements`
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
    // The URL of the last request, after redirections; its response's status code ("200"),
    // empty when no response came; whether that response was still a redirection (the
    // download gave up following them); the download's time in milliseconds.
    std::string finalUrl;
    std::string status;
    bool redirectedTooOften = false;
    long long milliseconds = 0;
    // The proxy the last request went through ("via proxy HOST:PORT, from https_proxy");
    // empty when it went straight to the server.
    std::string route;
    // The document's size as downloaded (after decoding), and as it came compressed (0 when
    // it came uncompressed).
    std::size_t bytes = 0;
    std::size_t encodedBytes = 0;
    // Where the feed's first response said it moved for good (301 or 308); empty otherwise.
    std::string movedTo;
    // Whether the feed's copy served instead of an answer, how old it was (seconds), and for
    // a fallback why no answer served.
    CopyUse copyUse = CopyUse::None;
    long long copyAgeSeconds = 0;
    std::string fallbackReason;
    // Whether it parsed as XML (a document nested too deeply, or too large, is not parsed),
    // and the elements of a document too large to be.
    bool wellFormed = false;
    std::size_t elements = 0;
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
