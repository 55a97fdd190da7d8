#include "provider/MessageProviderRSS.h"

#include "feed/FeedDocumentInternal.h"
#include "feed/Fingerprint.h"
#include "platform/File.h"
#include "provider/FeedList.h"
#include "provider/FeedListReport.h"
#include "render/Charset.h"
#include "render/Template.h"
#include "support/FeedCollection.h"
#include "support/HTTPTestServer.h"
#include "support/ProviderFixture.h"
#include "support/TempFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <tinyxml.h>

#include <algorithm>
#include <filesystem>

namespace {

std::string Feed(const std::string& items, const std::string& title = "News")
{
    return "<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel><title>" + title + "</title>" +
           items + "</channel></rss>\n";
}

std::string Item(const std::string& title, const std::string& guid)
{
    return "<item><title>" + title + "</title><guid>" + guid + "</guid></item>";
}

// The uid and identity of the first item of the first channel of `document`.
MessageEntry FirstItem(const std::string& document)
{
    TiXmlDocument xml;
    xml.Parse(document.c_str());
    const TiXmlElement* item =
        xml.FirstChildElement("rss")->FirstChildElement("channel")->FirstChildElement("item");
    MessageEntry message;
    IdentifyItem(*item, message);
    return message;
}

std::vector<std::string> TitlesOf(const MessageList& messages, std::vector<std::string> titles)
{
    // Which of `titles` each message shows, in message order.
    std::vector<std::string> found;
    for (const MessageEntry& message : messages) {
        for (const std::string& title : titles) {
            if (message.text.find(title) != std::string::npos)
                found.push_back(title);
        }
    }
    return found;
}

} // namespace

TEST(MessageProviderRSS, AnItemIsIdentifiedByItsGuidThenItsLinkThenTheWholeItem)
{
    const struct
    {
        std::string items;
        std::string source; // the markup that the uid and the identity are taken of
    } cases[] = {
        // The guid decides, whatever else the item holds.
        {"<item><title>a</title><link>l</link><guid>x</guid></item>", "<guid>x</guid>"},
        {"<item><guid>x</guid><guid>y</guid><title>b</title></item>", "<guid>x</guid>"},
        // The guid is written out with its attributes in document order and its text escaped.
        {"<item><guid isPermaLink=\"false\" a='1'>a&amp;b</guid></item>",
         "<guid isPermaLink=\"false\" a=\"1\">a&amp;b</guid>"},
        // An empty guid still wins over the link, and every empty guid is the same one.
        {"<item><link>l</link><guid></guid></item>", "<guid />"},
        {"<item><guid/></item>", "<guid />"},
        {"<item><title>t</title><link> http://x/1 </link></item>", "<link>http://x/1</link>"},
        {"<item><title>t</title>\n  <description><![CDATA[<b>hi</b>]]></description></item>",
         "<item><title>t</title><description><![CDATA[<b>hi</b>]]></description></item>"},
    };
    for (const auto& known : cases) {
        const MessageEntry item = FirstItem(Feed(known.items));
        EXPECT_EQ(item.uid, Fingerprint(known.source)) << known.items;
        EXPECT_EQ(item.identity, StrongIdentity(known.source)) << known.items;
    }
    EXPECT_EQ(FirstItem(Feed("<item><guid>x</guid></item>")).uid, "6B131359575757570000000E");
    EXPECT_NE(FirstItem(Feed("<item><title>t</title></item>")).uid,
              FirstItem(Feed("<item><title>u</title></item>")).uid);
    // Taken of the item as the feed wrote it, before its message shows it otherwise.
    const std::string shown = Feed("<item><title>a <b>b</b></title><description><p>c</p>"
                                   "</description><content:encoded>d</content:encoded></item>");
    EXPECT_EQ(ParseFeed(shown, kBuiltInTemplate)[0].uid, FirstItem(shown).uid);
}

