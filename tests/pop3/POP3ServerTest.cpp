#include "pop3/POP3Server.h"

#include "support/POP3TestServer.h"
#include "support/ProcessResources.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

namespace {

// Sessions close their connections on their own threads, shortly after their clients or the
// server's stop: waits (at most 10 s) until the count of open handles is back at `expected`.
std::size_t OpenHandlesSettlingAt(std::size_t expected)
{
    std::size_t count = CountOpenHandles();
    for (int attempt = 0; attempt < 1000 && count != expected; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        count = CountOpenHandles();
    }
    return count;
}

} // namespace

TEST(POP3Server, StartsStopsAndRestartsLeavingNothingOpen)
{
    CTestProviderFactory factory;
    CPOP3Server server(&factory);
    server.Stop(); // before any Start
    const std::size_t handlesBefore = CountOpenHandles();

    server.Start(0);
    const std::uint16_t firstPort = server.GetPort();
    ASSERT_NE(firstPort, 0);
    EXPECT_TRUE(AcceptsAndGreets(firstPort));

    // A Start while running replaces the listener instead of orphaning it.
    server.Start(0);
    const std::uint16_t secondPort = server.GetPort();
    EXPECT_TRUE(AcceptsAndGreets(secondPort));
    {
        // The server closes this connection first.
        CLineClient client(secondPort);
        client.ReadLine();
        EXPECT_EQ(client.Command("QUIT"), "+OK bye\r\n");
        client.ReadToClose();
    }
    EXPECT_FALSE(CLineClient(firstPort).IsConnected());

    server.Stop();
    server.Stop();
    EXPECT_EQ(server.GetPort(), 0);
    EXPECT_FALSE(CLineClient(secondPort).IsConnected());
    EXPECT_EQ(OpenHandlesSettlingAt(handlesBefore), handlesBefore);

    // The same port again, although a connection on it was just closed by the server.
    server.Start(secondPort);
    EXPECT_TRUE(AcceptsAndGreets(secondPort));
    server.Stop();
}

TEST(POP3Server, APortInUseFailsToBindAndLeavesNothingOpen)
{
    CPOP3TestServer running;
    CTestProviderFactory factory;
    CPOP3Server server(&factory);
    const std::size_t handlesBefore = CountOpenHandles();
    try {
        server.Start(running.Server().GetPort());
        ADD_FAILURE() << "Start succeeded on a port in use";
    } catch (const CPOP3Server::exception& failure) {
        EXPECT_STREQ(failure.what(), "cannot bind listen socket");
    }
    EXPECT_EQ(CountOpenHandles(), handlesBefore);
    server.Stop();
    EXPECT_TRUE(AcceptsAndGreets(running.Server().GetPort()));
}

TEST(POP3Server, StopClosesIdleConnectionsWithoutAReply)
{
    CPOP3TestServer server;
    std::vector<std::unique_ptr<CLineClient>> clients;
    for (int index = 0; index < 4; ++index)
        clients.push_back(index % 2 ? server.LogIn() : server.Connect());
    EXPECT_EQ(clients.back()->Command("NOOP"), "+OK no operation done\r\n");
    // Connected sessions keep running until the server stops.
    EXPECT_FALSE(server.Server().WaitForSessions(std::chrono::milliseconds(20)));

    server.Server().Stop();
    EXPECT_TRUE(server.Server().WaitForSessions(std::chrono::seconds(10)));
    for (auto& client : clients) {
        EXPECT_EQ(client->ReadToClose(), "");
        EXPECT_TRUE(client->IsClosed());
    }
    EXPECT_TRUE(server.Factory().WaitForSessionsToEnd());
    EXPECT_TRUE(server.Factory().Commits().empty());
}

TEST(POP3Server, AnswersQuitOnlyOnceCommittedAndStopWaitsForTheCommit)
{
    CPOP3TestServer server(MessageList{{"Subject: a\r\n\r\nbody\r\n", "U"}});
    server.Factory().SetCommitDelay(std::chrono::milliseconds(300));
    {
        auto client = server.LogIn();
        client->Command("DELE 1");
        EXPECT_EQ(client->Command("QUIT"), "+OK bye\r\n");
        EXPECT_EQ(server.Factory().Commits().size(), 1u);
    }
    // A stop in the middle of a commit lets it finish and its reply go out.
    auto client = server.LogIn();
    client->Command("DELE 1");
    client->Send("QUIT\r\n");
    ASSERT_TRUE(server.Factory().WaitForCommitsToBegin(2));
    server.Server().Stop();
    EXPECT_EQ(server.Factory().Commits().size(), 2u);
    EXPECT_EQ(client->ReadLine(), "+OK bye\r\n");
}

