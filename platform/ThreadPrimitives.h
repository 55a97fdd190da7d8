#pragma once

// The system calls behind CThread (platform/Thread.h), one implementation per system. Used by
// platform/Thread.cpp only. Nothing here throws.
#include <cstddef>

namespace platform {

// Starts a thread that calls RunThreadBody(`body`) and sets `handle` to the system's handle
// of it; its stack is `stackBytes` large, or of the system's default size for 0. False when
// the system gives no thread.
bool StartSystemThread(void* body, std::size_t stackBytes, void*& handle);

// What every thread runs: the std::function<void()> at `body`, which it then frees. An
// exception that leaves the function ends it here.
void RunThreadBody(void* body) noexcept;

} // namespace platform
