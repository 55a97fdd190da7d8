#pragma once

#include <string>

// Finding the feed behind a web page, as browsers announce it: a <link> in the page whose
// `rel` holds "alternate" (and not "stylesheet") or "feed", and whose type is that of a feed.
// Free functions without state; any thread.

// Whether an answer (its header block and its body) is a web page rather than a document
// of XML: the body begins as HTML does, or it is declared as HTML and does not begin as XML
// does.
bool IsWebPage(const std::string& headers, const std::string& body);

// The URL of the first feed `page` links to, resolved against the page's own base (its
// <base href>, or else `pageUrl`); empty when it links to none.
std::string FindFeedLink(const std::string& page, const std::string& pageUrl);
