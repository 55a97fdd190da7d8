#include "platform/Thread.h"

#include "platform/ThreadPrimitives.h"

#include <windows.h>

#include <algorithm>
#include <new>

namespace platform {
namespace {

static_assert(sizeof(CRITICAL_SECTION) <= 64 && alignof(CRITICAL_SECTION) <= 8,
              "CLock's storage is too small for a critical section");
static_assert(sizeof(CONDITION_VARIABLE) <= 64 && alignof(CONDITION_VARIABLE) <= 8,
              "CCondition's storage is too small for a condition variable");

// The longest one sleep lasts; a wait for longer sleeps again.
constexpr std::chrono::hours kLongestSleep{1};

// Threads are made with CreateThread. The C runtime is a DLL of the system (the C++ runtime
// and the thread library, linked in, keep to it), which sets up its data for a thread on
// first use and frees it when the thread ends, so _beginthreadex would add nothing.
DWORD WINAPI RunBody(LPVOID body)
{
    RunThreadBody(body);
    return 0;
}

CRITICAL_SECTION* SectionOf(unsigned char* storage)
{
    return reinterpret_cast<CRITICAL_SECTION*>(storage);
}

CONDITION_VARIABLE* ConditionOf(unsigned char* storage)
{
    return reinterpret_cast<CONDITION_VARIABLE*>(storage);
}

} // namespace

bool StartSystemThread(void* body, std::size_t stackBytes, void*& handle)
{
    // The size reserved, not committed at once: the memory a thread takes grows with use.
    handle = ::CreateThread(nullptr, stackBytes, RunBody, body,
                            stackBytes == 0 ? 0 : STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    return handle != nullptr;
}

void CThread::Join()
{
    if (m_handle == nullptr)
        return;
    ::WaitForSingleObject(static_cast<HANDLE>(m_handle), INFINITE);
    ::CloseHandle(static_cast<HANDLE>(m_handle));
    m_handle = nullptr;
}

void CThread::Detach()
{
    if (m_handle == nullptr)
        return;
    ::CloseHandle(static_cast<HANDLE>(m_handle));
    m_handle = nullptr;
}

CLock::CLock()
{
    ::InitializeCriticalSection(new (m_storage) CRITICAL_SECTION);
}

CLock::~CLock()
{
    ::DeleteCriticalSection(SectionOf(m_storage));
}

void CLock::Enter()
{
    ::EnterCriticalSection(SectionOf(m_storage));
}

void CLock::Leave()
{
    ::LeaveCriticalSection(SectionOf(m_storage));
}

CCondition::CCondition()
{
    ::InitializeConditionVariable(new (m_storage) CONDITION_VARIABLE);
}

// A condition variable of Windows holds nothing to free.
CCondition::~CCondition() = default;

void CCondition::WakeAll()
{
    ::WakeAllConditionVariable(ConditionOf(m_storage));
}

bool CCondition::SleepUntil(CLock& lock, Clock::time_point deadline)
{
    const auto left = std::min<Clock::duration>(deadline - Clock::now(), kLongestSleep);
    if (left <= Clock::duration::zero())
        return false;
    // Rounded up, so that a wait never ends just before its deadline and sleeps again for 0.
    const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    ::SleepConditionVariableCS(ConditionOf(m_storage), SectionOf(lock.m_storage),
                               static_cast<DWORD>(milliseconds));
    return Clock::now() < deadline;
}

} // namespace platform
