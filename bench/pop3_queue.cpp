// What the session limit costs clients that come together: 1,000 logins made by 150 clients
// at once, each logging in again as soon as it is done, and 200 clients that connect at once
// and log in once. Every login deletes its message and quits, and the seen store's write
// takes 50 ms, so that sessions overlap as real ones do. The server serves 100 sessions at
// once: the figures say how many logins were served in all (the rest found their
// connection closed unanswered) and how long they took.
#include "../tests/support/POP3TestServer.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

// One whole login on a new connection; whether every reply came as it should.
bool LogInAndQuit(std::uint16_t port)
{
    CLineClient client(port, std::chrono::seconds(60));
    return client.IsConnected() && client.ReadLine() == "+OK welcome\r\n" &&
           client.Command("USER feeds.txt") == "+OK PASS requested\r\n" &&
           client.Command("PASS x") == "+OK received messages\r\n" &&
           client.Command("DELE 1") == "+OK DELE not supported 8-)\r\n" &&
           client.Command("QUIT") == "+OK bye\r\n";
}

// `logins` logins by `clients` threads at once; prints how many were served.
void LogInTogether(int logins, int clients)
{
    CPOP3TestServer server(MessageList{{"Subject: a\r\n\r\nbody\r\n", "U"}});
    server.Factory().SetCommitDelay(std::chrono::milliseconds(50));
    const std::uint16_t port = server.Server().GetPort();
    std::atomic<int> started{0};
    std::atomic<int> served{0};
    const auto begin = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (int client = 0; client < clients; ++client)
        threads.emplace_back([&] {
            while (started++ < logins)
                served += LogInAndQuit(port) ? 1 : 0;
        });
    for (std::thread& thread : threads)
        thread.join();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    std::printf("pop3 queue: %d logins, %d at once: %d served, %d not, in %.2f s\n", logins,
                clients, served.load(), logins - served.load(), seconds);
}

} // namespace

int main()
{
    LogInTogether(1000, 150);
    LogInTogether(200, 200);
    return 0;
}
