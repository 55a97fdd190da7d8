#include "support/MappedConnection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

platform::SocketHandle ConnectThroughMappedAddress(std::uint16_t port)
{
    const int connection = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (connection < 0)
        return platform::kInvalidSocket;
    const int both = 0;
    sockaddr_in6 server;
    std::memset(&server, 0, sizeof server);
    server.sin6_family = AF_INET6;
    server.sin6_port = htons(port);
    if (::setsockopt(connection, IPPROTO_IPV6, IPV6_V6ONLY, &both, sizeof both) != 0 ||
        ::inet_pton(AF_INET6, "::ffff:127.0.0.1", &server.sin6_addr) != 1 ||
        ::connect(connection, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0) {
        ::close(connection);
        return platform::kInvalidSocket;
    }
    return connection;
}
