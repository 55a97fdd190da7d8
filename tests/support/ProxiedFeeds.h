#pragma once

#include "support/HTTPTestServer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// A plain and an HTTPS server that both serve a small feed at /feed.xml, and a forward proxy
// on 127.0.0.1 for them, for the tests of the routes requests take. Check IsRunning.
class CProxiedFeeds
{
public:
    static constexpr char kFeed[] =
        "<rss version=\"2.0\"><channel><item><title>a</title></item></channel></rss>";

    CProxiedFeeds() : m_proxy(CHTTPTestServer::ForwardProxy())
    {
        m_plain.Serve("/feed.xml", CHTTPTestServer::OkResponse(kFeed));
        m_secure.Serve("/feed.xml", CHTTPTestServer::OkResponse(kFeed));
    }

    bool IsRunning() const
    {
        return m_plain.IsRunning() && m_secure.IsRunning() && m_proxy.IsRunning();
    }
    CHTTPTestServer& Server(bool secure) { return secure ? m_secure : m_plain; }
    CHTTPTestServer& Proxy() { return m_proxy; }
    // "127.0.0.1:<port>" of the proxy.
    std::string ProxyAddress() const { return "127.0.0.1:" + std::to_string(m_proxy.Port()); }
    // How the proxy's request for /feed.xml of the server starts: a GET in absolute form, or
    // a CONNECT to the HTTPS server.
    std::string ProxyRequest(bool secure) const
    {
        return secure ? "CONNECT 127.0.0.1:" + std::to_string(m_secure.Port()) + " HTTP/1.1\r\n"
                      : "GET http://127.0.0.1:" + std::to_string(m_plain.Port()) +
                            "/feed.xml HTTP/1.1\r\n";
    }

    // Checks what the proxy got after it had got `before` requests: nothing when `expected`
    // is empty, and `route` empty too; else one request that starts with `expected`, and
    // `route` "via proxy <the proxy's address>, from `origin`".
    void ExpectRoute(std::size_t before, const std::string& expected, const std::string& route,
                     const std::string& origin, const std::string& label) const
    {
        const std::vector<std::string> requests = m_proxy.Requests();
        if (expected.empty()) {
            EXPECT_EQ(requests.size(), before) << label;
            EXPECT_EQ(route, "") << label;
            return;
        }
        ASSERT_EQ(requests.size(), before + 1) << label;
        EXPECT_EQ(requests.back().compare(0, expected.size(), expected), 0) << label << ":\n"
                                                                            << requests.back();
        EXPECT_EQ(route, "via proxy " + ProxyAddress() + ", from " + origin) << label;
    }

    // Through a tunnel the server saw ordinary requests, and nothing meant for the proxy.
    void ExpectPlainRequestsAtTheServers() const
    {
        const CHTTPTestServer* const servers[] = {&m_plain, &m_secure};
        for (const CHTTPTestServer* server : servers) {
            for (const std::string& request : server->Requests()) {
                EXPECT_EQ(request.compare(0, 14, "GET /feed.xml "), 0) << request;
                EXPECT_EQ(request.find("Proxy-"), std::string::npos) << request;
            }
        }
    }

private:
    CHTTPTestServer m_plain;
    CSecureTestServer m_secure;
    CHTTPTestServer m_proxy;
};
