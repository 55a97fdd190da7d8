#include "pop3/LineSocket.h"

#include "support/LineClient.h"
#include "support/ProcessResources.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

using namespace std::chrono_literals;

namespace {

// A CLineSocket on the server side of a loopback connection, and the client talking to it.
struct LineSocketPair
{
    explicit LineSocketPair(std::chrono::milliseconds idleTimeout = CLineSocket::kIdleTimeout)
    {
        const platform::SocketHandle listener = platform::CreateTcpSocket();
        EXPECT_TRUE(platform::BindLoopback(listener, 0));
        EXPECT_TRUE(platform::ListenOn(listener, 1));
        client = std::make_unique<CLineClient>(platform::LocalPort(listener));
        EXPECT_TRUE(client->IsConnected());
        platform::SocketError error;
        const platform::SocketHandle accepted = platform::AcceptConnection(listener, error);
        platform::CloseSocket(listener);
        socket = std::make_unique<CLineSocket>(accepted, endEvent, idleTimeout);
    }

    // Runs ReadLine on another thread while `feed` plays the client's part. A read still
    // blocked after 10 s is ended through the end event and fails the test.
    template <typename Feed> std::string ReadLineWhile(Feed feed, bool* threw = nullptr)
    {
        auto reading = std::async(std::launch::async, [this] { return socket->ReadLine(); });
        feed();
        if (reading.wait_for(10s) != std::future_status::ready) {
            ADD_FAILURE() << "ReadLine did not return";
            endEvent->Set();
        }
        try {
            return reading.get();
        } catch (const CLineSocket::exception&) {
            if (threw == nullptr)
                ADD_FAILURE() << "ReadLine threw";
            else
                *threw = true;
            return {};
        }
    }

    std::string ReadLine()
    {
        return ReadLineWhile([] {});
    }

    std::shared_ptr<platform::CEvent> endEvent = std::make_shared<platform::CEvent>();
    std::unique_ptr<CLineClient> client;
    std::unique_ptr<CLineSocket> socket;
};

void Pause()
{
    std::this_thread::sleep_for(30ms);
}

} // namespace

TEST(LineSocket, ReturnsExactlyOneLineHoweverTheBytesArrive)
{
    LineSocketPair pair;
    pair.client->Send("NOOP\r\n");
    EXPECT_EQ(pair.ReadLine(), "NOOP\r\n");

    EXPECT_EQ(pair.ReadLineWhile([&] {
        pair.client->Send("NO");
        Pause();
        pair.client->Send("OP\r");
        Pause();
        pair.client->Send("\n");
    }),
              "NOOP\r\n");

    // Several lines in one piece: each read takes one and leaves the rest in the socket.
    pair.client->Send("USER a\r\nPASS b\r\nNOOP\nNOOP\r\n");
    EXPECT_EQ(pair.ReadLine(), "USER a\r\n");
    EXPECT_EQ(pair.ReadLine(), "PASS b\r\n");
    EXPECT_EQ(pair.ReadLine(), "NOOP\nNOOP\r\n"); // a bare LF is part of the line

    // Long lines, with the CR LF falling on and across the 512-byte passes.
    for (const std::size_t length : {2000u, 510u, 511u, 512u, 1023u}) {
        const std::string line = std::string(length, 'x') + "\r\n";
        pair.client->Send(line + "NEXT\r\n");
        EXPECT_EQ(pair.ReadLine(), line);
        EXPECT_EQ(pair.ReadLine(), "NEXT\r\n");
    }
    pair.client->Send("A\rB\r\r\n");
    EXPECT_EQ(pair.ReadLine(), "A\rB\r\r\n");
}

TEST(LineSocket, ALoneCarriageReturnWaitsQuietlyForWhatFollows)
{
    LineSocketPair pair;
    EXPECT_EQ(pair.ReadLineWhile([&] {
        pair.client->Send("ABC\r");
        // The read must sleep, not spin, while only the CR is there.
        const double before = ProcessorSeconds();
        std::this_thread::sleep_for(300ms);
        const double cpuSeconds = ProcessorSeconds() - before;
        EXPECT_LT(cpuSeconds, 0.15);
        pair.client->Send("\nQUIT\r\n");
    }),
              "ABC\r\n");
    EXPECT_EQ(pair.ReadLine(), "QUIT\r\n");

    // A CR followed by something else is an ordinary byte of the line.
    EXPECT_EQ(pair.ReadLineWhile([&] {
        pair.client->Send("X\r");
        Pause();
        pair.client->Send("Y\r\n");
    }),
              "X\rY\r\n");
}

