#pragma once

#include "platform/Thread.h"

#include <chrono>

// Lets a stopping server wait for the seen-store commits its sessions have begun, so that a
// QUIT already answered, or about to be, is never cut short by the end of the process. One
// gate per running server, shared by the server and its sessions; any thread may use it.
// Once closed it stays closed: a session that has not begun its commit by then ends without
// committing and without a reply, so its client knows nothing was kept.
class CCommitGate
{
public:
    // Marks one commit in progress for as long as it lives, if the gate was still open.
    class CPass
    {
    public:
        explicit CPass(CCommitGate& gate) : m_gate(gate), m_entered(gate.Enter()) {}
        ~CPass()
        {
            if (m_entered)
                m_gate.Leave();
        }
        CPass(const CPass&) = delete;
        CPass& operator=(const CPass&) = delete;

        // False when the gate was closed: the commit must not begin.
        explicit operator bool() const { return m_entered; }

    private:
        CCommitGate& m_gate;
        bool m_entered;
    };

    // Closes the gate and waits until no commit is in progress or `timeout` has passed;
    // returns whether none is left. Safe to repeat.
    bool CloseAndWait(std::chrono::milliseconds timeout);

private:
    bool Enter();
    void Leave();

    platform::CLock m_lock;
    platform::CCondition m_idle;
    int m_inProgress GUARDED_BY(m_lock) = 0;
    bool m_closed GUARDED_BY(m_lock) = false;
};
