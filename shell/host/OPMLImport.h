#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

// Moving subscriptions over from another feed reader: most of them export an OPML file, an
// "opml" element whose "body" holds "outline" elements, nested for folders, each feed an
// outline with an "xmlUrl" attribute.

// Writes the feed list for the OPML `document` to `list`: each feed's URL on a line of its
// own, preceded by a comment line with its title ("title" attribute, else "text") after the
// titles of the folders it sits in. No control character of the document reaches the list:
// titles escape them as PrintableText does, URLs percent-encode them. A feed listed twice is
// written once. Warnings go to `warnings`, one line each without line end: more feeds than a login
// reads, and a ";" in a URL (which the feed list would take for the start of a template path, so it
// is written as "%3B"). Returns the number of feeds written. Throws CTextException, with nothing
// written, for a document that is not OPML.
std::size_t ImportOPML(std::string document, std::ostream& list,
                       std::vector<std::string>& warnings);
