#pragma once

// A connection to the IPv4 loopback address made from an IPv6 socket, through the address's
// mapped form ::ffff:127.0.0.1: the client's end then sits in the system's table of IPv6
// connections, not in the IPv4 one.

#include "platform/Socket.h"

#include <cstdint>

// A blocking socket connected to 127.0.0.1 at `port` the way above, or kInvalidSocket when
// the system offers no IPv6 sockets (or none that reach IPv4 addresses). Closed with
// platform::CloseSocket.
platform::SocketHandle ConnectThroughMappedAddress(std::uint16_t port);
