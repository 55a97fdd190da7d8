#pragma once

#include "platform/Socket.h"

#include <cstdint>

// Loopback ports for tests and benchmarks of servers: one that is free, one held busy, and
// whether one is served.
namespace shelltest {

// A loopback port that was free a moment ago.
inline int FreePort()
{
    const platform::SocketHandle socket = platform::CreateTcpSocket();
    platform::BindLoopback(socket, 0);
    const int port = platform::LocalPort(socket);
    platform::CloseSocket(socket);
    return port;
}

// Holds a loopback port so that nobody else can listen on it.
class CBusyPort
{
public:
    CBusyPort() : m_socket(platform::CreateTcpSocket())
    {
        platform::BindLoopback(m_socket, 0);
        platform::ListenOn(m_socket, 1);
    }
    ~CBusyPort() { platform::CloseSocket(m_socket); }
    int Port() const { return platform::LocalPort(m_socket); }

private:
    platform::SocketHandle m_socket;
};

// Whether something accepts connections on 127.0.0.1 at the port.
inline bool IsListening(int port)
{
    const platform::SocketHandle socket = platform::CreateTcpSocket();
    std::uint32_t address = 0;
    platform::ResolveIPv4("127.0.0.1", address);
    const bool connected = platform::ConnectIPv4(socket, address, static_cast<std::uint16_t>(port));
    platform::CloseSocket(socket);
    return connected;
}

} // namespace shelltest
