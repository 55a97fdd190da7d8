#include "platform/Memory.h"

#include <cstdlib> // defines __GLIBC__ on glibc

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace platform {

namespace {

constexpr int kLargeBlockBytes = 256 * 1024;

} // namespace

void KeepLargeBlocksApart()
{
#if defined(__GLIBC__)
    // Setting the bound at all fixes it: glibc no longer moves it.
    static const bool fixed = ::mallopt(M_MMAP_THRESHOLD, kLargeBlockBytes) == 1;
    static_cast<void>(fixed);
#endif
}

void ReleaseFreeMemory()
{
#if defined(__GLIBC__)
    ::malloc_trim(0);
#endif
}

} // namespace platform
