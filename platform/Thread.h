#pragma once

#include "platform/Clock.h"
#include "platform/ThreadSafety.h"

#include <chrono>
#include <cstddef>
#include <functional>

// Threads, locks and condition variables of the system's own kind: POSIX threads, mutexes
// and condition variables, or Windows threads (CreateThread), critical sections and
// condition variables over them. Nothing here throws.
namespace platform {

// A thread running one function. Start it, then either Join it (wait for its end) or Detach
// it (let it end on its own); a thread that is neither is detached when its CThread goes.
// Nothing ends a thread from outside. An exception that leaves the function ends the thread
// quietly: none ever reaches the system. Used by the thread that owns it only.
class CThread
{
public:
    CThread() = default;
    ~CThread();
    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

    // Runs `body` on a new thread with a stack of `stackBytes` (0: the system's default).
    // False, with `body` never run, when the system gives no thread or there is no memory
    // for one, or when this object holds a thread already.
    bool Start(std::function<void()> body, std::size_t stackBytes = 0);
    // Whether a thread was started and has been neither joined nor detached.
    bool IsJoinable() const { return m_handle != nullptr; }
    // Waits for the thread to end. Nothing to do when there is no joinable thread.
    void Join();
    // Lets the thread run on and end on its own. Nothing to do when there is no joinable
    // thread.
    void Detach();

private:
    // The system's handle of the thread: a HANDLE, or a pthread_t kept on the heap.
    void* m_handle = nullptr;
};

// How many threads the machine runs at the same time; at least 1.
unsigned ProcessorCount();

// A lock that one thread holds at a time (not recursive). Created usable; its creation
// cannot fail.
class CAPABILITY("lock") CLock
{
public:
    CLock();
    ~CLock();
    CLock(const CLock&) = delete;
    CLock& operator=(const CLock&) = delete;

    void Enter() ACQUIRE();
    void Leave() RELEASE();

private:
    friend class CCondition;
    // The system's lock, made in place: a pthread_mutex_t or a CRITICAL_SECTION.
    alignas(8) unsigned char m_storage[64];
};

// Holds a lock from its construction to its end.
class SCOPED_CAPABILITY CLockHolder
{
public:
    explicit CLockHolder(CLock& lock) ACQUIRE(lock) : m_lock(lock) { m_lock.Enter(); }
    ~CLockHolder() RELEASE() { m_lock.Leave(); }
    CLockHolder(const CLockHolder&) = delete;
    CLockHolder& operator=(const CLockHolder&) = delete;

private:
    CLock& m_lock;
};

// Lets threads wait under a lock until another thread changes what the lock guards and
// wakes them. Created usable; its creation cannot fail.
class CCondition
{
public:
    using Clock = std::chrono::steady_clock;

    CCondition();
    ~CCondition();
    CCondition(const CCondition&) = delete;
    CCondition& operator=(const CCondition&) = delete;

    // Wakes every thread waiting on this condition.
    void WakeAll();

    // With `lock` held by the caller: waits until `done()` is true or `clock` has reached
    // `deadline`, leaving the lock while it sleeps; `done` is called with the lock held.
    // Returns what `done()` says at the end. The compiler's lock check cannot follow the lock
    // into `done`: a predicate that reads guarded members says so itself, with REQUIRES.
    template <typename Predicate>
    bool WaitUntil(CLock& lock, const IClock& clock, IClock::TimePoint deadline, Predicate done)
        REQUIRES(lock) NO_THREAD_SAFETY_ANALYSIS
    {
        while (!done()) {
            if (!clock.SleepUntil(*this, lock, deadline))
                return done();
        }
        return true;
    }
    // The same without a deadline: waits until `done()` is true.
    template <typename Predicate>
    void Wait(CLock& lock, Predicate done) REQUIRES(lock) NO_THREAD_SAFETY_ANALYSIS
    {
        while (!done())
            SleepUntil(lock, Clock::time_point::max());
    }
    // The same for at most `timeout` of the steady clock.
    template <typename Predicate>
    bool WaitFor(CLock& lock, std::chrono::milliseconds timeout, Predicate done)
        REQUIRES(lock) NO_THREAD_SAFETY_ANALYSIS
    {
        return WaitUntil(lock, SteadyClock(), Clock::now() + timeout, done);
    }

    // Leaves `lock`, sleeps until woken (or for no reason) or until `deadline`, and enters
    // `lock` again. False once the deadline has passed.
    bool SleepUntil(CLock& lock, Clock::time_point deadline) REQUIRES(lock);

private:
    // The system's condition variable, made in place: a pthread_cond_t or a
    // CONDITION_VARIABLE.
    alignas(8) unsigned char m_storage[64];
};

} // namespace platform
