#include "pop3/CommitGate.h"

bool CCommitGate::CloseAndWait(std::chrono::milliseconds timeout)
{
    platform::CLockHolder holder(m_lock);
    m_closed = true;
    return m_idle.WaitFor(m_lock, timeout, [this]() REQUIRES(m_lock) { return m_inProgress == 0; });
}

bool CCommitGate::Enter()
{
    platform::CLockHolder holder(m_lock);
    if (m_closed)
        return false;
    ++m_inProgress;
    return true;
}

void CCommitGate::Leave()
{
    platform::CLockHolder holder(m_lock);
    if (--m_inProgress == 0)
        m_idle.WakeAll();
}
