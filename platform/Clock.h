#pragma once

#include <cstdint>

namespace platform {

// Milliseconds since the system started, 32 bits, wrapping (GetTickCount on Windows).
std::uint32_t GetTickCount();

} // namespace platform
