#include "http/ByteBudget.h"
#include "http/FeedDownloadsInternal.h"
#include "support/HTTPTestServer.h"
#include "support/ManualClock.h"
#include "support/ProcessResources.h"
#include "support/TestCertificates.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

// The threads of this process before a test starts any: first one thread is started and
// joined, since a runtime may start a helper thread of its own along with the process's first
// one (the thread sanitizer does), which would otherwise be counted as a thread left behind.
int BaselineThreadCount()
{
    std::thread([] {}).join();
    return CountThreads();
}

// Waits, within a generous bound, until the process runs no more than `expected` threads (a
// thread that has just let go of its last socket may still be returning), and gives the count.
int SettledThreadCount(int expected)
{
    for (int attempt = 0; attempt < 1000 && CountThreads() > expected; ++attempt)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return CountThreads();
}

} // namespace

TEST(DownloadAll, GivesOneEntryPerUrlInUrlOrder)
{
    CHTTPTestServer server;
    server.Serve("/a", CHTTPTestServer::OkResponse("first"));
    server.Serve("/c", CHTTPTestServer::OkResponse("third"));
    server.Serve("/moved", CHTTPTestServer::RedirectResponse(301, "/c"));
    EXPECT_EQ(
        DownloadAll({server.Url("/a"), "http://no-such-host.invalid/b", server.Url("/moved")}),
        (std::vector<std::string>{"first", "", "third"}));

    EXPECT_EQ(DownloadAll({server.Url("/a"), server.Url("/a")}),
              (std::vector<std::string>{"first", "first"}));
    EXPECT_TRUE(DownloadAll({}).empty());
}

TEST(DownloadAll, SixtyFeedsAtOnce)
{
    CHTTPTestServer server;
    std::vector<std::string> urls, expected;
    for (int index = 0; index < 60; ++index) {
        const std::string path = "/feed" + std::to_string(index);
        CHTTPTestServer::Response response;
        response.bytes = CHTTPTestServer::OkResponse("<rss>" + std::to_string(index) + "</rss>");
        response.delayMilliseconds = 50;
        server.Serve(path, response);
        urls.push_back(server.Url(path));
        expected.push_back("<rss>" + std::to_string(index) + "</rss>");
    }
    EXPECT_EQ(DownloadAll(urls), expected);
    EXPECT_EQ(server.Requests().size(), 60u);
}

TEST(FeedDownloads, DownloadsStillRunningWhenTheWaitEndsAreCutOffAndHandedOutAsSuch)
{
    CHTTPTestServer server;
    CHTTPTestServer secure(TestCertificateFile("server.pem"), TestCertificateFile("server.key"));
    CHTTPTestServer::Response silent;
    silent.neverAnswer = true;
    server.Serve("/silent", silent);
    secure.Serve("/silent", silent);
    server.Serve("/feed", CHTTPTestServer::OkResponse("<rss/>"));
    const int threadsBefore = BaselineThreadCount();
    CManualClock clock;
    {
        CFeedDownloads downloads({server.Url("/feed"), server.Url("/silent"), secure.Url("/silent"),
                                  server.Url("/feed")},
                                 kDownloadWait, kMaxLoginDownloadBytes, FeedFetch(), nullptr,
                                 clock);
        // The answered downloads come while the clock stands still.
        CFeedDownloads::Result document;
        std::vector<std::size_t> taken;
        for (int count = 0; count < 2; ++count) {
            ASSERT_TRUE(downloads.TakeNext(document));
            EXPECT_EQ(document.text, "<rss/>");
            taken.push_back(document.index);
        }
        std::sort(taken.begin(), taken.end());
        EXPECT_EQ(taken, (std::vector<std::size_t>{0, 3}));
        // The silent TLS download has made its request by the time the wait ends.
        for (int attempt = 0; attempt < 1000 && secure.Requests().empty(); ++attempt)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        clock.Advance(kDownloadWait);
        // Then the cut-off ones, in URL order, without documents.
        for (const std::size_t index : {1u, 2u}) {
            ASSERT_TRUE(downloads.TakeNext(document));
            EXPECT_EQ(document.index, index);
            EXPECT_FALSE(document.inTime);
            EXPECT_EQ(document.text, "");
            EXPECT_EQ(document.failure, kNoAnswerInTime);
            EXPECT_TRUE(document.trace.cancelled);
        }
        EXPECT_FALSE(downloads.TakeNext(document));
    }
    // The abandoned downloads let go of their connections, and their threads ended.
    EXPECT_TRUE(server.WaitUntilNoConnectionIsOpen(10000));
    EXPECT_TRUE(secure.WaitUntilNoConnectionIsOpen(10000));
    EXPECT_EQ(SettledThreadCount(threadsBefore), threadsBefore);
    EXPECT_EQ(secure.Requests().size(), 1u);
}

