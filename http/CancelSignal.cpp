#include "http/CancelSignal.h"

void CCancelSignal::Cancel()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_cancelled = true;
    if (m_socket != platform::kInvalidSocket)
        platform::ShutdownSocket(m_socket);
}

bool CCancelSignal::IsCancelled() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_cancelled;
}

bool CCancelSignal::Attach(platform::SocketHandle socket)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_cancelled)
        return false;
    m_socket = socket;
    return true;
}

void CCancelSignal::Detach()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_socket = platform::kInvalidSocket;
}
