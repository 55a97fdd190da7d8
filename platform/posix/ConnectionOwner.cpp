#include "platform/ConnectionOwner.h"

#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

// What one way of asking the kernel found.
enum class Lookup
{
    Found,
    NotFound, // the table holds no such socket
    NoTable,  // the kernel offers no such table here
    Failed,   // the table could not be read for want of descriptors or memory
};

// The errors that say the process or the system is out of descriptors or memory, so that
// a later lookup may well succeed and this one tells nothing about the connection.
bool IsShortage(int error)
{
    return error == EMFILE || error == ENFILE || error == ENOMEM || error == ENOBUFS;
}

Lookup FailureOf(int error)
{
    return IsShortage(error) ? Lookup::Failed : Lookup::NoTable;
}

// An IPv4 address as the table of `family` holds it, in the words of the kernel's address
// fields (network byte order each): as it is in the IPv4 table, in its mapped form
// ::ffff:a.b.c.d in the IPv6 table, where a socket that reached an IPv4 peer sits.
struct TableAddress
{
    TableAddress(int family, std::uint32_t ipv4)
    {
        if (family == AF_INET) {
            words[0] = ipv4;
            count = 1;
        } else {
            words[2] = htonl(0xFFFF);
            words[3] = ipv4;
            count = 4;
        }
    }
    bool Equals(const std::uint32_t* other) const
    {
        return std::memcmp(words, other, count * sizeof words[0]) == 0;
    }
    std::uint32_t words[4] = {0, 0, 0, 0};
    std::size_t count;
};

// Whether a whole netlink message starts at `message` within the `length` bytes left: the
// kernel header's own test, without comparing its unsigned length with a signed count.
bool WholeMessage(const nlmsghdr* message, int length)
{
    return length >= static_cast<int>(sizeof(nlmsghdr)) && message->nlmsg_len >= sizeof(nlmsghdr) &&
           message->nlmsg_len <= static_cast<unsigned>(length);
}

// Looks through one datagram of answers for the socket AskDiagnostics asked about, and sets
// `found`; false when the datagram answers another question (an earlier one, left unread).
bool ReadAnswer(const char* answer, int length, unsigned sequence, const sockaddr_in& client,
                const sockaddr_in& server, uid_t& user, Lookup& found)
{
    found = Lookup::NotFound;
    for (const nlmsghdr* message = reinterpret_cast<const nlmsghdr*>(answer);
         WholeMessage(message, length); message = NLMSG_NEXT(message, length)) {
        if (message->nlmsg_seq != sequence)
            return false;
        // An error message (ENOENT: no such socket) ends the answer.
        if (message->nlmsg_type != SOCK_DIAG_BY_FAMILY ||
            message->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg)))
            return true;
        const auto* socketInfo = static_cast<const inet_diag_msg*>(NLMSG_DATA(message));
        // The kernel answers with the socket's own family, which for an IPv4 query may be
        // an IPv6 socket holding the mapped addresses.
        if (socketInfo->idiag_family != AF_INET && socketInfo->idiag_family != AF_INET6)
            continue;
        const TableAddress ownClient(socketInfo->idiag_family, client.sin_addr.s_addr);
        const TableAddress ownServer(socketInfo->idiag_family, server.sin_addr.s_addr);
        if (socketInfo->id.idiag_sport != client.sin_port ||
            socketInfo->id.idiag_dport != server.sin_port ||
            !ownClient.Equals(socketInfo->id.idiag_src) ||
            !ownServer.Equals(socketInfo->id.idiag_dst))
            continue;
        user = socketInfo->idiag_uid;
        found = Lookup::Found;
        return true;
    }
    return true;
}

