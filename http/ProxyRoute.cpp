#include "http/ProxyRoute.h"

#include "common/ByteString.h"
#include "common/ProductSettings.h"
#include "http/HTTPRequest.h"
#include "http/HTTPResponse.h"
#include "platform/Settings.h"
#include "platform/Socket.h"

#include <vector>

namespace {

// The port of a proxy named without one: curl's, and Windows'.
constexpr std::uint16_t kURLProxyPort = 1080;
constexpr std::uint16_t kWindowsProxyPort = 80;

const char kNotHTTPProxy[] = "cannot use the proxy: it is no HTTP proxy";
// The most a proxy's answer to CONNECT may hold before its empty line.
constexpr std::size_t kMaxTunnelAnswerBytes = 16384;

// The texts of a 407 by the scheme the proxy asks for, the first one that matches.
const char* const kPasswordRequests[][2] = {
    {"basic", "the proxy asks for a password (Basic)"},
    {"digest", "the proxy asks for a password (Digest)"},
    {"ntlm", "the proxy asks for a password (NTLM)"},
    {"negotiate", "the proxy asks for a password (Negotiate)"},
    {"bearer", "the proxy asks for a password (Bearer)"},
    {"", "the proxy asks for a password (of a kind QUILLBOX does not know)"},
};

std::vector<std::string> Split(const std::string& list, const char* separators)
{
    std::vector<std::string> entries;
    std::string::size_type start = 0;
    while (start < list.size()) {
        const std::string::size_type end = list.find_first_of(separators, start);
        const std::string entry = list.substr(start, end - start);
        if (!entry.empty())
            entries.push_back(entry);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return entries;
}

bool EndsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// A host as lists name it: lower case, without the brackets of an IPv6 literal or the dot
// of a fully qualified name.
std::string ComparableHost(std::string host)
{
    host = ToLowerASCII(host);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    while (!host.empty() && host.back() == '.')
        host.pop_back();
    return host;
}

// Whether the address literal `host` lies in the range "address/bits".
bool IsInRange(const std::string& host, const std::string& range)
{
    const std::string::size_type slash = range.find('/');
    std::vector<unsigned char> address;
    std::vector<unsigned char> network;
    if (!platform::ReadAddressLiteral(host, address) ||
        !platform::ReadAddressLiteral(ComparableHost(range.substr(0, slash)), network) ||
        address.size() != network.size())
        return false;
    const std::string bitsText = range.substr(slash + 1);
    if (bitsText.empty() || bitsText.size() > 3 ||
        bitsText.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const std::size_t bits = std::stoul(bitsText);
    if (bits > address.size() * 8)
        return false;
    for (std::size_t bit = 0; bit < bits; ++bit) {
        const unsigned mask = 0x80u >> (bit % 8);
        if ((address[bit / 8] & mask) != (network[bit / 8] & mask))
            return false;
    }
    return true;
}

// Whether `pattern`, where "*" stands for any run of characters, matches all of `text`.
bool MatchesWildcards(const std::string& pattern, const std::string& text)
{
    std::string::size_type star = std::string::npos;
    std::string::size_type resume = 0;
    std::string::size_type at = 0;
    std::string::size_type position = 0;
    while (at < text.size()) {
        if (position < pattern.size() && pattern[position] == '*') {
            star = position++;
            resume = at;
        } else if (position < pattern.size() && pattern[position] == text[at]) {
            ++position;
            ++at;
        } else if (star != std::string::npos) {
            position = star + 1;
            at = ++resume;
        } else {
            return false;
        }
    }
    while (position < pattern.size() && pattern[position] == '*')
        ++position;
    return position == pattern.size();
}

// Reads a proxy named as "[http://][user:password@]host[:port][/]"; another scheme makes the
// route unusable.
ProxyRoute ReadProxy(std::string text, std::uint16_t defaultPort, const std::string& origin)
{
    ProxyRoute route;
    route.origin = origin;
    TrimLeft(text);
    TrimRight(text);
    const std::string::size_type schemeEnd = text.find("://");
    if (schemeEnd != std::string::npos) {
        if (ToLowerASCII(text.substr(0, schemeEnd)) != "http")
            route.unusable = kNotHTTPProxy;
        text.erase(0, schemeEnd + 3);
    }
    std::string authority = text.substr(0, text.find('/'));
    const std::string::size_type at = authority.rfind('@');
    if (at != std::string::npos) {
        route.credentials = PercentDecoded(authority.substr(0, at));
        authority.erase(0, at + 1);
    }
    const HTTPURL parts = ParseHTTPURL("http://" + authority + "/");
    const std::string::size_type closing = authority.rfind(']');
    const bool namesPort =
        authority.find(':', closing == std::string::npos ? 0 : closing) != std::string::npos;
    route.host = parts.host;
    route.port = namesPort ? parts.port : defaultPort;
    if (route.host.empty())
        route.unusable = kNotHTTPProxy;
    return route;
}

} // namespace

bool IsExemptFromProxy(const std::string& noProxy, const std::string& host)
{
    const std::string name = ComparableHost(host);
    std::vector<unsigned char> literal;
    const bool isAddress = platform::ReadAddressLiteral(name, literal);
    for (std::string entry : Split(ToLowerASCII(noProxy), ", \t\r\n")) {
        if (entry == "*")
            return true;
        if (entry.find('/') != std::string::npos) {
            if (isAddress && IsInRange(name, entry))
                return true;
            continue;
        }
        if (entry[0] == '.')
            entry.erase(0, 1);
        entry = ComparableHost(entry);
        if (entry.empty())
            continue;
        if (name == entry || (!isAddress && EndsWith(name, "." + entry)))
            return true;
    }
    return false;
}

bool IsBypassedOnWindows(const std::string& bypass, const std::string& host)
{
    const std::string name = ComparableHost(host);
    for (std::string entry : Split(ToLowerASCII(bypass), ";, \t\r\n")) {
        if (entry == "<local>") {
            if (name.find_first_of(".:") == std::string::npos)
                return true;
            continue;
        }
        const std::string::size_type schemeEnd = entry.find("://");
        if (schemeEnd != std::string::npos)
            entry.erase(0, schemeEnd + 3);
        if (MatchesWildcards(ComparableHost(entry), name))
            return true;
    }
    return false;
}

std::string WindowsProxyFor(const std::string& list, bool secure)
{
    const std::string scheme = secure ? "https" : "http";
    std::string everyScheme;
    for (const std::string& entry : Split(list, "; \t\r\n")) {
        const std::string::size_type equals = entry.find('=');
        if (equals == std::string::npos) {
            if (everyScheme.empty())
                everyScheme = entry;
        } else if (ToLowerASCII(entry.substr(0, equals)) == scheme) {
            return entry.substr(equals + 1);
        }
    }
    return everyScheme;
}

ProxyRoute ChooseRoute(const HTTPURL& url, const std::string& setting,
                       const platform::SystemProxy& system)
{
    if (!setting.empty()) {
        if (ToLowerASCII(setting) == "none")
            return ProxyRoute();
        return ReadProxy(setting, kURLProxyPort, "the Proxy setting");
    }
    if (system.proxy.empty())
        return ProxyRoute();
    if (system.notation == platform::ProxyNotation::URL) {
        if (IsExemptFromProxy(system.bypass, url.host))
            return ProxyRoute();
        return ReadProxy(system.proxy, kURLProxyPort, system.origin);
    }
    const std::string proxy = WindowsProxyFor(system.proxy, url.secure);
    if (proxy.empty() || IsBypassedOnWindows(system.bypass, url.host))
        return ProxyRoute();
    return ReadProxy(proxy, kWindowsProxyPort, system.origin);
}

ProxyRoute RouteFor(const std::string& url, const HTTPURL& parts)
{
    std::string setting;
    platform::ReadUserText(kSettingsKey, kProxyName, setting);
    if (!setting.empty())
        return ChooseRoute(parts, setting, platform::SystemProxy());
    return ChooseRoute(parts, setting, platform::SystemProxyFor(url, parts.host, parts.secure));
}

std::string ProxyAuthorization(const ProxyRoute& route)
{
    if (route.credentials.empty())
        return std::string();
    const std::string::size_type colon = route.credentials.find(':');
    const std::string password =
        colon == std::string::npos ? std::string() : route.credentials.substr(colon + 1);
    return BasicAuthorization(route.credentials.substr(0, colon), password);
}

const char* OpenTunnel(platform::SocketHandle socket, const ProxyRoute& route, const HTTPURL& url)
{
    const std::string target = HostAndPort(url);
    const std::string request = "CONNECT " + target + " HTTP/1.1\r\nHost: " + target +
                                "\r\nUser-Agent: QUILLBOX.vorlenta\r\n" +
                                (route.credentials.empty()
                                     ? std::string()
                                     : "Proxy-Authorization: " + ProxyAuthorization(route) + "\r\n") +
                                "\r\n";
    platform::SocketError error;
    for (std::string::size_type sent = 0; sent < request.size();) {
        const long count =
            platform::SendBytes(socket, request.data() + sent, request.size() - sent, error);
        if (count <= 0)
            return "the proxy closed the connection";
        sent += static_cast<std::string::size_type>(count);
    }
    // Nothing but the answer comes before the client's first word through the tunnel, so
    // reading ahead cannot take any of the server's bytes.
    std::string answer;
    char buffer[2048];
    while (answer.find("\r\n\r\n") == std::string::npos &&
           answer.find("\n\n") == std::string::npos) {
        if (answer.size() >= kMaxTunnelAnswerBytes)
            return "the proxy's answer is too long";
        const long count =
            platform::ReceiveBytes(socket, buffer, sizeof buffer, platform::Receive::Take, error);
        if (count <= 0)
            return "the proxy closed the connection";
        answer.append(buffer, static_cast<std::size_t>(count));
    }
    if (const char* refusal = ProxyRefusal(answer, route))
        return refusal;
    const std::string status = StatusCode(answer);
    if (status.size() != 3 || status[0] != '2')
        return "the proxy refused the connection to the server";
    return nullptr;
}

const char* ProxyRefusal(const std::string& headers, const ProxyRoute& route)
{
    if (route.IsDirect() || StatusCode(headers) != "407")
        return nullptr;
    if (!route.credentials.empty())
        return "the proxy did not take the user name and password";
    const std::string challenge = ToLowerASCII(GetHeader(headers, "proxy-authenticate"));
    const std::string scheme = challenge.substr(0, challenge.find_first_of(" ,"));
    for (const auto& request : kPasswordRequests) {
        if (scheme == request[0] || *request[0] == '\0')
            return request[1];
    }
    return nullptr;
}

std::string RouteText(const ProxyRoute& route)
{
    if (route.IsDirect())
        return std::string();
    HTTPURL proxy;
    proxy.host = route.host;
    proxy.port = route.port;
    return "via proxy " + HostAndPort(proxy) + ", from " + route.origin;
}
