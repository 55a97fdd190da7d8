#include "provider/Fingerprint.h"

#include <cstdint>
#include <cstdio>

std::string Fingerprint(const std::string& text)
{
    std::uint8_t accumulators[8] = {};
    for (std::string::size_type position = 0; position < text.size(); ++position) {
        const auto byte = static_cast<std::uint8_t>(text[position]);
        for (int bit = 0; bit < 8; ++bit) {
            if ((position & (1u << bit)) == 0)
                accumulators[bit] ^= byte;
        }
    }
    char digits[25];
    for (int bit = 0; bit < 8; ++bit)
        std::snprintf(digits + 2 * bit, 3, "%02X", accumulators[bit]);
    std::snprintf(digits + 16, 9, "%08X", static_cast<std::uint32_t>(text.size()));
    return std::string(digits, 24);
}
