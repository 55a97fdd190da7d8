// Every document of a feed collection through the whole system: served over HTTP, listed in
// feed lists, downloaded, converted, parsed and rendered at login, and collected by a real
// POP3 client (fetchmail) that deletes what it collected, so that the next check is empty.
#include "pop3/POP3Server.h"
#include "provider/MessageProviderFactory.h"
#include "provider/MessageProviderRSS.h"
#include "provider/SeenStore.h"
#include "support/FeedCollection.h"
#include "support/FetchmailClient.h"
#include "support/HTTPTestServer.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

// Feed lists over a collection in manifest order, each within the limits of one list: at most
// MaxFeeds feeds, and few enough items that the seen store keeps every one of them.
struct FeedList
{
    std::string lines;
    std::size_t items = 0;
};

std::vector<FeedList> MakeFeedLists(const CHTTPTestServer& http,
                                    const std::vector<FeedDocument>& documents)
{
    const std::size_t maxItems = CSeenStore::MaxSeen - 100;
    std::vector<FeedList> lists(1);
    std::size_t feeds = 0;
    for (const FeedDocument& document : documents) {
        const std::size_t items = document.RssItems();
        if (feeds == CMessageProviderRSS::MaxFeeds || lists.back().items + items > maxItems) {
            lists.emplace_back();
            feeds = 0;
        }
        lists.back().lines += http.Url("/" + document.file) + "\n";
        lists.back().items += items;
        ++feeds;
    }
    return lists;
}

std::size_t CountOccurrences(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// A header line of the built-in template, once in every message. fetchmail hands messages to
// its delivery command with LF line ends.
const char kMarker[] = "\nX-QUILLBOX: vorlenta\n";

} // namespace

using MailCheckOverFeedsEndToEnd = CFeedCollectionTest;

TEST_P(MailCheckOverFeedsEndToEnd, EveryItemArrivesOnceThroughARealClient)
{
    CHTTPTestServer http;
    ASSERT_TRUE(http.IsRunning());
    std::size_t expected = 0;
    for (const FeedDocument& document : m_documents) {
        http.Serve("/" + document.file, CHTTPTestServer::OkResponse(GetParam().Read(document)));
        expected += document.RssItems();
    }

    CMessageProviderFactory factory;
    CPOP3Server server(&factory);
    server.Start(0);
    CTempFolder folder;
    std::size_t delivered = 0;
    const std::vector<FeedList> lists = MakeFeedLists(http, m_documents);
    for (std::size_t index = 0; index < lists.size(); ++index) {
        const std::string list =
            folder.Write("feeds" + std::to_string(index) + ".txt",
                         "# part " + std::to_string(index) + "\n" + lists[index].lines);
        const std::string mailbox = folder.File("mailbox" + std::to_string(index));
        std::string output;
        // fetchmail says "no mail" (1) for a list without items.
        EXPECT_EQ(RunFetchmail(folder, server.GetPort(), list, mailbox, output),
                  lists[index].items ? 0 : 1)
            << output;
        // The session writes the seen store after its reply to QUIT.
        ASSERT_TRUE(server.WaitForSessions(std::chrono::seconds(60)));
        const std::string collected = CTempFolder::Read(mailbox);
        EXPECT_EQ(CountOccurrences(collected, kMarker), lists[index].items) << list;
        EXPECT_EQ(CSeenStore(list).LoadSeen().size(), lists[index].items);
        delivered += CountOccurrences(collected, kMarker);

        // Everything collected was deleted: the next check finds nothing new.
        EXPECT_EQ(RunFetchmail(folder, server.GetPort(), list, mailbox, output), 1) << output;
        ASSERT_TRUE(server.WaitForSessions(std::chrono::seconds(60)));
        EXPECT_EQ(CTempFolder::Read(mailbox), collected);
    }
    EXPECT_EQ(delivered, expected);
    EXPECT_GT(delivered, 0u);
    server.Stop();
}

INSTANTIATE_FEED_COLLECTION_TESTS(MailCheckOverFeedsEndToEnd);
