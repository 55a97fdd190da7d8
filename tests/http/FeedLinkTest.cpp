#include "http/FeedLink.h"

#include <gtest/gtest.h>

TEST(FeedLink, TheFirstLinkToAFeedIsFoundAndResolved)
{
    const std::string page = "https://blog.example/posts/today.html";
    const struct
    {
        const char* html;
        const char* feed;
    } cases[] = {
        {"<link rel=\"alternate\" type=\"application/rss+xml\" href=\"/feed.xml\">",
         "https://blog.example/feed.xml"},
        {"<LINK REL='Alternate' TYPE='application/atom+xml; charset=utf-8' HREF='atom'/>",
         "https://blog.example/posts/atom"},
        {"<link rel=feed type=application/rdf+xml href=//cdn.example/r>", "https://cdn.example/r"},
        {"<link rel=\"alternate stylesheet\" type=\"application/rss+xml\" href=\"/x\">", ""},
        {"<link rel=\"alternate\" type=\"text/html\" href=\"/x\">", ""},
        {"<link rel=\"alternate\" type=\"application/rss+xml\">", ""},
        {"<!-- <link rel=alternate type=application/rss+xml href=/old> -->"
         "<link rel=alternate type=application/rss+xml href=/new>",
         "https://blog.example/new"},
        {"<base href=\"https://other.example/dir/\"><base href=/ignored/>"
         "<link rel=alternate type=application/rss+xml href=\"f?a=1&amp;b=2\">",
         "https://other.example/dir/f?a=1&b=2"},
        {"<linkage rel=alternate type=application/rss+xml href=/x>", ""},
        {"<link rel=alternate type=application/rss+xml href=/first>"
         "<link rel=alternate type=application/atom+xml href=/second>",
         "https://blog.example/first"},
        {"<link rel=alternate type=application/rss+xml href=\"/cut", "https://blog.example/cut"},
        {"<link", ""},
    };
    for (const auto& expected : cases)
        EXPECT_EQ(FindFeedLink(expected.html, page), expected.feed) << expected.html;
}

TEST(FeedLink, WebPagesAreToldFromFeeds)
{
    const struct
    {
        const char* headers;
        const char* body;
        bool page;
    } cases[] = {
        {"HTTP/1.1 200 OK\r\n\r\n", "\xEF\xBB\xBF <!-- x --> <!DOCTYPE html><html>", true},
        {"HTTP/1.1 200 OK\r\n\r\n", "<HTML lang=en>", true},
        {"HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n\r\n", "<p>hi", true},
        {"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n", "<?xml version=\"1.0\"?><rss>",
         false},
        {"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n", " <rss version=\"2.0\">", false},
        {"HTTP/1.1 200 OK\r\nContent-Type: application/rss+xml\r\n\r\n", "<rss>", false},
        {"HTTP/1.1 200 OK\r\n\r\n", "", false},
    };
    for (const auto& expected : cases)
        EXPECT_EQ(IsWebPage(expected.headers, expected.body), expected.page) << expected.body;
}
