#include "feed/Fingerprint.h"

#include "common/SHA256.h"

#include <array>
#include <cstdint>

namespace {

const char kDigits[] = "0123456789ABCDEF";
constexpr std::size_t kStrongIdentityBytes = 8;

} // namespace

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
    // Written in upper-case hexadecimal: each accumulator in two digits, then the low 32 bits
    // of the length in eight.
    std::string fingerprint(24, '0');
    for (int bit = 0; bit < 8; ++bit) {
        fingerprint[2 * bit] = kDigits[accumulators[bit] >> 4];
        fingerprint[2 * bit + 1] = kDigits[accumulators[bit] & 0xF];
    }
    const std::uint32_t length = static_cast<std::uint32_t>(text.size());
    for (int digit = 0; digit < 8; ++digit)
        fingerprint[16 + digit] = kDigits[(length >> (28 - 4 * digit)) & 0xF];
    return fingerprint;
}

std::string StrongIdentity(const std::string& text)
{
    const std::array<std::uint8_t, 32> digest = SHA256(text);
    std::string identity;
    identity.reserve(2 * kStrongIdentityBytes);
    for (std::size_t index = 0; index < kStrongIdentityBytes; ++index) {
        identity += kDigits[digest[index] >> 4];
        identity += kDigits[digest[index] & 0xF];
    }
    return identity;
}

bool IsStrongIdentity(const std::string& text)
{
    return text.size() == 2 * kStrongIdentityBytes &&
           text.find_first_not_of(kDigits) == std::string::npos;
}
