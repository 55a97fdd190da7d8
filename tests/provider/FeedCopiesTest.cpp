#include "provider/FeedCopies.h"

#include "http/ByteBudget.h"
#include "platform/File.h"
#include "provider/MessageProviderRSS.h"
#include "support/Compression.h"
#include "support/HTTPTestServer.h"
#include "support/ManualClock.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>

namespace {

constexpr std::int64_t kDay = 24 * 60 * 60;

std::string Feed(int items)
{
    std::string text = "<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel><title>N</title>";
    for (int item = 1; item <= items; ++item)
        text += "<item><title>Item " + std::to_string(item) + "</title><guid>g" +
                std::to_string(item) + "</guid></item>";
    return text + "</channel></rss>\n";
}

std::string Answer(const std::string& statusLine, const std::string& headers,
                   const std::string& body = std::string())
{
    return "HTTP/1.1 " + statusLine + "\r\n" + headers + "\r\n" + body;
}

// Logins to a feed list in a folder of its own, with copies in that folder and a clock the
// test moves.
class FeedCopiesTest : public ::testing::Test
{
protected:
    FeedCopiesTest()
        : m_store(m_folder.File("cache"), m_clock), m_copies(std::make_shared<CFeedCopies>(m_store))
    {}

    void List(const std::vector<std::string>& urls)
    {
        std::string text;
        for (const std::string& url : urls)
            text += url + "\n";
        m_list = m_folder.Write("feeds.txt", text);
    }

    // One login; its outcomes are kept.
    MessageList Login()
    {
        CMessageProviderRSS::Services services;
        services.copies = m_copies;
        CMessageProviderRSS login(m_list, "", std::move(services));
        MessageList messages = login.GetMessages().messages;
        m_outcomes = login.FeedOutcomes();
        return messages;
    }

    CTempFolder m_folder;
    // Moves the clock on by `seconds`.
    void Later(std::int64_t seconds) { m_clock.Advance(std::chrono::seconds(seconds)); }

    CManualClock m_clock;
    CFeedCopyStore m_store;
    std::shared_ptr<CFeedCopies> m_copies;
    std::string m_list;
    std::vector<FeedOutcome> m_outcomes;
};

} // namespace

