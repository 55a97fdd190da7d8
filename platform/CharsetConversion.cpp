#include "platform/CharsetConversion.h"

#include "common/ByteString.h"
#include "platform/SystemCharsetConversion.h"

#include <algorithm>
#include <cstdint>

namespace platform {
namespace {

// The Unicode encodings, decoded here the same way on every system: a converter would skip an
// invalid unit a byte at a time and read the rest of the text out of step.
struct WideEncoding
{
    const char* name;
    int unitSize;
    bool bigEndian;
    bool readsMark; // a leading byte order mark chooses the byte order and is dropped
};
const WideEncoding kWideEncodings[] = {
    {"utf-16", 2, true, true}, {"utf-16be", 2, true, false}, {"utf-16le", 2, false, false},
    {"utf-32", 4, true, true}, {"utf-32be", 4, true, false}, {"utf-32le", 4, false, false},
};

// A unit that is no character (a surrogate out of its pair, a value beyond U+10FFFF) becomes
// "?", and so does a last unit that the text cuts off; decoding goes on at the next unit.
std::string DecodeWide(const std::string& text, const WideEncoding& encoding)
{
    const std::size_t size = encoding.unitSize;
    bool bigEndian = encoding.bigEndian;
    std::size_t at = 0;
    const auto unit = [&](std::size_t position) {
        std::uint32_t value = 0;
        for (std::size_t index = 0; index < size; ++index) {
            const std::size_t byte = bigEndian ? index : size - 1 - index;
            value = value << 8 | static_cast<unsigned char>(text[position + byte]);
        }
        return value;
    };
    if (encoding.readsMark && text.size() >= size) {
        if (unit(0) == 0xFEFF) {
            at = size;
        } else {
            bigEndian = !bigEndian;
            if (unit(0) == 0xFEFF)
                at = size;
            else
                bigEndian = !bigEndian;
        }
    }
    std::string utf8;
    utf8.reserve(text.size());
    for (; at + size <= text.size(); at += size) {
        std::uint32_t character = unit(at);
        if (size == 2 && character >= 0xD800 && character < 0xDC00 && at + 4 <= text.size()) {
            const std::uint32_t low = unit(at + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                character = 0x10000 + ((character - 0xD800) << 10) + (low - 0xDC00);
                at += 2;
            }
        }
        if ((character >= 0xD800 && character < 0xE000) || character > 0x10FFFF)
            utf8 += '?';
        else
            AppendUTF8(utf8, character);
    }
    if (at < text.size())
        utf8 += '?';
    return utf8;
}

} // namespace

bool DecodeCharset(const std::string& text, const std::string& charset, std::string& utf8)
{
    utf8.clear();
    // Converters would also take names with blanks around them, and "/" brings in iconv's
    // options ("//IGNORE", "//TRANSLIT"): neither is a name.
    if (charset.empty() || charset.find_first_of("/ \t\r\n") != std::string::npos)
        return false;
    std::string name = charset;
    std::transform(name.begin(), name.end(), name.begin(), [](char byte) {
        return byte >= 'A' && byte <= 'Z' ? static_cast<char>(byte - 'A' + 'a') : byte;
    });
    for (const WideEncoding& encoding : kWideEncodings) {
        if (name == encoding.name) {
            utf8 = DecodeWide(text, encoding);
            return true;
        }
    }
    return ConvertWithSystemConverter(text, name, utf8);
}

} // namespace platform
