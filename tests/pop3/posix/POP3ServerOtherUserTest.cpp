#include "pop3/POP3Server.h"
#include "support/MappedConnection.h"
#include "support/POP3TestServer.h"

#include <arpa/inet.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// The user "nobody" of Debian's systems: any user but the test's own.
constexpr uid_t kOtherUser = 65534;

// The ways another user's client may reach the server's IPv4 address.
enum class Way
{
    IPv4,
    MappedAddress, // from an IPv6 socket, through ::ffff:127.0.0.1
};

int ConnectThrough(Way way, std::uint16_t port)
{
    if (way == Way::MappedAddress)
        return static_cast<int>(ConnectThroughMappedAddress(port));
    const int connection = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in server;
    std::memset(&server, 0, sizeof server);
    server.sin_family = AF_INET;
    server.sin_port = htons(port);
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(connection, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0) {
        ::close(connection);
        return -1;
    }
    return connection;
}

// In a child process running as kOtherUser, makes one connection more than the server
// serves at once, all open together, sends a login on each and returns how many bytes the
// server sent on all before closing them: -1 when the child failed.
int BytesServedToAnotherUser(Way way, std::uint16_t port)
{
    const pid_t child = ::fork();
    if (child == 0) {
        // Only calls that are safe in the child of a process with threads.
        if (::setgroups(0, nullptr) != 0 || ::setgid(kOtherUser) != 0 || ::setuid(kOtherUser) != 0)
            ::_exit(255);
        int connections[CPOP3Server::kMaxSessions + 1];
        for (int& connection : connections) {
            connection = ConnectThrough(way, port);
            if (connection < 0)
                ::_exit(255);
        }
        long total = 0;
        for (const int connection : connections) {
            const char login[] = "USER /any/list\r\nPASS x\r\nQUIT\r\n";
            ::send(connection, login, sizeof login - 1, MSG_NOSIGNAL);
            char buffer[256];
            for (long count; (count = ::recv(connection, buffer, sizeof buffer, 0)) > 0;)
                total += count;
        }
        ::_exit(total > 200 ? 200 : static_cast<int>(total));
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) == 255)
        return -1;
    return WEXITSTATUS(status);
}

} // namespace

TEST(POP3Server, AnotherUsersConnectionsAreClosedUnansweredHoweverTheyComeAndLockNobodyOut)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root, to connect as a second user";
    CPOP3TestServer server(MessageList{{"Subject: a\r\n\r\nbody\r\n", "U"}});
    EXPECT_EQ(BytesServedToAnotherUser(Way::IPv4, server.Server().GetPort()), 0);
    const platform::SocketHandle probe = ConnectThroughMappedAddress(server.Server().GetPort());
    if (probe == platform::kInvalidSocket) {
        std::printf("[  SKIPPED ] no IPv6 socket reaches 127.0.0.1 here: the mapped address "
                    "is not tried\n");
    } else {
        platform::CloseSocket(probe);
        EXPECT_EQ(BytesServedToAnotherUser(Way::MappedAddress, server.Server().GetPort()), 0);
    }
    EXPECT_TRUE(server.Factory().Logins().empty());
    // The server's own user is still served.
    EXPECT_TRUE(AcceptsAndGreets(server.Server().GetPort()));
}
