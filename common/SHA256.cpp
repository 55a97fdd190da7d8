#include "common/SHA256.h"

#include <cstddef>

namespace {

constexpr std::uint32_t kRoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::size_t kBlockBytes = 64;

std::uint32_t RotateRight(std::uint32_t value, int bits)
{
    return (value >> bits) | (value << (32 - bits));
}

void CompressBlock(std::uint32_t state[8], const std::uint8_t* block)
{
    std::uint32_t schedule[64];
    for (int word = 0; word < 16; ++word) {
        schedule[word] = static_cast<std::uint32_t>(block[4 * word]) << 24 |
                         static_cast<std::uint32_t>(block[4 * word + 1]) << 16 |
                         static_cast<std::uint32_t>(block[4 * word + 2]) << 8 |
                         static_cast<std::uint32_t>(block[4 * word + 3]);
    }
    for (int word = 16; word < 64; ++word) {
        const std::uint32_t early = schedule[word - 15];
        const std::uint32_t late = schedule[word - 2];
        const std::uint32_t sigma0 = RotateRight(early, 7) ^ RotateRight(early, 18) ^ (early >> 3);
        const std::uint32_t sigma1 = RotateRight(late, 17) ^ RotateRight(late, 19) ^ (late >> 10);
        schedule[word] = schedule[word - 16] + sigma0 + schedule[word - 7] + sigma1;
    }
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
    for (int round = 0; round < 64; ++round) {
        const std::uint32_t sum1 = RotateRight(e, 6) ^ RotateRight(e, 11) ^ RotateRight(e, 25);
        const std::uint32_t choice = (e & f) ^ (~e & g);
        const std::uint32_t first = h + sum1 + choice + kRoundConstants[round] + schedule[round];
        const std::uint32_t sum0 = RotateRight(a, 2) ^ RotateRight(a, 13) ^ RotateRight(a, 22);
        const std::uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
        const std::uint32_t second = sum0 + majority;
        h = g;
        g = f;
        f = e;
        e = d + first;
        d = c;
        c = b;
        b = a;
        a = first + second;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
}

} // namespace

std::array<std::uint8_t, 32> SHA256(std::string_view bytes)
{
    std::uint32_t state[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                              0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const std::size_t whole = bytes.size() - bytes.size() % kBlockBytes;
    for (std::size_t offset = 0; offset < whole; offset += kBlockBytes)
        CompressBlock(state, data + offset);

    // The last bytes, a 1 bit, zeros and the length in bits fill one or two more blocks.
    std::uint8_t tail[2 * kBlockBytes] = {};
    const std::size_t rest = bytes.size() - whole;
    for (std::size_t index = 0; index < rest; ++index)
        tail[index] = data[whole + index];
    tail[rest] = 0x80;
    const std::size_t tailBytes = rest + 1 + 8 <= kBlockBytes ? kBlockBytes : 2 * kBlockBytes;
    const std::uint64_t bits = static_cast<std::uint64_t>(bytes.size()) * 8;
    for (int index = 0; index < 8; ++index)
        tail[tailBytes - 1 - index] = static_cast<std::uint8_t>(bits >> (8 * index));
    for (std::size_t offset = 0; offset < tailBytes; offset += kBlockBytes)
        CompressBlock(state, tail + offset);

    std::array<std::uint8_t, 32> digest;
    for (int word = 0; word < 8; ++word) {
        for (int index = 0; index < 4; ++index)
            digest[4 * word + index] = static_cast<std::uint8_t>(state[word] >> (24 - 8 * index));
    }
    return digest;
}
