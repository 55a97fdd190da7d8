// Every name lookup and every connection of a test or fuzz program passes here, so that none
// can leave the machine. "localhost" and numeric addresses are looked up as usual, names
// under ".invalid" get the answer that no such host exists, and any other name is refused,
// all without asking a name server; connections go to loopback addresses only. A refusal is
// reported through OnForbiddenNetworkUse where the program defines it (the suite fails the
// test that asked).
#include "support/posix/NetworkGuard.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netdb.h>
#include <netinet/in.h>
#include <strings.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace {

template <typename Function> Function SystemFunction(const char* name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

void Refuse(const std::string& what)
{
    if (OnForbiddenNetworkUse != nullptr)
        OnForbiddenNetworkUse(what.c_str());
}

bool EndsWith(const char* name, const char* suffix)
{
    const std::size_t length = std::strlen(name);
    const std::size_t suffixLength = std::strlen(suffix);
    return length >= suffixLength && strcasecmp(name + length - suffixLength, suffix) == 0;
}

bool IsLoopback(const sockaddr* address)
{
    if (address->sa_family == AF_INET) {
        const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(address);
        return (ntohl(ipv4->sin_addr.s_addr) >> 24) == 127;
    }
    if (address->sa_family == AF_INET6) {
        const auto* ipv6 = reinterpret_cast<const sockaddr_in6*>(address);
        // An IPv4 loopback address in its mapped form (::ffff:127.0.0.1) is loopback too.
        return IN6_IS_ADDR_LOOPBACK(&ipv6->sin6_addr) ||
               (IN6_IS_ADDR_V4MAPPED(&ipv6->sin6_addr) && ipv6->sin6_addr.s6_addr[12] == 127);
    }
    return address->sa_family == AF_UNIX;
}

} // namespace

extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints,
                           addrinfo** result)
{
    using Lookup = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
    static const Lookup lookup = SystemFunction<Lookup>("getaddrinfo");
    if (node == nullptr || strcasecmp(node, "localhost") == 0)
        return lookup(node, service, hints, result);
    if (EndsWith(node, ".invalid"))
        return EAI_NONAME;
    addrinfo numeric{};
    if (hints != nullptr)
        numeric = *hints;
    numeric.ai_flags |= AI_NUMERICHOST;
    const int status = lookup(node, service, &numeric, result);
    if (status == EAI_NONAME)
        Refuse(std::string("a lookup of the host name \"") + node + "\"");
    return status;
}

extern "C" int connect(int socket, const sockaddr* address, socklen_t length)
{
    using Connect = int (*)(int, const sockaddr*, socklen_t);
    static const Connect connectTo = SystemFunction<Connect>("connect");
    if (address != nullptr && !IsLoopback(address)) {
        Refuse("a connection to an address outside this machine");
        errno = ENETUNREACH;
        return -1;
    }
    return connectTo(socket, address, length);
}
