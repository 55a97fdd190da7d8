#include "pop3/POP3Server.h"

#include "platform/ConnectionOwner.h"
#include "platform/Log.h"
#include "platform/Memory.h"
#include "pop3/LineSocket.h"
#include "pop3/POP3Session.h"
#include "pop3/Replies.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <new>

namespace {

// Connections waiting to be accepted. Where the queue is full the system drops new
// connection attempts and the client retries only after a second or more, so clients that
// connect together (several accounts checked at once) would wait for seconds with a queue of
// one; the listener accepts quickly, so this bounds nothing in practice.
constexpr int kListenBacklog = 128;

// How long the listener waits before it tries again to accept a connection for which the
// process had no descriptor left; meanwhile the connection waits in the queue.
constexpr std::chrono::milliseconds kExhaustedRetry{100};

// A session's stack: its deepest call is the parse of a feed nested as deeply as the XML
// check lets through, far below this. Hundreds of idle connections would otherwise hold the
// system's default of megabytes each.
constexpr std::size_t kSessionStackBytes = 256 * 1024;

// How long Start waits for the connection it makes to its own listener to be ready for
// accepting, when the system has not queued it by the time the connect returned.
constexpr std::chrono::seconds kOwnConnectionWait{2};

// Whether `findOwner` names the owner of a connection this process makes to `listenSocket`,
// whose pending connections `acceptEvent` signals. Where it names none, the system cannot
// tell who connected at all. A lookup that fails for want of resources, or a connection that
// cannot be made, leaves the answer yes: connections are then served only when their owner
// is known. Connections of others that came first are closed: nothing is served yet.
bool NamesOwners(platform::SocketHandle listenSocket, platform::CSocketEvent& acceptEvent,
                 const CPOP3Server::OwnerLookup& findOwner)
{
    const platform::SocketHandle client = platform::CreateTcpSocket();
    if (client == platform::kInvalidSocket)
        return true;
    std::uint32_t loopback = 0;
    platform::ConnectionOwner owner = platform::ConnectionOwner::LookupFailed;
    if (platform::ResolveIPv4("127.0.0.1", loopback) &&
        platform::ConnectIPv4(client, loopback, platform::LocalPort(listenSocket))) {
        const std::uint16_t clientPort = platform::LocalPort(client);
        for (int attempt = 0; attempt < 16; ++attempt) {
            // The connection made is in the listener's queue already: it is taken at once,
            // and the event waited for only when the system has not queued it yet. The event
            // may come late on a busy machine (Wine signals it from its server process).
            platform::SocketError error;
            const platform::SocketHandle accepted = platform::AcceptConnection(listenSocket, error);
            if (accepted == platform::kInvalidSocket) {
                if (error != platform::SocketError::WouldBlock ||
                    platform::WaitForAny({acceptEvent}, kOwnConnectionWait) != 0)
                    break;
                acceptEvent.Reset();
                continue;
            }
            const bool own = platform::PeerPort(accepted) == clientPort;
            if (own)
                owner = findOwner(accepted);
            platform::CloseSocket(accepted);
            if (own)
                break;
        }
    }
    platform::CloseSocket(client);
    return owner != platform::ConnectionOwner::Unknown;
}

// The user's connections accepted while every session place was taken, oldest first. Those
// still held when the listener ends are closed unanswered.
class CHeldConnections
{
public:
    CHeldConnections() = default;
    ~CHeldConnections()
    {
        for (const platform::SocketHandle connection : m_connections)
            platform::CloseSocket(connection);
    }
    CHeldConnections(const CHeldConnections&) = delete;
    CHeldConnections& operator=(const CHeldConnections&) = delete;

    bool IsEmpty() const { return m_connections.empty(); }
    bool IsFull() const { return m_connections.size() >= CPOP3Server::kMaxHeld; }
    // Holds `connection`, or closes it when there is no memory to hold it.
    void Hold(platform::SocketHandle connection)
    {
        try {
            m_connections.push_back(connection);
        } catch (const std::bad_alloc&) {
            platform::CloseSocket(connection);
        }
    }
    platform::SocketHandle TakeOldest()
    {
        const platform::SocketHandle connection = m_connections.front();
        m_connections.pop_front();
        return connection;
    }

private:
    std::deque<platform::SocketHandle> m_connections;
};

} // namespace

