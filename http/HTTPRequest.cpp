#include "http/HTTPRequest.h"

#include <algorithm>

namespace {

// What a feed reader takes, feeds first; a web page is welcome too (its feed is looked up).
const char kAccept[] = "application/rss+xml, application/atom+xml, application/rdf+xml, "
                       "application/xml;q=0.9, text/xml;q=0.9, */*;q=0.8";

// A header goes into the request as given, unless its value could end the line early.
std::string HeaderLine(const char* name, const std::string& value)
{
    if (value.empty() || value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        return std::string();
    return std::string(name) + ": " + value + "\r\n";
}

// The host and, when it is not the scheme's, the port, as the Host header and an absolute
// request target name them; an IPv6 address goes in brackets.
std::string Authority(const HTTPURL& url)
{
    std::string authority =
        url.host.find(':') == std::string::npos ? url.host : "[" + url.host + "]";
    if (!url.HasDefaultPort())
        authority += ":" + std::to_string(url.port);
    return authority;
}

} // namespace

std::string FormatRequest(const HTTPURL& url, RequestTarget target,
                          const RequestValidators& validators, const std::string& authorization,
                          const std::string& proxyAuthorization)
{
    const std::string authority = Authority(url);
    const std::string requestTarget =
        target == RequestTarget::Absolute
            ? (url.secure ? "https://" : "http://") + authority + url.path
            : url.path;
    return "GET " + requestTarget + " HTTP/1.1\r\nHost: " + authority +
           "\r\nUser-Agent: QUILLBOX.vorlenta\r\nAccept: " + kAccept +
           "\r\nAccept-Encoding: gzip, deflate\r\nConnection: close\r\n" +
           HeaderLine("If-None-Match", validators.etag) +
           HeaderLine("If-Modified-Since", validators.lastModified) +
           HeaderLine("Authorization", authorization) +
           HeaderLine("Proxy-Authorization", proxyAuthorization) + "\r\n";
}

std::string BasicAuthorization(const std::string& user, const std::string& password)
{
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const std::string plain = user + ":" + password;
    std::string encoded = "Basic ";
    for (std::string::size_type index = 0; index < plain.size(); index += 3) {
        const std::string::size_type count =
            std::min<std::string::size_type>(3, plain.size() - index);
        unsigned bits = 0;
        for (std::string::size_type byte = 0; byte < 3; ++byte) {
            bits <<= 8;
            if (byte < count)
                bits |= static_cast<unsigned char>(plain[index + byte]);
        }
        for (std::string::size_type digit = 0; digit < 4; ++digit)
            encoded += digit <= count ? kDigits[(bits >> (18 - 6 * digit)) & 63] : '=';
    }
    return encoded;
}
