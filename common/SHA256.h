#pragma once

#include <array>
#include <cstdint>
#include <string_view>

// The SHA-256 digest (FIPS 180-4) of a byte string, in the byte order the standard writes it.
// Stateless and thread-safe.
std::array<std::uint8_t, 32> SHA256(std::string_view bytes);
