#include "platform/Event.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <limits>
#include <vector>

namespace platform {

// An eventfd that is written to set it and read to reset it: it stays readable in between,
// which is exactly a manual-reset event that poll() can wait on beside sockets.
CEvent::CEvent() : m_handle(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CEvent::~CEvent()
{
    if (m_handle >= 0)
        ::close(m_handle);
}

bool CEvent::IsValid() const
{
    return m_handle >= 0;
}

void CEvent::Set()
{
    const std::uint64_t one = 1;
    // The counter can only fail to grow when it is about to overflow, and then it is set anyway.
    [[maybe_unused]] const ssize_t written = ::write(m_handle, &one, sizeof one);
}

void CEvent::Reset()
{
    // One read takes the whole count; an unset event has nothing to read and does not block.
    std::uint64_t count;
    [[maybe_unused]] const ssize_t taken = ::read(m_handle, &count, sizeof count);
}

bool CEvent::IsSet() const
{
    pollfd entry{m_handle, POLLIN, 0};
    return ::poll(&entry, 1, 0) == 1;
}

CSocketEvent::CSocketEvent(SocketHandle socket)
    : m_socket(socket), m_handle(static_cast<WaitHandle>(socket))
{
    const int flags = ::fcntl(m_handle, F_GETFL);
    if (flags < 0 || ::fcntl(m_handle, F_SETFL, flags | O_NONBLOCK) < 0)
        m_handle = -1;
}

CSocketEvent::~CSocketEvent() = default;

bool CSocketEvent::IsValid() const
{
    return m_handle >= 0;
}

void CSocketEvent::Reset() {}

namespace {

// The time-out as poll counts it: -1 for none, else milliseconds as far as an int reaches.
int PollTimeout(std::chrono::milliseconds timeout)
{
    if (timeout.count() < 0)
        return -1;
    return static_cast<int>(
        std::min<std::chrono::milliseconds::rep>(timeout.count(), std::numeric_limits<int>::max()));
}

int WaitForTargets(const WaitTarget* targets, std::size_t count, std::chrono::milliseconds timeout)
{
    std::vector<pollfd> entries;
    entries.reserve(count);
    for (std::size_t index = 0; index < count; ++index) {
        const short events =
            targets[index].readiness == SocketReadiness::Writable ? POLLOUT : POLLIN;
        entries.push_back(pollfd{targets[index].handle, events, 0});
    }
    for (;;) {
        const int ready = ::poll(entries.data(), entries.size(), PollTimeout(timeout));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return kWaitFailed;
        if (ready == 0)
            return kWaitTimedOut;
        for (std::size_t index = 0; index < entries.size(); ++index) {
            if (entries[index].revents & (POLLIN | POLLOUT | POLLHUP | POLLERR))
                return static_cast<int>(index);
            if (entries[index].revents & POLLNVAL)
                return kWaitFailed;
        }
    }
}

} // namespace

int WaitForAny(std::initializer_list<WaitTarget> targets, std::chrono::milliseconds timeout)
{
    return WaitForTargets(targets.begin(), targets.size(), timeout);
}

int WaitForAny(const std::vector<WaitTarget>& targets, std::chrono::milliseconds timeout)
{
    return WaitForTargets(targets.data(), targets.size(), timeout);
}

} // namespace platform
