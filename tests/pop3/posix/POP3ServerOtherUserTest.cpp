#include "pop3/POP3Server.h"
#include "support/POP3TestServer.h"

#include <arpa/inet.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

namespace {

// The user "nobody" of Debian's systems: any user but the test's own.
constexpr uid_t kOtherUser = 65534;

// In a child process running as kOtherUser, connects to the port, sends a login and
// returns how many bytes the server sent before closing: -1 when the child failed.
int BytesServedToAnotherUser(std::uint16_t port)
{
    const pid_t child = ::fork();
    if (child == 0) {
        // Only calls that are safe in the child of a process with threads.
        if (::setgroups(0, nullptr) != 0 || ::setgid(kOtherUser) != 0 || ::setuid(kOtherUser) != 0)
            ::_exit(255);
        const int connection = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in server;
        std::memset(&server, 0, sizeof server);
        server.sin_family = AF_INET;
        server.sin_port = htons(port);
        server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(connection, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0)
            ::_exit(255);
        const char login[] = "USER /any/list\r\nPASS x\r\nQUIT\r\n";
        ::send(connection, login, sizeof login - 1, MSG_NOSIGNAL);
        char buffer[256];
        long total = 0;
        for (long count; (count = ::recv(connection, buffer, sizeof buffer, 0)) > 0;)
            total += count;
        ::_exit(total > 200 ? 200 : static_cast<int>(total));
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) == 255)
        return -1;
    return WEXITSTATUS(status);
}

} // namespace

TEST(POP3Server, AnotherUsersConnectionIsClosedUnanswered)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root, to connect as a second user";
    CPOP3TestServer server(MessageList{{"Subject: a\r\n\r\nbody\r\n", "U"}});
    EXPECT_EQ(BytesServedToAnotherUser(server.Server().GetPort()), 0);
    EXPECT_TRUE(server.Factory().Logins().empty());
    // The server's own user is still served.
    EXPECT_TRUE(AcceptsAndGreets(server.Server().GetPort()));
}