TEST_F(FeedCopiesTest, AFeedKeepsItsMessagesThroughEveryKindOfOutage)
{
    CHTTPTestServer server;
    ASSERT_TRUE(server.IsRunning());
    List({server.Url("/feed")});
    const std::string validators =
        "ETag: \"v1\"\r\nLast-Modified: Tue, 14 Nov 2023 22:00:00 GMT\r\n";
    const struct
    {
        const char* what;
        std::int64_t later; // seconds since the login before
        std::string answer; // empty: the server is gone, connections are refused
        std::size_t messages;
        bool asked;
        CopyUse copyUse;
    } steps[] = {
        {"first answer, gzip, with validators", 0,
         Answer("200 OK", validators + "Content-Encoding: gzip\r\n", Compressed(Feed(3))), 3, true,
         CopyUse::None},
        {"unchanged", 60, Answer("304 Not Modified", ""), 3, true, CopyUse::Unchanged},
        {"server busy", 60, Answer("503 Busy", "", "<html>busy</html>"), 3, true,
         CopyUse::Fallback},
        {"too many requests", 60, Answer("429 Slow down", "Retry-After: 3600\r\n"), 3, true,
         CopyUse::Fallback},
        {"within the Retry-After", 3000, Answer("200 OK", "", Feed(1)), 3, false, CopyUse::Quiet},
        {"a web page instead of the feed", 700, Answer("200 OK", "", "<html>portal</html>"), 3,
         true, CopyUse::Fallback},
        {"a password asked for", 60,
         Answer("401 Unauthorized", "WWW-Authenticate: Basic realm=\"Members\"\r\n"), 3, true,
         CopyUse::Fallback},
        {"a bot wall", 60,
         Answer("403 Forbidden", "cf-mitigated: challenge\r\n", "<html>wait</html>"), 3, true,
         CopyUse::Fallback},
        {"forbidden", 60, Answer("403 Forbidden", ""), 3, true, CopyUse::Fallback},
        {"the feed lost its items", 60, Answer("200 OK", "", Feed(0)), 3, true, CopyUse::Fallback},
        {"a new version with a long max-age", 60,
         Answer("200 OK", "Cache-Control: max-age=86400\r\n", Feed(2)), 2, true, CopyUse::None},
        {"within the max-age, at most an hour", 3500, Answer("200 OK", "", Feed(5)), 2, false,
         CopyUse::Quiet},
        {"gone, copy a day old", kDay - 3500, Answer("404 Not Found", ""), 2, true,
         CopyUse::Fallback},
        {"gone, copy eight days old", 7 * kDay, Answer("410 Gone", ""), 0, true, CopyUse::None},
        {"broken, copy eight days old", 0, Answer("500 Broken", ""), 2, true, CopyUse::Fallback},
        {"refused, copy eight days old", 0, "", 2, false, CopyUse::Fallback},
        {"refused, copy a month old", 23 * kDay, "", 0, false, CopyUse::None},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        Later(step.later);
        if (step.answer.empty())
            server.Stop();
        else
            server.Serve("/feed", step.answer);
        const std::size_t requests = server.Requests().size();
        EXPECT_EQ(Login().size(), step.messages);
        EXPECT_EQ(server.Requests().size(), requests + (step.asked ? 1 : 0));
        ASSERT_EQ(m_outcomes.size(), 1u);
        EXPECT_EQ(m_outcomes[0].download.copyUse, step.copyUse);
        // The copy is written beside its place before the answer is read, and nothing of
        // that is left once the login is over, whether it was kept or not; a confirmation
        // may have left its stamp.
        std::size_t files = 0;
        for (const auto& entry : std::filesystem::directory_iterator(m_store.Folder()))
            files += entry.path().extension() == ".copy"        ? 1
                     : entry.path().extension() == ".confirmed" ? 0
                                                                : 100;
        EXPECT_EQ(files, 1u);
    }
    // Every request after the first carried the validators exactly as they came.
    const std::vector<std::string> requests = server.Requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests[0].find("If-None-Match"), std::string::npos);
    EXPECT_NE(requests[1].find("\r\nIf-None-Match: \"v1\"\r\n"), std::string::npos);
    EXPECT_NE(requests[1].find("\r\nIf-Modified-Since: Tue, 14 Nov 2023 22:00:00 GMT\r\n"),
              std::string::npos);
}

TEST_F(FeedCopiesTest, RefusalsAndAFeedWithoutItemsServeTheCopyAsLongAsTheirKind)
{
    CHTTPTestServer server;
    ASSERT_TRUE(server.IsRunning());
    List({server.Url("/feed")});
    const struct
    {
        std::int64_t later;
        std::string answer;
        std::size_t messages;
        const char* reason; // of the fallback; empty when the answer serves
    } steps[] = {
        {0, Answer("200 OK", "", Feed(3)), 3, ""},
        {6 * kDay, Answer("200 OK", "", Feed(0)), 3, "the feed has no items"},
        {2 * kDay, Answer("200 OK", "", Feed(0)), 0, ""},
        // The feed without items is the copy now.
        {kDay, Answer("503 Busy", ""), 0, "server answered 503"},
        {0, Answer("200 OK", "", Feed(2)), 2, ""},
        {29 * kDay, Answer("401 Unauthorized", "WWW-Authenticate: Basic realm=\"Members\"\r\n"), 2,
         "needs a user name and password (realm Members)"},
        {0, Answer("403 Forbidden", "Server: cloudflare\r\nContent-Type: text/html\r\n", "<p>"), 2,
         "refused by the site's bot protection (Cloudflare)"},
        {2 * kDay, Answer("403 Forbidden", ""), 0, ""},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.answer);
        Later(step.later);
        server.Serve("/feed", step.answer);
        EXPECT_EQ(Login().size(), step.messages);
        ASSERT_EQ(m_outcomes.size(), 1u);
        EXPECT_EQ(m_outcomes[0].download.fallbackReason, step.reason);
    }
}

