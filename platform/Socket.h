#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Thin wrappers over the operating system's TCP sockets, IPv4 only. Each call does one
// system call (or a few) and reports failure through its result; nothing here throws.
// Sending never raises SIGPIPE: a write to a connection the peer closed is an error result.
namespace platform {

// A socket as the operating system names it: a file descriptor on POSIX, a SOCKET on Windows.
using SocketHandle = std::intptr_t;
constexpr SocketHandle kInvalidSocket = -1;

enum class SocketError
{
    None,
    WouldBlock, // a non-blocking socket has nothing to give or no room to take
    Exhausted,  // the system is out of descriptors or memory for now; a later try may work
    Failed,     // any other error
};

// A new IPv4 stream socket (not inherited by child processes), or kInvalidSocket.
SocketHandle CreateTcpSocket();

// Binds to 127.0.0.1 at `port` (0 lets the system choose). Fails when another socket holds
// the port, but not because of closed connections of the port still lingering (TIME_WAIT).
bool BindLoopback(SocketHandle socket, std::uint16_t port);

// The local port a bound socket holds, or 0.
std::uint16_t LocalPort(SocketHandle socket);

// The port of the other end of a connected socket, or 0.
std::uint16_t PeerPort(SocketHandle socket);

bool ListenOn(SocketHandle socket, int backlog);

// Accepts one pending connection without asking for the peer address. On failure returns
// kInvalidSocket and sets `error`: WouldBlock also when the pending connection failed before
// it could be accepted, Exhausted when the process or system has no descriptor or memory
// left for it (the connection stays queued).
SocketHandle AcceptConnection(SocketHandle listenSocket, SocketError& error);

// Blocking connect to an IPv4 address (network byte order) and port.
bool ConnectIPv4(SocketHandle socket, std::uint32_t address, std::uint16_t port);

// Resolves a dotted IPv4 address or a host name to an IPv4 address in network byte order.
// Safe to call from many threads at once.
bool ResolveIPv4(const std::string& host, std::uint32_t& address);

// Sends up to `size` bytes. Returns the count sent, or -1 with `error` set.
long SendBytes(SocketHandle socket, const char* data, std::size_t size, SocketError& error);

// Sends up to all bytes of `count` pieces, in order, with one call to the system, as if they
// were one text. Returns the count sent, or -1 with `error` set. `count` is at most 16.
long SendPieces(SocketHandle socket, const std::string_view* pieces, std::size_t count,
                SocketError& error);

// Whether a receive takes the bytes it gives, or leaves them in the socket for the next one.
enum class Receive
{
    Take,
    Peek,
};

// Receives up to `size` bytes, taking them or peeking at them as `mode` says. Returns the
// count, 0 when the peer closed the connection, or -1 with `error` set.
long ReceiveBytes(SocketHandle socket, char* buffer, std::size_t size, Receive mode,
                  SocketError& error);

// Sends every piece at once instead of holding a small one back until the peer has
// acknowledged the previous one (TCP_NODELAY). A reply sent in pieces would otherwise stall
// for the peer's delayed acknowledgement (tens of milliseconds) before its last piece.
bool DisableSendDelay(SocketHandle socket);

// Shuts the connection down in both directions; wakes any thread blocked on the socket.
void ShutdownSocket(SocketHandle socket);

void CloseSocket(SocketHandle socket);

} // namespace platform
