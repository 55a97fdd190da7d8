// Serves a synthetic mailbox of 1000 messages of 20 KB over loopback and reads it the way a
// mail client does (STAT, UIDL, RETR of every message, QUIT), then measures NOOP round trips.
// The client runs in the same process; it holds one reply at a time, so the peak memory is
// essentially the server's (the provider's mailbox and the session's copy of it).
#include "../tests/support/POP3TestServer.h"
#include "support/PeakMemory.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMessages = 1000;
constexpr std::size_t kMessageSize = 20 * 1024;
constexpr int kNoops = 20000;

MessageList SyntheticMailbox()
{
    MessageList messages;
    for (int index = 0; index < kMessages; ++index) {
        std::string text = "From: bench <bench@example.invalid>\r\nSubject: item " +
                           std::to_string(index) + "\r\nMessage-ID: <item" + std::to_string(index) +
                           "@bench>\r\n\r\n";
        while (text.size() + 2 < kMessageSize)
            text += std::string(std::min<std::size_t>(70, kMessageSize - text.size() - 4),
                                static_cast<char>('a' + index % 26)) +
                    "\r\n";
        text.resize(kMessageSize - 2, 'z');
        text += "\r\n";
        messages.push_back({std::move(text), std::to_string(index)});
    }
    return messages;
}

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

int main()
{
    CPOP3TestServer server(SyntheticMailbox());
    CLineClient client(server.Server().GetPort());
    client.ReadLine();
    client.Command("USER bench.txt");
    client.Command("PASS x");

    const Clock::time_point start = Clock::now();
    const std::string stat = client.Command("STAT");
    client.Send("UIDL\r\n");
    const std::size_t uidlBytes = client.ReadMultiLine().size();
    const Clock::time_point retrStart = Clock::now();
    std::size_t retrBytes = 0;
    bool intact = true;
    for (int number = 1; number <= kMessages; ++number) {
        client.Send("RETR " + std::to_string(number) + "\r\n");
        const std::string reply = client.ReadMultiLine();
        retrBytes += reply.size();
        intact = intact && reply.size() == kMessageSize + 21 + 5;
    }
    const double retrSeconds = SecondsSince(retrStart);
    const double checkSeconds = SecondsSince(start);

    std::vector<double> roundTrips;
    roundTrips.reserve(kNoops);
    for (int index = 0; index < kNoops; ++index) {
        const Clock::time_point sent = Clock::now();
        client.Command("NOOP");
        roundTrips.push_back(SecondsSince(sent) * 1e6);
    }
    std::nth_element(roundTrips.begin(), roundTrips.begin() + kNoops / 2, roundTrips.end());
    const bool quit = client.Command("QUIT") == "+OK bye\r\n";

    std::printf("pop3: STAT %s", stat.c_str());
    std::printf("pop3: mail check of %d messages of %zu bytes (STAT, UIDL %zu bytes, RETR each): "
                "%.3f s, %.0f messages/s\n",
                kMessages, kMessageSize, uidlBytes, checkSeconds, kMessages / checkSeconds);
    std::printf("pop3: RETR %.1f MB in %.3f s: %.0f MB/s, %.0f messages/s%s\n", retrBytes / 1e6,
                retrSeconds, retrBytes / 1e6 / retrSeconds, kMessages / retrSeconds,
                intact && quit ? "" : " (REPLIES DAMAGED)");
    std::printf("pop3: NOOP round trip median %.1f us over %d\n", roundTrips[kNoops / 2], kNoops);
    std::printf("pop3: peak memory %ld KB (mailbox of %.1f MB held by provider and session)\n",
                PeakMemoryKilobytes(), kMessages * kMessageSize / 1e6);
    return 0;
}