TEST_F(FeedCopiesTest, AFallbackCountsFromTheLastAnswerThatConfirmedTheCopy)
{
    CHTTPTestServer server;
    ASSERT_TRUE(server.IsRunning());
    List({server.Url("/feed")});
    const std::string unchanged = Answer("304 Not Modified", "");
    const std::string validators = "ETag: \"v1\"\r\n";
    const std::string same = Answer("200 OK", validators, Feed(3));
    const std::string busy = Answer("503 Busy", "");
    const std::string gone = Answer("404 Not Found", "");
    const std::string empty = Answer("200 OK", "", Feed(0));
    constexpr std::int64_t kHour = 60 * 60;
    const struct
    {
        const char* what;
        std::string confirmation; // answered `later` after the first 200
        std::int64_t later;
        std::string failure; // answered `failedAfter` after the confirmation
        std::int64_t failedAfter;
        std::size_t messages;
    } cases[] = {
        {"304 on day 20, 503 on day 45", unchanged, 20 * kDay, busy, 25 * kDay, 3},
        {"304 within the day, 503 a month after it", unchanged, 23 * kHour, busy, 30 * kDay - kHour,
         3},
        {"the same 200 within the day, 503 a month after it", same, 23 * kHour, busy,
         30 * kDay - kHour, 3},
        {"304 within the day, 503 a month and an hour after it", unchanged, 23 * kHour, busy,
         30 * kDay + kHour, 0},
        {"304 within the day, 404 a week after it", unchanged, 23 * kHour, gone, 7 * kDay - kHour,
         3},
        {"the same 200 within the day, no items a week after it", same, 23 * kHour, empty,
         7 * kDay - kHour, 3},
    };
    for (const auto& step : cases) {
        SCOPED_TRACE(step.what);
        std::filesystem::remove_all(m_store.Folder());
        server.Serve("/feed", Answer("200 OK", validators, Feed(3)));
        ASSERT_EQ(Login().size(), 3u);
        Later(step.later);
        server.Serve("/feed", step.confirmation);
        ASSERT_EQ(Login().size(), 3u);
        Later(step.failedAfter);
        server.Serve("/feed", step.failure);
        EXPECT_EQ(Login().size(), step.messages);
        ASSERT_EQ(m_outcomes.size(), 1u);
        if (step.messages != 0) {
            EXPECT_EQ(m_outcomes[0].download.copyAge.count(), step.failedAfter);
        }
    }
}

TEST_F(FeedCopiesTest, AStampConfirmsOnlyTheCopyItWasWrittenFor)
{
    const std::string url = "http://feeds.example/feed";
    FeedCopy copy;
    copy.url = url;
    const platform::WallTime now = m_store.Now();
    constexpr std::chrono::seconds kOneDay = std::chrono::hours(24);
    copy.fetched = now;
    copy.body = Feed(2);
    const FeedCopy other = [&] {
        FeedCopy changed = copy;
        changed.body = Feed(3);
        return changed;
    }();
    const FeedCopy later = [&] {
        FeedCopy changed = copy;
        changed.fetched = now + std::chrono::seconds(1);
        return changed;
    }();
    const struct
    {
        const char* what;
        const FeedCopy& confirmed; // the copy kept when the stamp was written
        const FeedCopy& kept;      // the copy kept when it is read
        platform::WallTime expected;
    } cases[] = {
        {"the same copy", copy, copy, now + kOneDay},
        {"another body written since, at the same second", copy, other, now},
        {"the same body written again since", copy, later, now + std::chrono::seconds(1)},
    };
    for (const auto& step : cases) {
        SCOPED_TRACE(step.what);
        std::filesystem::remove_all(m_store.Folder());
        ASSERT_TRUE(m_store.Write(step.confirmed));
        FeedCopy read;
        ASSERT_TRUE(m_store.ReadHeader(url, read));
        EXPECT_EQ(read.confirmed, step.confirmed.fetched);
        ASSERT_TRUE(m_store.Confirm(read, now + kOneDay));
        ASSERT_TRUE(m_store.Write(step.kept));
        ASSERT_TRUE(m_store.Read(url, read));
        EXPECT_EQ(read.confirmed, step.expected);
    }
    // A stamp that does not read back whole confirms nothing.
    const std::string stamp =
        m_store.FileName(url).substr(0, m_store.FileName(url).size() - 5) + ".confirmed";
    std::string whole;
    ASSERT_TRUE(platform::ReadRegularFile(stamp, whole));
    for (const std::string& damaged :
         {whole.substr(0, whole.size() - 1), whole.substr(0, whole.size() - 3) + "x\n",
          "garbage\n" + whole}) {
        ASSERT_TRUE(platform::WriteWholeFile(stamp, damaged));
        FeedCopy read;
        ASSERT_TRUE(m_store.ReadHeader(url, read));
        EXPECT_EQ(read.confirmed, read.fetched);
    }
}

