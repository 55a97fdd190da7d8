#include "platform/Termination.h"

#include <windows.h>

#include <csignal>

namespace platform {
namespace {

// Set by the console's control handler, which the system runs on a thread of its own.
HANDLE g_requested = nullptr;

BOOL WINAPI OnConsoleControl(DWORD type)
{
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT)
        return FALSE;
    ::SetEvent(g_requested);
    return TRUE;
}

} // namespace

CTerminationWait::CTerminationWait()
{
    g_requested = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_valid = g_requested != nullptr && ::SetConsoleCtrlHandler(OnConsoleControl, TRUE) != 0;
}

CTerminationWait::~CTerminationWait()
{
    if (m_valid)
        ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    if (g_requested != nullptr)
        ::CloseHandle(g_requested);
    g_requested = nullptr;
}

// Every request reads as Ctrl+C, SIGINT.
int CTerminationWait::Wait()
{
    if (!m_valid || ::WaitForSingleObject(g_requested, INFINITE) != WAIT_OBJECT_0)
        return 0;
    return SIGINT;
}

} // namespace platform
