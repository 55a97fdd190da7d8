#include "feed/Fingerprint.h"

#include <gtest/gtest.h>

TEST(Fingerprint, KnownValues)
{
    EXPECT_EQ(Fingerprint(""), "000000000000000000000000");
    EXPECT_EQ(Fingerprint("abc"), "020360606060606000000003");
    EXPECT_EQ(Fingerprint("<guid>x</guid>"), "6B131359575757570000000E");
}

TEST(Fingerprint, PositionsFoldByTheirLowEightBitsAndTheLengthIsFull)
{
    // Byte 0x01 at position 256 folds like position 0: into every accumulator.
    std::string text(257, '\0');
    text[256] = '\x01';
    EXPECT_EQ(Fingerprint(text), "010101010101010100000101");
    // A high byte at position 255 (all bits set) touches no accumulator.
    std::string high(256, '\0');
    high[255] = '\xFF';
    EXPECT_EQ(Fingerprint(high), "000000000000000000000100");
}