TEST(DownloadAll, ADownloadStuckInConnectingIsCutOffToo)
{
    // A listener that never accepts and whose queue is full lets new connections hang.
    const platform::SocketHandle listener = platform::CreateTcpSocket();
    ASSERT_TRUE(platform::BindLoopback(listener, 0));
    ASSERT_TRUE(platform::ListenOn(listener, 0));
    const std::uint16_t port = platform::LocalPort(listener);
    const platform::SocketHandle queued = platform::CreateTcpSocket();
    ASSERT_TRUE(platform::ConnectIPv4(queued, 0x0100007Fu, port));
    const int threadsBefore = BaselineThreadCount();
    EXPECT_EQ(DownloadAll({"http://127.0.0.1:" + std::to_string(port) + "/"},
                          std::chrono::milliseconds(300)),
              std::vector<std::string>{""});
    EXPECT_EQ(SettledThreadCount(threadsBefore), threadsBefore);
    platform::CloseSocket(queued);
    platform::CloseSocket(listener);
}

TEST(FeedDownloads, HandsOutEachDocumentAsSoonAsItsDownloadEnds)
{
    CHTTPTestServer server;
    CHTTPTestServer::Response silent;
    silent.neverAnswer = true;
    server.Serve("/silent", silent);
    server.Serve("/feed", CHTTPTestServer::OkResponse("<rss/>"));
    // A bound socket that does not listen refuses connections.
    const platform::SocketHandle closed = platform::CreateTcpSocket();
    ASSERT_TRUE(platform::BindLoopback(closed, 0));
    CManualClock clock;
    CFeedDownloads downloads({server.Url("/silent"), server.Url("/feed"),
                              "http://127.0.0.1:" + std::to_string(platform::LocalPort(closed))},
                             kDownloadWait, kMaxLoginDownloadBytes, FeedFetch(), nullptr, clock);
    // The answered and the refused download come while the silent one still runs.
    CFeedDownloads::Result first, second, last;
    ASSERT_TRUE(downloads.TakeNext(first));
    ASSERT_TRUE(downloads.TakeNext(second));
    if (first.index == 2)
        std::swap(first, second);
    EXPECT_EQ(first.index, 1u);
    EXPECT_EQ(first.text, "<rss/>");
    EXPECT_EQ(first.failure, "");
    EXPECT_EQ(second.index, 2u);
    EXPECT_EQ(second.text, "");
    EXPECT_EQ(second.failure, "cannot connect: connection refused");
    // The silent one never ends: the wait ends for a taker asleep when the clock reaches its
    // end, which gets it as cut off; a later call gets nothing.
    bool takenAfterTheWait = false;
    std::thread taker([&] { takenAfterTheWait = downloads.TakeNext(last); });
    clock.Advance(kDownloadWait - std::chrono::milliseconds(1));
    clock.Advance(std::chrono::milliseconds(1));
    taker.join();
    EXPECT_TRUE(takenAfterTheWait);
    EXPECT_EQ(last.index, 0u);
    EXPECT_FALSE(last.inTime);
    EXPECT_FALSE(downloads.TakeNext(last));
    platform::CloseSocket(closed);
}

TEST(FeedDownloads, TheDownloadsOfAListShareOneBudget)
{
    CHTTPTestServer server;
    server.Serve("/feed", CHTTPTestServer::OkResponse(std::string(40000, 'x')));
    CFeedDownloads downloads({server.Url("/feed"), server.Url("/feed")}, kDownloadWait, 30000);
    CFeedDownloads::Result document;
    int failed = 0;
    while (downloads.TakeNext(document))
        failed +=
            document.text.empty() && document.failure == "over the download limit of one login";
    EXPECT_EQ(failed, 2);
}

TEST(FeedDownloads, TheDownloadsDrawOnASharedBudgetUntilTheyAreGone)
{
    CHTTPTestServer server;
    // Each response grows into a buffer of 1 MB; the shared budget holds one of them beside
    // what the other download may hold by then, never two.
    server.Serve("/feed", CHTTPTestServer::OkResponse(std::string(600000, 'x')));
    CByteBudget shared(1900000);
    {
        CFeedDownloads downloads({server.Url("/feed"), server.Url("/feed")}, kDownloadWait,
                                 kMaxLoginDownloadBytes, FeedFetch(), &shared);
        CFeedDownloads::Result document;
        int received = 0;
        while (downloads.TakeNext(document))
            received += !document.text.empty();
        // The list's own budget had room for both; the shared one for one alone.
        EXPECT_EQ(received, 1);
        EXPECT_LT(shared.Left(), 1900000u - 600000u);
    }
    // A download thread lets go a moment after its download has ended.
    for (int attempt = 0; attempt < 1000 && shared.Left() != 1900000u; ++attempt)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(shared.Left(), 1900000u);
}
