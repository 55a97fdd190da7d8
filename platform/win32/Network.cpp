#include "platform/Network.h"

#include <winsock2.h>

namespace platform {

// Windows Sockets counts its start-ups itself: each WSAStartup that succeeded is matched by
// one WSACleanup, and the library stays usable until the last.
bool StartNetwork()
{
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 0), &data) == 0;
}

void StopNetwork()
{
    ::WSACleanup();
}

} // namespace platform
