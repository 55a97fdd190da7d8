#include "http/URL.h"

#include "common/ByteString.h"

#include <cctype>
#include <vector>

namespace {

constexpr std::uint16_t kHTTPPort = 80;
constexpr std::uint16_t kHTTPSPort = 443;

bool IsWhiteSpace(char byte)
{
    return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\v' || byte == '\f' ||
           byte == '\r';
}

std::string WithoutWhiteSpace(const std::string& text)
{
    std::string result;
    result.reserve(text.size());
    for (char byte : text) {
        if (!IsWhiteSpace(byte))
            result += byte;
    }
    return result;
}

// Reads a port the way atoi reads a number (optional sign, then digits up to the first
// non-digit), keeping only the low 16 bits so that no length of digits can overflow.
// `named` tells whether the number is other than zero.
std::uint16_t ReadPort(const std::string& text, bool& named)
{
    std::string::size_type index = 0;
    bool negative = false;
    if (index < text.size() && (text[index] == '+' || text[index] == '-'))
        negative = text[index++] == '-';
    unsigned value = 0;
    named = false;
    for (; index < text.size() && std::isdigit(static_cast<unsigned char>(text[index])); ++index) {
        named = named || text[index] != '0';
        value = (value * 10 + static_cast<unsigned>(text[index] - '0')) & 0xFFFFu;
    }
    return static_cast<std::uint16_t>(negative ? (0x10000u - value) & 0xFFFFu : value);
}

bool HasScheme(const std::string& text)
{
    if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0])))
        return false;
    for (char byte : text) {
        if (byte == ':')
            return true;
        if (!std::isalnum(static_cast<unsigned char>(byte)) && byte != '+' && byte != '-' &&
            byte != '.')
            return false;
    }
    return false;
}

// Removes "." and ".." segments from an absolute path, as a browser does.
std::string RemoveDotSegments(const std::string& path)
{
    std::vector<std::string> segments;
    bool trailingSlash = false;
    std::string::size_type start = 1;
    for (;;) {
        const std::string::size_type end = path.find('/', start);
        const bool last = end == std::string::npos;
        const std::string segment = path.substr(start, last ? std::string::npos : end - start);
        if (segment == "." || segment == "..") {
            if (segment == ".." && !segments.empty())
                segments.pop_back();
            trailingSlash = last;
        } else {
            segments.push_back(segment);
            trailingSlash = false;
        }
        if (last)
            break;
        start = end + 1;
    }
    std::string result;
    for (const std::string& segment : segments)
        result += "/" + segment;
    if (trailingSlash || result.empty())
        result += "/";
    return result;
}

// Where the authority of `text` (a URL without white space) begins, after the scheme's "//",
// and where it ends: at the path, the query or the fragment.
void FindAuthority(const std::string& text, std::string::size_type& begin,
                   std::string::size_type& end)
{
    // Only the first slashes can end a scheme: "host/a//b" has none.
    const std::string::size_type slashes = text.find("//");
    begin = slashes == std::string::npos || slashes != text.find('/') ? 0 : slashes + 2;
    end = text.find_first_of("/?#", begin);
    if (end == std::string::npos)
        end = text.size();
}

} // namespace

bool HTTPURL::HasDefaultPort() const
{
    return port == (secure ? kHTTPSPort : kHTTPPort);
}

