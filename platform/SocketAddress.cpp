#include "platform/SocketAddress.h"

#include "platform/Socket.h"

#include <cstring>

namespace platform {

sockaddr_in MakeAddress(std::uint32_t address, std::uint16_t port)
{
    sockaddr_in result;
    std::memset(&result, 0, sizeof result);
    result.sin_family = AF_INET;
    result.sin_port = htons(port);
    result.sin_addr.s_addr = address;
    return result;
}

bool ResolveIPv4(const std::string& host, std::uint32_t& address)
{
    const auto dotted = inet_addr(host.c_str());
    if (dotted != INADDR_NONE) {
        address = dotted;
        return true;
    }
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
        return false;
    address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    ::freeaddrinfo(found);
    return true;
}

} // namespace platform