TEST(MessageProviderRSS, ParseFeedReadsOnlyTheItemsOfTheFirstChannelOfRss)
{
    const std::string document = "<?xml version=\"1.0\"?><!-- c --><rss><item><title>Outside"
                                 "</title></item><channel><title>C</title>" +
                                 Item("First", "1") + "<entry>" + Item("Nested", "n") + "</entry>" +
                                 Item("Second", "2") + Item("Twin", "2") + "</channel><channel>" +
                                 Item("Later", "3") + "</channel></rss>";
    const MessageList messages = ParseFeed(document, kBuiltInTemplate);
    EXPECT_EQ(TitlesOf(messages, {"Outside", "First", "Nested", "Second", "Twin", "Later"}),
              (std::vector<std::string>{"First", "Second", "Twin"}));
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].uid, Fingerprint("<guid>1</guid>"));
    EXPECT_EQ(messages[1].uid, messages[2].uid); // equal guids: both served

    for (const char* other :
         {"", "not xml at all", "<rss><channel>",
          "<feed><channel><item><guid>1</guid></item></channel></feed>",
          "<rdf:RDF><channel></channel><item><guid>1</guid></item></rdf:RDF>",
          "<root><rss><channel><item><guid>1</guid></item></channel></rss></root>",
          "<RSS><channel><item><guid>1</guid></item></channel></RSS>"}) {
        EXPECT_TRUE(ParseFeed(other, kBuiltInTemplate).empty()) << other;
    }
}

TEST(MessageProviderRSS, EveryItemStillSeesTheChannelAndItsFirstItem)
{
    const MessageList messages =
        ParseFeed(Feed(Item("One", "1") + Item("Two", "2") + Item("Three", "3"), "Chan"),
                  "X: %-/item/title% %-/title% %/title% %--/channel/item/guid%\n");
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].text, "X: One Chan One 1\r\n");
    EXPECT_EQ(messages[1].text, "X: One Chan Two 1\r\n");
    EXPECT_EQ(messages[2].text, "X: One Chan Three 1\r\n");
}

TEST(MessageProviderRSS, ParseFeedSurvivesHostileNesting)
{
    const auto nested = [](int depth) {
        std::string open, close;
        for (int level = 0; level < depth; ++level) {
            open += "<div>";
            close += "</div>";
        }
        return Feed("<item><guid>g</guid><description>" + open + "x" + close +
                    "</description></item>");
    };
    // Ordinary depth, with markup that looks deep but is not, still parses.
    const std::string shallow =
        Feed("<!--" + std::string(5000, '<') + "--><item><guid a='>>' b=\"<<\">g</guid>" +
             "<description><![CDATA[" + std::string(5000, '<') + "]]></description></item>");
    EXPECT_EQ(ParseFeed(nested(500), kBuiltInTemplate).size(), 1u);
    EXPECT_EQ(ParseFeed(shallow, kBuiltInTemplate).size(), 1u);
    // Nesting deep enough to exhaust a thread's stack in the parser is refused instead.
    EXPECT_TRUE(ParseFeed(nested(1000000), kBuiltInTemplate).empty());
    std::string unclosed = Feed("");
    for (int level = 0; level < 1000000; ++level)
        unclosed += "<a x='1'>";
    EXPECT_TRUE(ParseFeed(unclosed, kBuiltInTemplate).empty());
    // A quoted value of the declaration that seems to open a comment.
    std::string hidden = "<?xml version='a><!--'?>";
    for (int level = 0; level < 200000; ++level)
        hidden += "<a>";
    EXPECT_TRUE(ParseFeed(hidden, kBuiltInTemplate).empty());
}

TEST(MessageProviderRSS, ADocumentWithoutDeclarationIsReadAsUTF8)
{
    // The XML rules make such a document UTF-8, so references give UTF-8 too.
    const MessageList messages = ParseFeed(
        "<rss><channel><item><title>caf&#233; &#8364;5 caf\xC3\xA9</title></item></channel></rss>",
        "%/title%");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "caf\xC3\xA9 \xE2\x82\xAC"
                                "5 caf\xC3\xA9");
    // A byte that is not UTF-8 becomes U+FFFD, so the message is UTF-8; a byte that looks
    // like the start of a longer character does not swallow the markup after it.
    const MessageList legacy =
        ParseFeed("<rss><channel><item><title>caf\xE9</title></item></channel></rss>", "%/title%");
    ASSERT_EQ(legacy.size(), 1u);
    EXPECT_EQ(legacy[0].text, "caf\xEF\xBF\xBD");
}

using MessageProviderRSSFeeds = CFeedCollectionTest;

TEST_P(MessageProviderRSSFeeds, ParseFeedFindsEveryItem)
{
    std::size_t items = 0;
    for (const FeedDocument& entry : m_documents) {
        const std::string document = GetParam().Read(entry);
        ASSERT_EQ(document.size(), entry.bytes) << entry.file;
        const MessageList messages = ParseFeed(document, kBuiltInTemplate);
        if (entry.exact)
            EXPECT_EQ(messages.size(), entry.messages) << entry.file;
        else
            EXPECT_LE(messages.size(), entry.messages) << entry.file;
        items += messages.size();
    }
    EXPECT_GT(items, 0u);
}