// The connections being served and the session threads still running. A connection gives
// its place back the moment it is closed, a little before its thread has ended, and the
// listener learns of it through an event.
class CPOP3Server::CSessionCount
{
public:
    bool IsValid() const { return m_placeFreed.IsValid(); }
    // A session and its thread begin.
    void Enter()
    {
        platform::CLockHolder holder(m_lock);
        ++m_served;
        ++m_threads;
    }
    // The session's connection is closed.
    void FreePlace()
    {
        {
            platform::CLockHolder holder(m_lock);
            --m_served;
        }
        m_placeFreed.Set();
    }
    // The session's thread ends.
    void Leave()
    {
        platform::CLockHolder holder(m_lock);
        if (--m_threads == 0)
            m_none.WakeAll();
    }
    int Served()
    {
        platform::CLockHolder holder(m_lock);
        return m_served;
    }
    // Signalled by FreePlace; the listener resets it before it counts the places.
    platform::CEvent& PlaceFreed() { return m_placeFreed; }
    bool WaitForNone(std::chrono::milliseconds timeout)
    {
        platform::CLockHolder holder(m_lock);
        return m_none.WaitFor(m_lock, timeout,
                              [this]() REQUIRES(m_lock) { return m_threads == 0; });
    }

private:
    platform::CLock m_lock;
    platform::CCondition m_none;
    platform::CEvent m_placeFreed;
    int m_served GUARDED_BY(m_lock) = 0;
    int m_threads GUARDED_BY(m_lock) = 0;
};

namespace {

// A session thread owns its session and ends quietly whatever happens: nothing may escape
// into the host process. Its connection is closed on return.
void SessionThreadProc(CPOP3Session* record)
{
    std::unique_ptr<CPOP3Session> session(record);
    try {
        session->Run();
    } catch (...) {
    }
}

} // namespace

CPOP3Server::CPOP3Server(IMessageProviderFactory* factory, OwnerLookup findOwner)
    : m_factory(factory), m_findOwner(std::move(findOwner)),
      m_sessions(std::make_shared<CSessionCount>())
{}

bool CPOP3Server::WaitForSessions(std::chrono::milliseconds timeout)
{
    return m_sessions->WaitForNone(timeout);
}

CPOP3Server::~CPOP3Server()
{
    Stop();
}

void CPOP3Server::Start(int port)
{
    // A second Start without Stop would orphan the running listener thread.
    Stop();
    try {
        m_listenSocket = platform::CreateTcpSocket();
        if (m_listenSocket == platform::kInvalidSocket)
            throw exception("cannot create listen socket");
        if (!platform::BindLoopback(m_listenSocket, static_cast<std::uint16_t>(port)))
            throw exception("cannot bind listen socket");
        m_endEvent = std::make_shared<platform::CEvent>();
        if (!m_endEvent->IsValid() || !m_sessions->IsValid())
            throw exception("cannot create end event");
        m_commitGate = std::make_shared<CCommitGate>();
        if (!platform::ListenOn(m_listenSocket, kListenBacklog))
            throw exception("listen error");
        m_acceptEvent = std::make_unique<platform::CSocketEvent>(m_listenSocket);
        if (!m_acceptEvent->IsValid())
            throw exception("WSAEventSelect error");
        m_port = platform::LocalPort(m_listenSocket);
        m_owners = std::make_unique<platform::CConnectionOwners>();
        m_ownersKnown = NamesOwners(m_listenSocket, *m_acceptEvent,
                                    [this](platform::SocketHandle own) { return FindOwner(own); });
        if (!m_thread.Start([this] { ServerThreadProc(); }))
            throw exception("cannot create server thread");
    } catch (...) {
        ReleaseResources();
        throw;
    }
}

void CPOP3Server::Abandon()
{
    if (m_endEvent)
        m_endEvent->Set();
    m_thread.Detach();
    m_commitGate.reset();
}

void CPOP3Server::Stop()
{
    if (m_endEvent)
        m_endEvent->Set();
    // The listener's wait includes the end event, so it wakes and returns at once.
    m_thread.Join();
    if (m_commitGate)
        m_commitGate->CloseAndWait(kCommitWait);
    ReleaseResources();
}

void CPOP3Server::ServerThreadProc()
{
    try {
        AcceptLoop();
    } catch (...) {
    }
    // Only the listener is released here: Stop may be reading the end event at this moment,
    // and it lets go of it itself once this thread has ended.
    ReleaseListener();
}

