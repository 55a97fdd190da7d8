// The whole road of a mail check: a real POP3 client logs in to the POP3 server with the path
// of a feed list, the provider made by the real factory downloads the feeds from an HTTP
// server, renders and serves their items, and what the client deletes stays away afterwards.
// The server is this build's, or the Windows build's under Wine (see MailServerUnderTest.h):
// the clients are Linux programs, run as children of the test.
#include "feed/FeedDocumentInternal.h"
#include "feed/Fingerprint.h"
#include "provider/SeenStore.h"
#include "render/Template.h"
#include "support/FetchmailClient.h"
#include "support/HTTPTestServer.h"
#include "support/LineClient.h"
#include "support/MailServerUnderTest.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <sstream>

namespace {

std::string Feed(const std::string& encoding, const std::string& channel, const std::string& items)
{
    return "<?xml version=\"1.0\" encoding=\"" + encoding +
           "\"?>\n<rss version=\"2.0\">"
           "<channel><title>" +
           channel + "</title>" + items + "</channel></rss>\n";
}

std::string Item(const std::string& title, const std::string& guid)
{
    return "<item><title>" + title + "</title><link>http://example.org/" + guid + "</link><guid>" +
           guid + "</guid><description>&lt;p&gt;About " + title + "&lt;/p&gt;</description></item>";
}

// Runs curl against the POP3 server and returns what it wrote; fails the test when curl does.
class CCurl
{
public:
    CCurl(const CTempFolder& folder, std::uint16_t port, const std::string& mailbox)
        : m_folder(folder), m_port(port), m_user(mailbox)
    {}

    std::string List() { return Run("'" + POP3Url(m_port, m_user, "/") + "'"); }
    std::string Retrieve(int message)
    {
        return Run("'" + POP3Url(m_port, m_user, "/" + std::to_string(message)) + "'");
    }
    void Delete(int message)
    {
        Run("-I -X 'DELE " + std::to_string(message) + "' '" + POP3Url(m_port, m_user, "/") + "'");
    }

    // The sizes LIST reports, in message order.
    std::vector<std::size_t> ListedSizes()
    {
        std::istringstream lines(List());
        std::vector<std::size_t> sizes;
        std::size_t number, size;
        while (lines >> number >> size) {
            EXPECT_EQ(number, sizes.size() + 1);
            sizes.push_back(size);
        }
        return sizes;
    }

private:
    std::string Run(const std::string& arguments)
    {
        const std::string output = m_folder.File("curl.out");
        const std::string command = "curl -s -S --max-time 60 -o '" + output + "' " + arguments +
                                    " 2>'" + m_folder.File("curl.err") + "'";
        std::remove(output.c_str());
        const int status = std::system(command.c_str());
        EXPECT_EQ(status, 0) << command << "\n" << CTempFolder::Read(m_folder.File("curl.err"));
        return CTempFolder::Read(output);
    }

