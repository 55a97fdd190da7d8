#include "platform/Socket.h"

#include "platform/SocketAddress.h"

#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>

namespace platform {
namespace {

int ToDescriptor(SocketHandle socket)
{
    return static_cast<int>(socket);
}

SocketError LastError()
{
    return (errno == EAGAIN || errno == EWOULDBLOCK) ? SocketError::WouldBlock
                                                     : SocketError::Failed;
}

// accept reports the network errors of a connection that failed while it was queued (Linux
// passes them on from the new connection), and a connection a firewall rule refuses (EPERM);
// they say nothing about the listener.
SocketError AcceptError(int code)
{
    switch (code) {
    case ECONNABORTED:
    case EPERM:
    case EPROTO:
    case ENOPROTOOPT:
    case ENETDOWN:
    case ENETUNREACH:
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ENONET:
    case EOPNOTSUPP:
        return SocketError::WouldBlock;
    case EMFILE:
    case ENFILE:
    case ENOBUFS:
    case ENOMEM:
        return SocketError::Exhausted;
    default:
        return LastError();
    }
}

ConnectFailure ConnectFailureOf(int code)
{
    switch (code) {
    case ECONNREFUSED:
        return ConnectFailure::Refused;
    case ETIMEDOUT:
        return ConnectFailure::TimedOut;
    case ENETUNREACH:
    case EAFNOSUPPORT:
    case EADDRNOTAVAIL:
        return ConnectFailure::NetworkUnreachable;
    case EHOSTUNREACH:
    case EHOSTDOWN:
        return ConnectFailure::HostUnreachable;
    default:
        return ConnectFailure::Other;
    }
}

bool SetBlocking(int descriptor, bool blocking)
{
    const int flags = ::fcntl(descriptor, F_GETFL);
    return flags >= 0 &&
           ::fcntl(descriptor, F_SETFL, blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK) == 0;
}

} // namespace

SocketHandle CreateTcpSocket()
{
    const int descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    return descriptor < 0 ? kInvalidSocket : descriptor;
}

bool BindLoopback(SocketHandle socket, std::uint16_t port)
{
    // Without it a port whose last connections this side closed stays unbindable for a
    // minute (TIME_WAIT), so a server could not restart on its own port. Here the option
    // allows only that; a port another socket is bound to still fails, as on Windows.
    const int reuse = 1;
    ::setsockopt(ToDescriptor(socket), SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    const sockaddr_in address = MakeAddress(inet_addr("127.0.0.1"), port);
    return ::bind(ToDescriptor(socket), reinterpret_cast<const sockaddr*>(&address),
                  sizeof address) == 0;
}

bool BindTo(SocketHandle socket, const NetworkAddress& address)
{
    return ::bind(ToDescriptor(socket), reinterpret_cast<const sockaddr*>(address.bytes.data()),
                  static_cast<socklen_t>(address.size)) == 0;
}

namespace {

// The port of one end of a socket, as `nameOf` (getsockname or getpeername) tells it; 0
// when it cannot.
template <class NameOf> std::uint16_t PortOf(SocketHandle socket, NameOf nameOf)
{
    sockaddr_in address;
    socklen_t length = sizeof address;
    if (nameOf(ToDescriptor(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

} // namespace

std::uint16_t LocalPort(SocketHandle socket)
{
    return PortOf(socket, ::getsockname);
}

std::uint16_t PeerPort(SocketHandle socket)
{
    return PortOf(socket, ::getpeername);
}

bool ListenOn(SocketHandle socket, int backlog)
{
    return ::listen(ToDescriptor(socket), backlog) == 0;
}

SocketHandle AcceptConnection(SocketHandle listenSocket, SocketError& error)
{
    int descriptor;
    do {
        descriptor = ::accept4(ToDescriptor(listenSocket), nullptr, nullptr, SOCK_CLOEXEC);
    } while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0) {
        error = AcceptError(errno);
        return kInvalidSocket;
    }
    error = SocketError::None;
    return descriptor;
}

bool ConnectIPv4(SocketHandle socket, std::uint32_t address, std::uint16_t port)
{
    const sockaddr_in target = MakeAddress(address, port);
    if (::connect(ToDescriptor(socket), reinterpret_cast<const sockaddr*>(&target),
                  sizeof target) == 0)
        return true;
    if (errno != EINTR)
        return false;
    // An interrupted connect goes on in the background and must not be started again: wait
    // until it has ended one way or the other and ask for its outcome.
    pollfd entry{ToDescriptor(socket), POLLOUT, 0};
    int ready;
    do {
        ready = ::poll(&entry, 1, -1);
    } while (ready < 0 && errno == EINTR);
    int error = 0;
    socklen_t length = sizeof error;
    return ready == 1 &&
           ::getsockopt(ToDescriptor(socket), SOL_SOCKET, SO_ERROR, &error, &length) == 0 &&
           error == 0;
}

SocketHandle CreateTcpSocketFor(const NetworkAddress& address)
{
    const int family = reinterpret_cast<const sockaddr*>(address.bytes.data())->sa_family;
    const int descriptor = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    return descriptor < 0 ? kInvalidSocket : descriptor;
}

ConnectState StartConnect(SocketHandle socket, const NetworkAddress& address,
                          ConnectFailure& failure)
{
    if (!SetBlocking(ToDescriptor(socket), false)) {
        failure = ConnectFailure::Other;
        return ConnectState::Failed;
    }
    if (::connect(ToDescriptor(socket), reinterpret_cast<const sockaddr*>(address.bytes.data()),
                  static_cast<socklen_t>(address.size)) == 0)
        return ConnectState::Connected;
    // An interrupted connect goes on in the background, as one in progress does.
    if (errno == EINPROGRESS || errno == EINTR)
        return ConnectState::Pending;
    failure = ConnectFailureOf(errno);
    return ConnectState::Failed;
}

int WaitForConnects(const std::vector<SocketHandle>& sockets, std::chrono::milliseconds timeout)
{
    std::vector<pollfd> entries;
    entries.reserve(sockets.size());
    for (const SocketHandle socket : sockets)
        entries.push_back(pollfd{ToDescriptor(socket), POLLOUT, 0});
    const int milliseconds = static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(
        timeout.count(), 0, std::numeric_limits<int>::max()));
    int ready;
    do {
        ready = ::poll(entries.data(), entries.size(), milliseconds);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0)
        return -2;
    for (std::size_t index = 0; index < entries.size(); ++index) {
        if (entries[index].revents != 0)
            return static_cast<int>(index);
    }
    return -1;
}

bool FinishConnect(SocketHandle socket, ConnectFailure& failure)
{
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(ToDescriptor(socket), SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        error = errno;
    if (error == 0 && !SetBlocking(ToDescriptor(socket), true))
        error = errno;
    if (error != 0)
        failure = ConnectFailureOf(error);
    return error == 0;
}

long SendBytes(SocketHandle socket, const char* data, std::size_t size, SocketError& error)
{
    ssize_t sent;
    do {
        sent = ::send(ToDescriptor(socket), data, size, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    error = sent < 0 ? LastError() : SocketError::None;
    return static_cast<long>(sent);
}

long SendPieces(SocketHandle socket, const std::string_view* pieces, std::size_t count,
                SocketError& error)
{
    iovec vectors[16];
    msghdr message = {};
    message.msg_iov = vectors;
    message.msg_iovlen = count < 16 ? count : 16;
    for (std::size_t piece = 0; piece < message.msg_iovlen; ++piece)
        vectors[piece] = {const_cast<char*>(pieces[piece].data()), pieces[piece].size()};
    ssize_t sent;
    do {
        sent = ::sendmsg(ToDescriptor(socket), &message, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    error = sent < 0 ? LastError() : SocketError::None;
    return static_cast<long>(sent);
}

long ReceiveBytes(SocketHandle socket, char* buffer, std::size_t size, Receive mode,
                  SocketError& error)
{
    ssize_t received;
    do {
        received = ::recv(ToDescriptor(socket), buffer, size, mode == Receive::Peek ? MSG_PEEK : 0);
    } while (received < 0 && errno == EINTR);
    error = received < 0 ? LastError() : SocketError::None;
    return static_cast<long>(received);
}

bool DisableSendDelay(SocketHandle socket)
{
    const int noDelay = 1;
    return ::setsockopt(ToDescriptor(socket), IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay) ==
           0;
}

void ShutdownSocket(SocketHandle socket)
{
    ::shutdown(ToDescriptor(socket), SHUT_RDWR);
}

void CloseSocket(SocketHandle socket)
{
    ::close(ToDescriptor(socket));
}

} // namespace platform
