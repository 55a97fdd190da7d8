#include "platform/Clock.h"

#include <time.h>

namespace platform {

std::uint32_t GetTickCount()
{
    timespec now;
    clock_gettime(CLOCK_BOOTTIME, &now);
    const unsigned long long milliseconds =
        static_cast<unsigned long long>(now.tv_sec) * 1000u + now.tv_nsec / 1000000;
    return static_cast<std::uint32_t>(milliseconds);
}

} // namespace platform