// Asks the kernel's socket diagnostics, over `diagnostics`, for the one TCP socket of the
// table of `family` whose own end is `client` and whose other end is `server`: the client's
// side of the connection, which carries the user that made it. The question goes with the
// number `sequence`, and only the answer that carries it counts: the socket is used again.
Lookup AskDiagnostics(int diagnostics, unsigned sequence, int family, const sockaddr_in& client,
                      const sockaddr_in& server, uid_t& user)
{
    const TableAddress clientAddress(family, client.sin_addr.s_addr);
    const TableAddress serverAddress(family, server.sin_addr.s_addr);
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
    query.header.nlmsg_seq = sequence;
    query.request.sdiag_family = static_cast<std::uint8_t>(family);
    query.request.sdiag_protocol = IPPROTO_TCP;
    query.request.idiag_states = ~0u;
    query.request.id.idiag_sport = client.sin_port;
    query.request.id.idiag_dport = server.sin_port;
    std::memcpy(query.request.id.idiag_src, clientAddress.words, sizeof clientAddress.words);
    std::memcpy(query.request.id.idiag_dst, serverAddress.words, sizeof serverAddress.words);
    query.request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    query.request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
    sockaddr_nl kernel;
    std::memset(&kernel, 0, sizeof kernel);
    kernel.nl_family = AF_NETLINK;
    if (::sendto(diagnostics, &query, sizeof query, 0, reinterpret_cast<const sockaddr*>(&kernel),
                 sizeof kernel) < 0)
        return FailureOf(errno);
    // The kernel has answered by the time the question is sent: an empty socket means no
    // answer, and never a wait.
    alignas(nlmsghdr) char answer[8192];
    for (;;) {
        const ssize_t received = ::recv(diagnostics, answer, sizeof answer, MSG_DONTWAIT);
        if (received < 0 && errno == EINTR)
            continue;
        if (received < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK ? Lookup::NotFound : FailureOf(errno);
        Lookup found;
        if (ReadAnswer(answer, static_cast<int>(received), sequence, client, server, user, found))
            return found;
    }
}

// Asks the socket diagnostics about both tables: an IPv6 socket that connected to the
// IPv4 address sits in the IPv6 one.
Lookup FindSocketUser(int diagnostics, unsigned& sequence, const sockaddr_in& client,
                      const sockaddr_in& server, uid_t& user)
{
    const Lookup ipv4 = AskDiagnostics(diagnostics, ++sequence, AF_INET, client, server, user);
    if (ipv4 == Lookup::Found || ipv4 == Lookup::Failed)
        return ipv4;
    const Lookup ipv6 = AskDiagnostics(diagnostics, ++sequence, AF_INET6, client, server, user);
    // A kernel without IPv6 has no such table, and the IPv4 one has said enough.
    return ipv6 == Lookup::NoTable ? ipv4 : ipv6;
}

// Reads `digits` hexadecimal digits, eight to a word, into `words`: the form of addresses in
// the kernel's text tables, each word the number its four bytes make in memory.
bool ParseWords(const char* digits, std::size_t count, std::uint32_t* words)
{
    if (std::strlen(digits) != count * 8)
        return false;
    for (std::size_t index = 0; index < count; ++index) {
        char word[9];
        std::memcpy(word, digits + index * 8, 8);
        word[8] = '\0';
        words[index] = static_cast<std::uint32_t>(std::strtoul(word, nullptr, 16));
    }
    return true;
}

// The same answer from the kernel's text table of the TCP sockets of `family`
// (/proc/net/tcp or /proc/net/tcp6), for kernels without socket diagnostics: one line a
// socket, addresses and ports in hexadecimal.
Lookup FindSocketUserInTable(int family, const sockaddr_in& client, const sockaddr_in& server,
                             uid_t& user)
{
    std::FILE* table = std::fopen(family == AF_INET ? "/proc/net/tcp" : "/proc/net/tcp6", "re");
    if (table == nullptr)
        return FailureOf(errno);
    const TableAddress clientAddress(family, client.sin_addr.s_addr);
    const TableAddress serverAddress(family, server.sin_addr.s_addr);
    char line[512];
    Lookup result = Lookup::NotFound;
    while (result == Lookup::NotFound && std::fgets(line, sizeof line, table) != nullptr) {
        char local[33], remote[33];
        unsigned localPort, remotePort, owner;
        std::uint32_t localWords[4], remoteWords[4];
        if (std::sscanf(line,
                        " %*u: %32[0-9A-Fa-f]:%4X %32[0-9A-Fa-f]:%4X %*X %*X:%*X %*X:%*X %*X %u",
                        local, &localPort, remote, &remotePort, &owner) == 5 &&
            ParseWords(local, clientAddress.count, localWords) &&
            ParseWords(remote, serverAddress.count, remoteWords) &&
            clientAddress.Equals(localWords) && localPort == ntohs(client.sin_port) &&
            serverAddress.Equals(remoteWords) && remotePort == ntohs(server.sin_port)) {
            user = owner;
            result = Lookup::Found;
        }
    }
    std::fclose(table);
    return result;
}

int OpenDiagnostics()
{
    return ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
}

} // namespace

CConnectionOwners::CConnectionOwners() : m_diagnostics(OpenDiagnostics()) {}

CConnectionOwners::~CConnectionOwners()
{
    if (m_diagnostics >= 0)
        ::close(m_diagnostics);
}

ConnectionOwner CConnectionOwners::Find(SocketHandle connection)
{
    const int descriptor = static_cast<int>(connection);
    sockaddr_in client;
    sockaddr_in server;
    socklen_t clientSize = sizeof client;
    socklen_t serverSize = sizeof server;
    if (::getpeername(descriptor, reinterpret_cast<sockaddr*>(&client), &clientSize) != 0 ||
        ::getsockname(descriptor, reinterpret_cast<sockaddr*>(&server), &serverSize) != 0 ||
        client.sin_family != AF_INET || server.sin_family != AF_INET)
        return IsShortage(errno) ? ConnectionOwner::LookupFailed : ConnectionOwner::Unknown;
    uid_t user = 0;
    if (m_diagnostics < 0)
        m_diagnostics = OpenDiagnostics();
    Lookup found = m_diagnostics < 0
                       ? FailureOf(errno)
                       : FindSocketUser(m_diagnostics, m_sequence, client, server, user);
    // Without socket diagnostics, the text tables; each costs a descriptor too, so a
    // shortage leaves them unread.
    bool shortage = found == Lookup::Failed;
    for (const int family : {AF_INET, AF_INET6}) {
        if (found == Lookup::Found || shortage)
            break;
        found = FindSocketUserInTable(family, client, server, user);
        shortage = found == Lookup::Failed;
    }
    if (found != Lookup::Found)
        return shortage ? ConnectionOwner::LookupFailed : ConnectionOwner::Unknown;
    return user == ::geteuid() ? ConnectionOwner::ThisUser : ConnectionOwner::OtherUser;
}

ConnectionOwner FindConnectionOwner(SocketHandle connection)
{
    return CConnectionOwners().Find(connection);
}

} // namespace platform
