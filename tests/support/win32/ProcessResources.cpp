#include "support/ProcessResources.h"

#include <malloc.h>
#include <windows.h>
// clang-format off
#include <tlhelp32.h>
// clang-format on

int CountThreads()
{
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    const DWORD process = ::GetCurrentProcessId();
    int count = 0;
    THREADENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL found = ::Thread32First(snapshot, &entry); found;
         found = ::Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == process ? 1 : 0;
    ::CloseHandle(snapshot);
    return count;
}

std::size_t CountOpenHandles()
{
    DWORD count = 0;
    ::GetProcessHandleCount(::GetCurrentProcess(), &count);
    return count;
}

// The C library's clock() counts wall time on Windows.
double ProcessorSeconds()
{
    FILETIME created, exited, kernel, user;
    if (!::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user))
        return 0;
    const auto hundredNanoseconds = [](const FILETIME& time) {
        return static_cast<double>((static_cast<unsigned long long>(time.dwHighDateTime) << 32) |
                                   time.dwLowDateTime);
    };
    return (hundredNanoseconds(kernel) + hundredNanoseconds(user)) / 1e7;
}

std::size_t HeapBytesInUse()
{
    std::size_t bytes = 0;
    _HEAPINFO entry{};
    while (::_heapwalk(&entry) == _HEAPOK)
        bytes += entry._useflag == _USEDENTRY ? entry._size : 0;
    return bytes;
}
