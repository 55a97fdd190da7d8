#include "pop3/POP3Server.h"

#include "platform/ConnectionOwner.h"
#include "platform/Log.h"
#include "platform/Memory.h"
#include "pop3/POP3Session.h"
#include "pop3/Replies.h"

#include <atomic>
#include <chrono>

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

// Whether a connection may be served: only the user this server runs as is, since a session
// reads and writes that user's files. Where the system cannot tell who connected, every
// connection is served, as a single-user machine needs, and the log says so once.
bool MayServe(platform::SocketHandle connection)
{
    switch (platform::FindConnectionOwner(connection)) {
    case platform::ConnectionOwner::ThisUser:
        return true;
    case platform::ConnectionOwner::OtherUser:
        return false;
    case platform::ConnectionOwner::Unknown:
        break;
    }
    static std::atomic<bool> noted{false};
    if (!noted.exchange(true))
        platform::WriteLogLine("QUILLBOX: cannot tell which user a POP3 connection comes "
                               "from; serving it as if it were this user's");
    return true;
}

// A session thread owns its session and ends quietly whatever happens: nothing may escape
// into the host process.
void SessionThreadProc(CPOP3Session* record)
{
    std::unique_ptr<CPOP3Session> session(record);
    try {
        session->Run();
    } catch (...) {
    }
    // The session's messages are gone with it: the host, which runs for days, gets their
    // memory back now rather than keeping it in this thread's part of the heap.
    session.reset();
    platform::ReleaseFreeMemory();
}

} // namespace

// The number of session threads still running.
class CPOP3Server::CSessionCount
{
public:
    void Enter()
    {
        platform::CLockHolder holder(m_lock);
        ++m_count;
    }
    void Leave()
    {
        platform::CLockHolder holder(m_lock);
        if (--m_count == 0)
            m_none.WakeAll();
    }
    int Count()
    {
        platform::CLockHolder holder(m_lock);
        return m_count;
    }
    bool WaitForNone(std::chrono::milliseconds timeout)
    {
        platform::CLockHolder holder(m_lock);
        return m_none.WaitFor(m_lock, timeout, [this]() REQUIRES(m_lock) { return m_count == 0; });
    }

private:
    platform::CLock m_lock;
    platform::CCondition m_none;
    int m_count GUARDED_BY(m_lock) = 0;
};

CPOP3Server::CPOP3Server(IMessageProviderFactory* factory)
    : m_factory(factory), m_sessions(std::make_shared<CSessionCount>())
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
        if (!m_endEvent->IsValid())
            throw exception("cannot create end event");
        m_commitGate = std::make_shared<CCommitGate>();
        if (!platform::ListenOn(m_listenSocket, kListenBacklog))
            throw exception("listen error");
        m_acceptEvent = std::make_unique<platform::CSocketEvent>(m_listenSocket);
        if (!m_acceptEvent->IsValid())
            throw exception("WSAEventSelect error");
        m_port = platform::LocalPort(m_listenSocket);
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
    for (;;) {
        if (platform::WaitForAny({*m_endEvent, *m_acceptEvent}) != 1)
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
        // Another user's connection, or one more than the server serves at once, is closed
        // before a byte is read or sent.
        if (m_sessions->Count() >= kMaxSessions || !MayServe(socket)) {
            platform::CloseSocket(socket);
            continue;
        }
        StartSession(socket, m_endEvent, m_factory, m_commitGate, m_sessions);
    }
}

void CPOP3Server::StartSession(platform::SocketHandle socket,
                               const std::shared_ptr<platform::CEvent>& endEvent,
                               IMessageProviderFactory* factory,
                               const std::shared_ptr<CCommitGate>& commitGate,
                               const std::shared_ptr<CSessionCount>& sessions)
{
    // Throws CLineSocket::exception (having closed the socket), which ends the listener.
    auto session = std::make_unique<CPOP3Session>(socket, endEvent, factory, commitGate);
    sessions->Enter();
    platform::CThread thread;
    bool started = false;
    try {
        started = thread.Start(
            [record = session.get(), sessions] {
                SessionThreadProc(record);
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
        sessions->Leave();
        // Only this connection is lost; destroying the session closes it.
        session->SendOnce(pop3reply::kNoThread);
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
    m_port = 0;
}
