#include "pop3/CommitGate.h"

bool CCommitGate::CloseAndWait(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_closed = true;
    return m_idle.wait_for(lock, timeout, [this] { return m_inProgress == 0; });
}

bool CCommitGate::Enter()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_closed)
        return false;
    ++m_inProgress;
    return true;
}

void CCommitGate::Leave()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (--m_inProgress == 0)
        m_idle.notify_all();
}
