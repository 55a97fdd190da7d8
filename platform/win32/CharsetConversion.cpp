#include "platform/SystemCharsetConversion.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

namespace platform {
namespace {

struct CodePageName
{
    const char* name;
    UINT codePage;
};

constexpr UINT kISO2022JP = 50220;

// The converter's common names and aliases, lowercase, with their code pages.
const CodePageName kCodePages[] = {
    {"utf-8", CP_UTF8},     {"utf8", CP_UTF8},       {"us-ascii", 20127},
    {"ascii", 20127},       {"iso-8859-1", 28591},   {"latin1", 28591},
    {"iso-8859-2", 28592},  {"latin2", 28592},       {"iso-8859-3", 28593},
    {"iso-8859-4", 28594},  {"iso-8859-5", 28595},   {"iso-8859-6", 28596},
    {"iso-8859-7", 28597},  {"iso-8859-8", 28598},   {"iso-8859-9", 28599},
    {"latin5", 28599},      {"iso-8859-13", 28603},  {"iso-8859-15", 28605},
    {"latin9", 28605},      {"windows-1250", 1250},  {"cp1250", 1250},
    {"windows-1251", 1251}, {"cp1251", 1251},        {"windows-1252", 1252},
    {"cp1252", 1252},       {"windows-1253", 1253},  {"cp1253", 1253},
    {"windows-1254", 1254}, {"cp1254", 1254},        {"windows-1255", 1255},
    {"cp1255", 1255},       {"windows-1256", 1256},  {"cp1256", 1256},
    {"windows-1257", 1257}, {"cp1257", 1257},        {"windows-1258", 1258},
    {"cp1258", 1258},       {"windows-874", 874},    {"tis-620", 874},
    {"koi8-r", 20866},      {"koi8-u", 21866},       {"ibm866", 866},
    {"cp866", 866},         {"cp437", 437},          {"cp850", 850},
    {"macintosh", 10000},   {"gb2312", 936},         {"gbk", 936},
    {"cp936", 936},         {"gb18030", 54936},      {"big5", 950},
    {"cp950", 950},         {"shift_jis", 932},      {"sjis", 932},
    {"cp932", 932},         {"euc-jp", 20932},       {"iso-2022-jp", kISO2022JP},
    {"euc-kr", 949},        {"ks_c_5601-1987", 949}, {"cp949", 949},
};

// Appends the characters of `bytes` in `codePage` to `wide`; false, appending nothing, when
// they hold a sequence the code page does not define or that they cut off.
bool AppendDecoded(UINT codePage, const char* bytes, int size, std::wstring& wide)
{
    const int length =
        ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, size, nullptr, 0);
    if (length <= 0)
        return false;
    const std::size_t start = wide.size();
    wide.resize(start + static_cast<std::size_t>(length));
    ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, size, &wide[start], length);
    return true;
}

// Decodes `text` whole when the code page defines all of it, else a character at a time: a
// byte that begins no character the code page defines becomes "?" and decoding goes on at
// the next byte, as iconv does.
std::wstring DecodeCodePage(UINT codePage, const std::string& text)
{
    std::wstring wide;
    if (text.empty() || AppendDecoded(codePage, text.data(), static_cast<int>(text.size()), wide))
        return wide;
    CPINFO information;
    const int longest =
        ::GetCPInfo(codePage, &information) ? static_cast<int>(information.MaxCharSize) : 1;
    const int size = static_cast<int>(text.size());
    for (int at = 0; at < size;) {
        int length = 1;
        while (length <= longest && at + length <= size &&
               !AppendDecoded(codePage, text.data() + at, length, wide))
            ++length;
        if (length <= longest && at + length <= size) {
            at += length;
        } else {
            wide += L'?';
            ++at;
        }
    }
    return wide;
}

// The Windows code pages fill the bytes their sets leave free among 0x80 to 0x9F with the C1
// control characters of the same number; iconv leaves them undefined, and so does this.
bool LeavesC1Undefined(UINT codePage)
{
    return codePage == 874 || (codePage >= 1250 && codePage <= 1258);
}

