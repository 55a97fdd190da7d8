#include "http/ContentDecoding.h"

#include "http/ByteBudget.h"
#include "http/CachingRules.h"
#include "http/HTTPGet.h"
#include "support/Compression.h"
#include "support/HTTPTestServer.h"

#include <gtest/gtest.h>

namespace {

const std::string kText = "<rss version=\"2.0\"><channel><title>News</title></channel></rss>\n";

struct Coded
{
    const char* what;
    std::string encoding;
    std::string body;
    bool decodes;
};

} // namespace

TEST(ContentDecoding, DecodesWhatServersSendAndRefusesDamage)
{
    const std::string gzip = Compressed(kText, 31);
    const Coded cases[] = {
        {"gzip", "gzip", gzip, true},
        {"x-gzip in capitals", " X-GZIP ", gzip, true},
        {"deflate as a zlib stream", "deflate", Compressed(kText, 15), true},
        {"deflate as raw data", "deflate", Compressed(kText, -15), true},
        {"two gzip members", "gzip",
         Compressed(kText.substr(0, 20), 31) + Compressed(kText.substr(20), 31), true},
        {"truncated", "gzip", gzip.substr(0, gzip.size() - 12), false},
        {"not compressed at all", "gzip", kText, false},
        {"a coding never offered", "br", gzip, false},
    };
    for (const Coded& coded : cases) {
        SCOPED_TRACE(coded.what);
        std::string body = coded.body;
        std::size_t taken = 0;
        if (coded.decodes) {
            CContentDecoding::Decode(coded.encoding, body, kMaxResponseBytes, nullptr, taken);
            EXPECT_EQ(body, kText);
        } else {
            EXPECT_THROW(
                CContentDecoding::Decode(coded.encoding, body, kMaxResponseBytes, nullptr, taken),
                CContentDecoding::exception);
        }
    }
}

TEST(ContentDecoding, ABombStopsAtTheBoundAndTheBudgetPaysForDecodedBytes)
{
    // 64 MB of zeros in some 64 KB: decoding must stop at the bound, not at the end.
    const std::string bomb = Compressed(std::string(64 * 1024 * 1024, '\0'));
    std::string body = bomb;
    std::size_t taken = 0;
    EXPECT_THROW(CContentDecoding::Decode("gzip", body, kMaxResponseBytes, nullptr, taken),
                 CContentDecoding::exception);

    // A budget too small for the decoded bytes stops the decoding too.
    CByteBudget small(1024 * 1024);
    body = bomb;
    taken = 0;
    EXPECT_THROW(CContentDecoding::Decode("gzip", body, kMaxResponseBytes, &small, taken),
                 CContentDecoding::exception);
    small.Give(taken);
    EXPECT_TRUE(small.Take(1024 * 1024));

    // A body decoded whole costs the memory of its decoded text, room to grow included: the
    // coded body's memory is given back.
    const std::string plain(100000, 'x');
    CByteBudget budget(1000000);
    body = Compressed(plain);
    taken = body.capacity();
    ASSERT_TRUE(budget.Take(taken));
    CContentDecoding::Decode("gzip", body, kMaxResponseBytes, &budget, taken);
    EXPECT_EQ(body, plain);
    EXPECT_EQ(taken, body.capacity());
    EXPECT_TRUE(budget.Take(1000000 - body.capacity()));
    EXPECT_FALSE(budget.Take(1));
}

TEST(ContentDecoding, DownloadsOfferCompressionAndSkipRedirectionBodies)
{
    CHTTPTestServer server;
    ASSERT_TRUE(server.IsRunning());
    server.Serve("/feed", "HTTP/1.0 200 OK\r\nContent-Encoding: gzip\r\n\r\n" + Compressed(kText));
    // A redirection whose body would not fit the budget: it is never read.
    server.Serve("/fat", "HTTP/1.0 301 Moved\r\nLocation: /feed\r\n\r\n" +
                             std::string(4 * 1024 * 1024, 'f'));
    CByteBudget budget(1024 * 1024);
    DownloadTrace trace;
    EXPECT_EQ(DownloadFeed(server.Url("/fat"), nullptr, &budget, &trace), kText);
    EXPECT_EQ(trace.movedTo, server.Url("/feed"));
    EXPECT_EQ(trace.encodedBytes, Compressed(kText).size());
    ASSERT_EQ(server.Requests().size(), 2u);
    EXPECT_NE(server.Requests()[1].find("\r\nAccept-Encoding: gzip, deflate\r\n"),
              std::string::npos);
}

TEST(CachingRules, QuietTimesAreReadAndBounded)
{
    const std::int64_t now = 1700000000; // 2023-11-14 22:13:20 UTC
    const struct
    {
        const char* headers;
        std::int64_t quiet;
    } cases[] = {
        {"HTTP/1.1 503 Busy\r\nRetry-After: 120\r\n\r\n", 120},
        {"HTTP/1.1 429 Slow down\r\nRetry-After: 3600\r\n\r\n", 3600},
        {"HTTP/1.1 429 Slow down\r\nRetry-After: 999999\r\n\r\n", kMaxRetryAfter.count()},
        {"HTTP/1.1 503 Busy\r\nRetry-After: Tue, 14 Nov 2023 23:13:20 GMT\r\n\r\n", 3600},
        {"HTTP/1.1 503 Busy\r\nRetry-After: Tuesday, 14-Nov-23 22:23:20 GMT\r\n\r\n", 600},
        {"HTTP/1.1 503 Busy\r\nRetry-After: Tue Nov 14 22:14:20 2023\r\n\r\n", 60},
        {"HTTP/1.1 503 Busy\r\nRetry-After: Mon, 13 Nov 2023 00:00:00 GMT\r\n\r\n", 0},
        {"HTTP/1.1 503 Busy\r\nRetry-After: soon\r\n\r\n", 0},
        {"HTTP/1.1 500 Broken\r\nRetry-After: 120\r\n\r\n", 0},
        {"HTTP/1.1 200 OK\r\nCache-Control: public, max-age=300\r\n\r\n", 300},
        {"HTTP/1.1 304 Not Modified\r\nCache-Control: max-age=86400\r\n\r\n", kMaxFreshAge.count()},
        {"HTTP/1.1 200 OK\r\nCache-Control: no-cache, max-age=300\r\n\r\n", 0},
        {"HTTP/1.1 200 OK\r\nRetry-After: 300\r\n\r\n", 0},
    };
    for (const auto& rule : cases) {
        SCOPED_TRACE(rule.headers);
        EXPECT_EQ(QuietUntil(rule.headers, now), now + rule.quiet);
    }
}
