// What clients that misbehave cost the server: one that marks a large message many times
// (DELE 1, 300 times, on a 2 MB message: memory), and many that ask for a message and never
// read the reply (RETR of a 5 MB message by 100 clients: processor time while they wait).
// Clients and server run in the same process, so both figures are the server's.
#include "../tests/support/POP3TestServer.h"
#include "../tests/support/ProcessResources.h"
#include "support/PeakMemory.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

MessageList OneMessage(std::size_t size)
{
    std::string text = "Subject: large\r\nMessage-ID: <large@bench>\r\n\r\n";
    while (text.size() < size)
        text += std::string(78, 'x') + "\r\n";
    return {{std::move(text), "LARGE"}};
}

void MarkOneMessageRepeatedly()
{
    constexpr int kMarks = 300;
    CPOP3TestServer server(OneMessage(2u << 20));
    auto client = server.LogIn();
    const long before = PeakMemoryKilobytes();
    for (int mark = 0; mark < kMarks; ++mark)
        client->Send("DELE 1\r\n");
    int answered = 0;
    for (int mark = 0; mark < kMarks; ++mark)
        answered += client->ReadLine() == "+OK DELE not supported 8-)\r\n";
    const bool quit = client->Command("QUIT") == "+OK bye\r\n";
    std::printf("pop3: %d x DELE 1 on a 2 MB message: peak memory %ld KB -> %ld KB (+%ld KB)%s\n",
                kMarks, before, PeakMemoryKilobytes(), PeakMemoryKilobytes() - before,
                answered == kMarks && quit ? "" : " (REPLIES DAMAGED)");
}

void ClientsThatNeverRead()
{
    constexpr int kClients = 100;
    constexpr auto kWatched = std::chrono::seconds(3);
    CPOP3TestServer server(OneMessage(5u << 20));
    std::vector<std::unique_ptr<CLineClient>> clients;
    for (int index = 0; index < kClients; ++index) {
        clients.push_back(server.LogIn());
        clients.back()->Send("RETR 1\r\n");
    }
    // Every session's send buffer is full by now; from here on they only wait.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    // The processor time of every thread: the C library's clock() counts wall time on Windows.
    const double before = ProcessorSeconds();
    std::this_thread::sleep_for(kWatched);
    const double cores =
        (ProcessorSeconds() - before) / std::chrono::duration<double>(kWatched).count();
    std::printf("pop3: %d clients that never read a 5 MB RETR: %.3f of a core while waiting\n",
                kClients, cores);
}

} // namespace

int main()
{
    MarkOneMessageRepeatedly();
    ClientsThatNeverRead();
    return 0;
}
