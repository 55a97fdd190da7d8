#include "http/HTTPGet.h"
#include "support/HTTPTestServer.h"
#include "support/TestCertificates.h"

#include <gtest/gtest.h>

namespace {

std::string DownloadError(const std::string& url)
{
    try {
        DownloadFeed(url);
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

TEST(TLSStream, FetchesOverTLSByAddressAndByName)
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
                                    "\r\n");
}

TEST(TLSStream, RedirectionsCrossBetweenHTTPAndHTTPS)
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

TEST(TLSStream, CertificatesThatDoNotProveTheHostFail)
{
    SecureServer untrusted("untrusted");
    untrusted.Serve("/", CHTTPTestServer::OkResponse("secret"));
    EXPECT_EQ(DownloadError(untrusted.Url("/")), "secure connection failed");
    EXPECT_EQ(DownloadError(untrusted.Url("/", "localhost")), "secure connection failed");

    SecureServer wrongHost("wrong-host");
    wrongHost.Serve("/", CHTTPTestServer::OkResponse("secret"));
    EXPECT_EQ(DownloadError(wrongHost.Url("/", "localhost")), "secure connection failed");
    EXPECT_EQ(DownloadError(wrongHost.Url("/")), "secure connection failed");

    // Nothing was requested from a server that failed verification.
    EXPECT_TRUE(untrusted.Requests().empty());
    EXPECT_TRUE(wrongHost.Requests().empty());
}
