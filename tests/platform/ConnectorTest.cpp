#include "platform/Connector.h"

#include "support/LoopbackPorts.h"
#include "support/ScriptedResolver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace platform;

namespace {

// A listener on a loopback address ("127.0.0.1" or "::1") at a port the system chooses.
class CListener
{
public:
    explicit CListener(const std::string& loopback)
    {
        std::vector<NetworkAddress> found;
        if (!ResolveAddresses(loopback, 0, found))
            return;
        m_socket = CreateTcpSocketFor(found[0]);
        if (m_socket != kInvalidSocket && BindTo(m_socket, found[0]) && ListenOn(m_socket, 8))
            m_port = LocalPort(m_socket);
    }
    ~CListener()
    {
        if (m_socket != kInvalidSocket)
            CloseSocket(m_socket);
    }
    bool IsListening() const { return m_port != 0; }
    std::uint16_t Port() const { return m_port; }

private:
    SocketHandle m_socket = kInvalidSocket;
    std::uint16_t m_port = 0;
};

NetworkAddress Address(const std::string& literal, std::uint16_t port)
{
    return CScriptedResolver::Literal(literal, port);
}

// A loopback port nothing listens on: connections to it are refused.
std::uint16_t RefusingPort()
{
    return static_cast<std::uint16_t>(shelltest::FreePort());
}

bool Never()
{
    return false;
}

} // namespace

TEST(Connector, TheFirstAddressThatTakesTheConnectionWins)
{
    CListener ipv4("127.0.0.1");
    ASSERT_TRUE(ipv4.IsListening());
    const NetworkAddress good = Address("127.0.0.1", ipv4.Port());
    const NetworkAddress refused = Address("127.0.0.1", RefusingPort());
    const struct
    {
        const char* name;
        std::vector<NetworkAddress> addresses;
        bool connects;
        ConnectFailure failure;
    } cases[] = {
        {"one good address", {good}, true, ConnectFailure::None},
        {"the first refuses", {refused, good}, true, ConnectFailure::None},
        {"two refuse first", {refused, refused, good}, true, ConnectFailure::None},
        {"every address refuses", {refused, refused}, false, ConnectFailure::Refused},
        {"no address", {}, false, ConnectFailure::Other},
    };
    for (const auto& test : cases) {
        ConnectFailure failure = ConnectFailure::None;
        const SocketHandle socket = ConnectToAny(test.addresses, Never, failure);
        EXPECT_EQ(socket != kInvalidSocket, test.connects) << test.name;
        if (socket != kInvalidSocket)
            CloseSocket(socket);
        else
            EXPECT_EQ(failure, test.failure) << test.name;
    }
}

TEST(Connector, ReachesAnIPv6AddressAfterAnIPv4OneRefused)
{
    CListener ipv6("::1");
    if (!ipv6.IsListening())
        GTEST_SKIP() << "this machine has no IPv6 loopback";
    const NetworkAddress address = Address("::1", ipv6.Port());
    ConnectFailure failure = ConnectFailure::None;
    const SocketHandle socket =
        ConnectToAny({Address("127.0.0.1", RefusingPort()), address}, Never, failure);
    ASSERT_NE(socket, kInvalidSocket);
    CloseSocket(socket);
}

TEST(Connector, ACancelledConnectStopsEveryAttempt)
{
    CListener ipv4("127.0.0.1");
    ASSERT_TRUE(ipv4.IsListening());
    ConnectFailure failure = ConnectFailure::None;
    EXPECT_EQ(ConnectToAny(
                  {Address("127.0.0.1", ipv4.Port())}, [] { return true; }, failure),
              kInvalidSocket);
    EXPECT_EQ(failure, ConnectFailure::Cancelled);
}
