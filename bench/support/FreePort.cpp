#include "FreePort.h"

#include "platform/Socket.h"

int FreePort()
{
    const platform::SocketHandle socket = platform::CreateTcpSocket();
    platform::BindLoopback(socket, 0);
    const int port = platform::LocalPort(socket);
    platform::CloseSocket(socket);
    return port;
}
