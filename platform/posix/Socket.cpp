#include "platform/Socket.h"

#include "platform/SocketAddress.h"

#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>

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
