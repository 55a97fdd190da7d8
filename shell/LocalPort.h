#pragma once

#include "common/ProductSettings.h"

// The stored port the local POP3 server listens on.

constexpr int kDefaultLocalPort = 11100;

// The stored port, or kDefaultLocalPort when the key or value is missing or unreadable.
// A stored number that does not fit an int comes back as the same 32 bits.
int ReadLocalPort();

// Stores the port as the 32-bit number of the same bits. Stores nothing when the key does
// not exist; failures are not reported, since no caller could do anything about them.
void WriteLocalPort(int port);