void CPOP3Server::AcceptLoop()
{
    CHeldConnections held;
    // A place freed by a session that a stop ended is no place: the count is read first, and
    // the end event, set before any such session ended, after it.
    const auto placeIsFree = [this] {
        return m_sessions->Served() < kMaxSessions && !m_endEvent->IsSet();
    };
    for (;;) {
        // Held connections are greeted first, in the order they came, as places free up.
        while (!held.IsEmpty() && placeIsFree())
            StartSession(held.TakeOldest(), m_endEvent, m_factory, m_commitGate, m_sessions);
        // With the hold full, further connections wait in the system's queue.
        platform::CEvent& placeFreed = m_sessions->PlaceFreed();
        const int signalled = held.IsFull()
                                  ? platform::WaitForAny({*m_endEvent, placeFreed})
                                  : platform::WaitForAny({*m_endEvent, placeFreed, *m_acceptEvent});
        if (signalled == 1) {
            placeFreed.Reset();
            continue;
        }
        if (signalled != 2)
            return;
        m_acceptEvent->Reset();
        platform::SocketError error;
        const platform::SocketHandle socket = platform::AcceptConnection(m_listenSocket, error);
        if (socket == platform::kInvalidSocket) {
            if (error == platform::SocketError::WouldBlock)
                continue;
            // Running out of descriptors (many sessions downloading at once, say) passes as
            // sessions end; the server must not stop serving for good because of it.
            if (error == platform::SocketError::Exhausted &&
                platform::WaitForAny({*m_endEvent}, kExhaustedRetry) == platform::kWaitTimedOut)
                continue;
            return;
        }
        // Another user's connection is closed before a byte is read or sent, and takes no
        // place from the user's own.
        if (!MayServe(socket))
            platform::CloseSocket(socket);
        else if (held.IsEmpty() && placeIsFree())
            StartSession(socket, m_endEvent, m_factory, m_commitGate, m_sessions);
        else
            held.Hold(socket);
    }
}

platform::ConnectionOwner CPOP3Server::FindOwner(platform::SocketHandle connection)
{
    return m_findOwner ? m_findOwner(connection) : m_owners->Find(connection);
}

bool CPOP3Server::MayServe(platform::SocketHandle connection)
{
    switch (FindOwner(connection)) {
    case platform::ConnectionOwner::ThisUser:
        return true;
    case platform::ConnectionOwner::OtherUser:
        return false;
    case platform::ConnectionOwner::Unknown:
    case platform::ConnectionOwner::LookupFailed:
        break;
    }
    // Where the system names owners, one it did not name (or could not be asked about, out
    // of descriptors, say) may be anybody's. Where it names none at all, every connection is
    // served, as a single-user machine needs.
    if (m_ownersKnown)
        return false;
    static std::atomic<bool> noted{false};
    if (!noted.exchange(true))
        platform::WriteLogLine("QUILLBOX: cannot tell which user a POP3 connection comes "
                               "from; serving it as if it were this user's");
    return true;
}

void CPOP3Server::StartSession(platform::SocketHandle socket,
                               const std::shared_ptr<platform::CEvent>& endEvent,
                               IMessageProviderFactory* factory,
                               const std::shared_ptr<CCommitGate>& commitGate,
                               const std::shared_ptr<CSessionCount>& sessions)
{
    // Throws CLineSocket::exception (having closed the socket), which ends the listener.
    auto channel = std::make_unique<CLineSocket>(socket, endEvent);
    CLineSocket& connection = *channel;
    auto session = std::make_unique<CPOP3Session>(std::move(channel), factory, commitGate);
    sessions->Enter();
    platform::CThread thread;
    bool started = false;
    try {
        started = thread.Start(
            [record = session.get(), sessions] {
                SessionThreadProc(record);
                // The closed connection frees its place for a held one at once. The
                // session's messages are gone with it: the host, which runs for days, gets
                // their memory back now rather than keeping it in this thread's part of the
                // heap.
                sessions->FreePlace();
                platform::ReleaseFreeMemory();
                sessions->Leave();
            },
            kSessionStackBytes);
    } catch (const std::exception&) {
        // No memory for the thread's function: as if there were no thread.
    }
    if (started) {
        session.release();
        thread.Detach();
    } else {
        // Only this connection is lost; destroying the session closes it.
        connection.SendOnce(pop3reply::kNoThread);
        session.reset();
        sessions->FreePlace();
        sessions->Leave();
    }
}

void CPOP3Server::ReleaseListener()
{
    if (m_listenSocket == platform::kInvalidSocket)
        return;
    m_acceptEvent.reset();
    platform::CloseSocket(m_listenSocket);
    m_listenSocket = platform::kInvalidSocket;
}

void CPOP3Server::ReleaseResources()
{
    ReleaseListener();
    m_acceptEvent.reset();
    m_endEvent.reset();
    m_commitGate.reset();
    m_owners.reset();
    m_port = 0;
}
