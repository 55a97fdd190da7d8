#include "render/Charset.h"

#include "common/ByteString.h"
#include "platform/CharsetConversion.h"
#include "render/CharsetInternal.h"
#include "render/CharsetTables.h"
#include "render/XmlText.h"

#include <tinyxml.h>

#include <cstdint>
#include <cstring>

namespace {

const char kUtf8Name[] = "utf-8";

// Gives access to the parser's own white-space and keyword matching, so that finding the
// declaration here agrees with what a full parse of the document finds.
struct XmlScanner : TiXmlBase
{
    using TiXmlBase::SkipWhiteSpace;
    using TiXmlBase::StringEqual;
};

std::size_t EntryLength(const char* entry)
{
    // Entries hold one to three bytes followed by zero bytes.
    return 1 + (entry[1] != 0) + (entry[2] != 0);
}

// A table laid out for decoding without branches: every byte, ASCII included, maps to a
// 4-byte word that is stored whole, and the output advances by the entry's length.
struct DecodingTable
{
    explicit DecodingTable(const CharsetTable& table)
    {
        for (int code = 0; code < 256; ++code) {
            char entry[4] = {static_cast<char>(code), 0, 0, 0};
            if (code >= 0x80)
                std::memcpy(entry, table.entries[code], 4);
            std::memcpy(&words[code], entry, 4);
            lengths[code] = static_cast<unsigned char>(code >= 0x80 ? EntryLength(entry) : 1);
        }
    }

    std::uint32_t words[256];
    unsigned char lengths[256];
};

// The length of the UTF-8 text that [begin, end) decodes to.
std::size_t DecodedLength(const char* begin, const char* end, const DecodingTable& decoding)
{
    std::size_t length = 0;
    for (const char* byte = begin; byte != end; ++byte)
        length += decoding.lengths[static_cast<unsigned char>(*byte)];
    return length;
}

// Appends the decoding of [begin, end) to `output`, with the one allocation that sizes it.
void AppendDecoded(std::string& output, const char* begin, const char* end,
                   const CharsetTable& table)
{
    const DecodingTable decoding(table);
    const unsigned char* const first = reinterpret_cast<const unsigned char*>(begin);
    const unsigned char* const last = reinterpret_cast<const unsigned char*>(end);
    const std::size_t length = DecodedLength(begin, end, decoding);
    const std::size_t start = output.size();
    // Three bytes of slack let the last entry be stored as a whole word too.
    output.resize(start + length + 3);
    char* out = &output[start];
    for (const unsigned char* byte = first; byte != last; ++byte) {
        std::memcpy(out, &decoding.words[*byte], 4);
        out += decoding.lengths[*byte];
    }
    output.resize(start + length);
}

// Reads the XML declaration at the start of `text` (after blanks, and after a UTF-8 byte
// order mark) into `declaration`; returns the position after it, or nullptr when the text
// begins otherwise. The parser reads the text up to its first NUL byte, and takes a UTF-8
// byte order mark as a declaration of UTF-8 that also lets it skip the mark.
const char* ReadDeclaration(const char* text, TiXmlDeclaration& declaration)
{
    const TiXmlEncoding encoding =
        std::strncmp(text, "\xEF\xBB\xBF", 3) == 0 ? TIXML_ENCODING_UTF8 : TIXML_ENCODING_UNKNOWN;
    // Only the declaration is read: most documents declare UTF-8 or nothing, and need no
    // full parse here. The parser's keyword matching asserts when handed the end of the
    // text, which would end the process: a text of blanks alone is settled before it.
    const char* const start = XmlScanner::SkipWhiteSpace(text, encoding);
    if (!start || *start == '\0' || !XmlScanner::StringEqual(start, "<?xml", true, encoding))
        return nullptr;
    return declaration.Parse(start, nullptr, encoding);
}

// Whether a declaration's lower-case encoding name leaves the text to the parser as UTF-8.
bool NamesUtf8(const std::string& name)
{
    return name == kUtf8Name || name == "utf8" || name.empty();
}

// ReadDeclaration for a text lent to the parser with its padding; gives the length of the
// declaration with what precedes it, or 0 when there is none.
std::size_t PaddedDeclaration(std::string& text, TiXmlDeclaration& declaration)
{
    const CXmlText xml(text);
    const char* const end = ReadDeclaration(xml.Text(), declaration);
    return end == nullptr ? 0 : static_cast<std::size_t>(end - xml.Text());
}

// The declaration that replaces `declaration` in a converted document.
std::string Utf8Declaration(const TiXmlDeclaration& declaration)
{
    std::string text;
    text << TiXmlDeclaration(declaration.Version(), kUtf8Name, declaration.Standalone());
    return text;
}

// Gives `utf8`, a converted document, a declaration of UTF-8 in place of its own, whose
// character set goes to `declaredCharset` when that is given; returns false when it has none.
bool DeclareUtf8(std::string& utf8, std::string* declaredCharset = nullptr)
{
    TiXmlDeclaration declaration;
    const std::size_t declarationLength = PaddedDeclaration(utf8, declaration);
    if (declarationLength == 0)
        return false;
    if (declaredCharset != nullptr)
        *declaredCharset = declaration.Encoding();
    utf8 = Utf8Declaration(declaration) + utf8.substr(declarationLength);
    return true;
}

// How a document in an encoding whose markup is not ASCII begins: with a byte order mark,
// which the XML rules let name the encoding in place of the declaration, or else with "<?"
// in that encoding. The four-byte patterns come first: that of UTF-32LE begins with that of
// UTF-16LE.
struct WideStart
{
    const char* bytes;
    std::size_t length;
    bool isMark; // a mark is dropped, "<?" is text
    const char* charset;
};
const WideStart kWideStarts[] = {
    {"\x00\x00\xFE\xFF", 4, true, "UTF-32BE"}, {"\xFF\xFE\x00\x00", 4, true, "UTF-32LE"},
    {"\x00\x00\x00<", 4, false, "UTF-32BE"},   {"<\x00\x00\x00", 4, false, "UTF-32LE"},
    {"\xFE\xFF", 2, true, "UTF-16BE"},         {"\xFF\xFE", 2, true, "UTF-16LE"},
    {"\x00<\x00?", 4, false, "UTF-16BE"},      {"<\x00?\x00", 4, false, "UTF-16LE"},
};

const WideStart* FindWideStart(const std::string& document)
{
    for (const WideStart& start : kWideStarts) {
        if (document.compare(0, start.length, start.bytes, start.length) == 0)
            return &start;
    }
    return nullptr;
}

bool IsWideDocument(const std::string& document)
{
    return FindWideStart(document) != nullptr;
}

// Converts a document that begins as one of kWideStarts does; returns whether it could.
bool ConvertWideDocument(std::string& document, std::string* declaredCharset)
{
    const WideStart* const start = FindWideStart(document);
    std::string utf8;
    if (!platform::DecodeCharset(document.substr(start->isMark ? start->length : 0), start->charset,
                                 utf8))
        return false;
    // A document without a declaration is read as UTF-8 already.
    DeclareUtf8(utf8, declaredCharset);
    document.swap(utf8);
    return true;
}

// Converts a document declared in a character set without a table through the operating
// system's converter. The declaration was read as ASCII, so a set that writes ASCII
// differently (UTF-16 without its mark, say) leaves no declaration in the converted text:
// such a document, like one the converter cannot name, stays as it came. Returns whether the
// document was converted.
bool ConvertWithPlatform(std::string& document, const std::string& name)
{
    std::string utf8;
    if (!platform::DecodeCharset(document, name, utf8) || !DeclareUtf8(utf8))
        return false;
    document.swap(utf8);
    return true;
}

} // namespace

