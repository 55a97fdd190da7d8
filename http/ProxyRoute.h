#pragma once

#include "http/URL.h"
#include "platform/Socket.h"
#include "platform/SystemProxy.h"

#include <cstdint>
#include <string>

// Which way a request goes: straight to its server, or through an HTTP proxy that the
// "Proxy" setting or the system's settings name. Free functions without state; any thread.
//
// The setting wins over the system: a proxy URL there serves every request, "none" sends every
// request straight. On Linux the system's settings are curl's environment variables
// (http_proxy in lower case only, https_proxy or HTTPS_PROXY, all_proxy or ALL_PROXY, and
// no_proxy or NO_PROXY for the hosts reached without one); on Windows the user's proxy
// settings, proxy scripts included.

struct ProxyRoute
{
    std::string host; // empty: straight to the server
    std::uint16_t port = 0;
    // "user:password", percent-decoding undone; empty when the proxy URL names no user.
    std::string credentials;
    // Where the proxy was named, for people: "https_proxy", "the Proxy setting".
    std::string origin;
    // Why the proxy named cannot be used (not an HTTP proxy); null when it can. A constant
    // text.
    const char* unusable = nullptr;

    bool IsDirect() const { return host.empty(); }
};

// The route for a request of `url`.
ProxyRoute RouteFor(const std::string& url, const HTTPURL& parts);

// The route that `setting` (the Proxy setting, empty when unset) and `system` give for `url`.
ProxyRoute ChooseRoute(const HTTPURL& url, const std::string& setting,
                       const platform::SystemProxy& system);

// Whether a no_proxy list exempts `host` from the proxy, as curl reads the list: names
// separated by commas or blanks, each matching that host and every name under it (a leading
// dot changes nothing), "*" alone every host, an IP address that address, a CIDR range
// ("10.0.0.0/8", "fd00::/8") every address literal in it. Letters match in either case.
bool IsExemptFromProxy(const std::string& noProxy, const std::string& host);

// Whether a Windows bypass list ("<local>;*.example.com;10.*") exempts `host`: entries
// separated by semicolons, commas or blanks, "*" matching any run of characters, "<local>"
// every name without a dot.
bool IsBypassedOnWindows(const std::string& bypass, const std::string& host);

// The proxy that a Windows proxy list names for a request over TLS or not: the first entry
// for the scheme ("https=b:2"), else the first entry for every scheme ("a:8080"); empty when
// none.
std::string WindowsProxyFor(const std::string& list, bool secure);

// The value of the Proxy-Authorization header that gives the proxy the route's credentials
// ("Basic ..."); empty without credentials.
std::string ProxyAuthorization(const ProxyRoute& route);

// Asks the proxy connected on `socket` (blocking) for a tunnel to `url`'s host and port, and
// reads its answer up to the end of its header block, no further: what follows is the
// server's. Null when the tunnel is open, else why not, a constant text.
const char* OpenTunnel(platform::SocketHandle socket, const ProxyRoute& route, const HTTPURL& url);

// Why the proxy refused a request with the header block `headers`, a constant text: "the proxy
// asks for a password (Basic)" for a 407; null for any other status, which the server gave.
const char* ProxyRefusal(const std::string& headers, const ProxyRoute& route);

// "via proxy HOST:PORT, from ORIGIN"; empty for a direct route.
std::string RouteText(const ProxyRoute& route);
