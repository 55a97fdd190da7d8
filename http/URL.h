#pragma once

#include <cstdint>
#include <string>

// Reading the URLs of feed lists and redirections the forgiving way a download reads them,
// and resolving the links of documents. Free functions without state; any thread.

// What a download makes of a URL: the host it connects to (an IPv6 literal without its
// brackets), the port, the path it asks for
// (the query included, the fragment left out, which stays with the reader), whether it goes
// over TLS, and the user name and password it names before the host, percent-decoded.
struct HTTPURL
{
    std::string host;
    std::string path;
    std::uint16_t port = 0;
    bool secure = false;
    std::string user;
    std::string password;
    bool hasCredentials = false;

    // The port is the scheme's own (80, or 443 over TLS).
    bool HasDefaultPort() const;
};

// Splits `url` into its parts. White space anywhere is dropped. Only "https:" means TLS
// (port 443); any other scheme, or none, is plain HTTP on port 80. "user:password@" before
// the host gives the credentials. A port is read the way atoi reads a number, keeping its low
// 16 bits; a port of 0, or none, is the scheme's. A host in brackets ("[::1]") is an IPv6
// literal.
HTTPURL ParseHTTPURL(const std::string& url);

// "host:port", an IPv6 literal in brackets: how a proxy is asked for a tunnel to the URL.
std::string HostAndPort(const HTTPURL& url);

// `url` as it may be shown: a password it names before the host, found as ParseHTTPURL
// finds it (blanks left out), reads "***".
std::string WithoutPassword(const std::string& url);

// The URL that the value of a "location" header names, read against the URL that was
// redirected: a value with a scheme stands alone, "//host/path" keeps the scheme, and a path,
// a query or a fragment keeps the scheme and the host (and port) of `base`. White space is
// dropped from both, as ParseHTTPURL drops it.
std::string ResolveLocation(const std::string& base, const std::string& location);

// The reference `reference` (a link or an xml:base of a document) resolved against the
// absolute URL `base`, as ResolveLocation resolves it; an empty reference names `base`
// without its fragment.
std::string ResolveReference(const std::string& base, const std::string& reference);
