#pragma once

#include "platform/Socket.h"

// Who is at the other end of a loopback connection. A local server that acts with its
// user's rights must not act for other users of the machine: the system's table of TCP
// connections tells which user (POSIX) or process (Windows) holds the other end. Safe to
// call from many threads at once; nothing here throws.
namespace platform {

enum class ConnectionOwner
{
    ThisUser,  // the client runs as the user this process runs as
    OtherUser, // the client runs as another user of the machine
    Unknown,   // the system gives no answer (no such table, or the client is gone)
};

// The owner of the other end of `connection`, an accepted TCP connection over loopback.
ConnectionOwner FindConnectionOwner(SocketHandle connection);

} // namespace platform
