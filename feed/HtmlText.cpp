#include "feed/HtmlText.h"

#include "common/ByteString.h"

#include <algorithm>
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

// Whether the "<" at `at` opens a tag: as in HTML, only before a letter, "/", "!" or "?";
// any other "<" is text ("1 < 2").
bool OpensTag(const std::string& html, std::size_t at)
{
    const char next = at + 1 < html.size() ? html[at + 1] : '\0';
    return (next >= 'a' && next <= 'z') || (next >= 'A' && next <= 'Z') || next == '/' ||
           next == '!' || next == '?';
}

bool IsHtmlBlank(char byte)
{
    return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r' || byte == '\f';
}

// The attributes whose values are addresses a reader follows or loads.
bool IsLinkAttribute(const std::string& name)
{
    const std::string lower = ToLowerASCII(name);
    return lower == "href" || lower == "src";
}

} // namespace

std::string PlainTextOfHtml(const std::string& html)
{
    std::string text;
    text.reserve(html.size());
    for (std::size_t at = 0; at < html.size();) {
        const char byte = html[at];
        if (byte == '<' && OpensTag(html, at)) {
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

std::string ReplaceLinks(const std::string& html,
                         const std::function<std::string(const std::string&)>& replace)
{
    std::string result;
    std::size_t copied = 0;
    const std::size_t size = html.size();
    const auto skipBlanks = [&](std::size_t at) {
        while (at < size && IsHtmlBlank(html[at]))
            ++at;
        return at;
    };
    for (std::size_t at = html.find('<'); at != std::string::npos; at = html.find('<', at)) {
        if (html.compare(at, 4, "<!--") == 0) {
            at = html.find("-->", at + 4);
            if (at == std::string::npos)
                break;
            continue;
        }
        if (!OpensTag(html, at) || html[at + 1] == '/' || html[at + 1] == '!' ||
            html[at + 1] == '?') {
            ++at;
            continue;
        }
        std::size_t cursor = at + 1;
        while (cursor < size && !IsHtmlBlank(html[cursor]) && html[cursor] != '>')
            ++cursor;
        // The attributes, up to the end of the tag.
        while ((cursor = skipBlanks(cursor)) < size && html[cursor] != '>') {
            const std::size_t nameStart = cursor;
            while (cursor < size && !IsHtmlBlank(html[cursor]) && html[cursor] != '=' &&
                   html[cursor] != '>')
                ++cursor;
            const std::size_t nameEnd = cursor;
            cursor = skipBlanks(cursor);
            if (cursor == size || html[cursor] != '=')
                continue; // a name alone
            cursor = skipBlanks(cursor + 1);
            std::size_t valueStart = cursor;
            std::size_t valueEnd;
            if (cursor < size && (html[cursor] == '"' || html[cursor] == '\'')) {
                valueStart = cursor + 1;
                valueEnd = std::min(html.find(html[cursor], valueStart), size);
                cursor = std::min(valueEnd + 1, size);
            } else {
                while (cursor < size && !IsHtmlBlank(html[cursor]) && html[cursor] != '>')
                    ++cursor;
                valueEnd = cursor;
            }
            if (valueEnd > valueStart &&
                IsLinkAttribute(html.substr(nameStart, nameEnd - nameStart))) {
                result.append(html, copied, valueStart - copied);
                result += replace(html.substr(valueStart, valueEnd - valueStart));
                copied = valueEnd;
            }
        }
        at = cursor;
    }
    if (copied == 0)
        return html;
    result.append(html, copied, std::string::npos);
    return result;
}
