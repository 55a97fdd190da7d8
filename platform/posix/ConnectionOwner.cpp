#include "platform/ConnectionOwner.h"

#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace platform {
namespace {

// A descriptor closed when it goes out of scope.
class CDescriptor
{
public:
    explicit CDescriptor(int descriptor) : m_descriptor(descriptor) {}
    ~CDescriptor()
    {
        if (m_descriptor >= 0)
            ::close(m_descriptor);
    }
    CDescriptor(const CDescriptor&) = delete;
    CDescriptor& operator=(const CDescriptor&) = delete;
    int Get() const { return m_descriptor; }

private:
    int m_descriptor;
};

// Whether a whole netlink message starts at `message` within the `length` bytes left: the
// kernel header's own test, without comparing its unsigned length with a signed count.
bool WholeMessage(const nlmsghdr* message, int length)
{
    return length >= static_cast<int>(sizeof(nlmsghdr)) &&
           message->nlmsg_len >= sizeof(nlmsghdr) &&
           message->nlmsg_len <= static_cast<unsigned>(length);
}

// Asks the kernel's socket diagnostics for the one TCP socket whose own end is `client` and
// whose other end is `server`: the client's side of the connection, which carries the user
// that made it. False when the kernel has no such interface or no such socket.
bool FindSocketUser(const sockaddr_in& client, const sockaddr_in& server, uid_t& user)
{
    const CDescriptor diagnostics(
        ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
    if (diagnostics.Get() < 0)
        return false;
    struct
    {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } query;
    std::memset(&query, 0, sizeof query);
    query.header.nlmsg_len = sizeof query;
    query.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    // No dump: the kernel looks the one socket up by its four address parts.
    query.header.nlmsg_flags = NLM_F_REQUEST;
    query.request.sdiag_family = AF_INET;
    query.request.sdiag_protocol = IPPROTO_TCP;
    query.request.idiag_states = ~0u;
    query.request.id.idiag_sport = client.sin_port;
    query.request.id.idiag_dport = server.sin_port;
    query.request.id.idiag_src[0] = client.sin_addr.s_addr;
    query.request.id.idiag_dst[0] = server.sin_addr.s_addr;
    query.request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    query.request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
    sockaddr_nl kernel;
    std::memset(&kernel, 0, sizeof kernel);
    kernel.nl_family = AF_NETLINK;
    if (::sendto(diagnostics.Get(), &query, sizeof query, 0,
                 reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel) < 0)
        return false;
    alignas(nlmsghdr) char answer[8192];
    ssize_t received;
    do {
        received = ::recv(diagnostics.Get(), answer, sizeof answer, 0);
    } while (received < 0 && errno == EINTR);
    if (received < 0)
        return false;
    int length = static_cast<int>(received);
    for (const nlmsghdr* message = reinterpret_cast<const nlmsghdr*>(answer);
         WholeMessage(message, length); message = NLMSG_NEXT(message, length)) {
        if (message->nlmsg_type != SOCK_DIAG_BY_FAMILY ||
            message->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg)))
            return false;
        const auto* socketInfo = static_cast<const inet_diag_msg*>(NLMSG_DATA(message));
        if (socketInfo->id.idiag_sport != client.sin_port ||
            socketInfo->id.idiag_dport != server.sin_port ||
            socketInfo->id.idiag_src[0] != client.sin_addr.s_addr ||
            socketInfo->id.idiag_dst[0] != server.sin_addr.s_addr)
            continue;
        user = socketInfo->idiag_uid;
        return true;
    }
    return false;
}

// The same answer from the kernel's text table of IPv4 TCP sockets, for kernels without
// socket diagnostics: one line a socket, addresses and ports in hexadecimal, the address as
// the number its four bytes make in memory.
bool FindSocketUserInTable(const sockaddr_in& client, const sockaddr_in& server, uid_t& user)
{
    std::FILE* table = std::fopen("/proc/net/tcp", "re");
    if (table == nullptr)
        return false;
    char line[512];
    bool found = false;
    while (!found && std::fgets(line, sizeof line, table) != nullptr) {
        unsigned localAddress, localPort, remoteAddress, remotePort, owner;
        found = std::sscanf(line, " %*u: %8X:%4X %8X:%4X %*X %*X:%*X %*X:%*X %*X %u", &localAddress,
                            &localPort, &remoteAddress, &remotePort, &owner) == 5 &&
                localAddress == client.sin_addr.s_addr && localPort == ntohs(client.sin_port) &&
                remoteAddress == server.sin_addr.s_addr && remotePort == ntohs(server.sin_port);
        if (found)
            user = owner;
    }
    std::fclose(table);
    return found;
}

} // namespace

ConnectionOwner FindConnectionOwner(SocketHandle connection)
{
    const int descriptor = static_cast<int>(connection);
    sockaddr_in client;
    sockaddr_in server;
    socklen_t clientSize = sizeof client;
    socklen_t serverSize = sizeof server;
    if (::getpeername(descriptor, reinterpret_cast<sockaddr*>(&client), &clientSize) != 0 ||
        ::getsockname(descriptor, reinterpret_cast<sockaddr*>(&server), &serverSize) != 0 ||
        client.sin_family != AF_INET || server.sin_family != AF_INET)
        return ConnectionOwner::Unknown;
    uid_t user;
    if (!FindSocketUser(client, server, user) && !FindSocketUserInTable(client, server, user))
        return ConnectionOwner::Unknown;
    return user == ::geteuid() ? ConnectionOwner::ThisUser : ConnectionOwner::OtherUser;
}

} // namespace platform
