#include "platform/ConnectionOwner.h"

#include "platform/Socket.h"

#include <gtest/gtest.h>

#include <cstdint>

using namespace platform;

TEST(ConnectionOwner, AConnectionOfThisProcessBelongsToThisUserFromEitherEnd)
{
    const SocketHandle listener = CreateTcpSocket();
    ASSERT_TRUE(BindLoopback(listener, 0));
    ASSERT_TRUE(ListenOn(listener, 1));
    const SocketHandle client = CreateTcpSocket();
    std::uint32_t loopback = 0;
    ASSERT_TRUE(ResolveIPv4("127.0.0.1", loopback));
    ASSERT_TRUE(ConnectIPv4(client, loopback, LocalPort(listener)));
    SocketError error;
    const SocketHandle accepted = AcceptConnection(listener, error);
    ASSERT_NE(accepted, kInvalidSocket);

    const ConnectionOwner fromServer = FindConnectionOwner(accepted);
    const ConnectionOwner fromClient = FindConnectionOwner(client);
    // A listener has no other end to ask about.
    EXPECT_EQ(FindConnectionOwner(listener), ConnectionOwner::Unknown);
    CloseSocket(accepted);
    CloseSocket(client);
    CloseSocket(listener);

    EXPECT_NE(fromServer, ConnectionOwner::OtherUser);
    if (fromServer == ConnectionOwner::Unknown)
        GTEST_SKIP() << "this system names no owner of a connection (Wine's table does not)";
    EXPECT_EQ(fromServer, ConnectionOwner::ThisUser);
    EXPECT_EQ(fromClient, ConnectionOwner::ThisUser);
}
