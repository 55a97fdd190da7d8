// Running out of file descriptors, which POSIX lets a process bring about for itself with a
// lower limit. Windows has no counterpart a test could reach: a process may hold some 16
// million handles and cannot lower that.
#include "pop3/POP3Server.h"
#include "support/POP3TestServer.h"
#include "support/ProcessResources.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <thread>
#include <vector>

namespace {

// Lowers the process's limit of descriptors and takes every one but `left`; gives them back
// and restores the limit when it goes.
class CDescriptorShortage
{
public:
    explicit CDescriptorShortage(std::size_t left)
    {
        rlimit limit;
        EXPECT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
        m_original = limit;
        limit.rlim_cur = CountOpenHandles() + 32;
        EXPECT_EQ(::setrlimit(RLIMIT_NOFILE, &limit), 0);
        for (platform::SocketHandle socket = platform::CreateTcpSocket();
             socket != platform::kInvalidSocket; socket = platform::CreateTcpSocket())
            m_filler.push_back(socket);
        EXPECT_GT(m_filler.size(), left);
        for (; left > 0 && !m_filler.empty(); --left) {
            platform::CloseSocket(m_filler.back());
            m_filler.pop_back();
        }
    }
    ~CDescriptorShortage() { End(); }
    CDescriptorShortage(const CDescriptorShortage&) = delete;
    CDescriptorShortage& operator=(const CDescriptorShortage&) = delete;

    void End()
    {
        for (const platform::SocketHandle socket : m_filler)
            platform::CloseSocket(socket);
        m_filler.clear();
        EXPECT_EQ(::setrlimit(RLIMIT_NOFILE, &m_original), 0);
    }

private:
    rlimit m_original;
    std::vector<platform::SocketHandle> m_filler;
};

} // namespace

TEST(POP3Server, KeepsServingAfterRunningOutOfDescriptorsForAWhile)
{
    CPOP3TestServer server;
    // Every descriptor taken but one, which the client's connection takes: the server has
    // none left to accept it with.
    CDescriptorShortage shortage(1);
    CLineClient client(server.Server().GetPort());
    EXPECT_TRUE(client.IsConnected());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    shortage.End();
    EXPECT_EQ(client.ReadLine(), "+OK welcome\r\n");
    EXPECT_TRUE(AcceptsAndGreets(server.Server().GetPort()));
}

// The owner of a connection accepted with the last descriptor is still looked up: the
// server does not turn the user away, nor take the connection for the user's unasked.
TEST(POP3Server, TellsWhoConnectedWithNoDescriptorLeftAfterAccepting)
{
#if defined(__SANITIZE_ADDRESS__)
    // The checks of the undefined-behaviour sanitizer open pipes of their own, and report
    // damage where they find no descriptor for them.
    GTEST_SKIP() << "the sanitizers need descriptors of their own";
#endif
    CPOP3TestServer server;
    // One descriptor for the client's connection, one for the server's end of it.
    CDescriptorShortage shortage(2);
    CLineClient client(server.Server().GetPort());
    EXPECT_TRUE(client.IsConnected());
    EXPECT_EQ(client.ReadLine(), "+OK welcome\r\n");
}
