#pragma once

// The process's heap. Safe from any thread; never throws.
namespace platform {

// Hands the memory the heap keeps free back to the system, so that a host that ran a login
// shrinks to about its size before: glibc keeps freed memory in the arenas of the threads
// that used it until told otherwise; on Windows the process heap is compacted, which
// decommits its free blocks.
void ReleaseFreeMemory();

} // namespace platform
