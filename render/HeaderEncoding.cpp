#include "render/HeaderEncoding.h"

#include "platform/Clock.h"

#include <cstdint>
#include <cstdlib>

namespace {

const char kHexDigits[] = "0123456789ABCDEF";
const char kEncodedWordPrefix[] = "=?utf-8?Q?";
const char kEncodedWordSuffix[] = "?=";

// CR and LF are escaped as well: an encoded word must stay on its header line.
bool NeedsEscape(unsigned char byte)
{
    return byte >= 0x80 || byte == '_' || byte == '?' || byte == '=' || byte == '\r' ||
           byte == '\n';
}

void AppendHex(std::string& output, std::uint32_t value, int digits)
{
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        output += kHexDigits[(value >> shift) & 0xF];
}

} // namespace

std::string EncodeHeaderText(const std::string& value)
{
    bool changed = false;
    for (const char byte : value) {
        if (byte == ' ' || NeedsEscape(static_cast<unsigned char>(byte))) {
            changed = true;
            break;
        }
    }
    if (!changed)
        return value;

    std::string output;
    output.reserve(sizeof kEncodedWordPrefix + 3 * value.size() + sizeof kEncodedWordSuffix);
    output += kEncodedWordPrefix;
    for (const char byte : value) {
        const unsigned char code = static_cast<unsigned char>(byte);
        if (byte == ' ') {
            output += '_';
        } else if (NeedsEscape(code)) {
            output += '=';
            AppendHex(output, code, 2);
        } else {
            output += byte;
        }
    }
    output += kEncodedWordSuffix;
    return output;
}

std::string MakeBoundary()
{
    const std::uint32_t ticks = platform::GetTickCount();
    // rand() is left unseeded on purpose: boundaries need only differ within one message.
    // Only 15 bits are kept, the range rand() has everywhere, so that digits 9 to 12 are
    // zeros on every platform.
    const std::uint32_t draw = static_cast<std::uint32_t>(std::rand()) & 0x7FFF;
    std::string boundary;
    boundary.reserve(16);
    AppendHex(boundary, ticks, 8);
    AppendHex(boundary, draw, 8);
    return boundary;
}
