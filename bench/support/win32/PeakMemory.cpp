#include "support/PeakMemory.h"

#include <windows.h>
// clang-format off
#include <psapi.h>
// clang-format on

// The peak working set, Windows' nearest to the peak resident memory.
long PeakMemoryKilobytes()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters))
        return 0;
    return static_cast<long>(counters.PeakWorkingSetSize / 1024);
}

// Windows keeps no such figure for a process's children.
long ChildrenPeakMemoryKilobytes()
{
    return -1;
}
