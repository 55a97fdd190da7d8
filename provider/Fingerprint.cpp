#include "provider/Fingerprint.h"

#include <cstdint>
#include <cstdio>

std::string Fingerprint(const std::string& text)
{
    // Which accumulators a byte reaches depends only on the low eight bits of its position,
    // so the bytes are first folded by those bits (one XOR per byte), and the 256 folds then
    // feed the accumulators.
    std::uint8_t folds[256] = {};
    for (std::string::size_type position = 0; position < text.size(); ++position)
        folds[position & 0xFF] ^= static_cast<std::uint8_t>(text[position]);

    std::uint8_t accumulators[8] = {};
    const std::string::size_type usedFolds = text.size() < 256 ? text.size() : 256;
    for (std::string::size_type low = 0; low < usedFolds; ++low) {
        for (int bit = 0; bit < 8; ++bit) {
            if ((low & (1u << bit)) == 0)
                accumulators[bit] ^= folds[low];
        }
    }
    char digits[25];
    for (int bit = 0; bit < 8; ++bit)
        std::snprintf(digits + 2 * bit, 3, "%02X", accumulators[bit]);
    std::snprintf(digits + 16, 9, "%08X", static_cast<std::uint32_t>(text.size()));
    return std::string(digits, 24);
}
