#include "platform/SocketAddress.h"

#include "platform/Socket.h"

#include <cstring>
#include <memory>

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

bool ResolveAddresses(const std::string& host, std::uint16_t port,
                      std::vector<NetworkAddress>& addresses)
{
    addresses.clear();
    // No AI_ADDRCONFIG: a machine whose only IPv6 address is the loopback still reaches names
    // that have only IPv6 addresses, and an address it cannot reach fails at once anyway.
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
        return false;
    // A lambda, as freeaddrinfo has another calling convention on 32-bit Windows.
    const auto release = [](addrinfo* list) { ::freeaddrinfo(list); };
    const std::unique_ptr<addrinfo, decltype(release)> owned(found, release);
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        NetworkAddress address;
        if ((entry->ai_family != AF_INET && entry->ai_family != AF_INET6) ||
            entry->ai_addrlen > address.bytes.size())
            continue;
        std::memcpy(address.bytes.data(), entry->ai_addr, entry->ai_addrlen);
        address.size = entry->ai_addrlen;
        addresses.push_back(address);
    }
    return !addresses.empty();
}

bool ReadAddressLiteral(const std::string& text, std::vector<unsigned char>& bytes)
{
    unsigned char parsed[16];
    if (::inet_pton(AF_INET, text.c_str(), parsed) == 1) {
        bytes.assign(parsed, parsed + 4);
        return true;
    }
    if (::inet_pton(AF_INET6, text.c_str(), parsed) == 1) {
        bytes.assign(parsed, parsed + 16);
        return true;
    }
    return false;
}

} // namespace platform
