#include "platform/Connector.h"

#include <algorithm>

namespace platform {
namespace {

class CSystemResolver : public IResolver
{
public:
    bool Resolve(const std::string& host, std::uint16_t port,
                 std::vector<NetworkAddress>& addresses) const override
    {
        return ResolveAddresses(host, port, addresses);
    }
};

// The attempts under way; the destructor closes those nobody took.
class CAttempts
{
public:
    CAttempts() = default;
    CAttempts(const CAttempts&) = delete;
    CAttempts& operator=(const CAttempts&) = delete;
    ~CAttempts()
    {
        for (const SocketHandle socket : m_sockets)
            CloseSocket(socket);
    }

    const std::vector<SocketHandle>& Sockets() const { return m_sockets; }
    bool IsEmpty() const { return m_sockets.empty(); }
    void Add(SocketHandle socket) { m_sockets.push_back(socket); }
    // Takes the attempt at `index` out of the set, leaving it to the caller.
    SocketHandle Take(std::size_t index)
    {
        const SocketHandle socket = m_sockets[index];
        m_sockets.erase(m_sockets.begin() + static_cast<std::ptrdiff_t>(index));
        return socket;
    }

private:
    std::vector<SocketHandle> m_sockets;
};

} // namespace

const IResolver& SystemResolver()
{
    static const CSystemResolver resolver;
    return resolver;
}

SocketHandle ConnectToAny(const std::vector<NetworkAddress>& addresses,
                          const std::function<bool()>& cancelled, ConnectFailure& failure)
{
    using Clock = std::chrono::steady_clock;
    const std::size_t count = std::min(addresses.size(), kMaxAttempts);
    failure = ConnectFailure::Other;
    CAttempts attempts;
    std::size_t next = 0;
    Clock::time_point nextStart = Clock::now();
    for (;;) {
        if (cancelled()) {
            failure = ConnectFailure::Cancelled;
            return kInvalidSocket;
        }
        if (next < count && Clock::now() >= nextStart) {
            const NetworkAddress& address = addresses[next++];
            nextStart = Clock::now() + kNextAttemptDelay;
            const SocketHandle socket = CreateTcpSocketFor(address);
            if (socket == kInvalidSocket) {
                nextStart = Clock::now();
                continue;
            }
            const ConnectState state = StartConnect(socket, address, failure);
            if (state == ConnectState::Connected && FinishConnect(socket, failure))
                return socket;
            if (state == ConnectState::Pending) {
                attempts.Add(socket);
            } else {
                CloseSocket(socket);
                nextStart = Clock::now();
            }
            continue;
        }
        if (attempts.IsEmpty()) {
            if (next == count)
                return kInvalidSocket;
            continue;
        }
        std::chrono::milliseconds wait = kCancelCheckInterval;
        if (next < count)
            wait = std::min(wait,
                            std::chrono::ceil<std::chrono::milliseconds>(nextStart - Clock::now()));
        const int ended = WaitForConnects(attempts.Sockets(), wait);
        if (ended == -2) {
            failure = ConnectFailure::Other;
            return kInvalidSocket;
        }
        if (ended < 0)
            continue;
        const SocketHandle socket = attempts.Take(static_cast<std::size_t>(ended));
        if (FinishConnect(socket, failure))
            return socket;
        CloseSocket(socket);
        nextStart = Clock::now();
    }
}

} // namespace platform
