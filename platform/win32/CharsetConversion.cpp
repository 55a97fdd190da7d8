#include "platform/CharsetConversion.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace platform {
namespace {

struct CodePageName
{
    const char* name;
    UINT codePage;
};

// The converter's common names and aliases, lowercase, with their code pages.
const CodePageName kCodePages[] = {
    {"utf-8", CP_UTF8},     {"utf8", CP_UTF8},      {"us-ascii", 20127},     {"ascii", 20127},
    {"iso-8859-1", 28591},  {"latin1", 28591},      {"iso-8859-2", 28592},   {"latin2", 28592},
    {"iso-8859-3", 28593},  {"iso-8859-4", 28594},  {"iso-8859-5", 28595},   {"iso-8859-6", 28596},
    {"iso-8859-7", 28597},  {"iso-8859-8", 28598},  {"iso-8859-9", 28599},   {"latin5", 28599},
    {"iso-8859-13", 28603}, {"iso-8859-15", 28605}, {"latin9", 28605},       {"windows-1250", 1250},
    {"cp1250", 1250},       {"windows-1251", 1251}, {"cp1251", 1251},        {"windows-1252", 1252},
    {"cp1252", 1252},       {"windows-1253", 1253}, {"cp1253", 1253},        {"windows-1254", 1254},
    {"cp1254", 1254},       {"windows-1255", 1255}, {"cp1255", 1255},        {"windows-1256", 1256},
    {"cp1256", 1256},       {"windows-1257", 1257}, {"cp1257", 1257},        {"windows-1258", 1258},
    {"cp1258", 1258},       {"windows-874", 874},   {"tis-620", 874},        {"koi8-r", 20866},
    {"koi8-u", 21866},      {"ibm866", 866},        {"cp866", 866},          {"cp437", 437},
    {"cp850", 850},         {"macintosh", 10000},   {"gb2312", 936},         {"gbk", 936},
    {"cp936", 936},         {"gb18030", 54936},     {"big5", 950},           {"cp950", 950},
    {"shift_jis", 932},     {"sjis", 932},          {"cp932", 932},          {"euc-jp", 20932},
    {"iso-2022-jp", 50220}, {"euc-kr", 949},        {"ks_c_5601-1987", 949}, {"cp949", 949},
};

// UTF-16 is no code page MultiByteToWideChar takes: its units are read here.
bool ReadUTF16(const std::string& text, bool bigEndian, std::wstring& wide)
{
    for (std::size_t index = 0; index + 1 < text.size(); index += 2) {
        const unsigned char first = static_cast<unsigned char>(text[index]);
        const unsigned char second = static_cast<unsigned char>(text[index + 1]);
        wide += static_cast<wchar_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
    }
    if (text.size() % 2 != 0)
        wide += L'?';
    return true;
}

} // namespace

bool ConvertToUTF8(const std::string& text, const std::string& charset, std::string& utf8)
{
    utf8.clear();
    if (charset.empty() || charset.find_first_of("/ \t\r\n") != std::string::npos)
        return false;
    std::string name = charset;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char byte) { return static_cast<char>(std::tolower(byte)); });
    std::wstring wide;
    if (name == "utf-16le" || name == "utf-16") {
        ReadUTF16(text, false, wide);
    } else if (name == "utf-16be") {
        ReadUTF16(text, true, wide);
    } else {
        const CodePageName* found =
            std::find_if(std::begin(kCodePages), std::end(kCodePages),
                         [&](const CodePageName& entry) { return name == entry.name; });
        if (found == std::end(kCodePages))
            return false;
        if (!text.empty()) {
            const int length = ::MultiByteToWideChar(found->codePage, 0, text.data(),
                                                     static_cast<int>(text.size()), nullptr, 0);
            if (length <= 0)
                return false;
            wide.resize(static_cast<std::size_t>(length));
            ::MultiByteToWideChar(found->codePage, 0, text.data(), static_cast<int>(text.size()),
                                  &wide[0], length);
        }
    }
    // What the code page does not define comes out as the replacement character: "?" here.
    std::replace(wide.begin(), wide.end(), L'\xFFFD', L'?');
    if (wide.empty())
        return true;
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                           nullptr, 0, nullptr, nullptr);
    utf8.resize(static_cast<std::size_t>(size));
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &utf8[0], size,
                          nullptr, nullptr);
    return true;
}

} // namespace platform
