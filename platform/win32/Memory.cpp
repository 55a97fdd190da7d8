#include "platform/Memory.h"

#include <malloc.h>
#include <windows.h>

namespace platform {

void ReleaseFreeMemory()
{
    ::_heapmin();
    ::HeapCompact(::GetProcessHeap(), 0);
}

} // namespace platform
