#include "http/HTTPGet.h"

#include "http/ByteBudget.h"
#include "http/CancelSignal.h"
#include "support/HTTPTestServer.h"
#include "support/LoopbackPorts.h"
#include "support/ScriptedResolver.h"
#include "support/TestCertificates.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

// Runs DownloadFeed and returns the exception text, or "" when it succeeded.
std::string DownloadError(const std::string& url, CCancelSignal* cancel = nullptr)
{
    try {
        DownloadFeed(url, cancel);
    } catch (const CHTTPGet::exception& error) {
        return error.what();
    }
    return "";
}

struct SecureServer : CHTTPTestServer
{
    explicit SecureServer(const std::string& name = "server")
        : CHTTPTestServer(TestCertificateFile(name + ".pem"), TestCertificateFile(name + ".key"))
    {}
};

} // namespace

TEST(HTTPGet, SendsTheExactRequestAndSplitsTheResponse)
{
    CHTTPTestServer server;
    ASSERT_TRUE(server.IsRunning());
    const std::string body = std::string("<rss>a\0b</rss>", 14) + std::string(50000, 'z');
    server.Serve("/a/b?x=1#f", CHTTPTestServer::OkResponse(body));

    CHTTPGet client;
    client.Get(server.Url("/a/b?x=1#f"));
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0], "GET /a/b?x=1#f HTTP/1.0\r\n"
                                    "Cache-Control: no-cache\r\n"
                                    "Host: 127.0.0.1\r\n"
                                    "User-Agent: QUILLBOX.vorlenta\r\n"
                                    "Accept-Encoding: gzip, deflate\r\n"
                                    "\r\n");
    EXPECT_EQ(client.GetHeaders(), "HTTP/1.0 200 OK\r\nContent-Type: application/rss+xml\r\n\r\n");
    EXPECT_EQ(client.GetBody(), body); // a NUL byte loses nothing after it
}

TEST(HTTPGet, AResponseWithoutAnEmptyLineIsAllHeaders)
{
    CHTTPTestServer server;
    server.Serve("/", "HTTP/1.0 200 OK\r\nServer: x\r\n<rss/>");
    CHTTPGet client;
    client.Get(server.Url("/"));
    EXPECT_EQ(client.GetHeaders(), "HTTP/1.0 200 OK\r\nServer: x\r\n<rss/>");
    EXPECT_EQ(client.GetBody(), "");
}

TEST(HTTPGet, RedirectionsAreFollowedAndErrorPagesAreDocuments)
{
    CHTTPTestServer server;
    server.Serve("/301", CHTTPTestServer::RedirectResponse(301, server.Url("/302")));
    server.Serve("/302", "HTTP/1.1 302 Found\r\nlocation: " + server.Url("/307") + "\r\n\r\n");
    server.Serve("/307", "HTTP/1.1 307 Temporary Redirect\r\nLOCATION: " + server.Url("/feed") +
                             "\r\nLocation: " + server.Url("/wrong") + "\r\n\r\nignored");
    server.Serve("/feed", CHTTPTestServer::OkResponse("final"));
    server.Serve("/500", "HTTP/1.0 500 Internal Server Error\r\n\r\nbroken");
    EXPECT_EQ(DownloadFeed(server.Url("/301")), "final");
    EXPECT_EQ(server.Requests().size(), 4u);
    EXPECT_EQ(DownloadFeed(server.Url("/missing")), "not found");
    EXPECT_EQ(DownloadFeed(server.Url("/500")), "broken");
}

TEST(HTTPGet, ARedirectionChainEndsAfterTheTenthRequest)
{
    CHTTPTestServer server;
    for (int hop = 1; hop <= 11; ++hop) {
        server.Serve("/" + std::to_string(hop), "HTTP/1.0 302 Found\r\nLocation: /" +
                                                    std::to_string(hop + 1) + "\r\n\r\nhop " +
                                                    std::to_string(hop));
    }
    EXPECT_EQ(DownloadFeed(server.Url("/1")), "hop 10");
    EXPECT_EQ(server.Requests().size(), 10u);
}

TEST(HTTPGet, ARedirectionWithoutALocationFailsWithoutAskingTheResolver)
{
    CHTTPTestServer server;
    server.Serve("/", "HTTP/1.0 302 Found\r\n\r\n");
    EXPECT_EQ(DownloadError(server.Url("/")), "cannot resolve server name");
}

TEST(HTTPGet, FailuresRaiseTheirTexts)
{
    EXPECT_EQ(DownloadError("http://no-such-host.invalid/feed"), "cannot resolve server name");

    // A bound socket that does not listen refuses connections, and keeps its port taken.
    const platform::SocketHandle closed = platform::CreateTcpSocket();
    ASSERT_TRUE(platform::BindLoopback(closed, 0));
    EXPECT_EQ(DownloadError("http://127.0.0.1:" + std::to_string(platform::LocalPort(closed))),
              "cannot connect: connection refused");
    platform::CloseSocket(closed);
}

