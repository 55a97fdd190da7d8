#pragma once

#include "platform/Socket.h"

typedef struct bio_st BIO;

// A BIO that reads and writes `socket` through the platform layer, so that writing to a
// closed connection is an error result and never a signal. Does not own the socket.
// Returns null when out of memory. For TLS sessions on either side of a connection.
BIO* NewSocketBIO(platform::SocketHandle socket);
