#include "render/Charset.h"

#include "common/ByteString.h"
#include "render/CharsetTables.h"

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

// Appends the decoding of [begin, end) to `output`, with the one allocation that sizes it.
void AppendDecoded(std::string& output, const char* begin, const char* end,
                   const CharsetTable& table)
{
    const DecodingTable decoding(table);
    const unsigned char* const first = reinterpret_cast<const unsigned char*>(begin);
    const unsigned char* const last = reinterpret_cast<const unsigned char*>(end);
    std::size_t length = 0;
    for (const unsigned char* byte = first; byte != last; ++byte)
        length += decoding.lengths[*byte];

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

bool ConvertToUtf8(std::string& document, std::string* declaredCharset)
{
    // The parser reads the text up to its first NUL byte, and takes a UTF-8 byte order
    // mark as a declaration of UTF-8 that also lets it skip the mark.
    const char* const text = document.c_str();
    const TiXmlEncoding encoding =
        std::strncmp(text, "\xEF\xBB\xBF", 3) == 0 ? TIXML_ENCODING_UTF8 : TIXML_ENCODING_UNKNOWN;

    // Read the declaration alone first: most documents declare UTF-8 or nothing, and need
    // no full parse here. The parser's keyword matching asserts when handed the end of the
    // text, which would end the process: a document of blanks alone is settled before it.
    const char* const start = XmlScanner::SkipWhiteSpace(text, encoding);
    if (!start || *start == '\0' || !XmlScanner::StringEqual(start, "<?xml", true, encoding))
        return false;
    TiXmlDeclaration declaration;
    const char* const declarationEnd = declaration.Parse(start, nullptr, encoding);
    if (!declarationEnd)
        return false;
    if (declaredCharset != nullptr)
        *declaredCharset = declaration.Encoding();
    const std::string name = ToLowerASCII(declaration.Encoding());
    if (name == kUtf8Name || name.empty())
        return false;
    const CharsetTableMap::const_iterator found = CharsetTables().find(name);
    if (found == CharsetTables().end())
        return false;

    // Whether the document is well-formed is left to the one parse of the converted text:
    // decoding changes no byte below 0x80, so the markup fails or passes there as it would
    // here, and a document is parsed only once.

    // The rest of the document is decoded as it stands rather than written out again by the
    // parser: a legacy parse turns character references such as &#8364; into single bytes,
    // which the table would then misread. Kept as written, they are decoded correctly when
    // the UTF-8 text is parsed.
    std::string declarationText;
    declarationText << TiXmlDeclaration(declaration.Version(), kUtf8Name, declaration.Standalone());
    std::string converted;
    converted.reserve(document.size() + document.size() / 2);
    const CharsetTable& table = found->second;
    AppendDecoded(converted, declarationText.data(),
                  declarationText.data() + declarationText.size(), table);
    AppendDecoded(converted, declarationEnd, document.data() + document.size(), table);
    document.swap(converted);
    return true;
}
