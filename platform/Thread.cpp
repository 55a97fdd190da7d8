#include "platform/Thread.h"

#include "platform/ThreadPrimitives.h"

#include <algorithm>
#include <memory>
#include <new>
#include <thread>

namespace platform {

using ThreadBody = std::function<void()>;

CThread::~CThread()
{
    Detach();
}

bool CThread::Start(ThreadBody body, std::size_t stackBytes)
{
    if (m_handle != nullptr)
        return false;
    std::unique_ptr<ThreadBody> started(new (std::nothrow) ThreadBody(std::move(body)));
    if (!started || !StartSystemThread(started.get(), stackBytes, m_handle))
        return false;
    started.release(); // the thread's now, which frees it
    return true;
}

unsigned ProcessorCount()
{
    return std::max(std::thread::hardware_concurrency(), 1u);
}

namespace {

class CSteadyClock : public IClock
{
public:
    TimePoint Now() const override { return std::chrono::steady_clock::now(); }
    WallTime WallNow() const override
    {
        return std::chrono::time_point_cast<std::chrono::seconds>(std::chrono::system_clock::now());
    }
    bool SleepUntil(CCondition& condition, CLock& lock, TimePoint deadline) const override
        REQUIRES(lock)
    {
        return condition.SleepUntil(lock, deadline);
    }
};

} // namespace

// Never destroyed, so that a thread still waiting while the process ends finds it.
const IClock& SteadyClock()
{
    static const IClock& clock = *new CSteadyClock;
    return clock;
}

void RunThreadBody(void* body) noexcept
{
    const std::unique_ptr<ThreadBody> owned(static_cast<ThreadBody*>(body));
    try {
        (*owned)();
    } catch (...) {
    }
}

} // namespace platform
