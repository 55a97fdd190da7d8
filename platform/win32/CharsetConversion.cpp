#include "platform/CharsetConversion.h"

#include <windows.h>

#include <cctype>
#include <cstdint>
#include <cstring>

namespace platform {
namespace {

// Character set names and the Windows code pages that decode them.
struct CodePageName
{
    const char* name;
    UINT codePage;
};

const CodePageName kCodePages[] = {
    {"us-ascii", 20127},   {"ascii", 20127},       {"iso-8859-1", 28591},  {"latin1", 28591},
    {"iso-8859-2", 28592}, {"latin2", 28592},      {"iso-8859-3", 28593},  {"iso-8859-4", 28594},
    {"iso-8859-5", 28595}, {"iso-8859-6", 28596},  {"iso-8859-7", 28597},  {"iso-8859-8", 28598},
    {"iso-8859-9", 28599}, {"iso-8859-13", 28603}, {"iso-8859-15", 28605}, {"windows-1250", 1250},
    {"cp1250", 1250},      {"windows-1251", 1251}, {"cp1251", 1251},       {"windows-1252", 1252},
    {"cp1252", 1252},      {"windows-1253", 1253}, {"cp1253", 1253},       {"windows-1254", 1254},
    {"cp1254", 1254},      {"windows-1255", 1255}, {"cp1255", 1255},       {"windows-1256", 1256},
    {"cp1256", 1256},      {"windows-1257", 1257}, {"cp1257", 1257},       {"windows-1258", 1258},
    {"cp1258", 1258},      {"koi8-r", 20866},      {"koi8-u", 21866},      {"ibm866", 866},
    {"cp866", 866},        {"macintosh", 10000},   {"gb2312", 936},        {"gbk", 936},
    {"big5", 950},         {"shift_jis", 932},     {"sjis", 932},          {"euc-jp", 20932},
    {"euc-kr", 949},       {"utf-8", CP_UTF8},
};

// The wide encodings, which MultiByteToWideChar does not take: decoded here.
struct WideEncoding
{
    const char* name;
    std::size_t unitBytes;
    bool bigEndian;
};

const WideEncoding kWideEncodings[] = {
    {"utf-16le", 2, false}, {"utf-16be", 2, true}, {"utf-16", 2, true},
    {"utf-32le", 4, false}, {"utf-32be", 4, true}, {"utf-32", 4, true},
};

bool SameName(const std::string& name, const char* known)
{
    if (name.size() != std::strlen(known))
        return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(name[i])) != known[i])
            return false;
    }
    return true;
}

void AppendUTF8(std::uint32_t code, std::string& utf8)
{
    if (code < 0x80) {
        utf8 += static_cast<char>(code);
    } else if (code < 0x800) {
        utf8 += static_cast<char>(0xC0 | (code >> 6));
        utf8 += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        utf8 += static_cast<char>(0xE0 | (code >> 12));
        utf8 += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        utf8 += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        utf8 += static_cast<char>(0xF0 | (code >> 18));
        utf8 += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        utf8 += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        utf8 += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Decodes UTF-16 or UTF-32 units; what is not a character, or is cut off, becomes "?".
void DecodeWide(const std::string& text, const WideEncoding& encoding, std::string& utf8)
{
    auto unitAt = [&](std::size_t at) {
        std::uint32_t unit = 0;
        for (std::size_t i = 0; i < encoding.unitBytes; ++i) {
            const std::size_t byte = encoding.bigEndian ? i : encoding.unitBytes - 1 - i;
            unit = (unit << 8) | static_cast<unsigned char>(text[at + byte]);
        }
        return unit;
    };
    const std::size_t size = encoding.unitBytes;
    std::size_t at = 0;
    for (; at + size <= text.size(); at += size) {
        std::uint32_t code = unitAt(at);
        if (size == 2 && code >= 0xD800 && code < 0xDC00 && at + 2 * size <= text.size()) {
            const std::uint32_t low = unitAt(at + size);
            if (low >= 0xDC00 && low < 0xE000) {
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                at += size;
            }
        }
        if ((code >= 0xD800 && code < 0xE000) || code > 0x10FFFF)
            utf8 += '?';
        else
            AppendUTF8(code, utf8);
    }
    if (at < text.size())
        utf8 += '?';
}

// Decodes through the code page; the system's replacement character becomes "?".
bool DecodeCodePage(const std::string& text, UINT codePage, std::string& utf8)
{
    if (text.empty())
        return ::IsValidCodePage(codePage) != 0;
    const int length = static_cast<int>(text.size());
    const int wideLength = ::MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    if (wideLength <= 0)
        return false;
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), length, &wide[0], wideLength);
    for (wchar_t& unit : wide) {
        if (unit == 0xFFFD)
            unit = L'?';
    }
    const int utf8Length =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    utf8.resize(static_cast<std::size_t>(utf8Length));
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, &utf8[0], utf8Length, nullptr,
                          nullptr);
    return true;
}

} // namespace

bool ConvertToUTF8(const std::string& text, const std::string& charset, std::string& utf8)
{
    utf8.clear();
    for (const WideEncoding& encoding : kWideEncodings) {
        if (SameName(charset, encoding.name)) {
            DecodeWide(text, encoding, utf8);
            return true;
        }
    }
    for (const CodePageName& known : kCodePages) {
        if (SameName(charset, known.name)) {
            if (DecodeCodePage(text, known.codePage, utf8))
                return true;
            utf8.clear();
            return false;
        }
    }
    return false;
}

} // namespace platform
