#include "feed/UidAssignment.h"

#include "feed/Fingerprint.h"
#include "pop3/POP3Server.h"
#include "provider/MessageProviderFactory.h"
#include "provider/SeenStore.h"
#include "render/LineLength.h"
#include "support/HTTPTestServer.h"
#include "support/LineClient.h"
#include "support/ProviderFixture.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

// A message as a login renders it: the stand-in where a template puts the UIDL, given way to
// the uid.
MessageEntry Rendered(const std::string& uid, const std::string& identity,
                      const std::string& body = "item %UIDL%")
{
    const std::string standIn = UidStandIn();
    std::string text = "Message-ID: <%UIDL%>\r\n\r\n" + body + "\r\n";
    for (std::size_t at = text.find("%UIDL%"); at != std::string::npos; at = text.find("%UIDL%"))
        text.replace(at, 6, standIn);
    MessageEntry message{text, uid, identity};
    PlaceUid(message, standIn);
    return message;
}

// The value of the Message-ID header of `text`, without its angle brackets.
std::string MessageId(const std::string& text)
{
    const std::size_t start = text.find("Message-ID: <") + 13;
    return text.substr(start, text.find('>', start) - start);
}

std::string Source(const std::string& guid)
{
    return "<guid>" + guid + "</guid>";
}

std::string Feed(const std::string& items)
{
    return "<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel><title>Blog</title>" + items +
           "</channel></rss>\n";
}

std::string Item(const std::string& title, const std::string& guidMarkup,
                 const std::string& description = "")
{
    return "<item><title>" + title + "</title>" + guidMarkup + "<description>" + description +
           "</description></item>";
}

} // namespace

TEST(UidAssignment, TheLastItemOfAUidKeepsItAndEveryOtherIdentityGetsItsOwn)
{
    const std::string f = "0123456789ABCDEF01234567";
    const std::string g = "76543210FEDCBA9876543210";
    const std::string x = "1111111111111111", y = "2222222222222222", z = "3333333333333333";
    const struct
    {
        std::vector<std::pair<std::string, std::string>> mailbox; // uid and identity
        std::vector<std::string> uidls;
    } cases[] = {
        {{{f, x}}, {f}},
        {{{f, x}, {g, y}}, {f, g}},
        {{{f, x}, {f, y}}, {f + "-" + x, f}},
        // One item twice is one item: both keep the uid, wherever they stand.
        {{{f, x}, {f, x}}, {f, f}},
        {{{f, x}, {f, y}, {f, x}}, {f, f + "-" + y, f}},
        {{{f, x}, {g, z}, {f, y}, {f, z}}, {f + "-" + x, g, f + "-" + y, f}},
    };
    for (const auto& known : cases) {
        MessageList mailbox;
        for (const auto& item : known.mailbox)
            mailbox.push_back(Rendered(item.first, item.second));
        AssignUids(mailbox);
        ASSERT_EQ(mailbox.size(), known.uidls.size());
        for (std::size_t index = 0; index < mailbox.size(); ++index) {
            const MessageEntry& message = mailbox[index];
            EXPECT_EQ(message.text, "Message-ID: <" + known.uidls[index] + ">\r\n\r\nitem " +
                                        known.uidls[index] + "\r\n")
                << index;
            // The store's key stays the item's own, whatever UIDL it is served under.
            EXPECT_EQ(message.uid, known.mailbox[index].first);
            EXPECT_TRUE(message.uidPlaces.empty());
        }
    }
}

TEST(UidAssignment, AUidThatGrowsBreaksItsLineAgainWhenTooLong)
{
    // A body line just short enough with the uid, too long with the suffix.
    static_assert(kMaxLineLength == 998, "the line below is 986 bytes long with the uid");
    const std::string words = std::string(480, 'a') + " " + std::string(480, 'b') + " ";
    MessageList mailbox = {
        Rendered("0123456789ABCDEF01234567", "1111111111111111", words + "%UIDL%"),
        Rendered("0123456789ABCDEF01234567", "2222222222222222")};
    AssignUids(mailbox);
    const std::string uidl = "0123456789ABCDEF01234567-1111111111111111";
    EXPECT_EQ(mailbox[0].text, "Message-ID: <" + uidl + ">\r\n\r\n" + std::string(480, 'a') + " " +
                                   std::string(480, 'b') + "\r\n" + uidl + "\r\n");
}

