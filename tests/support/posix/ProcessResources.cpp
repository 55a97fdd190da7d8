#include "support/ProcessResources.h"

#include <malloc.h>

#include <ctime>
#include <filesystem>
#include <iterator>

namespace {

// Entries of a folder of /proc, or -1 when it cannot be read.
long CountEntries(const char* folder)
{
    std::error_code error;
    const std::filesystem::directory_iterator entries(folder, error);
    if (error)
        return -1;
    return static_cast<long>(std::distance(entries, std::filesystem::directory_iterator()));
}

} // namespace

int CountThreads()
{
    return static_cast<int>(CountEntries("/proc/self/task"));
}

std::size_t CountOpenHandles()
{
    return static_cast<std::size_t>(CountEntries("/proc/self/fd"));
}

double ProcessorSeconds()
{
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

std::size_t HeapBytesInUse()
{
    // Large blocks are mapped on their own, beside the heap's arena.
    const struct mallinfo2 info = ::mallinfo2();
    return info.uordblks + info.hblkhd;
}
