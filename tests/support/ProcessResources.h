#pragma once

#include <cstddef>

// What this process holds, as the system counts it: for tests that check that nothing is
// left behind. Each count includes whatever the test framework and the C++ library hold, so
// tests compare counts taken before and after.

// Threads of this process, or -1 where the system does not tell.
int CountThreads();

// Open handles of this process: descriptors on POSIX, kernel object handles on Windows.
std::size_t CountOpenHandles();

// Processor time this process has used so far, in seconds, all threads together.
double ProcessorSeconds();

// Bytes of the C library's heap that are allocated right now, or 0 where it does not tell
// (also under a sanitizer that keeps a heap of its own).
std::size_t HeapBytesInUse();