TEST(UidAssignment, AnItemsOwnTextKeepsItsFingerprintWhereTheTemplateDidNotPutIt)
{
    // A feed that quotes an item's fingerprint in its text: only the template's places change.
    CProviderFixture fixture;
    const std::string older = Source("1000"), newer = Source("2333");
    ASSERT_EQ(Fingerprint(older), Fingerprint(newer));
    const std::string uid = Fingerprint(older);
    fixture.m_documents["http://blog"] =
        Feed(Item("Newer", newer, "about " + uid) + Item("Older", older, "about " + uid));
    const std::string list = fixture.MakeList("http://blog\n");
    const MessageList messages = fixture.MakeProvider(list)->GetMessages().messages;
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(MessageId(messages[0].text), uid + "-" + StrongIdentity(newer));
    EXPECT_NE(messages[0].text.find("about " + uid + "\r\n"), std::string::npos);
    EXPECT_EQ(MessageId(messages[1].text), uid);
    EXPECT_NE(messages[1].text.find("about " + uid + "\r\n"), std::string::npos);
}

namespace {

// A feed server and a POP3 server of the product's own factory, and a client that checks mail
// with one of several feed lists of the same folder.
class CollidingPostsTest : public ::testing::Test
{
protected:
    CollidingPostsTest() : m_pop3(&m_factory) { m_pop3.Start(0); }
    ~CollidingPostsTest() override
    {
        m_pop3.Stop();
        m_pop3.WaitForSessions(std::chrono::seconds(20));
    }

    void Serve(const std::string& path, const std::string& items)
    {
        m_http.Serve(path, CHTTPTestServer::OkResponse(Feed(items)));
    }

    // The UIDL values a login to `list` lists, in message order. Then deletes the messages
    // numbered in `deletions` and quits.
    std::vector<std::string> Check(const std::string& list, std::vector<int> deletions = {})
    {
        CLineClient client(m_pop3.GetPort());
        client.ReadLine();
        client.Command("USER " + list);
        EXPECT_EQ(client.Command("PASS x"), "+OK received messages\r\n");
        client.Send("UIDL\r\n");
        std::istringstream listing(client.ReadMultiLine());
        std::string line;
        std::getline(listing, line);
        std::vector<std::string> uidls;
        int number;
        std::string uidl;
        while (listing >> number >> uidl) {
            EXPECT_EQ(number, static_cast<int>(uidls.size()) + 1);
            uidls.push_back(uidl);
        }
        for (const int deleted : deletions)
            client.Command("DELE " + std::to_string(deleted));
        EXPECT_EQ(client.Command("QUIT"), "+OK bye\r\n");
        return uidls;
    }

    CHTTPTestServer m_http;
    CTempFolder m_folder;
    CMessageProviderFactory m_factory;
    CPOP3Server m_pop3;
};

std::string Uidl(const std::string& uid)
{
    return "<" + uid + ">";
}

} // namespace