TEST(MessageProviderRSS, ListWithoutFeedsDownloadsNothing)
{
    CProviderFixture fixture;
    const std::string list = fixture.MakeList("# nothing yet\n");
    auto provider = fixture.MakeProvider(" \t" + list + "\r\n");
    EXPECT_EQ(provider->ListFile(), list);
    const ProviderReply reply = provider->GetMessages();
    EXPECT_EQ(reply.response, "+OK no messages\r\n");
    EXPECT_TRUE(reply.messages.empty());
    EXPECT_TRUE(fixture.Requested().empty());
}

TEST(MessageProviderRSS, EachFeedKeepsItsOwnTemplateWhenAnotherFails)
{
    CProviderFixture fixture;
    const std::string first = fixture.m_folder.Write("first.tpl", "X-Template: first\n");
    const std::string third = fixture.m_folder.Write("third.tpl", "X-Template: third\n");
    fixture.m_documents["http://one"] = Feed(Item("Alpha", "a") + Item("Bravo", "b"));
    fixture.m_documents["http://three"] = Feed(Item("Charlie", "c"));
    const std::string list = fixture.MakeList("http://one;" + first + "\nhttp://two;" + first +
                                              "\nhttp://three;" + third);
    const ProviderReply reply = fixture.MakeProvider(list)->GetMessages();
    EXPECT_THAT(fixture.Requested(),
                ::testing::UnorderedElementsAre("http://one", "http://two", "http://three"));
    EXPECT_EQ(reply.response, "+OK received messages\r\n");
    ASSERT_EQ(reply.messages.size(), 3u);
    EXPECT_NE(reply.messages[0].text.find("first"), std::string::npos);
    EXPECT_NE(reply.messages[1].text.find("first"), std::string::npos);
    EXPECT_NE(reply.messages[2].text.find("third"), std::string::npos);
    EXPECT_EQ(reply.messages[2].uid, Fingerprint("<guid>c</guid>"));
}