TEST(HTTPGet, EveryAddressOfANameIsTriedInTheResolversOrder)
{
    CHTTPTestServer server;
    CHTTPTestServer ipv6(CHTTPTestServer::Options{true, false});
    ASSERT_TRUE(server.IsRunning());
    server.Serve("/feed", CHTTPTestServer::OkResponse("<rss/>"));
    ipv6.Serve("/feed", CHTTPTestServer::OkResponse("<rss version=\"6\"/>"));
    const std::uint16_t refusing = static_cast<std::uint16_t>(shelltest::FreePort());
    const auto literal = &CScriptedResolver::Literal;
    const struct
    {
        const char* name;
        std::vector<platform::NetworkAddress> addresses;
        bool needsIPv6;
        const char* body; // empty: the download fails
    } cases[] = {
        {"the first address refuses",
         {literal("127.0.0.1", refusing), literal("127.0.0.1", server.Port())},
         false,
         "<rss/>"},
        {"only an IPv6 address", {literal("::1", ipv6.Port())}, true, "<rss version=\"6\"/>"},
        {"IPv6 refuses, IPv4 answers",
         {literal("::1", refusing), literal("127.0.0.1", server.Port())},
         true,
         "<rss/>"},
        {"every address refuses",
         {literal("127.0.0.1", refusing), literal("127.0.0.1", refusing)},
         false,
         ""},
    };
    for (const auto& test : cases) {
        if (test.needsIPv6 && !ipv6.IsRunning()) {
            std::printf("[  SKIPPED ] %s: this machine has no IPv6 loopback\n", test.name);
            continue;
        }
        const CScriptedResolver resolver("feeds.test", test.addresses);
        CHTTPGet client;
        client.SetResolver(resolver);
        try {
            client.Get("http://feeds.test:" + std::to_string(server.Port()) + "/feed");
            EXPECT_EQ(client.GetBody(), test.body) << test.name;
        } catch (const CHTTPGet::exception& error) {
            EXPECT_STREQ("", test.body) << test.name;
            EXPECT_STREQ(error.what(), "cannot connect: connection refused") << test.name;
        }
    }
    // The request names the host of the URL, whichever address served it.
    ASSERT_FALSE(server.Requests().empty());
    EXPECT_NE(server.Requests()[0].find("\r\nHost: feeds.test"), std::string::npos);
}

TEST(HTTPGet, AnIPv6LiteralInBracketsIsReached)
{
    CHTTPTestServer server(CHTTPTestServer::Options{true, false});
    if (!server.IsRunning())
        GTEST_SKIP() << "this machine has no IPv6 loopback";
    server.Serve("/feed", CHTTPTestServer::OkResponse("<rss/>"));
    EXPECT_EQ(server.Url("/feed"), "http://[::1]:" + std::to_string(server.Port()) + "/feed");
    EXPECT_EQ(DownloadFeed(server.Url("/feed")), "<rss/>");
}

TEST(HTTPGet, ResponsesTakeTheirMemoryFromTheBudgetAndAFailedOneGivesItBack)
{
    CHTTPTestServer server;
    server.Serve("/big", CHTTPTestServer::OkResponse(std::string(40000, 'x')));
    server.Serve("/small", CHTTPTestServer::OkResponse("<rss/>"));
    // Room for the buffer of one big response, not of two.
    CByteBudget budget(100000);
    CHTTPGet client(nullptr, &budget);
    client.Get(server.Url("/big"));
    // The body stays in the buffer the response was received into.
    const std::size_t big = client.GetBody().capacity();
    EXPECT_GE(big, client.GetHeaders().size() + client.GetBody().size());
    try {
        client.Get(server.Url("/big"));
        ADD_FAILURE() << "a response past the budget was accepted";
    } catch (const CHTTPGet::exception& error) {
        EXPECT_STREQ(error.what(), "over the download limit of one login");
    }
    client.Get(server.Url("/small"));
    const std::size_t small = client.GetBody().capacity();
    EXPECT_EQ(client.TakeBody(), "<rss/>");
    EXPECT_EQ(client.GetBody(), "");
    // Exactly the buffers of the two whole responses were taken.
    EXPECT_TRUE(budget.Take(100000 - big - small));
    EXPECT_FALSE(budget.Take(1));

    // A response that a larger budget cannot cover fails with that budget's reason.
    CByteBudget allLogins(20000, nullptr, "over the memory limit of all logins");
    CByteBudget login(100000, &allLogins);
    CHTTPGet limited(nullptr, &login);
    try {
        limited.Get(server.Url("/big"));
        ADD_FAILURE() << "a response past the larger budget was accepted";
    } catch (const CHTTPGet::exception& error) {
        EXPECT_STREQ(error.what(), "over the memory limit of all logins");
    }
    EXPECT_EQ(allLogins.Left(), 20000u);
    EXPECT_EQ(login.Left(), 100000u);
}

