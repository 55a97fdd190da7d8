#include "render/HeaderEncoding.h"

#include "platform/Clock.h"
#include "render/LineLength.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

const char kHexDigits[] = "0123456789ABCDEF";
const char kEncodedWordPrefix[] = "=?utf-8?Q?";
const char kEncodedWordSuffix[] = "?=";
// Mail readers need not decode longer encoded words.
constexpr std::size_t kMaxEncodedWordLength = 75;
constexpr std::size_t kMaxEncodedTextLength =
    kMaxEncodedWordLength - (sizeof kEncodedWordPrefix - 1) - (sizeof kEncodedWordSuffix - 1);
// Four bytes of a UTF-8 character, each written as "=" and two digits.
constexpr std::size_t kLongestCharacter = 12;

// The bytes that make a value encoded words: those a header line cannot carry as they are.
// CR and LF count too: an encoded word must stay on its header line.
bool ForcesEncoding(unsigned char byte)
{
    return byte >= 0x80 || byte == '_' || byte == '?' || byte == '=' || byte == '\r' ||
           byte == '\n';
}

// The bytes an encoded word carries as they are. Only these may stand in an encoded word
// that is part of a display name; any other punctuation ("," "(" "<" '"' and the like) would
// be read as part of the address list around it, and a blank or control would end the word.
bool StaysInWord(unsigned char byte)
{
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
           (byte >= '0' && byte <= '9') || byte == '!' || byte == '*' || byte == '+' ||
           byte == '-' || byte == '/';
}

void AppendHex(std::string& output, std::uint32_t value, int digits)
{
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        output += kHexDigits[(value >> shift) & 0xF];
}

// The bytes of the character that begins at `at`: a UTF-8 lead byte with as many of the
// continuation bytes it announces as follow it; any other byte alone. An encoded word may
// end only between characters, since readers decode each word on its own.
std::size_t CharacterLength(const std::string& value, std::size_t at)
{
    const unsigned char lead = static_cast<unsigned char>(value[at]);
    const std::size_t announced = lead >= 0xF8   ? 1
                                  : lead >= 0xF0 ? 4
                                  : lead >= 0xE0 ? 3
                                  : lead >= 0xC0 ? 2
                                                 : 1;
    std::size_t length = 1;
    while (length < announced && at + length < value.size() &&
           (static_cast<unsigned char>(value[at + length]) & 0xC0) == 0x80)
        ++length;
    return length;
}

// Writes one byte of an encoded word at `out` and returns the position after it.
char* WriteEncoded(char* out, char byte)
{
    const unsigned char code = static_cast<unsigned char>(byte);
    if (byte == ' ') {
        *out++ = '_';
    } else if (StaysInWord(code)) {
        *out++ = byte;
    } else {
        *out++ = '=';
        *out++ = kHexDigits[code >> 4];
        *out++ = kHexDigits[code & 0xF];
    }
    return out;
}

char* WriteText(char* out, const char* text, std::size_t length)
{
    std::memcpy(out, text, length);
    return out + length;
}

// The length of `count` bytes written into an encoded word.
std::size_t EncodedLength(const char* bytes, std::size_t count)
{
    std::size_t length = count;
    for (std::size_t index = 0; index < count; ++index) {
        const unsigned char byte = static_cast<unsigned char>(bytes[index]);
        length += byte == ' ' || StaysInWord(byte) ? 0 : 2;
    }
    return length;
}

bool IsStrayControl(char byte)
{
    const unsigned char code = static_cast<unsigned char>(byte);
    return (code < 0x20 && byte != '\t' && byte != '\r' && byte != '\n') || code == 0x7F;
}

void RemoveStrayControls(std::string& text, std::size_t start)
{
    text.erase(std::remove_if(text.begin() + start, text.end(), IsStrayControl), text.end());
}

} // namespace

void KeepOnHeaderLine(std::string& text, std::size_t start)
{
    start = std::min(start, text.size());
    std::replace(text.begin() + start, text.end(), '\r', ' ');
    std::replace(text.begin() + start, text.end(), '\n', ' ');
    RemoveStrayControls(text, start);
}

std::string EncodeHeaderText(const std::string& value)
{
    if (std::any_of(value.begin(), value.end(), IsStrayControl)) {
        std::string clean = value;
        RemoveStrayControls(clean, 0);
        return EncodeHeaderText(clean);
    }
    // A value too long for a header line is encoded even without need, so that it can be
    // folded between its encoded words.
    const bool forced = std::any_of(value.begin(), value.end(), [](char byte) {
        return byte == ' ' || ForcesEncoding(static_cast<unsigned char>(byte));
    });
    if (!forced && value.size() <= kMaxLineLength)
        return value;
    const std::size_t encodedLength = EncodedLength(value.data(), value.size());

    const std::size_t prefixLength = sizeof kEncodedWordPrefix - 1;
    const std::size_t suffixLength = sizeof kEncodedWordSuffix - 1;
    // Every word but the last is filled to less than one character from its end.
    const std::size_t words = 1 + encodedLength / (kMaxEncodedTextLength - kLongestCharacter);
    std::string output(encodedLength + words * (prefixLength + suffixLength + 1), '\0');
    char* out = WriteText(&output[0], kEncodedWordPrefix, prefixLength);
    if (encodedLength <= kMaxEncodedTextLength) {
        for (const char byte : value)
            out = WriteEncoded(out, byte);
    } else {
        std::size_t wordLength = 0;
        for (std::size_t at = 0; at < value.size();) {
            const std::size_t length = CharacterLength(value, at);
            const std::size_t characterLength = EncodedLength(&value[at], length);
            if (wordLength + characterLength > kMaxEncodedTextLength) {
                // Readers drop the blank between two encoded words.
                out = WriteText(out, kEncodedWordSuffix, suffixLength);
                *out++ = ' ';
                out = WriteText(out, kEncodedWordPrefix, prefixLength);
                wordLength = 0;
            }
            wordLength += characterLength;
            for (const std::size_t characterEnd = at + length; at < characterEnd; ++at)
                out = WriteEncoded(out, value[at]);
        }
    }
    out = WriteText(out, kEncodedWordSuffix, suffixLength);
    output.resize(out - output.data());
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
