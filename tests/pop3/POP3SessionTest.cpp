#include "pop3/POP3Session.h"

#include "support/POP3TestServer.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

const char kNotLoggedIn[] = "-ERR not in authoristaion state. USER/PASS first\r\n";

MessageList TwoMessages()
{
    return {{"Message-ID: <one>\r\n\r\nfirst\r\n", "UID1", "IDENTITY1"},
            {"Message-ID: <two>\r\n\r\nsecond\r\n", "UID2", "IDENTITY2"}};
}

} // namespace

TEST(POP3Session, AnswersTheLoginDialogueByteForByte)
{
    CPOP3TestServer server(TwoMessages(), "+OK here they are\r\n");
    auto client = server.Connect();
    EXPECT_EQ(server.LastGreeting(), "+OK welcome\r\n");

    EXPECT_EQ(client->Command("STAT"), kNotLoggedIn);
    EXPECT_EQ(client->Command("NOOP"), kNotLoggedIn);
    EXPECT_EQ(client->Command("ABC"), kNotLoggedIn);
    EXPECT_EQ(client->Command("PASS early"), "-ERR USER command requested first\r\n");
    EXPECT_EQ(client->Command("user C:\\feeds\\list.txt"), "+OK PASS requested\r\n");
    EXPECT_EQ(client->Command("USER other"), "-ERR USER second command\r\n");

    // An empty PASS loads the mailbox but leaves the session unauthorised.
    EXPECT_EQ(client->Command("PASS"), "+OK here they are\r\n");
    EXPECT_EQ(client->Command("STAT"), kNotLoggedIn);
    EXPECT_EQ(client->Command("PASS two words"), "+OK here they are\r\n");
    EXPECT_EQ(client->Command("PASS again"), "-ERR not in transactions state\r\n");

    const auto logins = server.Factory().Logins();
    ASSERT_EQ(logins.size(), 2u);
    EXPECT_EQ(logins[0].mailbox, "C:\\feeds\\list.txt\r\n"); // the provider trims it
    EXPECT_EQ(logins[0].password, "");
    EXPECT_EQ(logins[1].password, "two");

    EXPECT_EQ(client->Command("NOOP"), "+OK no operation done\r\n");
    EXPECT_EQ(client->Command("TOP"), "-ERR unknown/unimplemented command\r\n");
    EXPECT_EQ(client->Command("ABC"), "-ERR unknown/unimplemented command\r\n");
    EXPECT_EQ(client->Command("STAT"), "+OK 2 57\r\n");
    EXPECT_EQ(client->Command("quitting"), "+OK bye\r\n");
    EXPECT_EQ(client->ReadToClose(), "");
    EXPECT_TRUE(client->IsClosed());
}

TEST(POP3Session, AConnectionOpenedByAnHTTPRequestEndsWithoutAReply)
{
    // The POP3 commands in the body of a cross-site POST are never read.
    CPOP3TestServer server(TwoMessages());
    auto client = server.Connect();
    client->Send("POST / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\nUSER x\r\nPASS y\r\nQUIT\r\n");
    EXPECT_EQ(client->ReadToClose(), "");
    EXPECT_TRUE(client->IsClosed());
    EXPECT_TRUE(server.Factory().Logins().empty());

    // Only the first line counts.
    auto later = server.Connect();
    EXPECT_EQ(later->Command("NOOP"), kNotLoggedIn);
    EXPECT_EQ(later->Command("GET / HTTP/1.1"), kNotLoggedIn);
}

TEST(POP3Session, QuitBeforeLoginCreatesNoProvider)
{
    CPOP3TestServer server(TwoMessages());
    auto client = server.Connect();
    client->Send("USER feeds.txt\r\nQUIT\r\nNOOP\r\n");
    EXPECT_EQ(client->ReadLine(), "+OK PASS requested\r\n");
    EXPECT_EQ(client->ReadLine(), "+OK bye\r\n");
    client->ReadToClose();
    EXPECT_TRUE(client->IsClosed());
    EXPECT_TRUE(server.Factory().Logins().empty());
    EXPECT_TRUE(server.Factory().Commits().empty());
}

TEST(POP3Session, QuitCommitsTheMarkedMessagesAndOnlyQuit)
{
    CPOP3TestServer server(TwoMessages());
    {
        auto client = server.LogIn();
        EXPECT_EQ(client->Command("DELE 2"), "+OK DELE not supported 8-)\r\n");
        EXPECT_EQ(client->Command("DELE 2"), "+OK DELE not supported 8-)\r\n");
        EXPECT_EQ(client->Command("STAT"), "+OK 2 57\r\n");
        EXPECT_EQ(client->Command("DELE 1"), "+OK DELE not supported 8-)\r\n");
        EXPECT_EQ(client->Command("QUIT"), "+OK bye\r\n");
        client->ReadToClose();
    }
    {
        auto client = server.LogIn();
        EXPECT_EQ(client->Command("DELE 1"), "+OK DELE not supported 8-)\r\n");
        EXPECT_EQ(client->Command("RSET"), "+OK\r\n");
        EXPECT_EQ(client->Command("QUIT"), "+OK bye\r\n");
        client->ReadToClose();
    }
    {
        // Dropping the connection forgets the marks.
        auto client = server.LogIn();
        EXPECT_EQ(client->Command("DELE 1"), "+OK DELE not supported 8-)\r\n");
    }
    ASSERT_TRUE(server.Factory().WaitForSessionsToEnd());

    const auto commits = server.Factory().Commits();
    ASSERT_EQ(commits.size(), 2u);
    // A message deleted twice is handed over once.
    ASSERT_EQ(commits[0].size(), 2u);
    EXPECT_EQ(commits[0][0].uid, "UID2");
    EXPECT_EQ(commits[0][0].identity, "IDENTITY2");
    EXPECT_EQ(commits[0][0].text, ""); // the provider needs no text
    EXPECT_EQ(commits[0][1].uid, "UID1");
    EXPECT_EQ(commits[0][1].identity, "IDENTITY1");
    EXPECT_TRUE(commits[1].empty());
}

TEST(POP3Session, AQuitWhoseDeletionsCannotBeKeptSaysSoAndEnds)
{
    CPOP3TestServer server(TwoMessages());
    server.Factory().FailCommits();
    auto client = server.LogIn();
    EXPECT_EQ(client->Command("DELE 1"), "+OK DELE not supported 8-)\r\n");
    EXPECT_EQ(client->Command("QUIT"), "-ERR some deleted messages not removed\r\n");
    EXPECT_EQ(client->ReadToClose(), "");
    EXPECT_TRUE(client->IsClosed());
}

namespace {

class CThrowingFactory : public IMessageProviderFactory
{
public:
    std::unique_ptr<IMessageProvider> Create(std::string, const std::string&) override
    {
        throw std::runtime_error("provider failed");
    }
};

} // namespace

TEST(POP3Session, AFailingProviderEndsOnlyItsConnection)
{
    CThrowingFactory factory;
    CPOP3Server server(&factory);
    server.Start(0);
    CLineClient client(server.GetPort());
    EXPECT_EQ(client.ReadLine(), "+OK welcome\r\n");
    EXPECT_EQ(client.Command("USER x"), "+OK PASS requested\r\n");
    client.Send("PASS y\r\n");
    EXPECT_EQ(client.ReadToClose(), "");
    EXPECT_TRUE(client.IsClosed());

    CLineClient next(server.GetPort());
    EXPECT_EQ(next.ReadLine(), "+OK welcome\r\n");
    server.Stop();
}