const CharsetTableMap& CharsetTables()
{
    static const CharsetTableMap tables = [] {
        CharsetTableMap map;
        for (const NamedCharsetTable& named : kNamedCharsetTables)
            map.emplace(named.name, named.table);
        return map;
    }();
    return tables;
}

bool IsKnownCharset(const std::string& name)
{
    return CharsetTables().count(name) != 0;
}

std::string DecodeWithTable(const std::string& text, const CharsetTable& table)
{
    std::string output;
    AppendDecoded(output, text.data(), text.data() + text.size(), table);
    return output;
}

std::string ConvertCharset(const std::string& text, const std::string& name)
{
    const CharsetTableMap::const_iterator found = CharsetTables().find(name);
    return found == CharsetTables().end() ? text : DecodeWithTable(text, found->second);
}

bool NeedsUtf8Conversion(std::string& document)
{
    if (IsWideDocument(document))
        return true;
    TiXmlDeclaration declaration;
    return PaddedDeclaration(document, declaration) != 0 &&
           !NamesUtf8(ToLowerASCII(declaration.Encoding()));
}

bool ConvertToUtf8(std::string& document, std::string* declaredCharset)
{
    if (IsWideDocument(document))
        return ConvertWideDocument(document, declaredCharset);
    TiXmlDeclaration declaration;
    const std::size_t declarationLength = PaddedDeclaration(document, declaration);
    if (declarationLength == 0)
        return false;
    const char* const declarationEnd = document.data() + declarationLength;
    if (declaredCharset != nullptr)
        *declaredCharset = declaration.Encoding();
    const std::string name = ToLowerASCII(declaration.Encoding());
    // The parser reads these as UTF-8 itself.
    if (NamesUtf8(name))
        return false;
    const CharsetTableMap::const_iterator found = CharsetTables().find(name);
    if (found == CharsetTables().end())
        return ConvertWithPlatform(document, name);

    // Whether the document is well-formed is left to the one parse of the converted text:
    // decoding changes no byte below 0x80, so the markup fails or passes there as it would
    // here, and a document is parsed only once.

    // The rest of the document is decoded as it stands rather than written out again by the
    // parser: a legacy parse turns character references such as &#8364; into single bytes,
    // which the table would then misread. Kept as written, they are decoded correctly when
    // the UTF-8 text is parsed.
    const std::string declarationText = Utf8Declaration(declaration);
    const CharsetTable& table = found->second;
    // Sized once, exactly: the declaration is ASCII, which decodes to itself, and the last
    // character may be stored as a whole word.
    std::string converted;
    converted.reserve(
        declarationText.size() +
        DecodedLength(declarationEnd, document.data() + document.size(), DecodingTable(table)) + 3);
    AppendDecoded(converted, declarationText.data(),
                  declarationText.data() + declarationText.size(), table);
    AppendDecoded(converted, declarationEnd, document.data() + document.size(), table);
    document.swap(converted);
    return true;
}