HTTPURL ParseHTTPURL(const std::string& url)
{
    HTTPURL parts;
    const std::string text = WithoutWhiteSpace(url);
    std::string::size_type begin = 0;
    std::string::size_type end = 0;
    FindAuthority(text, begin, end);
    parts.secure = begin > 0 && ToLowerASCII(text.substr(0, begin)) == "https://";
    parts.host = text.substr(begin, end - begin);
    const std::string::size_type at = parts.host.rfind('@');
    if (at != std::string::npos) {
        const std::string userInfo = parts.host.substr(0, at);
        const std::string::size_type colon = userInfo.find(':');
        parts.user = PercentDecoded(userInfo.substr(0, colon));
        if (colon != std::string::npos)
            parts.password = PercentDecoded(userInfo.substr(colon + 1));
        parts.hasCredentials = true;
        parts.host.erase(0, at + 1);
    }
    parts.path = text.substr(end, text.find('#', end) - end);
    if (parts.path.empty() || parts.path[0] != '/')
        parts.path.insert(0, "/");
    parts.port = parts.secure ? kHTTPSPort : kHTTPPort;
    // An IPv6 literal stands in brackets, which keep its colons from the port's.
    std::string portText;
    const std::string::size_type closing = parts.host.find(']');
    const bool bracketed = parts.host.compare(0, 1, "[") == 0 && closing != std::string::npos;
    const std::string::size_type colon = parts.host.find(':', bracketed ? closing : 0);
    if (colon != std::string::npos)
        portText = parts.host.substr(colon + 1);
    parts.host = bracketed ? parts.host.substr(1, closing - 1) : parts.host.substr(0, colon);
    bool named = false;
    const std::uint16_t port = ReadPort(portText, named);
    if (named)
        parts.port = port;
    return parts;
}

std::string WithoutPassword(const std::string& url)
{
    // The password is found where ParseHTTPURL finds it, blanks left out; `places` holds where
    // each byte of `text` stands in `url`, whose other bytes are shown as they are.
    std::string text;
    std::vector<std::string::size_type> places;
    for (std::string::size_type place = 0; place < url.size(); ++place) {
        if (!IsWhiteSpace(url[place])) {
            text += url[place];
            places.push_back(place);
        }
    }
    std::string::size_type begin = 0;
    std::string::size_type end = 0;
    FindAuthority(text, begin, end);
    const std::string::size_type at = text.rfind('@', end);
    if (at == std::string::npos || at < begin)
        return url;
    const std::string::size_type colon = text.find(':', begin);
    if (colon == std::string::npos || colon > at)
        return url;
    return url.substr(0, places[colon] + 1) + "***" + url.substr(places[at]);
}

std::string ResolveLocation(const std::string& base, const std::string& location)
{
    // Read as ParseHTTPURL reads it: blanks anywhere do not count, not even inside the scheme.
    const std::string target = WithoutWhiteSpace(location);
    if (target.empty() || HasScheme(target))
        return target;
    std::string text = WithoutWhiteSpace(base);
    std::string origin;
    const std::string::size_type slashes = text.find("//");
    if (slashes != std::string::npos) {
        if (target.compare(0, 2, "//") == 0)
            return text.substr(0, slashes) + target;
        origin = text.substr(0, slashes + 2);
        text.erase(0, slashes + 2);
    } else if (target.compare(0, 2, "//") == 0) {
        return target;
    }
    const std::string::size_type slash = text.find('/');
    origin += text.substr(0, slash);
    const std::string basePath = slash == std::string::npos ? "/" : text.substr(slash);

    std::string merged;
    if (target[0] == '/') {
        merged = target;
    } else if (target[0] == '?') {
        merged = basePath.substr(0, basePath.find_first_of("?#")) + target;
    } else if (target[0] == '#') {
        merged = basePath.substr(0, basePath.find('#')) + target;
    } else {
        const std::string directory = basePath.substr(0, basePath.find_first_of("?#"));
        merged = directory.substr(0, directory.rfind('/') + 1) + target;
    }
    const std::string::size_type suffix = merged.find_first_of("?#");
    const std::string path = RemoveDotSegments(merged.substr(0, suffix));
    return origin + path + (suffix == std::string::npos ? std::string() : merged.substr(suffix));
}

std::string ResolveReference(const std::string& base, const std::string& reference)
{
    if (reference.empty())
        return base.substr(0, base.find('#'));
    return ResolveLocation(base, reference);
}

std::string HostAndPort(const HTTPURL& url)
{
    const bool literalIPv6 = url.host.find(':') != std::string::npos;
    return (literalIPv6 ? "[" + url.host + "]" : url.host) + ":" + std::to_string(url.port);
}
