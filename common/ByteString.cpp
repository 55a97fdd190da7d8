#include "common/ByteString.h"

#include <algorithm>

const char kBlankBytes[] = " \t\r\n";

void TrimLeft(std::string& text, const char* bytes)
{
    text.erase(0, text.find_first_not_of(bytes));
}

void TrimRight(std::string& text, const char* bytes)
{
    const std::string::size_type last = text.find_last_not_of(bytes);
    text.erase(last == std::string::npos ? 0 : last + 1);
}

std::string Trimmed(std::string text)
{
    TrimLeft(text);
    TrimRight(text);
    return text;
}

std::string ToLowerASCII(std::string text)
{
    for (char& byte : text) {
        if (byte >= 'A' && byte <= 'Z')
            byte = static_cast<char>(byte - 'A' + 'a');
    }
    return text;
}

std::string ToUpperASCII(std::string text)
{
    for (char& byte : text) {
        if (byte >= 'a' && byte <= 'z')
            byte = static_cast<char>(byte - 'a' + 'A');
    }
    return text;
}

int HexDigitValue(char digit)
{
    if (digit >= '0' && digit <= '9')
        return digit - '0';
    if (digit >= 'a' && digit <= 'f')
        return digit - 'a' + 10;
    if (digit >= 'A' && digit <= 'F')
        return digit - 'A' + 10;
    return -1;
}

void AppendUTF8(std::string& text, std::uint32_t character)
{
    if (character < 0x80) {
        text += static_cast<char>(character);
    } else if (character < 0x800) {
        text += static_cast<char>(0xC0 | character >> 6);
        text += static_cast<char>(0x80 | (character & 0x3F));
    } else if (character < 0x10000) {
        text += static_cast<char>(0xE0 | character >> 12);
        text += static_cast<char>(0x80 | (character >> 6 & 0x3F));
        text += static_cast<char>(0x80 | (character & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | character >> 18);
        text += static_cast<char>(0x80 | (character >> 12 & 0x3F));
        text += static_cast<char>(0x80 | (character >> 6 & 0x3F));
        text += static_cast<char>(0x80 | (character & 0x3F));
    }
}

std::string PercentDecoded(const std::string& text)
{
    std::string decoded;
    decoded.reserve(text.size());
    for (std::string::size_type index = 0; index < text.size(); ++index) {
        const int high = index + 2 < text.size() ? HexDigitValue(text[index + 1]) : -1;
        const int low = high < 0 ? -1 : HexDigitValue(text[index + 2]);
        if (text[index] == '%' && low >= 0) {
            decoded += static_cast<char>(high * 16 + low);
            index += 2;
        } else {
            decoded += text[index];
        }
    }
    return decoded;
}
