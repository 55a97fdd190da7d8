#pragma once

#include "render/ChannelValues.h"

#include <map>
#include <string>

class TiXmlElement;

// The message template used when a feed names none: 20 lines, each ended by one LF.
extern const std::string kBuiltInTemplate;

// Renders one feed item through a template into a complete mail message whose only line end
// is CR LF: the template's own line ends become CR LF (a CR in the template is dropped), and
// so does every CR LF, bare CR and bare LF of a value in the body. In the header (the lines
// before the template's first empty line) a value's CR and LF bytes become spaces instead.
// Values are otherwise unchanged, but for the header named Date: it gets the first date the
// feed gives when it would be empty, and a mail date in place of one in ISO 8601 form. Lines
// longer than 998 bytes are broken or folded. The item's document must stay alive during the
// call, which only reads it. The uid is offered to the template as the variable UIDL. Never
// fails on any template or item content (only memory can run out); several threads may
// expand at once.
std::string ExpandTemplate(const std::string& templateText, const TiXmlElement& item,
                           const std::string& uid);

// ExpandTemplate for one of several items of a feed rendered through the same template: what
// the template reads above the item is taken from `channelValues`, which the feed's items
// share (one thread at a time), and looked up only when it is not there yet.
std::string ExpandTemplate(const std::string& templateText, const TiXmlElement& item,
                           const std::string& uid, CChannelValues& channelValues);

// Template language
//
// A placeholder runs from one "%" to the next. "%+NAME%" is a variable. Any other placeholder
// selects from the item: optional flags "E" (header-encode the value) and "T" (no effect), in
// that order; then one "-" per step up to the parent element (the channel, then the rss
// element); then a path of "/child" steps that may end in "|attribute". The value is the
// attribute, or else the text of the selected element (see ElementText: all its text and
// CDATA pieces, else its first child's tag name or comment text). Whatever cannot be found
// gives empty text.

// Variables offered to a template, by exact (case-sensitive) name: BOUNDARY1, BOUNDARY2
// and UIDL. Made afresh for each expansion.
using TemplateVariables = std::map<std::string, std::string>;
