#pragma once

#include "platform/Socket.h"

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <vector>

// Events that threads wait on together with sockets. A CEvent is a manual-reset event: once
// Set it stays set for every waiter until somebody resets it. A CSocketEvent ties one socket to a
// waitable readiness signal (input, a closed connection, a pending connection to accept, or room to
// send again) and makes the socket non-blocking, as WSAEventSelect does on Windows.
namespace platform {

#if defined(_WIN32)
using WaitHandle = void*;
#else
using WaitHandle = int;
#endif

class CEvent
{
public:
    // Created unsignalled. Check IsValid: creation can fail when the system is out of handles.
    CEvent();
    ~CEvent();
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    bool IsValid() const;
    // Signals the event; it stays signalled until Reset. Safe from any thread, any number of
    // times.
    void Set();
    // Makes the event unsignalled again. A waiter that resets an event and then looks at
    // what it stands for misses no Set made after the Reset.
    void Reset();
    bool IsSet() const;
    WaitHandle GetWaitHandle() const { return m_handle; }

private:
    WaitHandle m_handle;
};

class CSocketEvent
{
public:
    // Does not own the socket. Check IsValid: the selection can fail.
    explicit CSocketEvent(SocketHandle socket);
    ~CSocketEvent();
    CSocketEvent(const CSocketEvent&) = delete;
    CSocketEvent& operator=(const CSocketEvent&) = delete;

    bool IsValid() const;
    // Re-arms the signal before the socket is read (WSAResetEvent); nothing to do on POSIX,
    // where readiness is the socket's own state.
    void Reset();
    WaitHandle GetWaitHandle() const { return m_handle; }
    SocketHandle GetSocket() const { return m_socket; }

private:
    SocketHandle m_socket;
    WaitHandle m_handle;
};

// What a wait on a socket waits for. Readable: input, a closed connection, an error or a
// pending connection. Writable: room in the send buffer, or an error; for a send that would
// have blocked (on Windows, where a socket has one event for everything, the wait selects
// FD_WRITE for its length only).
enum class SocketReadiness
{
    Readable,
    Writable,
};

// Something WaitForAny can wait on: a CEvent, or a CSocketEvent for one kind of readiness.
struct WaitTarget
{
    WaitTarget(const CEvent& event) : handle(event.GetWaitHandle()), isSocket(false) {}
    WaitTarget(const CSocketEvent& event, SocketReadiness want = SocketReadiness::Readable)
        : handle(event.GetWaitHandle()), isSocket(true), socket(event.GetSocket()), readiness(want)
    {}
    WaitHandle handle;
    bool isSocket;
    SocketHandle socket = kInvalidSocket; // a socket target's socket
    SocketReadiness readiness = SocketReadiness::Readable;
};

constexpr int kWaitFailed = -1;
constexpr int kWaitTimedOut = -2;
constexpr std::chrono::milliseconds kWaitForever{-1};

// Waits until at least one target is signalled and returns the index of the first signalled
// one in list order, so earlier targets win ties. A socket counts as signalled while it has
// the readiness its target asks for. A socket may turn out not ready after all: callers
// try, and wait again when the operation would block. Returns kWaitTimedOut after
// `timeout` (kWaitForever, or any negative time: never), kWaitFailed when the wait itself
// fails.
int WaitForAny(std::initializer_list<WaitTarget> targets,
               std::chrono::milliseconds timeout = kWaitForever);
// The same for a set of targets the caller keeps.
int WaitForAny(const std::vector<WaitTarget>& targets,
               std::chrono::milliseconds timeout = kWaitForever);

} // namespace platform
