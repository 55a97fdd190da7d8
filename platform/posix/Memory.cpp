#include "platform/Memory.h"

#include <cstdlib> // defines __GLIBC__ on glibc

// The sanitizers replace glibc's allocator with their own: glibc's heap is then not the
// process's, and is left alone.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QUILLBOX_SANITIZED_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QUILLBOX_SANITIZED_HEAP 1
#endif
#endif
#if defined(__GLIBC__) && !defined(QUILLBOX_SANITIZED_HEAP)
#define QUILLBOX_GLIBC_HEAP 1
#include <malloc.h>
#endif

namespace platform {

void KeepLargeBlocksApart()
{
#if defined(QUILLBOX_GLIBC_HEAP)
    constexpr int kLargeBlockBytes = 256 * 1024;
    // Setting the bound at all fixes it: glibc no longer moves it.
    static const bool fixed = ::mallopt(M_MMAP_THRESHOLD, kLargeBlockBytes) == 1;
    static_cast<void>(fixed);
#endif
}

void ReleaseFreeMemory()
{
#if defined(QUILLBOX_GLIBC_HEAP)
    ::malloc_trim(0);
#endif
}

} // namespace platform
