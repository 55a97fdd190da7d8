// Fingerprints 200 MB of text and prints the throughput.
#include "provider/Fingerprint.h"

#include "support/PeakMemory.h"

#include <chrono>
#include <cstdio>
#include <string>

int main()
{
    const std::string block(1 << 20, 'q');
    const int rounds = 200;
    const auto start = std::chrono::steady_clock::now();
    unsigned checksum = 0;
    for (int round = 0; round < rounds; ++round)
        checksum += static_cast<unsigned>(Fingerprint(block)[round % 24]);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("fingerprint: %.0f MB/s (checksum %u), peak memory %ld KB\n", rounds / seconds,
                checksum, PeakMemoryKilobytes());
    return 0;
}
