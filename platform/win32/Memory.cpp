#include "platform/Memory.h"

#include <malloc.h>
#include <windows.h>

namespace platform {

void KeepLargeBlocksApart()
{
    // The Windows heap maps large blocks apart of itself.
}

void ReleaseFreeMemory()
{
    ::_heapmin();
    ::HeapCompact(::GetProcessHeap(), 0);
}

} // namespace platform
