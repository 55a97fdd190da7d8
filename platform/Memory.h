#pragma once

// The process's heap. Safe from any thread; never throws.
namespace platform {

// Makes the heap give every large block (256 KB and more: documents, messages, parse
// buffers) a mapping of its own, which goes back to the system the moment it is freed.
// glibc otherwise raises that bound each time such a block is freed, and then keeps later
// documents in its arenas, where they fragment: a host's peak would grow from login to login.
// Windows' heap already gives large blocks (512 KB and more) mappings of their own.
// Called before a login; the first call does it, later ones do nothing.
void KeepLargeBlocksApart();

// Hands the memory the heap keeps free back to the system, so that a host that ran a login
// shrinks to about its size before: glibc keeps freed memory in the arenas of the threads
// that used it until told otherwise; on Windows the process heap is compacted, which
// decommits its free blocks.
void ReleaseFreeMemory();

} // namespace platform
