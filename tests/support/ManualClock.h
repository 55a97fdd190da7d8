#pragma once

// A clock for tests that stands still until the test moves it on with Advance, so that a
// deadline passes exactly when the test says. Advance wakes every wait sleeping on the clock,
// which then sees the new time. Starts at the steady clock's epoch, and on the wall at
// kWallStart; Advance moves both alike. Used by any number of
// threads at once; it must outlive every wait on it.

#include "platform/Clock.h"
#include "platform/Thread.h"

#include <algorithm>
#include <vector>

class CManualClock : public platform::IClock
{
public:
    // 2023-11-14 22:13:20 UTC.
    static constexpr platform::WallTime kWallStart{std::chrono::seconds(1700000000)};

    CManualClock() = default;
    CManualClock(const CManualClock&) = delete;
    CManualClock& operator=(const CManualClock&) = delete;

    TimePoint Now() const override
    {
        platform::CLockHolder holder(m_lock);
        return m_now;
    }

    platform::WallTime WallNow() const override
    {
        platform::CLockHolder holder(m_lock);
        return kWallStart +
               std::chrono::duration_cast<std::chrono::seconds>(m_now.time_since_epoch());
    }

    bool SleepUntil(platform::CCondition& condition, platform::CLock& lock,
                    TimePoint deadline) const override REQUIRES(lock)
    {
        Sleeper sleeper{&condition, &lock};
        {
            platform::CLockHolder holder(m_lock);
            if (m_now >= deadline)
                return false;
            m_sleepers.push_back(&sleeper);
        }
        // Registered while `lock` is held: an Advance from now on finds this wait asleep.
        condition.SleepUntil(lock, TimePoint::max());
        // An Advance that has taken this sleeper up may still be waiting to enter `lock`.
        lock.Leave();
        bool beforeDeadline = false;
        {
            platform::CLockHolder holder(m_lock);
            m_sleepers.erase(std::find(m_sleepers.begin(), m_sleepers.end(), &sleeper));
            m_wakersGone.WaitUntil(m_lock, platform::SteadyClock(), TimePoint::max(),
                                   [&]() REQUIRES(m_lock) { return sleeper.wakers == 0; });
            beforeDeadline = m_now < deadline;
        }
        lock.Enter();
        return beforeDeadline;
    }

    void Advance(TimePoint::duration step)
    {
        std::vector<Sleeper*> waking;
        {
            platform::CLockHolder holder(m_lock);
            m_now += step;
            waking = m_sleepers;
            for (Sleeper* sleeper : waking)
                ++sleeper->wakers;
        }
        for (Sleeper* sleeper : waking) {
            platform::CLockHolder holder(*sleeper->lock);
            sleeper->condition->WakeAll();
        }
        platform::CLockHolder holder(m_lock);
        for (Sleeper* sleeper : waking)
            --sleeper->wakers;
        m_wakersGone.WakeAll();
    }

private:
    // A wait asleep on the clock, and how many Advances are about to wake it.
    struct Sleeper
    {
        platform::CCondition* condition;
        platform::CLock* lock;
        int wakers = 0;
    };

    mutable platform::CLock m_lock;
    mutable platform::CCondition m_wakersGone;
    TimePoint m_now GUARDED_BY(m_lock){};
    mutable std::vector<Sleeper*> m_sleepers GUARDED_BY(m_lock);
};
