#pragma once

#include <string>

// The 24-digit identifier of a byte string: eight accumulator bytes, each the XOR of the
// bytes at positions whose bit i (of the low eight position bits) is clear, then the length
// as eight digits. All digits uppercase hexadecimal. Used for item uids and as the UIDL
// value of a message without a Message-ID header. Stateless and thread-safe.
std::string Fingerprint(const std::string& text);
