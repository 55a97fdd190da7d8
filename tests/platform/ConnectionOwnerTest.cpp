#include "platform/ConnectionOwner.h"

#include "platform/Socket.h"
#include "support/MappedConnection.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

using namespace platform;

namespace {

// A loopback listener and one connection to it, made by `connect` given the port.
struct Connection
{
    explicit Connection(const std::function<SocketHandle(std::uint16_t)>& connect)
    {
        listener = CreateTcpSocket();
        if (!BindLoopback(listener, 0) || !ListenOn(listener, 1))
            return;
        client = connect(LocalPort(listener));
        SocketError error;
        if (client != kInvalidSocket)
            accepted = AcceptConnection(listener, error);
    }
    ~Connection()
    {
        for (const SocketHandle socket : {accepted, client, listener})
            if (socket != kInvalidSocket)
                CloseSocket(socket);
    }
    SocketHandle listener = kInvalidSocket;
    SocketHandle client = kInvalidSocket;
    SocketHandle accepted = kInvalidSocket;
};

SocketHandle ConnectThroughIPv4(std::uint16_t port)
{
    const SocketHandle client = CreateTcpSocket();
    std::uint32_t loopback = 0;
    if (!ResolveIPv4("127.0.0.1", loopback) || !ConnectIPv4(client, loopback, port)) {
        CloseSocket(client);
        return kInvalidSocket;
    }
    return client;
}

} // namespace

TEST(ConnectionOwner, AConnectionOfThisProcessBelongsToThisUserFromEitherEnd)
{
    const Connection connection(ConnectThroughIPv4);
    ASSERT_NE(connection.accepted, kInvalidSocket);
    const ConnectionOwner fromServer = FindConnectionOwner(connection.accepted);
    // A listener has no other end to ask about.
    EXPECT_EQ(FindConnectionOwner(connection.listener), ConnectionOwner::Unknown);
    EXPECT_NE(fromServer, ConnectionOwner::OtherUser);
    if (fromServer == ConnectionOwner::Unknown)
        GTEST_SKIP() << "this system names no owner of a connection (Wine's table does not)";
    EXPECT_EQ(fromServer, ConnectionOwner::ThisUser);
    EXPECT_EQ(FindConnectionOwner(connection.client), ConnectionOwner::ThisUser);
}

// The client's end of such a connection is in the table of IPv6 connections, where an
// owner looked for in the IPv4 table alone is not found.
TEST(ConnectionOwner, AConnectionFromAnIPv6SocketThroughTheMappedAddressIsFound)
{
    const Connection connection(ConnectThroughMappedAddress);
    if (connection.client == kInvalidSocket)
        GTEST_SKIP() << "this system offers no IPv6 socket that reaches 127.0.0.1";
    ASSERT_NE(connection.accepted, kInvalidSocket);
    const ConnectionOwner owner = FindConnectionOwner(connection.accepted);
    const Connection ipv4(ConnectThroughIPv4);
    if (FindConnectionOwner(ipv4.accepted) == ConnectionOwner::Unknown)
        GTEST_SKIP() << "this system names no owner of a connection (Wine's table does not)";
    EXPECT_EQ(owner, ConnectionOwner::ThisUser);
}