TEST(HTTPGet, CancellingStopsADownloadThatWaitsForAnAnswer)
{
    CHTTPTestServer server;
    CHTTPTestServer::Response silent;
    silent.neverAnswer = true;
    server.Serve("/silent", silent);
    CCancelSignal cancel;
    std::thread canceller([&] {
        while (server.Requests().empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        cancel.Cancel();
    });
    EXPECT_EQ(DownloadError(server.Url("/silent"), &cancel), "download cancelled");
    canceller.join();
    EXPECT_TRUE(server.WaitUntilNoConnectionIsOpen(10000));
    // Once cancelled, no further connection is opened.
    EXPECT_EQ(DownloadError(server.Url("/silent"), &cancel), "download cancelled");
    EXPECT_EQ(server.Requests().size(), 1u);
}

TEST(HTTPGetOverTLS, FetchesOverTLSByAddressAndByName)
{
    SecureServer server;
    ASSERT_TRUE(server.IsRunning());
    server.Serve("/feed.xml", CHTTPTestServer::OkResponse(std::string(100000, 'r')));
    EXPECT_EQ(DownloadFeed(server.Url("/feed.xml")), std::string(100000, 'r'));
    EXPECT_EQ(DownloadFeed(server.Url("/feed.xml", "localhost")), std::string(100000, 'r'));
    ASSERT_EQ(server.Requests().size(), 2u);
    // Inside the TLS stream the request is the same as in the clear.
    EXPECT_EQ(server.Requests()[1], "GET /feed.xml HTTP/1.0\r\n"
                                    "Cache-Control: no-cache\r\n"
                                    "Host: localhost\r\n"
                                    "User-Agent: QUILLBOX.vorlenta\r\n"
                                    "Accept-Encoding: gzip, deflate\r\n"
                                    "\r\n");
}

TEST(HTTPGetOverTLS, RedirectionsCrossBetweenHTTPAndHTTPS)
{
    SecureServer secure;
    CHTTPTestServer plain;
    plain.Serve("/start", CHTTPTestServer::RedirectResponse(301, secure.Url("/middle")));
    secure.Serve("/middle", CHTTPTestServer::RedirectResponse(302, plain.Url("/end")));
    plain.Serve("/end", CHTTPTestServer::OkResponse("<rss/>"));
    EXPECT_EQ(DownloadFeed(plain.Url("/start")), "<rss/>");
    EXPECT_EQ(secure.Requests().size(), 1u);
    EXPECT_EQ(plain.Requests().size(), 2u);
}

TEST(HTTPGetOverTLS, CertificatesThatDoNotProveTheHostFail)
{
    SecureServer untrusted("untrusted");
    untrusted.Serve("/", CHTTPTestServer::OkResponse("secret"));
    EXPECT_EQ(DownloadError(untrusted.Url("/")), "certificate not trusted");
    EXPECT_EQ(DownloadError(untrusted.Url("/", "localhost")), "certificate not trusted");

    SecureServer wrongHost("wrong-host");
    wrongHost.Serve("/", CHTTPTestServer::OkResponse("secret"));
    EXPECT_EQ(DownloadError(wrongHost.Url("/", "localhost")),
              "certificate not valid for this host");
    EXPECT_EQ(DownloadError(wrongHost.Url("/")), "certificate not valid for this host");

    // Nothing was requested from a server that failed verification.
    EXPECT_TRUE(untrusted.Requests().empty());
    EXPECT_TRUE(wrongHost.Requests().empty());
}

TEST(HTTPGetOverTLS, AnEndlessResponseFailsInTheClearAndOverTLS)
{
    CHTTPTestServer plain;
    SecureServer secure;
    CHTTPTestServer::Response endless;
    endless.bytes = CHTTPTestServer::OkResponse("<rss>");
    endless.endless = true;
    for (CHTTPTestServer* server : {&plain, static_cast<CHTTPTestServer*>(&secure)}) {
        server->Serve("/endless", endless);
        EXPECT_EQ(DownloadError(server->Url("/endless")), "response too large");
        // The server goes on writing into the connection the client closed, and lives: the
        // writes fail without a signal.
        EXPECT_TRUE(server->WaitUntilNoConnectionIsOpen(10000));
    }
}
