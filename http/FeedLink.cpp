#include "http/FeedLink.h"

#include "common/ByteString.h"
#include "http/HTTPResponse.h"
#include "http/URL.h"

#include <map>
#include <sstream>

namespace {

bool IsBlank(char byte)
{
    return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r' || byte == '\f';
}

bool StartsWith(const std::string& text, std::string::size_type at, const char* start)
{
    return ToLowerASCII(text.substr(at, std::char_traits<char>::length(start))) == start;
}

// Where the first tag of `body` begins, past a byte order mark, blanks and comments.
std::string::size_type FirstTag(const std::string& body)
{
    std::string::size_type at = body.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    for (;;) {
        while (at < body.size() && IsBlank(body[at]))
            ++at;
        if (body.compare(at, 4, "<!--") != 0)
            return at;
        const std::string::size_type end = body.find("-->", at + 4);
        if (end == std::string::npos)
            return body.size();
        at = end + 3;
    }
}

// The attributes of the tag whose name ends at `at`, names lower-cased, up to its ">";
// `at` ends past it. "&amp;" in a value is "&".
std::map<std::string, std::string> ReadAttributes(const std::string& page,
                                                  std::string::size_type& at)
{
    std::map<std::string, std::string> attributes;
    while (at < page.size() && page[at] != '>') {
        if (IsBlank(page[at]) || page[at] == '/') {
            ++at;
            continue;
        }
        const std::string::size_type nameStart = at;
        while (at < page.size() && !IsBlank(page[at]) && page[at] != '=' && page[at] != '>' &&
               page[at] != '/')
            ++at;
        const std::string name = ToLowerASCII(page.substr(nameStart, at - nameStart));
        while (at < page.size() && IsBlank(page[at]))
            ++at;
        std::string value;
        if (at < page.size() && page[at] == '=') {
            ++at;
            while (at < page.size() && IsBlank(page[at]))
                ++at;
            if (at < page.size() && (page[at] == '"' || page[at] == '\'')) {
                const std::string::size_type end = page.find(page[at], at + 1);
                const std::string::size_type valueEnd =
                    end == std::string::npos ? page.size() : end;
                value = page.substr(at + 1, valueEnd - at - 1);
                at = valueEnd + 1;
            } else {
                const std::string::size_type valueStart = at;
                while (at < page.size() && !IsBlank(page[at]) && page[at] != '>')
                    ++at;
                value = page.substr(valueStart, at - valueStart);
            }
        }
        for (std::string::size_type amp; (amp = value.find("&amp;")) != std::string::npos;)
            value.erase(amp + 1, 4);
        attributes.emplace(name, value);
    }
    ++at;
    return attributes;
}

bool HasToken(const std::string& list, const std::string& token)
{
    std::istringstream words(ToLowerASCII(list));
    for (std::string word; words >> word;) {
        if (word == token)
            return true;
    }
    return false;
}

bool IsFeedType(std::string type)
{
    type = ToLowerASCII(type.substr(0, type.find(';')));
    TrimLeft(type);
    TrimRight(type);
    return type == "application/rss+xml" || type == "application/atom+xml" ||
           type == "application/rdf+xml";
}

} // namespace

bool IsWebPage(const std::string& headers, const std::string& body)
{
    const std::string::size_type first = FirstTag(body);
    if (StartsWith(body, first, "<!doctype html") || StartsWith(body, first, "<html"))
        return true;
    std::string type = ToLowerASCII(GetHeader(headers, "content-type"));
    type = type.substr(0, type.find(';'));
    TrimRight(type);
    const bool declared = type == "text/html" || type == "application/xhtml+xml";
    return declared && !StartsWith(body, first, "<?xml") && !StartsWith(body, first, "<rss") &&
           !StartsWith(body, first, "<feed") && !StartsWith(body, first, "<rdf");
}

std::string FindFeedLink(const std::string& page, const std::string& pageUrl)
{
    std::string base = pageUrl;
    bool baseSeen = false;
    for (std::string::size_type at = page.find('<'); at != std::string::npos;
         at = page.find('<', at)) {
        if (page.compare(at, 4, "<!--") == 0) {
            at = page.find("-->", at + 4);
            continue;
        }
        const bool isLink = StartsWith(page, at, "<link") && at + 5 < page.size() &&
                            (IsBlank(page[at + 5]) || page[at + 5] == '/');
        const bool isBase = StartsWith(page, at, "<base") && at + 5 < page.size() &&
                            (IsBlank(page[at + 5]) || page[at + 5] == '/');
        if (!isLink && !isBase) {
            ++at;
            continue;
        }
        at += 5;
        const std::map<std::string, std::string> attributes = ReadAttributes(page, at);
        const auto href = attributes.find("href");
        if (href == attributes.end() || href->second.empty())
            continue;
        // Only the first <base> counts, and only for the links after it.
        if (isBase) {
            if (!baseSeen)
                base = ResolveLocation(pageUrl, href->second);
            baseSeen = true;
            continue;
        }
        const auto rel = attributes.find("rel");
        const auto type = attributes.find("type");
        if (rel == attributes.end() || type == attributes.end() || !IsFeedType(type->second))
            continue;
        if ((HasToken(rel->second, "alternate") && !HasToken(rel->second, "stylesheet")) ||
            HasToken(rel->second, "feed"))
            return ResolveLocation(base, href->second);
    }
    return std::string();
}
