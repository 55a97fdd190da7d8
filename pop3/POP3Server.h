#pragma once

#include "common/TextException.h"
#include "platform/ConnectionOwner.h"
#include "platform/Event.h"
#include "platform/Socket.h"
#include "platform/Thread.h"
#include "pop3/CommitGate.h"
#include "provider/MessageProvider.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

// The local POP3 server: listens on 127.0.0.1 at a given port, accepts connections on a
// listener thread of its own and runs one session thread per connection, for the user the
// server runs as only. Another user's connection is closed as soon as it is accepted, with
// nothing read or sent; so is one whose owner the system could not be asked about, unless
// the system cannot name the owners of connections at all (learnt at Start from a
// connection of the server's own), when every connection is served and the log says so once.
// At most kMaxSessions connections are served at once; the user's further connections are
// held, accepted but without a thread or a byte sent, and greeted in the order they came as
// served connections close. Start and Stop are called from one thread (the host's); sessions
// are counted but not listed, and each ends at its next wait for a command once Stop has
// signalled the end event, which also closes the held connections unanswered. The listener
// stops accepting by itself only when accepting fails for good or a session cannot be set
// up; a shortage of descriptors only delays accepting until sessions give some back.
class CPOP3Server
{
public:
    class exception : public CTextException
    {
    public:
        using CTextException::CTextException;
    };

    // How the listener learns who made a connection, where a test stands in for the
    // system's tables. Called on the host's thread in Start and on the listener thread.
    using OwnerLookup = std::function<platform::ConnectionOwner(platform::SocketHandle)>;

    // Does not own the factory, which must outlive every session. Starts nothing. Without
    // `findOwner`, owners are found in the system's tables, with what the lookups need held
    // open from Start to Stop: a server out of descriptors still tells who connected.
    explicit CPOP3Server(IMessageProviderFactory* factory, OwnerLookup findOwner = OwnerLookup());
    ~CPOP3Server(); // Stop
    CPOP3Server(const CPOP3Server&) = delete;
    CPOP3Server& operator=(const CPOP3Server&) = delete;

    // Listens on the port's low 16 bits (0 lets the system choose; see GetPort). A server
    // still running is stopped first. Throws CPOP3Server::exception, leaving nothing open,
    // when the listener cannot be set up.
    void Start(int port);
    // The most connections served at once.
    static constexpr int kMaxSessions = 100;
    // The most connections held while kMaxSessions are served; further ones wait in the
    // system's queue of connections to accept.
    static constexpr std::size_t kMaxHeld = 300;
    // How long Stop waits for the seen-store commits of sessions that are answering QUIT.
    static constexpr std::chrono::seconds kCommitWait{5};

    // Ends the listener, signals every session to end and waits (at most kCommitWait) for
    // the commits in progress, so the deletes of every QUIT answered are kept even when the
    // process ends right after; sessions that get to QUIT later commit nothing. Returns
    // promptly when no commit is in progress. Harmless when the server is not running, and
    // when repeated.
    void Stop();
    // Ends the server without waiting for anything: signals the end event and lets go of the
    // listener thread and of the commits in progress. Stop (or destruction) follows and
    // releases the rest at once. Only for module unload on Windows, under the system's loader
    // lock, where either the process is ending (its other threads are gone, perhaps holding
    // locks, so a wait could last for ever) or no server has run (see shell/win32/Module.cpp).
    void Abandon();

    // Waits until every session thread this server started has ended, or until `timeout`
    // has passed; returns whether none is left. Stop signals sessions but does not wait for
    // them; the module calls this before its code is unloaded, so that no session thread
    // runs code that is gone. Sessions end at their next wait for a command once stopped.
    bool WaitForSessions(std::chrono::milliseconds timeout);

    // The port the listener is bound to, or 0 when the server is stopped.
    std::uint16_t GetPort() const { return m_port; }

private:
    void ServerThreadProc();
    void AcceptLoop();
    platform::ConnectionOwner FindOwner(platform::SocketHandle connection);
    // Whether a connection may be served, by who made it (see the class comment).
    bool MayServe(platform::SocketHandle connection);
    class CSessionCount;

    static void StartSession(platform::SocketHandle socket,
                             const std::shared_ptr<platform::CEvent>& endEvent,
                             IMessageProviderFactory* factory,
                             const std::shared_ptr<CCommitGate>& commitGate,
                             const std::shared_ptr<CSessionCount>& sessions);
    // Closes the listen socket and its accept event; safe to repeat.
    void ReleaseListener();
    // ReleaseListener, then lets go of the end event; safe to repeat.
    void ReleaseResources();

    // Set once by Stop and never reset; every session holds a share, so it outlives the
    // server's own hold and stays signalled for sessions that are still winding down.
    std::shared_ptr<platform::CEvent> m_endEvent;
    // Shared with every session of this start in the same way; Stop closes it.
    std::shared_ptr<CCommitGate> m_commitGate;
    std::unique_ptr<platform::CSocketEvent> m_acceptEvent;
    platform::SocketHandle m_listenSocket = platform::kInvalidSocket;
    IMessageProviderFactory* m_factory;
    OwnerLookup m_findOwner;
    // The lookups in the system's tables, from Start to Stop, when m_findOwner is empty.
    std::unique_ptr<platform::CConnectionOwners> m_owners;
    // Whether the system names the owners of connections, so that a connection it names none
    // for is not served; set by Start before the listener thread begins.
    bool m_ownersKnown = true;
    platform::CThread m_thread;
    // Shared with every session thread, which gives its connection's place back as soon as
    // the connection is closed and leaves the count of threads as its last step.
    std::shared_ptr<CSessionCount> m_sessions;
    std::uint16_t m_port = 0;
};
