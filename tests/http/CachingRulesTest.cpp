#include "http/CachingRules.h"

#include <gtest/gtest.h>

TEST(CachingRules, QuietTimesAreReadAndBounded)
{
    const platform::WallTime now{std::chrono::seconds(1700000000)}; // 2023-11-14 22:13:20 UTC
    const struct
    {
        const char* headers;
        std::int64_t quiet; // seconds
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
        EXPECT_EQ(QuietUntil(rule.headers, now), now + std::chrono::seconds(rule.quiet));
    }
}

TEST(CachingRules, ReadsEachFormOfAnHTTPDate)
{
    const struct
    {
        const char* text;
        bool read;
        std::int64_t seconds; // since 1970
    } cases[] = {
        {"Sun, 06 Nov 1994 08:49:37 GMT", true, 784111777},
        {"Sunday, 06-Nov-94 08:49:37 GMT", true, 784111777},
        {"Sun Nov  6 08:49:37 1994", true, 784111777},
        {"Thu, 01 Jan 1970 00:00:00 GMT", true, 0},
        {"Wed, 31 Dec 1969 23:59:59 GMT", false, 0},
        {"Sun, 06 Nov 1994 25:49:37 GMT", false, 0},
        {"Sun, 06 Nov 1994", false, 0},
        {"soon", false, 0},
    };
    for (const auto& date : cases) {
        platform::WallTime time;
        EXPECT_EQ(ParseHTTPDate(date.text, time), date.read) << date.text;
        if (date.read) {
            EXPECT_EQ(time.time_since_epoch().count(), date.seconds) << date.text;
        }
    }
}