TEST_F(CollidingPostsTest, PostsThatShareAFingerprintAreServedAndDeletedEachOnItsOwn)
{
    // Pairs of guids whose markups share a fingerprint, the newer post first.
    const struct
    {
        std::string newer, older;
    } pairs[] = {
        {"<guid isPermaLink=\"false\">https://example.org/?p=11000</guid>",
         "<guid isPermaLink=\"false\">https://example.org/?p=10111</guid>"},
        {"<guid>2333</guid>", "<guid>1000</guid>"},
        {"<guid>https://example.org/posts/abcd</guid>",
         "<guid>https://example.org/posts/ABCD</guid>"},
        // Items without a guid are told apart by their links.
        {"<link>https://example.org/?p=11011</link>", "<link>https://example.org/?p=10100</link>"},
    };
    int row = 0;
    for (const auto& pair : pairs) {
        SCOPED_TRACE(pair.newer);
        const std::string path = "/blog" + std::to_string(++row);
        const std::string uid = Fingerprint(pair.older);
        ASSERT_EQ(Fingerprint(pair.newer), uid);
        const std::string newerUidl = Uidl(uid + "-" + StrongIdentity(pair.newer));
        const std::string other = Uidl(Fingerprint("<guid>other</guid>"));
        const std::string lists[] = {
            m_folder.Write("deletes-newer" + std::to_string(row), m_http.Url(path) + "\n"),
            m_folder.Write("deletes-older" + std::to_string(row), m_http.Url(path) + "\n")};

        // The older post alone, as a client has known it, under its fingerprint.
        Serve(path, Item("Older", pair.older) + Item("Other", "<guid>other</guid>"));
        for (const std::string& list : lists)
            EXPECT_EQ(Check(list), (std::vector<std::string>{Uidl(uid), other}));
        // The newer post comes: a UIDL of its own, the older one's and others' unchanged.
        Serve(path, Item("Newer", pair.newer) + Item("Older", pair.older) +
                        Item("Other", "<guid>other</guid>"));
        EXPECT_EQ(Check(lists[0], {1}), (std::vector<std::string>{newerUidl, Uidl(uid), other}));
        EXPECT_EQ(Check(lists[1], {2}), (std::vector<std::string>{newerUidl, Uidl(uid), other}));
        // Deleting one keeps the other.
        EXPECT_EQ(Check(lists[0]), (std::vector<std::string>{Uidl(uid), other}));
        EXPECT_EQ(Check(lists[1]), (std::vector<std::string>{newerUidl, other}));
        EXPECT_EQ(CTempFolder::Read(CSeenStore::SeenFileName(lists[0])),
                  uid + " " + StrongIdentity(pair.newer) + "\n");
    }
}

TEST_F(CollidingPostsTest, ABareUidOfAnOlderStoreStillHidesItsItem)
{
    const std::string older = "<guid>1000</guid>";
    Serve("/blog", Item("Older", older) + Item("Other", "<guid>other</guid>"));
    const std::string list = m_folder.Write("feeds.txt", m_http.Url("/blog") + "\n");
    m_folder.Write("feeds.txt.UIDL", Fingerprint(older) + "\n");
    EXPECT_EQ(Check(list, {1}), std::vector<std::string>{Uidl(Fingerprint("<guid>other</guid>"))});
    EXPECT_EQ(CTempFolder::Read(CSeenStore::SeenFileName(list)),
              Fingerprint(older) + "\n" + Fingerprint("<guid>other</guid>") + " " +
                  StrongIdentity("<guid>other</guid>") + "\n");
    EXPECT_TRUE(Check(list).empty());
}

TEST_F(CollidingPostsTest, ItemsOfAllFeedsOfALoginFormOneMailbox)
{
    // The same number in two blogs' plain guids, and one post that both feeds carry.
    Serve("/first", Item("First 2333", "<guid>2333</guid>") + Item("Shared", "<guid>s</guid>"));
    Serve("/second", Item("Second 1000", "<guid>1000</guid>") + Item("Shared", "<guid>s</guid>"));
    const std::string list =
        m_folder.Write("feeds.txt", m_http.Url("/first") + "\n" + m_http.Url("/second") + "\n");
    const std::string uid = Fingerprint("<guid>1000</guid>");
    const std::string shared = Uidl(Fingerprint("<guid>s</guid>"));
    const std::vector<std::string> uidls = {Uidl(uid + "-" + StrongIdentity("<guid>2333</guid>")),
                                            shared, Uidl(uid), shared};
    EXPECT_EQ(Check(list, {4}), uidls);
    // The post both carry was deleted once, and is gone from both.
    EXPECT_EQ(Check(list), (std::vector<std::string>{uidls[0], uidls[2]}));
}
