#pragma once

#include <string>

class TiXmlElement;

// What a template reads of a parsed element: its text, as the feed wrote it in one piece or
// several. Pure functions of their arguments, which they only read; any thread.

// The parser drops the blanks at either end of a text that an element or a CDATA section
// adjoins, and every text of blanks alone, so the words on either side would run together.
// Whether a blank goes back between the text `before` and the text `after` that follows it:
// yes, but where either is empty, or where punctuation closes `after` onto `before` or
// opens `before` onto `after`.
bool NeedsBlankBetween(const std::string& before, const std::string& after);

// The value of `element` for a template: its text and CDATA pieces in document order, with
// a blank put back between two where NeedsBlankBetween asks for one (two CDATA sections in a
// row, which keep their own blanks, are joined as they stand). An element without any such
// piece gives the value of its first child node (the tag name of an element, the text of a
// comment), or empty text when it has no child.
std::string ElementText(const TiXmlElement& element);
