#include "platform/Event.h"

#include <winsock2.h>

#include <algorithm>
#include <vector>

namespace platform {
namespace {

constexpr long kSocketEvents = FD_READ | FD_CLOSE | FD_ACCEPT;
// While a send waits for room. FD_WRITE stays out of the usual selection: recorded whenever
// the socket can take bytes, it would keep every wait for input awake.
constexpr long kSendEvents = FD_WRITE | FD_CLOSE;

HANDLE ToHandle(WaitHandle handle)
{
    return static_cast<HANDLE>(handle);
}

// Clears a socket's signal and selects `events` anew, which records every selected condition
// that holds at this moment (room to send included, once selected).
void Select(SocketHandle socket, WaitHandle handle, long events)
{
    ::WSAResetEvent(ToHandle(handle));
    ::WSAEventSelect(static_cast<SOCKET>(socket), ToHandle(handle), events);
}

bool WaitsForRoom(const WaitTarget& target)
{
    return target.isSocket && target.readiness == SocketReadiness::Writable;
}

// The time-out as the system counts it: WSA_INFINITE for none, else milliseconds as far as a
// finite wait reaches.
DWORD SystemTimeout(std::chrono::milliseconds timeout)
{
    if (timeout.count() < 0)
        return WSA_INFINITE;
    return static_cast<DWORD>(
        std::min<std::chrono::milliseconds::rep>(timeout.count(), WSA_INFINITE - 1));
}

int WaitForTargets(const WaitTarget* targets, std::size_t count, std::chrono::milliseconds timeout)
{
    if (count == 0 || count > WSA_MAXIMUM_WAIT_EVENTS)
        return kWaitFailed;
    std::vector<WSAEVENT> handles;
    handles.reserve(count);
    for (std::size_t index = 0; index < count; ++index) {
        if (WaitsForRoom(targets[index]))
            Select(targets[index].socket, targets[index].handle, kSendEvents);
        handles.push_back(ToHandle(targets[index].handle));
    }
    // With several signalled the lowest index is reported, so earlier targets win ties.
    const DWORD result = ::WSAWaitForMultipleEvents(static_cast<DWORD>(count), handles.data(),
                                                    FALSE, SystemTimeout(timeout), FALSE);
    // Back to the usual selection, which records input that came meanwhile.
    for (std::size_t index = 0; index < count; ++index) {
        if (WaitsForRoom(targets[index]))
            Select(targets[index].socket, targets[index].handle, kSocketEvents);
    }
    if (result == WSA_WAIT_TIMEOUT)
        return kWaitTimedOut;
    if (result >= WSA_WAIT_EVENT_0 && result < WSA_WAIT_EVENT_0 + count)
        return static_cast<int>(result - WSA_WAIT_EVENT_0);
    return kWaitFailed;
}

} // namespace

CEvent::CEvent() : m_handle(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

CEvent::~CEvent()
{
    if (m_handle != nullptr)
        ::CloseHandle(ToHandle(m_handle));
}

bool CEvent::IsValid() const
{
    return m_handle != nullptr;
}

void CEvent::Set()
{
    ::SetEvent(ToHandle(m_handle));
}

void CEvent::Reset()
{
    ::ResetEvent(ToHandle(m_handle));
}

bool CEvent::IsSet() const
{
    return ::WaitForSingleObject(ToHandle(m_handle), 0) == WAIT_OBJECT_0;
}

// The selection makes the socket non-blocking, as it does on every system.
CSocketEvent::CSocketEvent(SocketHandle socket)
    : m_socket(socket), m_handle(::CreateEventA(nullptr, TRUE, FALSE, nullptr))
{
    if (m_handle != nullptr &&
        ::WSAEventSelect(static_cast<SOCKET>(m_socket), ToHandle(m_handle), kSocketEvents) != 0) {
        ::CloseHandle(ToHandle(m_handle));
        m_handle = nullptr;
    }
}

CSocketEvent::~CSocketEvent()
{
    if (m_handle != nullptr)
        ::CloseHandle(ToHandle(m_handle));
}

bool CSocketEvent::IsValid() const
{
    return m_handle != nullptr;
}

// Windows signals each kind of network event once and again only after the call that
// consumes it. Selecting anew after the reset records every condition that holds at this
// moment, so the event is signalled exactly while input, a closed connection or a pending
// connection is waiting, as the socket's state is on other systems.
void CSocketEvent::Reset()
{
    Select(m_socket, m_handle, kSocketEvents);
}

int WaitForAny(std::initializer_list<WaitTarget> targets, std::chrono::milliseconds timeout)
{
    return WaitForTargets(targets.begin(), targets.size(), timeout);
}

int WaitForAny(const std::vector<WaitTarget>& targets, std::chrono::milliseconds timeout)
{
    return WaitForTargets(targets.data(), targets.size(), timeout);
}

} // namespace platform
