#include "http/CancelSignal.h"

void CCancelSignal::Cancel()
{
    platform::CLockHolder holder(m_lock);
    m_cancelled = true;
    if (m_socket != platform::kInvalidSocket)
        platform::ShutdownSocket(m_socket);
}

bool CCancelSignal::IsCancelled() const
{
    platform::CLockHolder holder(m_lock);
    return m_cancelled;
}

bool CCancelSignal::Attach(platform::SocketHandle socket)
{
    platform::CLockHolder holder(m_lock);
    if (m_cancelled)
        return false;
    m_socket = socket;
    return true;
}

void CCancelSignal::Detach()
{
    platform::CLockHolder holder(m_lock);
    m_socket = platform::kInvalidSocket;
}
