#include "http/Url.h"

#include <gtest/gtest.h>

namespace {

struct ParsedUrl
{
    const char* url;
    const char* host;
    unsigned port;
    const char* path;
    bool secure;
};

} // namespace

TEST(Url, ParseHttpUrlSplitsHostPortAndPath)
{
    const ParsedUrl cases[] = {
        {"http://10.0.0.5:81/a/b?x=1#f", "10.0.0.5", 81, "/a/b?x=1#f", false},
        {"10.0.0.5/feed", "10.0.0.5", 80, "/feed", false},
        {"http://example.com", "example.com", 80, "/", false},
        {" h t\ttp://exa mple.com/fe\r\ned ", "example.com", 80, "/feed", false},
        {"http://example.com:0/", "example.com", 80, "/", false},
        {"http://example.com:/", "example.com", 80, "/", false},
        {"http://example.com:abc/", "example.com", 80, "/", false},
        {"http://example.com:81x/", "example.com", 81, "/", false},
        {"http://example.com:65617/", "example.com", 81, "/", false},
        {"http://example.com:99999999999999999999/", "example.com", 65535, "/", false},
        {"http://example.com:1:2/", "example.com", 1, "/", false},
        {"ftp://example.com/x", "example.com", 80, "/x", false},
        {"https://example.com/feed", "example.com", 443, "/feed", true},
        {"HTTPS://example.com:8443", "example.com", 8443, "/", true},
        {"https://example.com:0/", "example.com", 443, "/", true},
        {"http://[::1]:8080/feed", "::1", 8080, "/feed", false},
        {"https://[2001:db8::7]/feed", "2001:db8::7", 443, "/feed", true},
        {"http://[::ffff:10.0.0.1]", "::ffff:10.0.0.1", 80, "/", false},
        {"http://[::1]:/", "::1", 80, "/", false},
    };
    for (const ParsedUrl& expected : cases) {
        SCOPED_TRACE(expected.url);
        const HttpUrl url = ParseHttpUrl(expected.url);
        EXPECT_EQ(url.host, expected.host);
        EXPECT_EQ(url.port, expected.port);
        EXPECT_EQ(url.path, expected.path);
        EXPECT_EQ(url.secure, expected.secure);
    }
}

TEST(Url, LocationsAreResolvedAgainstTheRedirectedUrl)
{
    const std::string base = "https://example.com:8443/feeds/news.xml?x=1";
    EXPECT_EQ(ResolveLocation(base, "http://other.example/a"), "http://other.example/a");
    EXPECT_EQ(ResolveLocation(base, "//cdn.example/b"), "https://cdn.example/b");
    EXPECT_EQ(ResolveLocation(base, "/rss"), "https://example.com:8443/rss");
    EXPECT_EQ(ResolveLocation(base, "all.xml"), "https://example.com:8443/feeds/all.xml");
    EXPECT_EQ(ResolveLocation(base, "../top/./x.xml?y#z"),
              "https://example.com:8443/top/x.xml?y#z");
    EXPECT_EQ(ResolveLocation(base, "?page=2"), "https://example.com:8443/feeds/news.xml?page=2");
    EXPECT_EQ(ResolveLocation("example.com", "feed"), "example.com/feed");
    EXPECT_EQ(ResolveLocation(base, ""), "");
    // Blanks count nowhere, as in any other URL.
    EXPECT_EQ(ResolveLocation(base, "ht tp://other.example/a"), "http://other.example/a");
    EXPECT_EQ(ResolveLocation(base, "/ /cdn.example/b"), "https://cdn.example/b");
}

TEST(Url, HostAndPortBracketsIPv6Literals)
{
    EXPECT_EQ(HostAndPort(ParseHttpUrl("https://[::1]/feed")), "[::1]:443");
    EXPECT_EQ(HostAndPort(ParseHttpUrl("http://example.com:81/")), "example.com:81");
}
