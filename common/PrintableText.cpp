#include "common/PrintableText.h"

#include <cstdio>

namespace {

unsigned char Byte(const std::string& text, std::size_t index)
{
    return static_cast<unsigned char>(text[index]);
}

std::string Escaped(unsigned value)
{
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\x%02X", value);
    return escape;
}

} // namespace

std::size_t Utf8CharacterLength(const std::string& text, std::size_t index)
{
    const unsigned char lead = Byte(text, index);
    if (lead < 0x80)
        return 1;
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || index + length > text.size())
        return 0;
    // The second byte's range shuts out overlong forms, surrogates and values past U+10FFFF.
    const unsigned char second = Byte(text, index + 1);
    const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (second < low || second > high)
        return 0;
    for (std::size_t next = 2; next < length; ++next) {
        if ((Byte(text, index + next) & 0xC0) != 0x80)
            return 0;
    }
    return length;
}

std::string PrintableText(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t index = 0; index < text.size();) {
        const std::size_t length = Utf8CharacterLength(text, index);
        const unsigned char lead = Byte(text, index);
        if (length == 0) {
            out += Escaped(lead);
            ++index;
            continue;
        }
        // U+0080 to U+009F are the two bytes C2 80 to C2 9F.
        const bool c1 = lead == 0xC2 && Byte(text, index + 1) < 0xA0;
        if (lead < 0x20 || lead == 0x7F)
            out += Escaped(lead);
        else if (c1)
            out += Escaped(Byte(text, index + 1));
        else
            out.append(text, index, length);
        index += length;
    }
    return out;
}
