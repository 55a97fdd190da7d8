#pragma once

#include "platform/Socket.h"

// Who is at the other end of a loopback connection. A local server that acts with its
// user's rights must not act for other users of the machine: the system's tables of TCP
// connections tell which user (POSIX) or process (Windows) holds the other end. The other
// end may be an IPv4 socket or an IPv6 socket that reached the IPv4 address through its
// mapped form (::ffff:127.0.0.1); both tables are asked. Safe to call from many threads at
// once; nothing here throws.
namespace platform {

enum class ConnectionOwner
{
    ThisUser,     // the client runs as the user this process runs as
    OtherUser,    // the client runs as another user of the machine
    Unknown,      // the system gives no answer (no such table, no owner named in it, or the
                  // client is gone)
    LookupFailed, // the tables could not be read for want of descriptors or memory
};

// The owner of the other end of `connection`, an accepted TCP connection over loopback.
ConnectionOwner FindConnectionOwner(SocketHandle connection);

} // namespace platform
