#include "platform/Network.h"

namespace platform {

// POSIX sockets need no start-up.
bool StartNetwork()
{
    return true;
}

void StopNetwork() {}

} // namespace platform
