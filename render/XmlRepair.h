#pragma once

#include "render/XmlText.h"

#include <cstddef>
#include <string>

class CByteCharge;

// Mending what feeds get wrong about XML before the parser sees it, and saving what a
// document still holds when it fails to parse all the same. Both passes read a text once,
// from start to end, and also find out how deeply its elements nest and how many nodes the
// parser makes of it: the parser recurses once per level of nesting, so no text reaches it
// that these passes did not find shallow. Free functions without state; several threads may
// work at once, each on its own text.

// How a pass ended.
enum class XmlRepairStatus
{
    Done,       // the text is ready for the parser
    TooDeep,    // its elements nest deeper than kMaxXmlDepth
    TooManyAttributes, // an element has more than kMaxXmlAttributes attributes
    TooLarge,   // the mended text would pass `maxBytes`: entities that expand too far or too
                // deep (more than kMaxEntityNesting), among others
    OverBudget, // the charge could not cover the mended copy
};

// An entity's text may name other entities this deep, and no deeper.
constexpr int kMaxEntityNesting = 8;

// What a pass is allowed.
struct XmlRepairBounds
{
    // Whether the parser reads the text as UTF-8 (see ReadsAsUtf8): every byte of it that
    // belongs to no UTF-8 character becomes U+FFFD.
    bool utf8 = true;
    // The most bytes the mended text may hold, and with the entities it expands, the most
    // bytes of entity text it may read.
    std::size_t maxBytes = 0;
    // Elements may nest this deep, and no deeper.
    int maxDepth = kMaxXmlDepth;
    // Pays for the room a mended copy takes while it grows, when given; it must outlive the
    // copy (the caller's text), which is never freed here.
    CByteCharge* charge = nullptr;
};

// What a pass found.
struct XmlRepairResult
{
    XmlRepairStatus status = XmlRepairStatus::Done;
    // Whether the text was replaced by a mended copy.
    bool copied = false;
    // At least as many nodes of each kind as the parser makes of the text (exactly as many
    // for a well-formed document without CDATA sections of white space alone).
    XmlNodeCount nodes;
    // SalvageXml: the "item" and "entry" elements the text starts, and those kept whole.
    std::size_t items = 0;
    std::size_t keptItems = 0;
};

// The bounds of mending `text` as the parser reads it: as UTF-8 unless it declares another
// character set (render/Charset), growing by at most the bound of a response (HTTPGet), with
// no charge. The text is lent for the look and left as it was.
XmlRepairBounds RepairBoundsOf(std::string& text);

// Mends `text` in one pass, outside comments, CDATA sections and processing instructions:
// an "&" that begins no reference becomes "&amp;"; an HTML name ("&nbsp;") becomes the
// numeric reference of its characters; a general entity the document's own DTD declares with
// text alone is expanded, at most kMaxEntityNesting deep; a "<" that starts no markup becomes
// "&lt;"; with `bounds.utf8`, every byte that belongs to no UTF-8 character becomes U+FFFD.
// A DOCTYPE with an internal subset, and markup the parser would end at another ">" than its
// own end, are left out (with the line ends they spanned). The text is read up to its first
// NUL byte, as the parser reads it. A text that needs none of this is left untouched and not
// copied; otherwise the mended copy replaces it whole. A pass that stops leaves it as it was.
XmlRepairResult RepairXml(std::string& text, const XmlRepairBounds& bounds);

// Replaces a text that RepairXml mended and that the parser still refused with one it reads:
// an element whose end tag is missing ends where an end tag of an element around it comes, or
// at the end of the text; an end tag that ends no open element is dropped; an "item" or
// "entry" element (in any namespace) that did not end with its own end tag is left out whole;
// attributes the parser cannot read or reads twice are dropped, and so is text outside the
// elements. Always copies.
XmlRepairResult SalvageXml(std::string& text, const XmlRepairBounds& bounds);