TEST(MessageProviderRSS, ANameThatCannotBeAPathGivesAnEmptyMailboxAndWritesNothing)
{
    CProviderFixture fixture;
    fixture.m_documents["http://one"] = Feed(Item("Alpha", "a"));
    const std::string list = fixture.MakeList("http://one\n");
    for (const std::string& tail :
         {std::string("\0x", 2), std::string("\rx"), std::string("\nx"), std::string("\0", 1)}) {
        auto provider = fixture.MakeProvider(list + tail + "\r\n");
        const ProviderReply reply = provider->GetMessages();
        EXPECT_EQ(reply.response, "+OK no messages\r\n");
        provider->CommitDeleted({{"text", "uid"}});
    }
    EXPECT_TRUE(fixture.Requested().empty());
    EXPECT_EQ(CTempFolder::Read(list), "http://one\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(fixture.m_folder.Path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(MessageProviderRSS, OnlyAListOfTheUsersHasAStore)
{
    CProviderFixture fixture;
    for (const std::string& mailbox : {fixture.m_folder.File("missing.txt"), std::string()}) {
        auto provider = fixture.MakeProvider(mailbox);
        EXPECT_EQ(provider->GetMessages().response, "+OK no messages\r\n");
        provider->CommitDeleted({});
        EXPECT_FALSE(std::filesystem::exists(mailbox + ".UIDL")) << mailbox;
    }
}

TEST(MessageProviderRSS, DeletionsThatCannotBeStoredAreAFailure)
{
    CProviderFixture fixture;
    fixture.m_documents["http://one"] = Feed(Item("Alpha", "a"));
    const std::string list = fixture.MakeList("http://one\n");
    std::filesystem::create_directory(CSeenStore(list).FileName()); // the store's name taken
    auto provider = fixture.MakeProvider(list);
    const MessageList messages = provider->GetMessages().messages;
    EXPECT_NO_THROW(provider->CommitDeleted({}));
    EXPECT_THROW(provider->CommitDeleted(messages), CMessageProviderRSS::exception);
}

TEST(MessageProviderRSS, DeletedItemsStayAwayAndTheRestKeepTheirOrder)
{
    CProviderFixture fixture;
    fixture.m_documents["http://one"] =
        Feed(Item("Alpha", "a") + Item("Bravo", "b") + Item("Charlie", "c"));
    fixture.m_documents["http://two"] = Feed(Item("Delta", "d") + Item("Echo", "e"));
    const std::string list = fixture.MakeList("http://one\nhttp://two\n");
    const std::string store = list + ".UIDL";

    auto first = fixture.MakeProvider(list);
    const ProviderReply all = first->GetMessages();
    ASSERT_EQ(TitlesOf(all.messages, {"Alpha", "Bravo", "Charlie", "Delta", "Echo"}),
              (std::vector<std::string>{"Alpha", "Bravo", "Charlie", "Delta", "Echo"}));
    // A login that ends without QUIT commits nothing and writes nothing.
    EXPECT_FALSE(std::filesystem::exists(store));
    first->CommitDeleted({all.messages[1], all.messages[3]});
    EXPECT_EQ(CTempFolder::Read(store), CSeenStore::SeenEntry(all.messages[1]) + "\n" +
                                            CSeenStore::SeenEntry(all.messages[3]) + "\n");

    const ProviderReply rest = fixture.MakeProvider(list)->GetMessages();
    EXPECT_EQ(rest.response, "+OK received messages\r\n");
    EXPECT_EQ(TitlesOf(rest.messages, {"Alpha", "Bravo", "Charlie", "Delta", "Echo"}),
              (std::vector<std::string>{"Alpha", "Charlie", "Echo"}));

    // Everything delivered: still a success, with no messages.
    auto last = fixture.MakeProvider(list);
    last->CommitDeleted(last->GetMessages().messages);
    const ProviderReply none = fixture.MakeProvider(list)->GetMessages();
    EXPECT_EQ(none.response, "+OK received messages\r\n");
    EXPECT_TRUE(none.messages.empty());
}

TEST(MessageProviderRSS, AFeedWhoseMessagesPassTheLimitOfALoginGivesNone)
{
    CProviderFixture fixture;
    fixture.m_documents["http://many"] = Feed(Item("Alpha", "a") + Item("Bravo", "b"));
    const std::string list = fixture.MakeList("http://many\n");
    const std::size_t oneMessage = CLoginMemory::MessageBytes(
        ParseFeed(Feed(Item("Alpha", "a")), kBuiltInTemplate, "http://many")[0]);
    auto cramped = fixture.MakeProvider(list, oneMessage);
    EXPECT_TRUE(cramped->GetMessages().messages.empty());
    EXPECT_EQ(cramped->FeedOutcomes()[0].failure, FeedFailure::OverMessageLimit);
    EXPECT_EQ(cramped->FeedOutcomes()[0].items, 0u);
    EXPECT_EQ(fixture.MakeProvider(list, 2 * oneMessage + 2)->GetMessages().messages.size(), 2u);
}

TEST(MessageProviderRSS, DocumentsWhoseTreesPassTheMemoryOfALoginGiveNone)
{
    // Documents that cost far more as a tree than as text, made small for a small budget.
    CProviderFixture fixture;
    std::string dense = "<a/>";
    std::string tiny = "<item/>";
    for (int doubling = 0; doubling < 14; ++doubling) {
        dense += dense;
        tiny += tiny;
    }
    fixture.m_documents["http://dense"] = Feed("<item>" + dense + "</item>");
    fixture.m_documents["http://tiny"] = Feed(tiny);
    fixture.m_documents["http://fine"] = Feed(Item("Alpha", "a"));
    // Two trees of more than half the budget each: read one after the other, not refused.
    std::string items;
    for (int item = 0; item < 550; ++item)
        items += Item("Bravo", std::to_string(item));
    fixture.m_documents["http://half"] = Feed(items);
    auto provider = fixture.MakeProvider(
        fixture.MakeList("http://dense\nhttp://tiny\nhttp://fine\nhttp://half\nhttp://half\n"),
        CMessageProviderRSS::kMaxMessageBytes, 1024 * 1024);
    const ProviderReply reply = provider->GetMessages();
    EXPECT_EQ(reply.messages.size(), 1101u);
    const std::vector<FeedOutcome>& outcomes = provider->FeedOutcomes();
    EXPECT_EQ(CFeedListReport::Problem(outcomes[0]), "too large to read: 16388 elements");
    EXPECT_EQ(CFeedListReport::Problem(outcomes[1]), "too large to read: 16387 elements");
    EXPECT_EQ(outcomes[2].items, 1u);
    EXPECT_EQ(outcomes[3].items, 550u);
    EXPECT_EQ(outcomes[4].items, 550u);
}

TEST(MessageProviderRSS, ALoginReadsOnlyTheDocumentsThatFitInWhatAllLoginsHaveLeft)
{
    CProviderFixture fixture;
    std::string items;
    for (int item = 0; item < 5000; ++item)
        items += Item("Bravo", std::to_string(item));
    fixture.m_documents["http://large"] = Feed(items);
    fixture.m_documents["http://fine"] = Feed(Item("Alpha", "a"));
    const std::string list = fixture.MakeList("http://large\nhttp://fine\n");
    // Room for the small feed's tree and message, not for the large one's tree.
    const std::size_t room = 1024 * 1024;
    CByteBudget allLogins(room);
    {
        auto provider = fixture.MakeProvider(list, CMessageProviderRSS::kMaxMessageBytes,
                                             CMessageProviderRSS::kMaxTreeBytes, allLogins);
        const ProviderReply reply = provider->GetMessages();
        EXPECT_EQ(reply.response, "+OK received messages\r\n");
        EXPECT_EQ(TitlesOf(reply.messages, {"Alpha"}), std::vector<std::string>{"Alpha"});
        EXPECT_EQ(CFeedListReport::Problem(provider->FeedOutcomes()[0]),
                  "over the memory limit of all logins");
        EXPECT_FALSE(allLogins.Take(room));
    }
    // The login's messages are given back when it ends.
    EXPECT_TRUE(allLogins.Take(room));
}

TEST(MessageProviderRSS, ConvertingADocumentIsChargedToAllLoginsBeforeItIsMade)
{
    // A channel text that the tree holds but no message shows: room for its tree, not for
    // converting it from a single-byte character set as well.
    const std::string body = "<rss version=\"2.0\"><channel><title>News</title><x>" +
                             std::string(100000, 'x') + "</x>" + Item("Alpha", "a") +
                             "</channel></rss>";
    const std::string declared = "<?xml version=\"1.0\" encoding=\"windows-1252\"?>";
    for (const bool converted : {false, true}) {
        CProviderFixture fixture;
        fixture.m_documents["http://feed"] = (converted ? declared : "") + body;
        CByteBudget allLogins(300000);
        auto provider = fixture.MakeProvider(fixture.MakeList("http://feed\n"),
                                             CMessageProviderRSS::kMaxMessageBytes,
                                             CMessageProviderRSS::kMaxTreeBytes, allLogins);
        const ProviderReply reply = provider->GetMessages();
        EXPECT_EQ(reply.messages.size(), converted ? 0u : 1u);
        EXPECT_EQ(CFeedListReport::Problem(provider->FeedOutcomes()[0]),
                  converted ? "over the memory limit of all logins" : "");
    }
}

TEST(MessageProviderRSS, AHostileFeedInASingleByteCharacterSetCostsOnlyItself)
{
    CProviderFixture fixture;
    std::string deep = "<?xml version=\"1.0\" encoding=\"windows-1251\"?><rss><channel>";
    for (int level = 0; level < 1000000; ++level)
        deep += "<item>";
    fixture.m_documents["http://deep"] = deep;
    std::string hidden = "<?xml version='a><!--' encoding='iso-8859-1'?><rss><channel>";
    for (int level = 0; level < 200000; ++level)
        hidden += "<item>";
    fixture.m_documents["http://hidden"] = hidden;
    fixture.m_documents["http://fine"] = Feed(Item("Alpha", "a"));
    const ProviderReply reply =
        fixture.MakeProvider(fixture.MakeList("http://deep\nhttp://hidden\nhttp://fine\n"))
            ->GetMessages();
    EXPECT_EQ(TitlesOf(reply.messages, {"Alpha"}), std::vector<std::string>{"Alpha"});
}

TEST_P(MessageProviderRSSFeeds, ManyFeedsGiveTheSameMessagesAsOneAtATime)
{
    // Real documents, some in single-byte character sets, rendered on several
    // threads: the messages must match feed by feed, in list order.
    CProviderFixture fixture;
    std::vector<std::string> files;
    for (const FeedDocument& entry : m_documents) {
        const std::string& encoding = entry.declaredEncoding;
        if (encoding.find("8859") != std::string::npos ||
            encoding.find("windows-125") != std::string::npos)
            files.push_back(entry.file);
    }
    ASSERT_GE(files.size(), 10u);
    // Every feed in a single-byte character set, then others up to the limit.
    for (const FeedDocument& entry : m_documents) {
        if (files.size() < kMaxFeeds &&
            std::find(files.begin(), files.end(), entry.file) == files.end())
            files.push_back(entry.file);
    }
    std::string lines;
    std::vector<std::string> urls;
    for (const std::string& file : files) {
        const std::string url = "http://feeds/" + file;
        fixture.m_documents[url] = CTempFolder::Read(GetParam().Folder() + "/" + file);
        urls.push_back(url);
        lines += url + "\n";
    }
    MessageList expected;
    for (const std::string& url : urls) {
        std::string document = fixture.m_documents[url];
        ConvertToUtf8(document);
        for (MessageEntry& entry : ParseFeed(document, kBuiltInTemplate, url))
            expected.push_back(entry);
    }
    ASSERT_GT(expected.size(), 100u);
    const ProviderReply reply = fixture.MakeProvider(fixture.MakeList(lines))->GetMessages();
    ASSERT_EQ(reply.messages.size(), expected.size());
    for (std::size_t index = 0; index < expected.size(); ++index) {
        EXPECT_EQ(reply.messages[index].uid, expected[index].uid) << index;
        EXPECT_EQ(reply.messages[index].text, expected[index].text) << index;
    }
}

INSTANTIATE_FEED_COLLECTION_TESTS(MessageProviderRSSFeeds);

TEST(MessageProviderRSS, FeedsRenderedAsTheyArriveKeepListOrderAndReportTheirOutcome)
{
    CHTTPTestServer server;
    // The first feed answers last, so the others are rendered before it.
    CHTTPTestServer::Response slow;
    slow.bytes = CHTTPTestServer::OkResponse(Feed(Item("Alpha", "a") + Item("Bravo", "b")));
    slow.delayMilliseconds = 300;
    server.Serve("/slow", slow);
    const std::string latin2 = "<?xml version='1.0' encoding='iso-8859-2'?><rss><channel>" +
                               Item("Charlie \xB1", "c") + "</channel></rss>";
    server.Serve("/latin2", CHTTPTestServer::OkResponse(latin2));
    const std::string broken = "<rss><channel><item><title>Delta</title></channel></rss>";
    server.Serve("/broken", CHTTPTestServer::OkResponse(broken));
    const platform::SocketHandle closed = platform::CreateTcpSocket();
    ASSERT_TRUE(platform::BindLoopback(closed, 0));
    const std::string refused = "http://127.0.0.1:" + std::to_string(platform::LocalPort(closed));

    CTempFolder folder;
    const std::string list =
        folder.Write("feeds.txt", server.Url("/slow") + "\n" + refused + "\n" +
                                      server.Url("/latin2") + "\n" + server.Url("/broken") + "\n");
    CMessageProviderRSS provider(list, "secret");
    const ProviderReply reply = provider.GetMessages();
    platform::CloseSocket(closed);
    EXPECT_EQ(TitlesOf(reply.messages, {"Alpha", "Bravo", "Charlie \xC4\x85", "Delta"}),
              (std::vector<std::string>{"Alpha", "Bravo", "Charlie \xC4\x85"}));

    const std::vector<FeedOutcome>& outcomes = provider.FeedOutcomes();
    ASSERT_EQ(outcomes.size(), 4u);
    EXPECT_EQ(outcomes[0].url, server.Url("/slow"));
    EXPECT_EQ(outcomes[1].url, refused);
    const struct
    {
        const char* downloadError;
        std::size_t bytes;
        bool converted;
        bool wellFormed;
        std::size_t items;
    } expected[] = {
        {"", slow.bytes.size() - slow.bytes.find("<?xml"), false, true, 2},
        {"cannot connect: connection refused", 0, false, false, 0},
        {"", latin2.size(), true, true, 1},
        {"", broken.size(), false, false, 0},
    };
    for (std::size_t feed = 0; feed < outcomes.size(); ++feed) {
        EXPECT_EQ(outcomes[feed].downloadError, expected[feed].downloadError) << feed;
        EXPECT_EQ(outcomes[feed].bytes, expected[feed].bytes) << feed;
        EXPECT_EQ(outcomes[feed].converted, expected[feed].converted) << feed;
        EXPECT_EQ(outcomes[feed].wellFormed, expected[feed].wellFormed) << feed;
        EXPECT_EQ(outcomes[feed].items, expected[feed].items) << feed;
    }
}
