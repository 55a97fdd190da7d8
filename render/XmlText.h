#pragma once

#include <tinyxml.h>

#include <cstddef>
#include <string>

// The one way text reaches the XML parser. Three hazards of the parser are kept out here: it
// recurses once per level of element nesting, so a hostile document of deeply nested tags
// would exhaust the thread's stack and take the whole host process down; its time grows with
// the square of the attributes of one element (RepairXml measures both before any text is
// parsed); and a text that ends inside a UTF-8 character makes it step a few bytes past the
// text's terminating NUL.

// The deepest element nesting a document may have to be parsed. Real feeds stay far below.
constexpr int kMaxXmlDepth = 512;
// The most attributes one element may have for its document to be parsed: the parser checks
// every attribute against all before it in its element, so that an element of many costs
// time by their square. Real feeds give an element a dozen at most.
constexpr std::size_t kMaxXmlAttributes = 256;

// The nodes the parser makes of a text: what its tree holds until it is freed.
struct XmlNodeCount
{
    std::size_t elements = 0;
    std::size_t attributes = 0;
    std::size_t texts = 0;  // text and CDATA sections
    std::size_t others = 0; // declarations, comments, DOCTYPE and other markup
};

// An upper bound of the heap memory the parser's tree of a text of `textBytes` bytes takes
// when it holds `nodes`: every node at its size with the allocator's overhead, and every
// name, value and text it copies out of the text at twice its length (a string keeps room to
// grow, and each allocation has overhead of its own).
std::size_t EstimatedTreeBytes(const XmlNodeCount& nodes, std::size_t textBytes);

// The node after `node` in document order, below `top` (`node` is `top` or below it): its
// first child when `enterChildren` says so and it has one, else its next sibling, else the
// next sibling of its nearest ancestor below `top` that has one; null at the end. A walk over
// a tree of any depth needs no stack with it.
const TiXmlNode* NextNodeBelow(const TiXmlNode& top, const TiXmlNode* node, bool enterChildren);

// The same bound for a tree built already: `root` and every node below it, with the names,
// values and texts they hold standing for the text. Walks the tree without recursion.
std::size_t EstimatedTreeBytes(const TiXmlNode& root);

// Lends a text to the parser: while it lives, a few NUL bytes follow the text's own
// terminating one, so that every step the parser takes past the end still lands on a NUL
// within the text's memory. The text must outlive this object and stay unchanged meanwhile
// but by Parse; the padding is removed again on destruction. Used by one thread at a time.
class CXmlText
{
public:
    explicit CXmlText(std::string& text);
    ~CXmlText();
    CXmlText(const CXmlText&) = delete;
    CXmlText& operator=(const CXmlText&) = delete;

    // The padded text, valid while this object lives; the parser reads it up to its first NUL.
    const char* Text() const { return m_text.c_str(); }
    // The length of the text without the padding.
    std::size_t Size() const { return m_size; }

    // Mends the text (RepairXml, read as UTF-8 unless it declares another character set) and
    // parses it into the empty `document` when its elements nest at most kMaxXmlDepth deep,
    // and returns true; `document` then tells whether the parse succeeded. Returns false, with
    // `document` left empty, for a deeper text. The lent text is the mended one from then on.
    bool Parse(TiXmlDocument& document);

private:
    std::string& m_text;
    std::size_t m_size;
};