TEST_F(FeedCopiesTest, ACopyThatServesDrawsOnTheDownloadBudget)
{
    CHTTPTestServer server;
    ASSERT_TRUE(server.IsRunning());
    const std::string url = server.Url("/feed");
    List({url});
    server.Serve("/feed", Answer("200 OK", "Cache-Control: max-age=86400\r\n", Feed(1000)));
    ASSERT_EQ(Login().size(), 1000u);
    Later(60);
    // Within the max-age the copy serves, if the budget has room for it.
    DownloadTrace trace;
    CByteBudget small(Feed(1000).size() / 2);
    EXPECT_THROW(m_copies->Download(url, nullptr, &small, trace), std::exception);
    EXPECT_EQ(trace.copyUse, CopyUse::None);
    CByteBudget enough(4 * 1024 * 1024);
    EXPECT_EQ(m_copies->Download(url, nullptr, &enough, trace), Feed(1000));
    EXPECT_EQ(trace.copyUse, CopyUse::Quiet);
    EXPECT_LT(enough.Left(), 4 * 1024 * 1024 - Feed(1000).size());
}

TEST_F(FeedCopiesTest, ADamagedCopyIsNoCopyAndTheFeedIsAskedAfresh)
{
    CHTTPTestServer server;
    ASSERT_TRUE(server.IsRunning());
    List({server.Url("/feed")});
    server.Serve("/feed", Answer("200 OK", "ETag: \"v1\"\r\n", Feed(3)));
    ASSERT_EQ(Login().size(), 3u);
    const std::string file = m_store.FileName(server.Url("/feed"));
    std::string good;
    ASSERT_TRUE(platform::ReadRegularFile(file, good));

    std::string flipped = good;
    flipped[flipped.size() - 10] ^= 0x20;
    const std::string damages[] = {good.substr(0, good.size() - 1), flipped,
                                   good.substr(0, good.find("\n\n")), "garbage", ""};
    for (const std::string& damaged : damages) {
        ASSERT_TRUE(platform::WriteWholeFile(file, damaged));
        server.Serve("/feed", Answer("304 Not Modified", ""));
        EXPECT_EQ(Login().size(), 0u); // not trusted: nothing to fall back on
        EXPECT_EQ(server.Requests().back().find("If-None-Match"), std::string::npos);
        server.Serve("/feed", Answer("200 OK", "ETag: \"v1\"\r\n", Feed(3)));
        EXPECT_EQ(Login().size(), 3u);
    }
}