TEST(POP3Server, HoldsTheUsersConnectionsBeyondTheLimitAndGreetsThemInTurn)
{
    // The test says whose the next connections are.
    std::atomic<platform::ConnectionOwner> owner{platform::ConnectionOwner::ThisUser};
    CPOP3TestServer server(MessageList{{"Subject: a\r\n\r\nbody\r\n", "U"}},
                           "+OK received messages\r\n",
                           [&owner](platform::SocketHandle) { return owner.load(); });
    const std::uint16_t port = server.Server().GetPort();
    std::vector<std::unique_ptr<CLineClient>> clients;
    for (int index = 0; index < CPOP3Server::kMaxSessions; ++index) {
        clients.push_back(std::make_unique<CLineClient>(port));
        ASSERT_TRUE(clients.back()->IsConnected()) << index;
    }
    // Every client is connected before any is answered beyond its greeting, so each one
    // needs a session of its own.
    for (auto& client : clients) {
        EXPECT_EQ(client->ReadLine(), "+OK welcome\r\n");
        client->Send("USER feeds.txt\r\nPASS x\r\n");
    }
    for (auto& client : clients) {
        EXPECT_EQ(client->ReadLine(), "+OK PASS requested\r\n");
        EXPECT_EQ(client->ReadLine(), "+OK received messages\r\n");
    }
    // Another user's connection is closed at once, full or not, and takes no place.
    owner = platform::ConnectionOwner::OtherUser;
    CLineClient another(port);
    EXPECT_EQ(another.ReadToClose(), "");
    EXPECT_TRUE(another.IsClosed());
    owner = platform::ConnectionOwner::ThisUser;

    // The user's connections beyond the limit wait, and are greeted in turn as places free.
    CLineClient first(port);
    CLineClient second(port);
    ASSERT_TRUE(first.IsConnected());
    ASSERT_TRUE(second.IsConnected());
    EXPECT_EQ(clients[0]->Command("QUIT"), "+OK bye\r\n");
    EXPECT_EQ(first.ReadLine(), "+OK welcome\r\n");
    clients[1].reset(); // a client that goes away without QUIT frees its place too
    EXPECT_EQ(second.ReadLine(), "+OK welcome\r\n");
    for (CLineClient* held : {&first, &second}) {
        held->Send("USER feeds.txt\r\nPASS x\r\n");
        EXPECT_EQ(held->ReadLine(), "+OK PASS requested\r\n");
        EXPECT_EQ(held->ReadLine(), "+OK received messages\r\n");
        EXPECT_EQ(held->Command("STAT"), "+OK 1 20\r\n");
    }
    EXPECT_EQ(server.Factory().Logins().size(),
              static_cast<std::size_t>(CPOP3Server::kMaxSessions) + 2);

    // A stop closes a connection still held without a word, as it does idle sessions.
    CLineClient third(port);
    ASSERT_TRUE(third.IsConnected());
    server.Server().Stop();
    EXPECT_EQ(third.ReadToClose(), "");
    EXPECT_TRUE(third.IsClosed());
    EXPECT_EQ(clients[2]->ReadToClose(), "");
}

// Whether a connection is served, by what the owner lookup says about the server's own
// connection at start (whether the system names owners at all) and about the client's.
TEST(POP3Server, ServesAConnectionWhoseOwnerIsUnknownOnlyWhereNoOwnerIsEverKnown)
{
    using platform::ConnectionOwner;
    struct Case
    {
        const char* what;
        ConnectionOwner ownConnection;
        ConnectionOwner client;
        bool served;
    };
    const Case cases[] = {
        {"the user's", ConnectionOwner::ThisUser, ConnectionOwner::ThisUser, true},
        {"another user's", ConnectionOwner::ThisUser, ConnectionOwner::OtherUser, false},
        {"not in the tables", ConnectionOwner::ThisUser, ConnectionOwner::Unknown, false},
        // Out of descriptors or memory for the lookup.
        {"not looked up", ConnectionOwner::ThisUser, ConnectionOwner::LookupFailed, false},
        {"unknown where none is known", ConnectionOwner::Unknown, ConnectionOwner::Unknown, true},
        {"not looked up where none is known", ConnectionOwner::Unknown,
         ConnectionOwner::LookupFailed, true},
        {"another user's where others are not known", ConnectionOwner::Unknown,
         ConnectionOwner::OtherUser, false},
        // A start that could not ask decides nothing in favour of strangers.
        {"unknown after a failed lookup at start", ConnectionOwner::LookupFailed,
         ConnectionOwner::Unknown, false},
    };
    for (const Case& entry : cases) {
        SCOPED_TRACE(entry.what);
        std::atomic<int> lookups{0};
        CPOP3TestServer server({}, "+OK received messages\r\n",
                               [&entry, &lookups](platform::SocketHandle) {
                                   return lookups++ == 0 ? entry.ownConnection : entry.client;
                               });
        CLineClient client(server.Server().GetPort());
        ASSERT_TRUE(client.IsConnected());
        if (entry.served) {
            EXPECT_EQ(client.ReadLine(), "+OK welcome\r\n");
        } else {
            EXPECT_EQ(client.ReadToClose(), "");
            EXPECT_TRUE(client.IsClosed());
        }
        EXPECT_EQ(lookups.load(), 2);
    }
}
