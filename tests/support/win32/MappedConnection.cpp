#include "support/MappedConnection.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

platform::SocketHandle ConnectThroughMappedAddress(std::uint16_t port)
{
    const SOCKET connection = ::socket(AF_INET6, SOCK_STREAM, IPPROTO_TCP);
    if (connection == INVALID_SOCKET)
        return platform::kInvalidSocket;
    // Windows makes IPv6 sockets reach IPv6 addresses only unless told otherwise.
    const DWORD both = 0;
    sockaddr_in6 server;
    std::memset(&server, 0, sizeof server);
    server.sin6_family = AF_INET6;
    server.sin6_port = htons(port);
    if (::setsockopt(connection, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&both),
                     sizeof both) != 0 ||
        ::inet_pton(AF_INET6, "::ffff:127.0.0.1", &server.sin6_addr) != 1 ||
        ::connect(connection, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0) {
        ::closesocket(connection);
        return platform::kInvalidSocket;
    }
    return static_cast<platform::SocketHandle>(connection);
}
