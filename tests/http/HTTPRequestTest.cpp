#include "http/HTTPRequest.h"

#include <gtest/gtest.h>

#include <utility>

TEST(HTTPRequest, BasicAuthorizationEncodesEveryLengthOfText)
{
    const struct
    {
        const char* user;
        const char* password;
        const char* value;
    } cases[] = {
        {"Aladdin", "open sesame", "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ=="},
        {"a", "", "Basic YTo="},
        {"ab", "c", "Basic YWI6Yw=="},
        {"abc", "de", "Basic YWJjOmRl"},
        {"\xC3\xA9", "\xFF", "Basic w6k6/w=="},
    };
    for (const auto& expected : cases)
        EXPECT_EQ(BasicAuthorization(expected.user, expected.password), expected.value);
}

TEST(HTTPRequest, TheTargetAndHostNameThePortOnlyWhenItIsNotTheSchemes)
{
    const RequestValidators none;
    const std::pair<const char*, const char*> origin[] = {
        {"http://example.com/feed?x=1#top", "GET /feed?x=1 HTTP/1.1\r\nHost: example.com\r\n"},
        {"http://example.com:8080", "GET / HTTP/1.1\r\nHost: example.com:8080\r\n"},
        {"https://u:p@example.com:443/a", "GET /a HTTP/1.1\r\nHost: example.com\r\n"},
        {"https://example.com:80/a", "GET /a HTTP/1.1\r\nHost: example.com:80\r\n"},
    };
    for (const auto& [url, start] : origin) {
        const std::string request =
            FormatRequest(ParseHTTPURL(url), RequestTarget::Origin, none, std::string());
        EXPECT_EQ(request.substr(0, std::string(start).size()), start);
    }
    const std::string absolute = FormatRequest(ParseHTTPURL("http://u:p@example.com:8080/a?b#c"),
                                               RequestTarget::Absolute, none, std::string());
    EXPECT_EQ(absolute.substr(0, absolute.find("User-Agent")),
              "GET http://example.com:8080/a?b HTTP/1.1\r\nHost: example.com:8080\r\n");
}

TEST(HTTPRequest, ConditionalHeadersFollowConnectionAndAuthorizationComesLast)
{
    const RequestValidators validators{"\"v1\"", "Tue, 14 Nov 2023 22:00:00 GMT", ""};
    const std::string request =
        FormatRequest(ParseHTTPURL("http://a/"), RequestTarget::Origin, validators, "Basic YTo=");
    const std::string tail = "Connection: close\r\nIf-None-Match: \"v1\"\r\n"
                             "If-Modified-Since: Tue, 14 Nov 2023 22:00:00 GMT\r\n"
                             "Authorization: Basic YTo=\r\n\r\n";
    EXPECT_EQ(request.substr(request.size() - tail.size()), tail);
    // A value that could end its line is left out.
    const RequestValidators broken{"\"a\"\r\nX-Evil: 1", "", ""};
    EXPECT_EQ(
        FormatRequest(ParseHTTPURL("http://a/"), RequestTarget::Origin, broken, "").find("X-Evil"),
        std::string::npos);
}
