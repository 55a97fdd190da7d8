#pragma once

#include <string>

// The 24-digit identifier of a byte string: eight accumulator bytes, each the XOR of the
// bytes at positions whose bit i (of the low eight position bits) is clear, then the length
// as eight digits. All digits uppercase hexadecimal. Used for item uids and as the UIDL
// value of a message without a Message-ID header. Stateless and thread-safe.
std::string Fingerprint(const std::string& text);

// The strong identity of a byte string: the first 64 bits of its SHA-256 digest, as 16
// uppercase hexadecimal digits. Texts that differ only a little share a fingerprint all too
// often (four aligned bytes that change by the same bits cancel out); two different texts
// share a strong identity only by a chance of one in 2^64, and no one can make a text that
// shares the identity of a given other. Stateless and thread-safe.
std::string StrongIdentity(const std::string& text);

// Whether `text` has the form of a strong identity: 16 uppercase hexadecimal digits.
bool IsStrongIdentity(const std::string& text);
