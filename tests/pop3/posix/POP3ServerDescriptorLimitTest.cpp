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

TEST(POP3Server, KeepsServingAfterRunningOutOfDescriptorsForAWhile)
{
    CPOP3TestServer server;
    rlimit limit;
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    const rlimit original = limit;
    limit.rlim_cur = CountOpenHandles() + 32;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &limit), 0);
    // Every descriptor taken but one, which the client's connection takes: the server has
    // none left to accept it with.
    std::vector<platform::SocketHandle> filler;
    for (platform::SocketHandle socket = platform::CreateTcpSocket();
         socket != platform::kInvalidSocket; socket = platform::CreateTcpSocket())
        filler.push_back(socket);
    EXPECT_FALSE(filler.empty());
    if (!filler.empty()) {
        platform::CloseSocket(filler.back());
        filler.pop_back();
    }
    CLineClient client(server.Server().GetPort());
    EXPECT_TRUE(client.IsConnected());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    for (const platform::SocketHandle socket : filler)
        platform::CloseSocket(socket);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &original), 0);
    EXPECT_EQ(client.ReadLine(), "+OK welcome\r\n");
    EXPECT_TRUE(AcceptsAndGreets(server.Server().GetPort()));
}
