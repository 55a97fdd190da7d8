#include "provider/HtmlText.h"

#include "common/ByteString.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// The named references feeds put into titles, with their characters in UTF-8.
const struct
{
    const char* name;
    const char* text;
} kNamedReferences[] = {
    {"amp", "&"},
    {"lt", "<"},
    {"gt", ">"},
    {"quot", "\""},
    {"apos", "'"},
    {"nbsp", "\xC2\xA0"},
    {"ndash", "\xE2\x80\x93"},
    {"mdash", "\xE2\x80\x94"},
    {"hellip", "\xE2\x80\xA6"},
    {"lsquo", "\xE2\x80\x98"},
    {"rsquo", "\xE2\x80\x99"},
    {"ldquo", "\xE2\x80\x9C"},
    {"rdquo", "\xE2\x80\x9D"},
    {"laquo", "\xC2\xAB"},
    {"raquo", "\xC2\xBB"},
    {"copy", "\xC2\xA9"},
    {"reg", "\xC2\xAE"},
    {"trade", "\xE2\x84\xA2"},
    {"euro", "\xE2\x82\xAC"},
    {"middot", "\xC2\xB7"},
    {"bull", "\xE2\x80\xA2"},
};

// The longest reference name read; longer runs are no reference.
constexpr std::size_t kMaxReferenceLength = 10;

// Decodes the reference whose "&" is at `at`, appending its text; returns the position after
// its ";", or `at` when no reference begins there.
std::size_t AppendReference(const std::string& html, std::size_t at, std::string& out)
{
    const std::size_t end = html.find(';', at + 1);
    if (end == std::string::npos || end - at - 1 > kMaxReferenceLength || end == at + 1)
        return at;
    const std::string name = html.substr(at + 1, end - at - 1);
    if (name[0] == '#') {
        const bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
        const char* digits = name.c_str() + (hex ? 2 : 1);
        char* stop = nullptr;
        const unsigned long code = std::strtoul(digits, &stop, hex ? 16 : 10);
        if (*digits == '\0' || *stop != '\0' || *digits == '-' || *digits == '+')
            return at;
        // A reference to no character (NUL, a surrogate, past U+10FFFF) stands for U+FFFD.
        const bool character = code != 0 && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
        AppendUTF8(out, character ? static_cast<std::uint32_t>(code) : 0xFFFD);
        return end + 1;
    }
    for (const auto& reference : kNamedReferences) {
        if (name == reference.name) {
            out += reference.text;
            return end + 1;
        }
    }
    return at;
}

} // namespace

std::string PlainTextOfHtml(const std::string& html)
{
    std::string text;
    text.reserve(html.size());
    for (std::size_t at = 0; at < html.size();) {
        const char byte = html[at];
        if (byte == '<') {
            const bool comment = html.compare(at, 4, "<!--") == 0;
            const std::size_t close = comment ? html.find("-->", at + 4) : html.find('>', at + 1);
            if (close == std::string::npos)
                break;
            at = close + (comment ? 3 : 1);
        } else if (byte == '&') {
            const std::size_t after = AppendReference(html, at, text);
            if (after == at) {
                text += byte;
                ++at;
            } else {
                at = after;
            }
        } else {
            text += byte;
            ++at;
        }
    }
    return text;
}

std::string HtmlOfText(const std::string& text)
{
    std::string html;
    html.reserve(text.size() + text.size() / 8);
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char byte = text[at];
        switch (byte) {
        case '&':
            html += "&amp;";
            break;
        case '<':
            html += "&lt;";
            break;
        case '>':
            html += "&gt;";
            break;
        case '"':
            html += "&quot;";
            break;
        case '\r':
            if (at + 1 < text.size() && text[at + 1] == '\n')
                ++at;
            html += "<br>\n";
            break;
        case '\n':
            html += "<br>\n";
            break;
        default:
            html += byte;
        }
    }
    return html;
}
