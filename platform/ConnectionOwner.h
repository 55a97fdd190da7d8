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

// Finds owners with what the lookups need kept open between them (on Linux a socket to the
// kernel's socket diagnostics), so that a process that has run out of descriptors can still
// tell who connected. Used by one thread at a time; nothing here throws.
class CConnectionOwners
{
public:
    CConnectionOwners();
    ~CConnectionOwners();
    CConnectionOwners(const CConnectionOwners&) = delete;
    CConnectionOwners& operator=(const CConnectionOwners&) = delete;

    // The owner of the other end of `connection`, an accepted TCP connection over loopback.
    ConnectionOwner Find(SocketHandle connection);

private:
    // The socket to the socket diagnostics (POSIX), or -1 when there is none (Windows, or a
    // kernel without them, or no descriptor for it, when each lookup tries anew).
    int m_diagnostics;
    // The number of the last question asked over it.
    unsigned m_sequence = 0;
};

// CConnectionOwners().Find(connection), for a single lookup; safe from many threads at once.
ConnectionOwner FindConnectionOwner(SocketHandle connection);

} // namespace platform