    const CTempFolder& m_folder;
    std::uint16_t m_port;
    std::string m_user;
};

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// The seen store's entry for the item of the guid `guid`.
std::string Entry(const std::string& guid)
{
    const std::string markup = "<guid>" + guid + "</guid>";
    return Fingerprint(markup) + " " + StrongIdentity(markup);
}

std::size_t CountOccurrences(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// fetchmail set to leave the mail on the server, collecting the messages of one feed list
// into a mailbox file in the folder.
class CKeepingFetchmail
{
public:
    CKeepingFetchmail(const CTempFolder& folder, CMailServerUnderTest& mail,
                      const std::string& list)
        : m_folder(folder), m_mail(mail), m_list(list), m_mailbox(folder.File("mailbox"))
    {}

    // fetchmail's exit status (0: mail collected, 1: nothing new), once the server has ended
    // the session.
    int Collect()
    {
        std::string output;
        const int status = RunFetchmail(m_folder, m_mail.GetPort(), m_mail.FileName(m_list),
                                        m_mailbox, output, true);
        EXPECT_TRUE(m_mail.WaitForSessions());
        return status;
    }
    std::string Collected() const { return CTempFolder::Read(m_mailbox); }

private:
    const CTempFolder& m_folder;
    CMailServerUnderTest& m_mail;
    std::string m_list;
    std::string m_mailbox;
};

} // namespace

TEST(MailCheckEndToEnd, ARealClientListsRetrievesAndDeletesFeedItems)
{
    ASSERT_EQ(std::system("curl --version >/dev/null 2>&1"), 0) << "curl is not installed";

    CHTTPTestServer http;
    ASSERT_TRUE(http.IsRunning());
    const std::string news = Feed(
        "utf-8", "News", Item("Caf\xC3\xA9 opens", "n1") + Item("Rain", "n2") + Item("Sun", "n3"));
    http.Serve("/news.xml", CHTTPTestServer::OkResponse(news));
    // "Привет" and "Мир" in windows-1251.
    http.Serve("/cyrillic.xml",
               CHTTPTestServer::OkResponse(
                   Feed("windows-1251", "\xCC\xE8\xF0", Item("\xCF\xF0\xE8\xE2\xE5\xF2", "c1"))));
    http.Serve("/old.xml", CHTTPTestServer::RedirectResponse(301, http.Url("/moved.xml")));
    http.Serve("/moved.xml",
               CHTTPTestServer::OkResponse(Feed("utf-8", "Moved", Item("Relocated", "m1"))));

    CTempFolder folder;
    CMailServerUnderTest mail;
    ASSERT_NE(mail.GetPort(), 0);
    const std::string customTemplate =
        folder.Write("custom.tpl", "Message-ID: <%+UIDL%>\nSubject: custom %/title%\n"
                                   "X-Channel: %-/title%\n\n%/description%\n");
    const std::string list = folder.Write(
        "feeds.txt", "# my feeds\n" + http.Url("/news.xml") + "\n" + http.Url("/cyrillic.xml") +
                         "\n" + http.Url("/gone.xml") + "\n" + http.Url("/old.xml") + " ; " +
                         mail.FileName(customTemplate) + "\n");
    CCurl curl(folder, mail.GetPort(), mail.FileName(list));

    // Three items of the first feed, one of the second, none of the missing one and one
    // behind the redirection, in list order.
    ASSERT_EQ(curl.ListedSizes().size(), 5u);
    // The first message arrives byte for byte as rendered.
    const std::string first = curl.Retrieve(1);
    const std::string rendered = ParseFeed(news, kBuiltInTemplate, http.Url("/news.xml"))[0].text;
    EXPECT_EQ(first.substr(0, rendered.size()), rendered);
    EXPECT_TRUE(Contains(first, "Message-ID: <" + Fingerprint("<guid>n1</guid>") + ">\r\n"));
    EXPECT_TRUE(Contains(first, "Subject: =?utf-8?Q?Caf=C3=A9_opens?=\r\n"));
    EXPECT_TRUE(Contains(first, "<p>About Caf\xC3\xA9 opens</p>"));
    const std::string cyrillic = curl.Retrieve(4);
    EXPECT_TRUE(Contains(cyrillic, "From: =?utf-8?Q?=D0=9C=D0=B8=D1=80?= <"));
    EXPECT_TRUE(
        Contains(cyrillic, "<p>About \xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82</p>"));
    const std::string moved = curl.Retrieve(5);
    EXPECT_TRUE(Contains(moved, "Subject: custom Relocated\r\nX-Channel: Moved\r\n\r\n"));

    // A client that deletes and then drops the connection without QUIT changes nothing.
    {
        CLineClient dropped(mail.GetPort());
        dropped.ReadLine();
        dropped.Command("USER " + mail.FileName(list));
        EXPECT_EQ(dropped.Command("PASS secret"), "+OK received messages\r\n");
        dropped.Command("DELE 1");
    }
    ASSERT_TRUE(mail.WaitForSessions());
    // The client's earlier QUITs left an empty store; the drop left it so.
    EXPECT_TRUE(std::filesystem::exists(CSeenStore::SeenFileName(list)));
    EXPECT_TRUE(CSeenStore(list).LoadSeen().empty());

    // Deleting "Rain" renumbers the rest: "Sun" moves up to 2, "Relocated" to 4.
    curl.Delete(2);
    ASSERT_TRUE(mail.WaitForSessions());
    EXPECT_EQ(CSeenStore(list).LoadSeen(), std::vector<std::string>{Entry("n2")});
    EXPECT_TRUE(Contains(curl.Retrieve(2), "Sun"));
    curl.Delete(4);
    ASSERT_TRUE(mail.WaitForSessions());

    const std::vector<std::size_t> sizes = curl.ListedSizes();
    ASSERT_EQ(sizes.size(), 3u);
    EXPECT_EQ(sizes[0], rendered.size());
    EXPECT_TRUE(Contains(curl.Retrieve(1), "Caf"));
    EXPECT_TRUE(Contains(curl.Retrieve(2), "Sun"));
    EXPECT_TRUE(Contains(curl.Retrieve(3), "\xD0\x9F\xD1\x80"));
    ASSERT_TRUE(mail.WaitForSessions());
    EXPECT_EQ(CSeenStore(list).LoadSeen(), (std::vector<std::string>{Entry("n2"), Entry("m1")}));
}

TEST(MailCheckEndToEnd, AClientThatKeepsMailGetsNoDuplicateAcrossAnOutage)
{
    ASSERT_EQ(std::system("fetchmail --version >/dev/null 2>&1"), 0) << "fetchmail is missing";
    CHTTPTestServer busy, refusing;
    ASSERT_TRUE(busy.IsRunning() && refusing.IsRunning());
    const std::string feedA =
        Feed("utf-8", "A", Item("A1", "a1") + Item("A2", "a2") + Item("A3", "a3"));
    busy.Serve("/a.xml", CHTTPTestServer::OkResponse(feedA));
    busy.Serve("/c.xml", CHTTPTestServer::OkResponse(Feed("utf-8", "C", Item("C1", "c1"))));
    refusing.Serve("/b.xml", CHTTPTestServer::OkResponse(
                                 Feed("utf-8", "B", Item("B1", "b1") + Item("B2", "b2"))));

    CTempFolder folder;
    CMailServerUnderTest mail;
    ASSERT_NE(mail.GetPort(), 0);
    const std::string list =
        folder.Write("feeds.txt", busy.Url("/a.xml") + "\n" + refusing.Url("/b.xml") + "\n" +
                                      busy.Url("/c.xml") + "\n");
    CKeepingFetchmail fetchmail(folder, mail, list);
    const auto collected = [&] { return CountOccurrences(fetchmail.Collected(), "Message-ID: <"); };

    EXPECT_EQ(fetchmail.Collect(), 0);
    EXPECT_EQ(collected(), 6u);
    // One server busy for one feed, the other gone: the client still sees every message, so
    // it forgets none of their uids, and none is new.
    busy.Serve("/a.xml", "HTTP/1.0 503 Service Unavailable\r\n\r\nbusy");
    refusing.Stop();
    EXPECT_EQ(fetchmail.Collect(), 1);
    // The first back again: nothing is fetched twice.
    busy.Serve("/a.xml", CHTTPTestServer::OkResponse(feedA));
    EXPECT_EQ(fetchmail.Collect(), 1);
    EXPECT_EQ(collected(), 6u);
}

TEST(MailCheckEndToEnd, AClientThatKeepsMailGetsANewPostWhoseFingerprintAnOlderOneHas)
{
    ASSERT_EQ(std::system("fetchmail --version >/dev/null 2>&1"), 0) << "fetchmail is missing";
    // Numbered posts whose guids share a fingerprint: 1000 and 2333.
    ASSERT_EQ(Fingerprint("<guid>1000</guid>"), Fingerprint("<guid>2333</guid>"));
    CHTTPTestServer http;
    ASSERT_TRUE(http.IsRunning());
    const std::string older = Item("Post 1000", "1000") + Item("Post 999", "999");
    http.Serve("/blog.xml", CHTTPTestServer::OkResponse(Feed("utf-8", "Blog", older)));

    CTempFolder folder;
    CMailServerUnderTest mail;
    ASSERT_NE(mail.GetPort(), 0);
    const std::string list = folder.Write("feeds.txt", http.Url("/blog.xml") + "\n");
    CKeepingFetchmail fetchmail(folder, mail, list);

    EXPECT_EQ(fetchmail.Collect(), 0);
    EXPECT_EQ(fetchmail.Collect(), 1);
    // The newer post comes first in the feed; the client fetches it, and it alone.
    http.Serve("/blog.xml", CHTTPTestServer::OkResponse(
                                Feed("utf-8", "Blog", Item("Post 2333", "2333") + older)));
    EXPECT_EQ(fetchmail.Collect(), 0);
    EXPECT_EQ(fetchmail.Collect(), 1);
    const std::string collected = fetchmail.Collected();
    for (const char* title : {"Post 1000", "Post 999", "Post 2333"})
        EXPECT_EQ(CountOccurrences(collected, std::string("<p>About ") + title + "</p>"), 1u)
            << title << "\n"
            << collected;
    EXPECT_TRUE(Contains(collected, "Message-ID: <" + Fingerprint("<guid>1000</guid>") + ">"));
    EXPECT_TRUE(Contains(collected, "Message-ID: <" + Fingerprint("<guid>2333</guid>") + "-" +
                                        StrongIdentity("<guid>2333</guid>") + ">"));
}
