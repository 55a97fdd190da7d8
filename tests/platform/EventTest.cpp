#include "platform/Event.h"

#include "platform/Socket.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

using namespace platform;
using namespace std::chrono_literals;

namespace {

// A connected pair of loopback sockets: `client` talks to `server`.
struct SocketPair
{
    SocketPair()
    {
        listener = CreateTcpSocket();
        EXPECT_TRUE(BindLoopback(listener, 0));
        EXPECT_TRUE(ListenOn(listener, 1));
        client = CreateTcpSocket();
        std::uint32_t address = 0;
        EXPECT_TRUE(ResolveIPv4("127.0.0.1", address));
        EXPECT_TRUE(ConnectIPv4(client, address, LocalPort(listener)));
        SocketError error;
        server = AcceptConnection(listener, error);
        EXPECT_NE(server, kInvalidSocket);
    }
    ~SocketPair()
    {
        CloseSocket(client);
        CloseSocket(server);
        CloseSocket(listener);
    }
    SocketHandle listener, client, server;
};

} // namespace

TEST(Event, StaysSetUntilReset)
{
    CEvent event;
    ASSERT_TRUE(event.IsValid());
    EXPECT_FALSE(event.IsSet());
    event.Reset();
    EXPECT_FALSE(event.IsSet());
    event.Set();
    event.Set();
    EXPECT_TRUE(event.IsSet());
    EXPECT_EQ(WaitForAny({event}, 0ms), 0);
    EXPECT_EQ(WaitForAny({event}, 0ms), 0);
    // However often it was set, one reset clears it, and a later set holds again.
    event.Reset();
    EXPECT_FALSE(event.IsSet());
    EXPECT_EQ(WaitForAny({event}, 0ms), kWaitTimedOut);
    event.Set();
    EXPECT_TRUE(event.IsSet());
}

TEST(Event, WaitReportsTheFirstSignalledTargetInListOrder)
{
    SocketPair pair;
    CEvent end;
    CSocketEvent socketEvent(pair.server);
    ASSERT_TRUE(socketEvent.IsValid());
    EXPECT_EQ(WaitForAny({socketEvent, end}, 10ms), kWaitTimedOut);

    end.Set();
    EXPECT_EQ(WaitForAny({socketEvent, end}), 1);

    SocketError error;
    ASSERT_EQ(SendBytes(pair.client, "x", 1, error), 1);
    EXPECT_EQ(WaitForAny({socketEvent, end}), 0); // input wins the tie
    EXPECT_EQ(WaitForAny({end, socketEvent}), 0); // unless the event comes first
}

TEST(Event, AWriteWaitWakesOnceAFullSendBufferHasRoomAgain)
{
    SocketPair pair;
    CSocketEvent socketEvent(pair.server);
    const WaitTarget writable(socketEvent, SocketReadiness::Writable);
    const std::string block(1 << 16, 'x');
    SocketError error = SocketError::None;
    while (SendBytes(pair.server, block.data(), block.size(), error) > 0) {
    }
    ASSERT_EQ(error, SocketError::WouldBlock);
    EXPECT_EQ(WaitForAny({writable}, 10ms), kWaitTimedOut);

    // The peer reads everything, and the send buffer drains.
    CSocketEvent clientEvent(pair.client);
    std::thread reader([&] {
        char buffer[1 << 16];
        SocketError readError;
        // Re-armed before each read, as every reader of a socket event does.
        while (WaitForAny({clientEvent}, 200ms) == 0) {
            clientEvent.Reset();
            if (ReceiveBytes(pair.client, buffer, sizeof buffer, Receive::Take, readError) == 0)
                break;
        }
    });
    EXPECT_EQ(WaitForAny({writable}, 10s), 0);
    reader.join();
}

TEST(Event, ASetFromAnotherThreadWakesTheWaiter)
{
    CEvent end;
    std::thread setter([&end] { end.Set(); });
    EXPECT_EQ(WaitForAny({end}), 0);
    setter.join();
}

TEST(Socket, NonBlockingReadsAndClosedConnections)
{
    SocketPair pair;
    CSocketEvent socketEvent(pair.server);
    char buffer[8];
    SocketError error;
    EXPECT_EQ(ReceiveBytes(pair.server, buffer, sizeof buffer, Receive::Take, error), -1);
    EXPECT_EQ(error, SocketError::WouldBlock);

    ASSERT_EQ(SendBytes(pair.client, "ab", 2, error), 2);
    EXPECT_EQ(WaitForAny({socketEvent}), 0);
    EXPECT_EQ(ReceiveBytes(pair.server, buffer, sizeof buffer, Receive::Peek, error), 2);
    EXPECT_EQ(ReceiveBytes(pair.server, buffer, sizeof buffer, Receive::Take, error), 2);

    ShutdownSocket(pair.client);
    EXPECT_EQ(WaitForAny({socketEvent}), 0);
    EXPECT_EQ(ReceiveBytes(pair.server, buffer, sizeof buffer, Receive::Take, error), 0);
}

TEST(Socket, SendingToAClosedConnectionFailsWithoutKillingTheProcess)
{
    SocketPair pair;
    CloseSocket(pair.server);
    pair.server = CreateTcpSocket();
    SocketError error = SocketError::None;
    const std::string block(65536, 'x');
    long sent = 0;
    for (int attempt = 0; attempt < 100 && sent >= 0; ++attempt)
        sent = SendBytes(pair.client, block.data(), block.size(), error);
    EXPECT_EQ(sent, -1);
    EXPECT_EQ(error, SocketError::Failed);
}

TEST(Socket, ResolvesDottedAddressesAndRejectsUnknownNames)
{
    std::uint32_t address = 0;
    EXPECT_TRUE(ResolveIPv4("127.0.0.1", address));
    EXPECT_EQ(address, 0x0100007Fu);
    EXPECT_FALSE(ResolveIPv4("no-such-host.invalid", address));
}