// The characters of JIS X 0208 that code page 932 maps to other code points than iconv does,
// by their row and cell bytes.
struct JISCharacter
{
    unsigned char row;
    unsigned char cell;
    wchar_t character;
};
const JISCharacter kJISDifferences[] = {
    {0x21, 0x41, L'\x301C'}, {0x21, 0x42, L'\x2016'}, {0x21, 0x5D, L'\x2212'},
    {0x21, 0x71, L'\x00A2'}, {0x21, 0x72, L'\x00A3'}, {0x22, 0x4C, L'\x00AC'},
};

// One JIS X 0208 character by its row and cell bytes (0x21 to 0x7E), through its Shift_JIS
// bytes in code page 932; false for a row the standard leaves empty or a cell it does not
// define.
bool AppendJISCharacter(unsigned char row, unsigned char cell, std::wstring& wide)
{
    if (row < 0x21 || (row > 0x28 && row < 0x30) || row > 0x74 || cell < 0x21 || cell > 0x7E)
        return false;
    for (const JISCharacter& difference : kJISDifferences) {
        if (difference.row == row && difference.cell == cell) {
            wide += difference.character;
            return true;
        }
    }
    const char shiftJIS[2] = {
        static_cast<char>(((row + 1) >> 1) + (row <= 0x5E ? 0x70 : 0xB0)),
        static_cast<char>(cell + (row & 1 ? (cell >= 0x60 ? 0x20 : 0x1F) : 0x7E))};
    return AppendDecoded(932, shiftJIS, 2, wide);
}

// ISO-2022-JP as iconv reads it: ASCII, JIS X 0201 Roman and JIS X 0208 switched by escape
// sequences. Control characters pass in every mode, an escape sequence of another set passes
// as it is, and a byte or pair that is no character becomes "?" with decoding going on at
// the next byte; a sequence the text cuts off ends it with one "?". Code page 50220 is not
// used: not every system has it, and it differs in these cases.
std::wstring DecodeISO2022JP(const std::string& text)
{
    enum class Mode
    {
        ASCII,
        Roman,
        JIS
    };
    static const struct
    {
        const char* bytes;
        Mode mode;
    } kEscapes[] = {{"\x1B(B", Mode::ASCII},
                    {"\x1B(J", Mode::Roman},
                    {"\x1B$@", Mode::JIS},
                    {"\x1B$B", Mode::JIS}};
    Mode mode = Mode::ASCII;
    std::wstring wide;
    const std::size_t size = text.size();
    for (std::size_t at = 0; at < size;) {
        const unsigned char byte = static_cast<unsigned char>(text[at]);
        if (byte == 0x1B) {
            bool switched = false;
            bool cutOff = false;
            for (const auto& escape : kEscapes) {
                const std::size_t length = std::min<std::size_t>(3, size - at);
                if (text.compare(at, length, escape.bytes, length) != 0)
                    continue;
                cutOff = length < 3;
                switched = !cutOff;
                if (switched)
                    mode = escape.mode;
                break;
            }
            if (cutOff) {
                wide += L'?';
                break;
            }
            if (switched) {
                at += 3;
                continue;
            }
        }
        if (byte >= 0x80) {
            wide += L'?';
            ++at;
        } else if (mode != Mode::JIS || byte < 0x21 || byte == 0x7F) {
            wide += mode == Mode::Roman && byte == 0x5C   ? L'\x00A5'
                    : mode == Mode::Roman && byte == 0x7E ? L'\x203E'
                                                          : static_cast<wchar_t>(byte);
            ++at;
        } else if (at + 1 == size) {
            wide += L'?';
            ++at;
        } else if (AppendJISCharacter(byte, static_cast<unsigned char>(text[at + 1]), wide)) {
            at += 2;
        } else {
            wide += L'?';
            ++at;
        }
    }
    return wide;
}

} // namespace

bool ConvertWithSystemConverter(const std::string& text, const std::string& name, std::string& utf8)
{
    const CodePageName* found =
        std::find_if(std::begin(kCodePages), std::end(kCodePages),
                     [&](const CodePageName& entry) { return name == entry.name; });
    if (found == std::end(kCodePages))
        return false;
    std::wstring wide = found->codePage == kISO2022JP ? DecodeISO2022JP(text)
                                                      : DecodeCodePage(found->codePage, text);
    if (LeavesC1Undefined(found->codePage))
        std::replace_if(
            wide.begin(), wide.end(),
            [](wchar_t character) { return character >= 0x80 && character < 0xA0; }, L'?');
    utf8.clear();
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
