// The caching rules: the input is read as an HTTP date and as a header block under each
// status the rules look at. However the values read, a response never asks for quiet before
// now, nor for longer than the longest bound.
#include "http/CachingRules.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    platform::WallTime time;
    ParseHTTPDate(text, time);

    const platform::WallTime now{std::chrono::seconds(1700000000)};
    const auto longest = std::max(std::chrono::duration_cast<std::chrono::seconds>(kMaxRetryAfter),
                                  std::chrono::duration_cast<std::chrono::seconds>(kMaxFreshAge));
    for (const char* status : {"200", "304", "429", "503"}) {
        const platform::WallTime until =
            QuietUntil("HTTP/1.1 " + std::string(status) + " X\r\n" + text + "\r\n\r\n", now);
        if (until < now || until > now + longest) {
            std::fprintf(stderr, "a %s asks for quiet until %lld\n", status,
                         static_cast<long long>(until.time_since_epoch().count()));
            std::abort();
        }
    }
    // The input as the whole block, its status line included.
    QuietUntil(text, now);
    return 0;
}
