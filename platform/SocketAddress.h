#pragma once

// What both systems' sockets share: the IPv4 socket address and the resolver, which Windows
// Sockets and POSIX offer under the same names (getaddrinfo, getnameinfo). Used by
// platform/*/Socket.cpp only.
#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#endif

#include <cstdint>

namespace platform {

// The socket address of an IPv4 address (network byte order) and a port.
sockaddr_in MakeAddress(std::uint32_t address, std::uint16_t port);

} // namespace platform
