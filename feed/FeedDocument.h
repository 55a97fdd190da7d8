#pragma once

#include "feed/FeedOutcome.h"
#include "feed/Message.h"

#include <string>

class CLoginMemory;
class TiXmlElement;

// Reading one downloaded feed document into messages: parsing it, finding its items and
// rendering each through the feed's template. Free functions without state of their own;
// several threads may read documents at once, each its own.

// The messages of the items of `document` rendered through `templateText`: the items of the
// first "channel" of its "rss" element, or the entries of an Atom 1.0, RSS 1.0 or RSS 0.90
// document, each seen as an RSS item (CFeedItems); `finalUrl`, the URL the document was
// fetched from, is the base of its relative links. Empty for any other document and for a
// document nested too deeply to parse (see CXmlText). `outcome` learns whether the document
// parsed, what it is and how many messages it gave; with `locateErrors`, also where a parse failed.
// The tree is charged to `memory` with its estimate before it is built, and given back once it is
// freed; a document whose tree does not fit gives no messages. The text is released as soon as it
// is parsed, and each item as soon as it is rendered. The messages' memory is taken from `memory`
// too; when it cannot cover them all, the feed gives none. `outcome` says why.
MessageList ReadFeedDocument(std::string document, const std::string& templateText,
                             const std::string& finalUrl, CLoginMemory& memory,
                             FeedOutcome& outcome, bool locateErrors = false);

// Sets the uid of `message` to the fingerprint, and its identity to the strong identity, of
// the item's first "guid" child, else of its first "link" child, else of the whole item, each
// as the XML library writes it out without any formatting.
void IdentifyItem(const TiXmlElement& item, MessageEntry& message);
