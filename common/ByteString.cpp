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

namespace {

int HexValue(char digit)
{
    if (digit >= '0' && digit <= '9')
        return digit - '0';
    if (digit >= 'a' && digit <= 'f')
        return digit - 'a' + 10;
    if (digit >= 'A' && digit <= 'F')
        return digit - 'A' + 10;
    return -1;
}

} // namespace

std::string PercentDecoded(const std::string& text)
{
    std::string decoded;
    decoded.reserve(text.size());
    for (std::string::size_type index = 0; index < text.size(); ++index) {
        const int high = index + 2 < text.size() ? HexValue(text[index + 1]) : -1;
        const int low = high < 0 ? -1 : HexValue(text[index + 2]);
        if (text[index] == '%' && low >= 0) {
            decoded += static_cast<char>(high * 16 + low);
            index += 2;
        } else {
            decoded += text[index];
        }
    }
    return decoded;
}

std::string Base64(const std::string& bytes)
{
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string encoded;
    encoded.reserve((bytes.size() + 2) / 3 * 4);
    for (std::string::size_type index = 0; index < bytes.size(); index += 3) {
        const std::string::size_type count =
            std::min<std::string::size_type>(3, bytes.size() - index);
        unsigned group = 0;
        for (std::string::size_type byte = 0; byte < 3; ++byte)
            group =
                group << 8 | (byte < count ? static_cast<unsigned char>(bytes[index + byte]) : 0u);
        for (std::string::size_type digit = 0; digit < 4; ++digit)
            encoded += digit <= count ? kAlphabet[(group >> (18 - 6 * digit)) & 0x3F] : '=';
    }
    return encoded;
}
