#include "platform/Thread.h"

#include "platform/ThreadPrimitives.h"

#include <pthread.h>
#include <time.h>

#include <algorithm>
#include <memory>
#include <new>

namespace platform {
namespace {

static_assert(sizeof(pthread_mutex_t) <= 64 && alignof(pthread_mutex_t) <= 8,
              "CLock's storage is too small for a mutex");
static_assert(sizeof(pthread_cond_t) <= 64 && alignof(pthread_cond_t) <= 8,
              "CCondition's storage is too small for a condition variable");

// The longest one sleep lasts; a wait for longer sleeps again.
constexpr std::chrono::hours kLongestSleep{1};

void* RunBody(void* body)
{
    RunThreadBody(body);
    return nullptr;
}

pthread_t* ThreadOf(void* handle)
{
    return static_cast<pthread_t*>(handle);
}

pthread_mutex_t* MutexOf(unsigned char* storage)
{
    return reinterpret_cast<pthread_mutex_t*>(storage);
}

pthread_cond_t* ConditionOf(unsigned char* storage)
{
    return reinterpret_cast<pthread_cond_t*>(storage);
}

} // namespace

bool StartSystemThread(void* body, std::size_t stackBytes, void*& handle)
{
    std::unique_ptr<pthread_t> thread(new (std::nothrow) pthread_t);
    if (!thread)
        return false;
    pthread_attr_t attributes;
    if (::pthread_attr_init(&attributes) != 0)
        return false;
    const bool created =
        (stackBytes == 0 || ::pthread_attr_setstacksize(&attributes, stackBytes) == 0) &&
        ::pthread_create(thread.get(), &attributes, RunBody, body) == 0;
    ::pthread_attr_destroy(&attributes);
    if (!created)
        return false;
    handle = thread.release();
    return true;
}

void CThread::Join()
{
    if (m_handle == nullptr)
        return;
    ::pthread_join(*ThreadOf(m_handle), nullptr);
    delete ThreadOf(m_handle);
    m_handle = nullptr;
}

void CThread::Detach()
{
    if (m_handle == nullptr)
        return;
    ::pthread_detach(*ThreadOf(m_handle));
    delete ThreadOf(m_handle);
    m_handle = nullptr;
}

CLock::CLock()
{
    new (m_storage) pthread_mutex_t(PTHREAD_MUTEX_INITIALIZER);
}

CLock::~CLock()
{
    ::pthread_mutex_destroy(MutexOf(m_storage));
}

void CLock::Enter()
{
    ::pthread_mutex_lock(MutexOf(m_storage));
}

void CLock::Leave()
{
    ::pthread_mutex_unlock(MutexOf(m_storage));
}

// Deadlines are kept on the monotonic clock, which a change of the system's time does not
// move.
CCondition::CCondition()
{
    pthread_condattr_t attributes;
    ::pthread_condattr_init(&attributes);
    ::pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    ::pthread_cond_init(new (m_storage) pthread_cond_t, &attributes);
    ::pthread_condattr_destroy(&attributes);
}

CCondition::~CCondition()
{
    ::pthread_cond_destroy(ConditionOf(m_storage));
}

void CCondition::WakeAll()
{
    ::pthread_cond_broadcast(ConditionOf(m_storage));
}

bool CCondition::SleepUntil(CLock& lock, Clock::time_point deadline)
{
    const auto left = std::min<Clock::duration>(deadline - Clock::now(), kLongestSleep);
    if (left <= Clock::duration::zero())
        return false;
    const auto leftNanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    timespec until;
    ::clock_gettime(CLOCK_MONOTONIC, &until);
    until.tv_sec += static_cast<time_t>(leftNanoseconds / 1000000000);
    until.tv_nsec += static_cast<long>(leftNanoseconds % 1000000000);
    if (until.tv_nsec >= 1000000000) {
        until.tv_nsec -= 1000000000;
        ++until.tv_sec;
    }
    ::pthread_cond_timedwait(ConditionOf(m_storage), MutexOf(lock.m_storage), &until);
    return Clock::now() < deadline;
}

} // namespace platform
