#pragma once

#include "platform/Socket.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Outgoing connections to a host of several addresses, and the resolver they start from.
namespace platform {

// Turns a host name into addresses: the system's resolver, or in tests one that answers with
// literal addresses. Used by any number of threads at once; never throws.
class IResolver
{
public:
    virtual ~IResolver() = default;

    // Every address of `host` for `port`, in the order they are to be tried; false when
    // there is none.
    virtual bool Resolve(const std::string& host, std::uint16_t port,
                         std::vector<NetworkAddress>& addresses) const = 0;
};

// ResolveAddresses. Lives as long as the process.
const IResolver& SystemResolver();

// How long an attempt to connect is given alone before the next address is tried beside it.
constexpr std::chrono::milliseconds kNextAttemptDelay{250};
// The most addresses of one host tried; a host with more is tried at its first ones.
constexpr std::size_t kMaxAttempts = 16;
// How often a wait for connections asks whether it is cancelled.
constexpr std::chrono::milliseconds kCancelCheckInterval{50};

// Connects to the first of `addresses` that takes the connection. The addresses are tried
// in order, each attempt started kNextAttemptDelay after the one before, or at once when that
// one failed, while the earlier ones go on; the first connection made wins and the others are
// closed. Returns the connected socket, blocking, which the caller owns. When every attempt
// failed, returns kInvalidSocket and sets `failure` to why the last one ended. `cancelled`
// is asked at least every kCancelCheckInterval; once it answers true every attempt is closed
// and the failure is ConnectFailure::Cancelled. No time bound of its own: the caller's
// cancelling is it. Any thread; never throws.
SocketHandle ConnectToAny(const std::vector<NetworkAddress>& addresses,
                          const std::function<bool()>& cancelled, ConnectFailure& failure);

} // namespace platform