TEST_F(FeedCopiesTest, AFeedThatGivesNothingInTimeIsServedFromItsCopy)
{
    CHTTPTestServer server;
    ASSERT_TRUE(server.IsRunning());
    const std::string url = server.Url("/feed");
    FeedCopy copy;
    copy.url = url;
    copy.fetched = m_store.Now() - std::chrono::seconds(kDay);
    copy.body = Feed(2);
    ASSERT_TRUE(m_store.Write(copy));
    CHTTPTestServer::Response silent;
    silent.neverAnswer = true;
    server.Serve("/feed", silent);

    const std::vector<std::string> urls = {url, server.Url("/none")};
    CManualClock clock;
    CFeedDownloads downloads(
        urls, kDownloadWait, kMaxLoginDownloadBytes,
        [copies = m_copies](const std::string& url, CCancelSignal* cancel, CByteBudget* budget,
                            DownloadTrace& trace) {
            return copies->Download(url, cancel, budget, trace);
        },
        nullptr, clock);
    CDocumentsWithCopies documents(downloads, urls, m_copies.get());
    CFeedDownloads::Result document;
    std::vector<std::string> texts(2), failures(2);
    std::vector<CopyUse> uses(2);
    // The 404 comes in time; then the wait ends with the silent feed still downloading.
    for (bool more = documents.TakeNext(document); more; more = documents.TakeNext(document)) {
        texts[document.index] = document.text;
        failures[document.index] = document.failure;
        uses[document.index] = document.trace.copyUse;
        if (document.index == 1)
            clock.Advance(kDownloadWait);
    }
    EXPECT_EQ(texts[0], copy.body);
    EXPECT_EQ(failures[0], "");
    EXPECT_EQ(uses[0], CopyUse::Fallback);
    EXPECT_EQ(uses[1], CopyUse::None); // a 404 and no copy
    server.Stop();
}

TEST_F(FeedCopiesTest, OneFeedsFatRedirectionsLeaveTheOtherFeedsTheirMessages)
{
    CHTTPTestServer server;
    ASSERT_TRUE(server.IsRunning());
    const std::string fat(8 * 1024 * 1024, 'f');
    std::vector<std::string> urls;
    for (int hop = 1; hop <= 8; ++hop)
        server.Serve("/hop" + std::to_string(hop),
                     Answer("302 Found", "Location: /hop" + std::to_string(hop + 1) + "\r\n", fat));
    urls.push_back(server.Url("/hop1"));
    for (int feed = 1; feed <= 5; ++feed) {
        server.Serve("/feed" + std::to_string(feed), CHTTPTestServer::OkResponse(Feed(3)));
        urls.push_back(server.Url("/feed" + std::to_string(feed)));
    }
    List(urls);
    EXPECT_EQ(Login().size(), 15u);
}

TEST_F(FeedCopiesTest, CleaningRemovesCopiesUnusedForAMonth)
{
    // Copies are as old as their files: the store's clock is the system's here.
    const CFeedCopyStore store(m_folder.File("cache"));
    FeedCopy copy;
    copy.body = Feed(1);
    for (const char* url : {"http://old.example/feed", "http://new.example/feed"}) {
        copy.url = url;
        ASSERT_TRUE(store.Write(copy));
    }
    const std::string old = store.FileName("http://old.example/feed");
    const std::string leftover = old + ".quillbox-0-1.tmp";
    std::filesystem::copy_file(old, leftover);
    for (const std::string& path : {old, leftover})
        std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) -
                                                   std::chrono::hours(24 * 30 + 1));
    FeedCopy read;
    for (const char* url : {"http://old.example/feed", "http://new.example/feed"}) {
        ASSERT_TRUE(store.ReadHeader(url, read));
        ASSERT_TRUE(store.Confirm(read, read.fetched + std::chrono::minutes(1)));
    }
    store.Clean();
    EXPECT_FALSE(store.Read("http://old.example/feed", read));
    EXPECT_FALSE(std::filesystem::exists(leftover));
    EXPECT_FALSE(std::filesystem::exists(old.substr(0, old.size() - 5) + ".confirmed"));
    EXPECT_TRUE(store.Read("http://new.example/feed", read));
    EXPECT_EQ(read.confirmed, read.fetched + std::chrono::minutes(1));
}
