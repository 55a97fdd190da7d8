#include "platform/Termination.h"

#include <pthread.h>
#include <signal.h>

#include <cerrno>

namespace platform {
namespace {

sigset_t TerminationSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

// The mask in force before the one CTerminationWait blocked the signals.
sigset_t g_previousMask;

} // namespace

// Blocked signals stay pending until sigwait takes them, so a request that comes before
// Wait is not lost, and threads started later inherit the mask and never take it.
CTerminationWait::CTerminationWait()
{
    const sigset_t signals = TerminationSignals();
    m_valid = ::pthread_sigmask(SIG_BLOCK, &signals, &g_previousMask) == 0;
}

CTerminationWait::~CTerminationWait()
{
    if (m_valid)
        ::pthread_sigmask(SIG_SETMASK, &g_previousMask, nullptr);
}

int CTerminationWait::Wait()
{
    if (!m_valid)
        return 0;
    const sigset_t signals = TerminationSignals();
    for (;;) {
        int signal = 0;
        const int result = ::sigwait(&signals, &signal);
        if (result == 0)
            return signal;
        if (result != EINTR)
            return 0;
    }
}

} // namespace platform
