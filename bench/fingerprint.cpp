// Fingerprints 200 MB of text and prints the throughput; then takes the fingerprint and the
// strong identity of a million guids, as a login does for every item, and prints the cost of
// each per item.
#include "feed/Fingerprint.h"

#include "support/PeakMemory.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Nanoseconds per guid that `identify` takes, over every guid of `guids`.
template <typename Function>
double NanosecondsPerGuid(const std::vector<std::string>& guids, Function identify,
                          unsigned& checksum)
{
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& guid : guids)
        checksum += static_cast<unsigned>(identify(guid)[guid.size() % 16]);
    return SecondsSince(start) * 1e9 / static_cast<double>(guids.size());
}

} // namespace

int main()
{
    const std::string block(1 << 20, 'q');
    const int rounds = 200;
    const auto start = std::chrono::steady_clock::now();
    unsigned checksum = 0;
    for (int round = 0; round < rounds; ++round)
        checksum += static_cast<unsigned>(Fingerprint(block)[round % 24]);
    std::printf("fingerprint: %.0f MB/s (checksum %u), peak memory %ld KB\n",
                rounds / SecondsSince(start), checksum, PeakMemoryKilobytes());

    std::vector<std::string> guids;
    for (int post = 0; post < 1000000; ++post)
        guids.push_back("<guid isPermaLink=\"false\">https://example.org/?p=" +
                        std::to_string(post) + "</guid>");
    const double fingerprint = NanosecondsPerGuid(guids, Fingerprint, checksum);
    const double identity = NanosecondsPerGuid(guids, StrongIdentity, checksum);
    std::printf("per guid of about 55 bytes: fingerprint %.0f ns, strong identity %.0f ns "
                "(checksum %u)\n",
                fingerprint, identity, checksum);
    return 0;
}