TEST(LineSocket, ClosedConnectionsAndTheEndEventEndTheRead)
{
    {
        // A line that never ends is cut off instead of filling the memory.
        LineSocketPair pair;
        bool threw = false;
        pair.ReadLineWhile([&] { pair.client->Send(std::string((1u << 20) + 1024, 'x')); }, &threw);
        EXPECT_TRUE(threw) << "an endless line";
    }
    // A partial line, or a lone CR, followed by a close.
    for (const char* partial : {"NOO", "ABC\r"}) {
        LineSocketPair pair;
        bool threw = false;
        pair.ReadLineWhile(
            [&] {
                pair.client->Send(partial);
                Pause();
                pair.client->Close();
            },
            &threw);
        EXPECT_TRUE(threw) << partial;
    }
    {
        LineSocketPair pair;
        bool threw = false;
        pair.ReadLineWhile(
            [&] {
                Pause();
                pair.endEvent->Set();
            },
            &threw);
        EXPECT_TRUE(threw) << "an idle read when the server stops";
        // Input already waiting is still served after the stop.
        pair.client->Send("QUIT\r\n");
        Pause();
        EXPECT_EQ(pair.ReadLine(), "QUIT\r\n");
    }
}

TEST(LineSocket, SendsLargeTextsWholeToASlowReader)
{
    LineSocketPair pair;
    std::string text;
    for (int line = 0; text.size() < (1u << 20); ++line)
        text += "line " + std::to_string(line) + "\r\n";
    // In pieces of every kind: empty, short, cut by partial sends, more than one send takes.
    const std::string_view all = text;
    auto sending = std::async(std::launch::async, [&] {
        pair.socket->SendLines({all.substr(0, 3), "", all.substr(3, 300000), all.substr(300003, 1),
                                all.substr(300004, 500000), "", all.substr(800004)});
    });
    Pause(); // let the send buffer fill up first
    EXPECT_EQ(pair.client->ReadExactly(text.size()), text);
    sending.get();
}

TEST(LineSocket, SendingFailsWithAnExceptionWhenNobodyListens)
{
    {
        // The client closed: the process survives and the send throws.
        LineSocketPair pair;
        pair.client->Close();
        Pause();
        const std::string block(1 << 16, 'x');
        EXPECT_THROW(for (int attempt = 0; attempt < 100; ++attempt) pair.socket->SendLine(block),
                     CLineSocket::exception);
    }
    {
        // A client that never reads keeps the send waiting only until the server stops.
        LineSocketPair pair;
        auto sending = std::async(std::launch::async,
                                  [&] { pair.socket->SendLine(std::string(64u << 20, 'x')); });
        Pause();
        pair.endEvent->Set();
        ASSERT_EQ(sending.wait_for(10s), std::future_status::ready);
        EXPECT_THROW(sending.get(), CLineSocket::exception);
    }
}

TEST(LineSocket, GivesUpAConnectionOnWhichNothingMovesForTheIdleTimeout)
{
    const auto idle = 200ms;
    // Nothing at all, and a line begun but never ended.
    for (const char* sent : {"", "NOO"}) {
        LineSocketPair pair(idle);
        pair.client->Send(sent);
        bool threw = false;
        pair.ReadLineWhile([] {}, &threw);
        EXPECT_TRUE(threw) << '"' << sent << '"';
    }
    {
        // A client that never reads what it asked for.
        LineSocketPair pair(idle);
        auto sending = std::async(std::launch::async,
                                  [&] { pair.socket->SendLine(std::string(64u << 20, 'x')); });
        ASSERT_EQ(sending.wait_for(10s), std::future_status::ready);
        EXPECT_THROW(sending.get(), CLineSocket::exception);
    }
}
