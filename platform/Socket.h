#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Thin wrappers over the operating system's TCP sockets: servers and the tests' clients on
// IPv4, outgoing connections to addresses of either family. Each call does one system call
// (or a few) and reports failure through its result; nothing here throws. Sending never
// raises SIGPIPE: a write to a connection the peer closed is an error result.
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

// One socket address of either family (IPv4 or IPv6) with its port, as the system's resolver
// gives it: the system's own socket address, `size` bytes of `bytes`.
struct NetworkAddress
{
    std::array<unsigned char, 28> bytes{};
    std::size_t size = 0;
};

// A new IPv4 stream socket (not inherited by child processes), or kInvalidSocket.
SocketHandle CreateTcpSocket();

// Binds to 127.0.0.1 at `port` (0 lets the system choose). Fails when another socket holds
// the port, but not because of closed connections of the port still lingering (TIME_WAIT).
bool BindLoopback(SocketHandle socket, std::uint16_t port);

// Binds to `address` (a loopback address and port 0, for tests' servers of either family).
bool BindTo(SocketHandle socket, const NetworkAddress& address);

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

// Every address of `host` (a name, or an IPv4 or IPv6 literal without brackets) for `port`,
// of both families, in the order the system's resolver gives them; names that have only
// IPv6 addresses count as much as any. False when it finds none. Safe from many threads.
bool ResolveAddresses(const std::string& host, std::uint16_t port,
                      std::vector<NetworkAddress>& addresses);

// The bytes of an IPv4 (4 bytes) or IPv6 (16 bytes) address literal, without brackets;
// false for anything else.
bool ReadAddressLiteral(const std::string& text, std::vector<unsigned char>& bytes);

// Why an attempt to connect failed.
enum class ConnectFailure
{
    None,
    Refused,            // nothing listens there (or a firewall said so)
    TimedOut,           // the system gave up waiting for an answer
    NetworkUnreachable, // no route to that network (an IPv6 address without IPv6, say)
    HostUnreachable,    // the network has no such host
    Cancelled,          // the caller stopped waiting
    Other,
};

// A new stream socket of the address's family (not inherited by child processes), or
// kInvalidSocket.
SocketHandle CreateTcpSocketFor(const NetworkAddress& address);

// Whether a connection started by StartConnect is there, still under way, or failed.
enum class ConnectState
{
    Connected,
    Pending,
    Failed,
};

// Makes `socket` non-blocking and starts connecting it to `address`. Failed sets `failure`.
ConnectState StartConnect(SocketHandle socket, const NetworkAddress& address,
                          ConnectFailure& failure);

// Waits at most `timeout` until the connection of one of `sockets` (each one Pending after
// StartConnect) has ended, either way, and returns its index; -1 when none ended in that time,
// -2 when the wait itself failed.
int WaitForConnects(const std::vector<SocketHandle>& sockets, std::chrono::milliseconds timeout);

// For a socket whose connection WaitForConnects reported ended (or StartConnect found
// Connected): whether it is connected; then the socket blocks again as a new one does.
// Otherwise sets `failure`.
bool FinishConnect(SocketHandle socket, ConnectFailure& failure);

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
