#include "platform/Socket.h"

#include "platform/SocketAddress.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <climits>

namespace platform {
namespace {

SOCKET ToSocket(SocketHandle socket)
{
    return static_cast<SOCKET>(socket);
}

int ClampSize(std::size_t size)
{
    return size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
}

// Every Windows Sockets error code, turned into the layer's result. An accept that meets a
// connection which failed while it was queued says nothing about the listener: that counts
// as nothing to accept; for sends and receives a reset connection is a failure.
SocketError ErrorOf(int code, bool accepting)
{
    switch (code) {
    case WSAEWOULDBLOCK:
        return SocketError::WouldBlock;
    case WSAECONNRESET:
    case WSAECONNABORTED:
        return accepting ? SocketError::WouldBlock : SocketError::Failed;
    case WSAEMFILE:
    case WSAENOBUFS:
        return SocketError::Exhausted;
    default:
        return SocketError::Failed;
    }
}

ConnectFailure ConnectFailureOf(int code)
{
    switch (code) {
    case WSAECONNREFUSED:
        return ConnectFailure::Refused;
    case WSAETIMEDOUT:
        return ConnectFailure::TimedOut;
    case WSAENETUNREACH:
    case WSAEAFNOSUPPORT:
    case WSAEADDRNOTAVAIL:
        return ConnectFailure::NetworkUnreachable;
    case WSAEHOSTUNREACH:
    case WSAEHOSTDOWN:
        return ConnectFailure::HostUnreachable;
    default:
        return ConnectFailure::Other;
    }
}

bool SetBlocking(SOCKET socket, bool blocking)
{
    u_long nonBlocking = blocking ? 0 : 1;
    return ::ioctlsocket(socket, FIONBIO, &nonBlocking) == 0;
}

} // namespace

SocketHandle CreateTcpSocket()
{
    const SOCKET socket =
        ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    return socket == INVALID_SOCKET ? kInvalidSocket : static_cast<SocketHandle>(socket);
}

bool BindLoopback(SocketHandle socket, std::uint16_t port)
{
    // Exclusive use: no other socket may bind the port while this one holds it. Windows lets
    // a listener bind over connections of the port still lingering (TIME_WAIT) anyway.
    const BOOL exclusive = TRUE;
    ::setsockopt(ToSocket(socket), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                 reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
    const sockaddr_in address = MakeAddress(::inet_addr("127.0.0.1"), port);
    return ::bind(ToSocket(socket), reinterpret_cast<const sockaddr*>(&address), sizeof address) ==
           0;
}

bool BindTo(SocketHandle socket, const NetworkAddress& address)
{
    return ::bind(ToSocket(socket), reinterpret_cast<const sockaddr*>(address.bytes.data()),
                  static_cast<int>(address.size)) == 0;
}

namespace {

// The port of one end of a socket, as `nameOf` (getsockname or getpeername) tells it; 0
// when it cannot. Windows fails rather than cut an IPv6 address to the size of an IPv4 one:
// the room is for either.
template <class NameOf> std::uint16_t PortOf(SocketHandle socket, NameOf nameOf)
{
    sockaddr_storage address;
    int length = sizeof address;
    if (nameOf(ToSocket(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port);
    return ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
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
    return ::listen(ToSocket(socket), backlog) == 0;
}

SocketHandle AcceptConnection(SocketHandle listenSocket, SocketError& error)
{
    const SOCKET accepted = ::accept(ToSocket(listenSocket), nullptr, nullptr);
    if (accepted == INVALID_SOCKET) {
        error = ErrorOf(::WSAGetLastError(), true);
        return kInvalidSocket;
    }
    // A new connection inherits the listener's event selection, and with it non-blocking
    // mode; it starts out as a plain blocking socket, as on every other system.
    u_long blocking = 0;
    if (::WSAEventSelect(accepted, nullptr, 0) != 0 ||
        ::ioctlsocket(accepted, FIONBIO, &blocking) != 0) {
        ::closesocket(accepted);
        error = SocketError::Failed;
        return kInvalidSocket;
    }
    error = SocketError::None;
    return static_cast<SocketHandle>(accepted);
}

bool ConnectIPv4(SocketHandle socket, std::uint32_t address, std::uint16_t port)
{
    const sockaddr_in target = MakeAddress(address, port);
    return ::connect(ToSocket(socket), reinterpret_cast<const sockaddr*>(&target), sizeof target) ==
           0;
}

SocketHandle CreateTcpSocketFor(const NetworkAddress& address)
{
    const int family = reinterpret_cast<const sockaddr*>(address.bytes.data())->sa_family;
    const SOCKET socket =
        ::WSASocketW(family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    return socket == INVALID_SOCKET ? kInvalidSocket : static_cast<SocketHandle>(socket);
}

ConnectState StartConnect(SocketHandle socket, const NetworkAddress& address,
                          ConnectFailure& failure)
{
    if (!SetBlocking(ToSocket(socket), false)) {
        failure = ConnectFailure::Other;
        return ConnectState::Failed;
    }
    if (::connect(ToSocket(socket), reinterpret_cast<const sockaddr*>(address.bytes.data()),
                  static_cast<int>(address.size)) == 0)
        return ConnectState::Connected;
    const int code = ::WSAGetLastError();
    if (code == WSAEWOULDBLOCK)
        return ConnectState::Pending;
    failure = ConnectFailureOf(code);
    return ConnectState::Failed;
}

// A connection that succeeds makes its socket writable, one that fails marks it in the
// exception set.
int WaitForConnects(const std::vector<SocketHandle>& sockets, std::chrono::milliseconds timeout)
{
    if (sockets.empty() || sockets.size() > FD_SETSIZE)
        return -2;
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    for (const SocketHandle socket : sockets) {
        FD_SET(ToSocket(socket), &writable);
        FD_SET(ToSocket(socket), &failed);
    }
    const long long milliseconds = std::max<long long>(timeout.count(), 0);
    timeval wait;
    wait.tv_sec = static_cast<long>(std::min<long long>(milliseconds / 1000, INT_MAX));
    wait.tv_usec = static_cast<long>(milliseconds % 1000 * 1000);
    const int ready = ::select(0, nullptr, &writable, &failed, &wait);
    if (ready == SOCKET_ERROR)
        return -2;
    for (std::size_t index = 0; index < sockets.size(); ++index) {
        if (FD_ISSET(ToSocket(sockets[index]), &writable) ||
            FD_ISSET(ToSocket(sockets[index]), &failed))
            return static_cast<int>(index);
    }
    return -1;
}

bool FinishConnect(SocketHandle socket, ConnectFailure& failure)
{
    int error = 0;
    int length = sizeof error;
    if (::getsockopt(ToSocket(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                     &length) != 0)
        error = ::WSAGetLastError();
    if (error == 0 && !SetBlocking(ToSocket(socket), true))
        error = ::WSAGetLastError();
    if (error != 0)
        failure = ConnectFailureOf(error);
    return error == 0;
}

long SendBytes(SocketHandle socket, const char* data, std::size_t size, SocketError& error)
{
    const int sent = ::send(ToSocket(socket), data, ClampSize(size), 0);
    error = sent < 0 ? ErrorOf(::WSAGetLastError(), false) : SocketError::None;
    return sent < 0 ? -1 : sent;
}

long SendPieces(SocketHandle socket, const std::string_view* pieces, std::size_t count,
                SocketError& error)
{
    // One send reports at most INT_MAX bytes: a piece that would pass that goes in part and
    // is the last, so that no byte of a later piece is sent before the rest of it.
    WSABUF buffers[16];
    DWORD used = 0;
    std::size_t total = 0;
    while (used < count && used < 16) {
        const std::size_t room = static_cast<std::size_t>(INT_MAX) - total;
        const std::size_t size = pieces[used].size() < room ? pieces[used].size() : room;
        buffers[used].buf = const_cast<char*>(pieces[used].data());
        buffers[used].len = static_cast<ULONG>(size);
        total += size;
        ++used;
        if (size != pieces[used - 1].size())
            break;
    }
    DWORD sent = 0;
    if (::WSASend(ToSocket(socket), buffers, used, &sent, 0, nullptr, nullptr) != 0) {
        error = ErrorOf(::WSAGetLastError(), false);
        return -1;
    }
    error = SocketError::None;
    return static_cast<long>(sent);
}

long ReceiveBytes(SocketHandle socket, char* buffer, std::size_t size, Receive mode,
                  SocketError& error)
{
    const int received =
        ::recv(ToSocket(socket), buffer, ClampSize(size), mode == Receive::Peek ? MSG_PEEK : 0);
    error = received < 0 ? ErrorOf(::WSAGetLastError(), false) : SocketError::None;
    return received < 0 ? -1 : received;
}

bool DisableSendDelay(SocketHandle socket)
{
    const BOOL noDelay = TRUE;
    return ::setsockopt(ToSocket(socket), IPPROTO_TCP, TCP_NODELAY,
                        reinterpret_cast<const char*>(&noDelay), sizeof noDelay) == 0;
}

// A shutdown alone does not end a receive another thread is blocked in; cancelling the
// socket's pending operations does.
void ShutdownSocket(SocketHandle socket)
{
    ::shutdown(ToSocket(socket), SD_BOTH);
    ::CancelIoEx(reinterpret_cast<HANDLE>(ToSocket(socket)), nullptr);
}

void CloseSocket(SocketHandle socket)
{
    ::closesocket(ToSocket(socket));
}

} // namespace platform
