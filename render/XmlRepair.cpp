#include "render/XmlRepair.h"

#include "common/PrintableText.h"
#include "http/ByteBudget.h"
#include "http/HTTPGet.h"
#include "render/Charset.h"
#include "render/HtmlEntities.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <string_view>
#include <vector>

namespace {

const char kReplacementCharacter[] = "\xEF\xBF\xBD";

// The names a reference may carry are short; a longer run is no reference.
constexpr std::size_t kMaxReferenceName = 64;

bool IsBlank(unsigned char byte)
{
    return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r';
}

// What starts an element's name for the parser: an ASCII letter, "_", or any byte of a
// character beyond ASCII. DEL counts as a letter to the parser, so it starts no name here.
bool IsNameStart(unsigned char byte)
{
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || byte == '_' ||
           byte >= 0x80;
}

// What the parser reads as part of a name after its start.
bool IsNameByte(unsigned char byte)
{
    return IsNameStart(byte) || (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' ||
           byte == ':' || byte == 0x7F;
}

bool IsCharacter(unsigned long code)
{
    return code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
           (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
}

// The length of a numeric character reference at `p` ("&#160;", "&#xA0;") that the parser
// reads as a character XML allows, or 0.
std::size_t NumericReferenceLength(const char* p)
{
    const bool hex = p[2] == 'x';
    const char* q = p + (hex ? 3 : 2);
    const char* const digits = q;
    unsigned long code = 0;
    for (;; ++q) {
        const unsigned char byte = static_cast<unsigned char>(*q);
        unsigned digit = 0;
        if (byte >= '0' && byte <= '9')
            digit = byte - '0';
        else if (hex && byte >= 'a' && byte <= 'f')
            digit = byte - 'a' + 10;
        else if (hex && byte >= 'A' && byte <= 'F')
            digit = byte - 'A' + 10;
        else
            break;
        code = code * (hex ? 16 : 10) + digit;
        if (code > 0x10FFFF)
            return 0;
    }
    if (q == digits || *q != ';' || !IsCharacter(code))
        return 0;
    return static_cast<std::size_t>(q + 1 - p);
}

// The length of one of the references XML knows by name at `p` ("&lt;"), or 0. Feeds are
// full of them, so they are told apart before any other reference.
std::size_t PredefinedReferenceLength(const char* p)
{
    switch (p[1]) {
    case 'l':
    case 'g':
        return p[2] == 't' && p[3] == ';' ? 4 : 0;
    case 'a':
        if (p[2] == 'm')
            return p[3] == 'p' && p[4] == ';' ? 5 : 0;
        return p[2] == 'p' && p[3] == 'o' && p[4] == 's' && p[5] == ';' ? 6 : 0;
    case 'q':
        return p[2] == 'u' && p[3] == 'o' && p[4] == 't' && p[5] == ';' ? 6 : 0;
    default:
        return 0;
    }
}

bool IsPredefined(std::string_view name)
{
    return name == "amp" || name == "lt" || name == "gt" || name == "quot" || name == "apos";
}

bool StartsWith(const char* p, const char* end, std::string_view prefix)
{
    return static_cast<std::size_t>(end - p) >= prefix.size() &&
           std::memcmp(p, prefix.data(), prefix.size()) == 0;
}

// Where the next `pattern` at or after a position is, remembered: a text with many starts of
// markup and no end for them is searched once, not once per start.
class CNextMatch
{
public:
    explicit CNextMatch(std::string_view pattern) : m_pattern(pattern) {}

    // The first `pattern` at or after `from`, or `end`.
    const char* From(const char* from, const char* end)
    {
        if (m_found == nullptr || m_found < from) {
            const std::string_view rest(from, static_cast<std::size_t>(end - from));
            const std::size_t at = rest.find(m_pattern);
            m_found = at == std::string_view::npos ? end : from + at;
        }
        return m_found;
    }

    std::size_t Length() const { return m_pattern.size(); }

private:
    std::string_view m_pattern;
    const char* m_found = nullptr;
};

// Thrown within a pass to end it; never leaves this file.
struct PassStopped
{
    XmlRepairStatus status;
};

// The text a pass writes, and what it counts: a mended copy of its input that grows within
// the pass's bounds. Used by one pass.
class COutput
{
public:
    explicit COutput(const XmlRepairBounds& bounds)
        : m_bounds(bounds), m_charge(bounds.charge != nullptr ? *bounds.charge : m_unpaid)
    {}

    void Append(const char* from, std::size_t length)
    {
        const std::size_t needed = m_text.size() + length;
        if (needed > m_text.capacity())
            Grow(needed);
        m_text.append(from, length);
    }
    void Append(std::string_view text) { Append(text.data(), text.size()); }

    // Makes room for the whole of a text of `bytes` at once.
    void Reserve(std::size_t bytes)
    {
        if (bytes > m_text.capacity())
            Grow(bytes);
    }

    std::string& Text() { return m_text; }

private:
    void Grow(std::size_t needed)
    {
        if (needed > m_bounds.maxBytes)
            throw PassStopped{XmlRepairStatus::TooLarge};
        if (m_charge.Grow(m_text, needed, 0, m_bounds.maxBytes) != nullptr)
            throw PassStopped{XmlRepairStatus::OverBudget};
    }

    const XmlRepairBounds& m_bounds;
    CByteCharge m_unpaid{nullptr};
    CByteCharge& m_charge;
    std::string m_text;
};

// The reading of markup both passes share: where each kind of markup ends. `m_end` is the
// end of the text the parser reads (its first NUL byte).
class CMarkupReader
{
public:
    explicit CMarkupReader(const std::string& text)
        : m_begin(text.c_str()), m_end(m_begin + std::strlen(m_begin))
    {}

protected:
    // The end of the start tag at `p`: after its ">" (not one within a quoted value), or null
    // where the text ends first. `attributes` counts the "=" outside quotes, which are at least
    // as many as the attributes the parser reads; more than kMaxXmlAttributes stop the pass.
    const char* TagEnd(const char* p, std::size_t& attributes) const
    {
        std::size_t found = 0;
        for (++p; p < m_end; ++p) {
            if (*p == '>')
                break;
            if (*p == '"' || *p == '\'') {
                const void* close = std::memchr(p + 1, *p, static_cast<std::size_t>(m_end - p - 1));
                if (close == nullptr) {
                    p = m_end;
                    break;
                }
                p = static_cast<const char*>(close);
            } else if (*p == '=') {
                ++found;
            }
        }
        if (found > kMaxXmlAttributes)
            throw PassStopped{XmlRepairStatus::TooManyAttributes};
        attributes += found;
        return p < m_end ? p + 1 : nullptr;
    }

    // The end of markup the parser reads up to its first ">" ("<!x>", "</x>"), or the text's.
    const char* UpToGreaterThan(const char* p) const
    {
        const void* close = std::memchr(p, '>', static_cast<std::size_t>(m_end - p));
        return close == nullptr ? m_end : static_cast<const char*>(close) + 1;
    }

    // The end of the comment or CDATA section at `p`, as the parser finds it: after `close`,
    // or null where the text ends first.
    const char* SectionEnd(const char* p, std::size_t openLength, CNextMatch& close) const
    {
        const char* const found = close.From(p + openLength, m_end);
        return found == m_end ? nullptr : found + close.Length();
    }

    // How the parser reads "<?" at `p`: the end of a processing instruction it reads as one
    // ("<?name ...?>" with no other ">" in it), `p` itself for one it would end elsewhere (to
    // be left out up to `dropTo`), or null where "<?" starts no markup: "?>" never follows.
    const char* InstructionEnd(const char* p, const char*& dropTo)
    {
        if (!IsNameStart(static_cast<unsigned char>(p[2])))
            return nullptr;
        const char* const close = m_instructionEnd.From(p + 2, m_end);
        if (close == m_end)
            return nullptr;
        dropTo = close + 2;
        if (StartsWithXml(p))
            return XmlDeclarationEnd(p + 5) == dropTo ? dropTo : p;
        return UpToGreaterThan(p + 2) == dropTo ? dropTo : p;
    }

    const char* m_begin;
    const char* m_end;
    CNextMatch m_commentEnd{"-->"};
    CNextMatch m_cdataEnd{"]]>"};
    CNextMatch m_instructionEnd{"?>"};

private:
    // Whether the parser takes "<?" at `p` for an XML declaration: "<?xml" in any case.
    bool StartsWithXml(const char* p) const
    {
        static const char kXml[] = "<?xml";
        for (std::size_t i = 0; i < 5; ++i) {
            if (p + i >= m_end || (p[i] | (i >= 2 ? 0x20 : 0)) != kXml[i])
                return false;
        }
        return true;
    }

    bool StartsWithWord(const char* p, std::string_view word) const
    {
        for (std::size_t i = 0; i < word.size(); ++i) {
            if (p + i >= m_end || (p[i] | 0x20) != word[i])
                return false;
        }
        return true;
    }

    // White space as the parser skips it, with the marks it takes for byte order marks.
    const char* SkipWhiteSpace(const char* p) const
    {
        for (;;) {
            if (StartsWith(p, m_end, "\xEF\xBB\xBF") || StartsWith(p, m_end, "\xEF\xBF\xBE") ||
                StartsWith(p, m_end, "\xEF\xBF\xBF"))
                p += 3;
            else if (p < m_end &&
                     (IsBlank(static_cast<unsigned char>(*p)) || *p == '\v' || *p == '\f'))
                ++p;
            else
                return p;
        }
    }

    // Where the parser's reading of an XML declaration from `p` (after "<?xml") ends: after
    // the first ">" outside the quoted values of its version, encoding and standalone, or
    // null where it fails.
    const char* XmlDeclarationEnd(const char* p) const
    {
        while (p < m_end) {
            if (*p == '>')
                return p + 1;
            p = SkipWhiteSpace(p);
            if (StartsWithWord(p, "version") || StartsWithWord(p, "encoding") ||
                StartsWithWord(p, "standalone")) {
                while (p < m_end && IsNameByte(static_cast<unsigned char>(*p)))
                    ++p;
                p = SkipWhiteSpace(p);
                if (p == m_end || *p != '=')
                    return nullptr;
                p = SkipWhiteSpace(p + 1);
                if (p == m_end)
                    return nullptr;
                if (*p == '"' || *p == '\'') {
                    const void* close =
                        std::memchr(p + 1, *p, static_cast<std::size_t>(m_end - p - 1));
                    if (close == nullptr)
                        return nullptr;
                    p = static_cast<const char*>(close) + 1;
                } else {
                    while (p < m_end && !IsBlank(static_cast<unsigned char>(*p)) && *p != '/' &&
                           *p != '>') {
                        if (*p == '"' || *p == '\'')
                            return nullptr;
                        ++p;
                    }
                }
            } else {
                while (p < m_end && *p != '>' && !IsBlank(static_cast<unsigned char>(*p)))
                    ++p;
            }
        }
        return nullptr;
    }
};

// The bytes that end a stretch of bytes kept as they are, of some of the kinds: "<", "&",
// and every byte beyond ASCII (checked as UTF-8). Most of a feed is such a stretch, so it is
// read eight bytes at a time.
class CStops
{
public:
    CStops(bool lessThan, bool ampersand, bool beyondAscii)
        : m_lessThan(lessThan), m_ampersand(ampersand), m_beyondAscii(beyondAscii)
    {
        for (int byte = 0; byte < 256; ++byte)
            m_stops[byte] = (lessThan && byte == '<') || (ampersand && byte == '&') ||
                            (beyondAscii && byte >= 0x80);
    }

    // The first of the bytes from `p` on that ends the stretch, or `end`.
    const char* Skip(const char* p, const char* end) const
    {
        constexpr std::uint64_t kOnes = 0x0101010101010101;
        constexpr std::uint64_t kHigh = 0x8080808080808080;
        while (end - p >= 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, p, sizeof word);
            // A byte of `word` is zero where it equals the byte looked for.
            const std::uint64_t lessThan = word ^ (kOnes * '<');
            const std::uint64_t ampersand = word ^ (kOnes * '&');
            const std::uint64_t found = (m_lessThan ? (lessThan - kOnes) & ~lessThan : 0) |
                                        (m_ampersand ? (ampersand - kOnes) & ~ampersand : 0) |
                                        (m_beyondAscii ? word : 0);
            if ((found & kHigh) != 0)
                break;
            p += sizeof word;
        }
        while (p < end && !m_stops[static_cast<unsigned char>(*p)])
            ++p;
        return p;
    }

private:
    const bool m_lessThan;
    const bool m_ampersand;
    const bool m_beyondAscii;
    bool m_stops[256];
};

// The one pass of RepairXml.
class CRepair : CMarkupReader
{
public:
    CRepair(const std::string& text, const XmlRepairBounds& bounds)
        : CMarkupReader(text), m_text(text), m_bounds(bounds), m_output(bounds),
          m_textStops(true, true, bounds.utf8), m_valueStops(false, true, bounds.utf8),
          m_characterStops(false, false, bounds.utf8), m_pending(m_begin)
    {}

    XmlRepairResult Run(std::string& text)
    {
        try {
            for (const char* p = m_begin; p < m_end;)
                p = Markup(Text(p));
            if (m_result.copied) {
                Flush(m_end);
                text.swap(m_output.Text());
            }
        } catch (const PassStopped& stopped) {
            m_result.status = stopped.status;
            m_result.copied = false;
        }
        return m_result;
    }

private:
    // Reads plain text from `p` up to the markup that ends it, mending on the way; returns
    // where the markup starts, or the end.
    const char* Text(const char* p)
    {
        bool counted = false;
        auto count = [&] {
            if (!counted)
                ++m_result.nodes.texts;
            counted = true;
        };
        while (p < m_end && IsBlank(static_cast<unsigned char>(*p)))
            ++p;
        if (p != m_end && *p != '<')
            count();
        for (;;) {
            p = m_textStops.Skip(p, m_end);
            if (*p == '<') {
                if (StartsMarkup(p))
                    return p;
                count();
                Replace(p, p + 1, "&lt;");
                ++p;
            } else if (*p == '&') {
                p = Reference(p, true, 0);
            } else if (p != m_end) {
                p = Character(p, true);
            } else {
                return p;
            }
        }
    }

    bool StartsMarkup(const char* p)
    {
        const unsigned char next = static_cast<unsigned char>(p[1]);
        const char* dropTo = nullptr;
        return next == '/' || next == '!' || IsNameStart(next) ||
               (next == '?' && InstructionEnd(p, dropTo) != nullptr);
    }

    // Reads the markup at `p` (or nothing at the end); returns where it ends.
    const char* Markup(const char* p)
    {
        if (p == m_end)
            return p;
        if (p[1] == '/') {
            // Outside every element the parser takes an end tag for other markup.
            if (m_depth > 0)
                --m_depth;
            else
                ++m_result.nodes.others;
            return Checked(p, UpToGreaterThan(p), false);
        }
        if (p[1] == '?') {
            const char* dropTo = nullptr;
            const char* const end = InstructionEnd(p, dropTo);
            if (end == p)
                return Leave(p, dropTo);
            ++m_result.nodes.others;
            return Checked(p, end, false);
        }
        if (p[1] == '!') {
            if (StartsWith(p, m_end, "<!--")) {
                ++m_result.nodes.others;
                return Checked(p, OrEnd(SectionEnd(p, 4, m_commentEnd)), false);
            }
            if (StartsWith(p, m_end, "<![CDATA[")) {
                ++m_result.nodes.texts;
                return Checked(p, OrEnd(SectionEnd(p, 9, m_cdataEnd)), false);
            }
            if (StartsWith(p, m_end, "<!DOCTYPE") && m_result.nodes.elements == 0) {
                // One DOCTYPE is read, and kept where the parser ends it where it ends; a
                // broken one, and any after it, go up to where the parser would end them.
                const char* const end = m_doctypeRead ? nullptr : DoctypeEnd(p);
                m_doctypeRead = true;
                if (end == nullptr) {
                    m_entities.clear();
                    return Leave(p, UpToGreaterThan(p));
                }
                if (end != UpToGreaterThan(p))
                    return Leave(p, end);
            }
            ++m_result.nodes.others;
            return Checked(p, UpToGreaterThan(p), false);
        }
        return StartTag(p);
    }

    const char* StartTag(const char* p)
    {
        // Every element being read is one level of the parser's recursion, also one that
        // turns out to have no content.
        if (m_depth >= m_bounds.maxDepth)
            throw PassStopped{XmlRepairStatus::TooDeep};
        ++m_result.nodes.elements;
        const char* const end = TagEnd(p, m_result.nodes.attributes);
        if (end == nullptr)
            return Checked(p, m_end, true);
        if (end[-2] != '/')
            ++m_depth;
        return Checked(p, end, true);
    }

    const char* OrEnd(const char* end) const { return end == nullptr ? m_end : end; }

    // Checks the markup [p, end) that is kept as it is: its characters, and with
    // `references` the references in its quoted values. Returns `end`.
    const char* Checked(const char* p, const char* end, bool references)
    {
        if (!references) {
            while (m_bounds.utf8 && (p = m_characterStops.Skip(p, end)) < end)
                p = Character(p, true);
            return end;
        }
        if (m_valueStops.Skip(p, end) == end)
            return end;
        char quote = 0;
        while (p < end) {
            const unsigned char byte = static_cast<unsigned char>(*p);
            if (references && (byte == '"' || byte == '\'')) {
                quote = quote == 0 ? *p : quote == *p ? 0 : quote;
                ++p;
            } else if (byte == '&' && quote != 0) {
                p = Reference(p, true, 0);
            } else if (byte >= 0x80 && m_bounds.utf8) {
                p = Character(p, true);
            } else {
                ++p;
            }
        }
        return end;
    }

    // Reads the character at `p`, which begins with a byte beyond ASCII, as UTF-8.
    const char* Character(const char* p, bool inText)
    {
        const std::size_t length =
            Utf8CharacterLength(m_text, static_cast<std::size_t>(p - m_begin));
        if (length != 0)
            return p + length;
        Replace(p, p + 1, kReplacementCharacter, inText);
        return p + 1;
    }

    // Reads the "&" at `p`: a reference the parser reads stays; an HTML name becomes its
    // numeric reference; a declared entity is expanded (`nesting` deep in other entities so
    // far); any other "&" becomes "&amp;". `inText` tells whether `p` is in the text itself
    // rather than in an entity's value being expanded.
    const char* Reference(const char* p, bool inText, int nesting)
    {
        if (const std::size_t length = PredefinedReferenceLength(p))
            return Kept(p, p + length, inText);
        if (p[1] == '#') {
            const std::size_t length = NumericReferenceLength(p);
            if (length != 0)
                return Kept(p, p + length, inText);
        } else {
            const char* q = p + 1;
            // The text read ends in a NUL byte, and so does an entity's value.
            while (q - p <= static_cast<std::ptrdiff_t>(kMaxReferenceName) &&
                   IsNameByte(static_cast<unsigned char>(*q)))
                ++q;
            const std::string_view name(p + 1, static_cast<std::size_t>(q - p - 1));
            if (*q == ';' && !name.empty() && IsNameStart(static_cast<unsigned char>(name[0]))) {
                if (IsPredefined(name))
                    return Kept(p, q + 1, inText);
                const auto declared = m_entities.find(name);
                if (declared != m_entities.end()) {
                    Replace(p, q + 1, std::string_view(), inText);
                    Expand(declared->second, nesting + 1);
                    return q + 1;
                }
                const std::string_view reference = HtmlEntityReference(name);
                if (!reference.empty()) {
                    Replace(p, q + 1, reference, inText);
                    return q + 1;
                }
            }
        }
        Replace(p, p + 1, "&amp;", inText);
        return p + 1;
    }

    // Keeps the reference [p, end) as it is: in the text where it stands, or else written
    // out with the value of the entity being expanded. Returns `end`.
    const char* Kept(const char* p, const char* end, bool inText)
    {
        if (!inText)
            m_output.Append(p, static_cast<std::size_t>(end - p));
        return end;
    }

    // Writes the value of an entity, mended as text is, with the entities it names.
    void Expand(const std::string& value, int nesting)
    {
        m_entityBytes += value.size();
        if (nesting > kMaxEntityNesting || m_entityBytes > m_bounds.maxBytes)
            throw PassStopped{XmlRepairStatus::TooLarge};
        const char* p = value.c_str();
        const char* const end = p + value.size();
        while (p < end) {
            const char* const run = p;
            while (p < end && *p != '&' && static_cast<unsigned char>(*p) < 0x80)
                ++p;
            m_output.Append(run, static_cast<std::size_t>(p - run));
            if (p == end)
                break;
            if (*p == '&') {
                p = Reference(p, false, nesting);
                continue;
            }
            const std::size_t length =
                m_bounds.utf8
                    ? Utf8CharacterLength(value, static_cast<std::size_t>(p - value.c_str()))
                    : 1;
            m_output.Append(length == 0 ? std::string_view(kReplacementCharacter)
                                        : std::string_view(p, length));
            p += length == 0 ? 1 : length;
        }
    }

    // Where the DOCTYPE at `p` ends, read as XML reads it (quoted literals, an internal
    // subset), or null where it does not end; its general entities with text alone are
    // declared on the way.
    const char* DoctypeEnd(const char* p)
    {
        p = OutsideLiterals(p + std::strlen("<!DOCTYPE"), "[>");
        if (p == nullptr)
            return nullptr;
        if (*p == '[') {
            p = SubsetEnd(p + 1);
            if (p == nullptr)
                return nullptr;
            while (p < m_end && IsBlank(static_cast<unsigned char>(*p)))
                ++p;
        }
        return p < m_end && *p == '>' ? p + 1 : nullptr;
    }

    // After the closing quote of the literal at `p`, or null.
    const char* QuotedEnd(const char* p) const
    {
        const void* close = std::memchr(p + 1, *p, static_cast<std::size_t>(m_end - p - 1));
        return close == nullptr ? nullptr : static_cast<const char*>(close) + 1;
    }

    // The first of `stops` from `p` on that no quoted literal holds, or null.
    const char* OutsideLiterals(const char* p, const char* stops) const
    {
        while (p != nullptr && p < m_end && std::strchr(stops, *p) == nullptr)
            p = *p == '"' || *p == '\'' ? QuotedEnd(p) : p + 1;
        return p != nullptr && p < m_end ? p : nullptr;
    }

    // After the "]" that closes the internal subset beginning at `p`, or null.
    const char* SubsetEnd(const char* p)
    {
        while (p < m_end) {
            if (*p == ']')
                return p + 1;
            if (StartsWith(p, m_end, "<!--")) {
                p = SectionEnd(p, 4, m_commentEnd);
            } else if (StartsWith(p, m_end, "<?")) {
                p = SectionEnd(p, 2, m_instructionEnd);
            } else if (StartsWith(p, m_end, "<!ENTITY")) {
                p = EntityDeclaration(p + std::strlen("<!ENTITY"));
            } else if (*p == '<') {
                p = MarkupDeclarationEnd(p);
            } else {
                ++p;
            }
            if (p == nullptr)
                return nullptr;
        }
        return nullptr;
    }

    // After the ">" of a declaration in the subset, quoted literals read over; or null.
    const char* MarkupDeclarationEnd(const char* p) const
    {
        p = OutsideLiterals(p + 1, ">");
        return p == nullptr ? nullptr : p + 1;
    }

    // Reads "name 'value'>" after "<!ENTITY" and declares a general entity whose value is
    // text alone (no markup, no parameter entities); the first declaration of a name holds.
    const char* EntityDeclaration(const char* p)
    {
        const char* const start = p;
        while (p < m_end && IsBlank(static_cast<unsigned char>(*p)))
            ++p;
        const char* const name = p;
        while (p < m_end && IsNameByte(static_cast<unsigned char>(*p)))
            ++p;
        const std::string_view entity(name, static_cast<std::size_t>(p - name));
        const char* const nameEnd = p;
        while (p < m_end && IsBlank(static_cast<unsigned char>(*p)))
            ++p;
        if (p == nameEnd || entity.empty() || (*p != '"' && *p != '\''))
            return MarkupDeclarationEnd(start - 1);
        const char* const valueEnd = QuotedEnd(p);
        if (valueEnd == nullptr)
            return nullptr;
        const std::string_view value(p + 1, static_cast<std::size_t>(valueEnd - p - 2));
        if (value.find_first_of("<%") == std::string_view::npos && !IsPredefined(entity) &&
            IsNameStart(static_cast<unsigned char>(entity[0])))
            m_entities.emplace(std::string(entity), std::string(value));
        return MarkupDeclarationEnd(valueEnd - 1);
    }

    // Leaves out the markup [p, end) but for its line ends, which keep the lines that follow
    // where they were.
    const char* Leave(const char* p, const char* end)
    {
        Replace(p, end, std::string_view());
        for (const char* q = p; q < end; ++q) {
            if (*q == '\n')
                m_output.Append("\n", 1);
        }
        return end;
    }

    // Writes `replacement` in place of [from, to): of the text itself when `inText`, where the
    // copy then begins, otherwise of an entity's value being written.
    void Replace(const char* from, const char* to, std::string_view replacement, bool inText = true)
    {
        if (inText) {
            if (!m_result.copied) {
                m_result.copied = true;
                // Most mending adds a few bytes; room for the text and a little more.
                m_output.Reserve(
                    std::min(m_text.size() + m_text.size() / 16 + 64, m_bounds.maxBytes));
            }
            Flush(from);
            m_pending = to;
        }
        m_output.Append(replacement);
    }

    // Copies the text up to `to` that is kept as it is.
    void Flush(const char* to)
    {
        if (to > m_pending)
            m_output.Append(m_pending, static_cast<std::size_t>(to - m_pending));
        m_pending = std::max(m_pending, to);
    }

    const std::string& m_text;
    const XmlRepairBounds& m_bounds;
    COutput m_output;
    const CStops m_textStops;
    const CStops m_valueStops;
    const CStops m_characterStops;
    // The start of the text not yet copied (while copying).
    const char* m_pending;
    XmlRepairResult m_result;
    int m_depth = 0;
    bool m_doctypeRead = false;
    std::map<std::string, std::string, std::less<>> m_entities;
    std::size_t m_entityBytes = 0;
};

// An element the salvage has open.
struct OpenElement
{
    std::string_view name;
    std::size_t start;           // where its start tag is in the output
    bool item;                   // an "item" or "entry" element
    std::size_t keptItemsBefore; // the items kept whole before it started
};

bool IsItemName(std::string_view name)
{
    const std::size_t colon = name.rfind(':');
    const std::string_view local = colon == std::string_view::npos ? name : name.substr(colon + 1);
    return local == "item" || local == "entry";
}

// The one pass of SalvageXml.
class CSalvage : CMarkupReader
{
public:
    CSalvage(const std::string& text, const XmlRepairBounds& bounds)
        : CMarkupReader(text), m_bounds(bounds), m_output(bounds)
    {}

    XmlRepairResult Run(std::string& text)
    {
        m_result.copied = true;
        try {
            m_output.Reserve(static_cast<std::size_t>(m_end - m_begin) + 64);
            const char* p = m_begin;
            while (p < m_end) {
                const void* markup = std::memchr(p, '<', static_cast<std::size_t>(m_end - p));
                const char* const next =
                    markup == nullptr ? m_end : static_cast<const char*>(markup);
                if (!m_open.empty())
                    Text(p, next);
                p = next == m_end ? m_end : Markup(next);
            }
            while (!m_open.empty())
                CloseTop(false);
        } catch (const PassStopped& stopped) {
            m_result.status = stopped.status;
        }
        text.swap(m_output.Text());
        return m_result;
    }

private:
    void Text(const char* p, const char* end)
    {
        const char* q = p;
        while (q < end && IsBlank(static_cast<unsigned char>(*q)))
            ++q;
        m_result.nodes.texts += q < end ? 1 : 0;
        m_output.Append(p, static_cast<std::size_t>(end - p));
    }

    const char* Markup(const char* p)
    {
        if (p[1] == '/')
            return EndTag(p);
        if (p[1] == '?') {
            const char* dropTo = nullptr;
            const char* const end = InstructionEnd(p, dropTo);
            if (end == nullptr)
                return p + 2;
            return end == p ? dropTo : Keep(p, end, m_result.nodes.others);
        }
        if (StartsWith(p, m_end, "<!--"))
            return Keep(p, SectionEnd(p, 4, m_commentEnd), m_result.nodes.others);
        if (StartsWith(p, m_end, "<![CDATA["))
            return Keep(p, SectionEnd(p, 9, m_cdataEnd), m_result.nodes.texts);
        if (p[1] == '!')
            return Keep(p, UpToGreaterThan(p), m_result.nodes.others);
        return StartTag(p);
    }

    // Keeps markup that ends (at `end`) before the text does, counted in `nodes`.
    const char* Keep(const char* p, const char* end, std::size_t& nodes)
    {
        if (end == nullptr || end[-1] != '>')
            return m_end;
        ++nodes;
        m_output.Append(p, static_cast<std::size_t>(end - p));
        return end;
    }

    const char* EndTag(const char* p)
    {
        const char* const end = UpToGreaterThan(p);
        const char* q = p + 2;
        while (q < end && IsNameByte(static_cast<unsigned char>(*q)))
            ++q;
        const std::string_view name(p + 2, static_cast<std::size_t>(q - p - 2));
        const auto open = std::find_if(m_open.rbegin(), m_open.rend(),
                                       [&](const OpenElement& e) { return e.name == name; });
        if (open == m_open.rend() || end[-1] != '>')
            return end;
        const std::size_t depth = m_open.size() - static_cast<std::size_t>(open - m_open.rbegin());
        while (m_open.size() > depth)
            CloseTop(false);
        CloseTop(true);
        return end;
    }

    // Ends the innermost open element: with its own end tag, or else as a missing one.
    void CloseTop(bool own)
    {
        const OpenElement element = m_open.back();
        m_open.pop_back();
        if (element.item && !own) {
            m_output.Text().resize(element.start);
            m_result.keptItems = element.keptItemsBefore;
            return;
        }
        m_result.keptItems += element.item ? 1 : 0;
        m_output.Append("</", 2);
        m_output.Append(element.name);
        m_output.Append(">", 1);
    }

    // Writes the start tag at `p` again with the attributes the parser reads, each once.
    const char* StartTag(const char* p)
    {
        std::size_t unused = 0;
        const char* const end = TagEnd(p, unused);
        if (end == nullptr)
            return m_end;
        if (m_open.size() >= static_cast<std::size_t>(m_bounds.maxDepth))
            throw PassStopped{XmlRepairStatus::TooDeep};
        const char* q = p + 1;
        while (IsNameByte(static_cast<unsigned char>(*q)))
            ++q;
        const std::string_view name(p + 1, static_cast<std::size_t>(q - p - 1));
        const std::size_t start = m_output.Text().size();
        m_output.Append("<", 1);
        m_output.Append(name);
        ++m_result.nodes.elements;
        const bool empty = Attributes(q, end - 1);
        m_output.Append(empty ? "/>" : ">");
        if (!empty) {
            const bool item = IsItemName(name);
            m_result.items += item ? 1 : 0;
            m_open.push_back(OpenElement{name, start, item, m_result.keptItems});
        }
        return end;
    }

    // Writes the attributes in [p, end), the tag's ">" being at `end`, that the parser reads;
    // returns whether the tag closes the element at once ("/>").
    bool Attributes(const char* p, const char* end)
    {
        std::vector<std::string_view> names;
        for (;;) {
            while (p < end && IsBlank(static_cast<unsigned char>(*p)))
                ++p;
            if (p == end)
                return false;
            if (*p == '/')
                return p + 1 == end;
            if (!IsNameStart(static_cast<unsigned char>(*p)))
                return end[-1] == '/';
            const char* const name = p;
            while (p < end && IsNameByte(static_cast<unsigned char>(*p)))
                ++p;
            const char* const nameEnd = p;
            while (p < end && IsBlank(static_cast<unsigned char>(*p)))
                ++p;
            if (p == end || *p != '=')
                return end[-1] == '/';
            ++p;
            while (p < end && IsBlank(static_cast<unsigned char>(*p)))
                ++p;
            const char* const value = p;
            if (p < end && (*p == '"' || *p == '\'')) {
                const void* close = std::memchr(p + 1, *p, static_cast<std::size_t>(end - p - 1));
                if (close == nullptr)
                    return end[-1] == '/';
                p = static_cast<const char*>(close) + 1;
            } else {
                while (p < end && !IsBlank(static_cast<unsigned char>(*p)) && *p != '/') {
                    if (*p == '"' || *p == '\'')
                        return end[-1] == '/';
                    ++p;
                }
                if (p == value)
                    return end[-1] == '/';
            }
            const std::string_view attribute(name, static_cast<std::size_t>(nameEnd - name));
            if (std::find(names.begin(), names.end(), attribute) != names.end())
                continue;
            names.push_back(attribute);
            ++m_result.nodes.attributes;
            m_output.Append(" ", 1);
            m_output.Append(attribute);
            m_output.Append("=", 1);
            if (*value == '"' || *value == '\'') {
                m_output.Append(value, static_cast<std::size_t>(p - value));
            } else {
                m_output.Append("\"", 1);
                m_output.Append(value, static_cast<std::size_t>(p - value));
                m_output.Append("\"", 1);
            }
        }
    }

    const XmlRepairBounds& m_bounds;
    COutput m_output;
    XmlRepairResult m_result;
    std::vector<OpenElement> m_open;
};

} // namespace

XmlRepairBounds RepairBoundsOf(std::string& text)
{
    XmlRepairBounds bounds;
    bounds.utf8 = !NeedsUtf8Conversion(text);
    bounds.maxBytes = text.size() + kMaxResponseBytes;
    return bounds;
}

XmlRepairResult RepairXml(std::string& text, const XmlRepairBounds& bounds)
{
    return CRepair(text, bounds).Run(text);
}

XmlRepairResult SalvageXml(std::string& text, const XmlRepairBounds& bounds)
{
    // The open elements' names point into the text read, which lives on beside the copy
    // until the pass ends.
    const std::string read = std::move(text);
    return CSalvage(read, bounds).Run(text);
}
