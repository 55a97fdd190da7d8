#pragma once

#include "platform/ThreadSafety.h"

#include <chrono>
#include <cstdint>

namespace platform {

class CCondition;
class CLock;

// Wall time: the calendar's time, counted from 1970-01-01 UTC in whole seconds, as files and
// HTTP headers state it.
using WallTime = std::chrono::time_point<std::chrono::system_clock, std::chrono::seconds>;

// Milliseconds since the system started, 32 bits, wrapping (GetTickCount on Windows).
std::uint32_t GetTickCount();

// The time the system keeps, as the product reads it: steady time for waits with a deadline
// (and how they sleep until then), wall time for what is dated (the copies of feeds). The
// system's clocks (SteadyClock), or in tests a clock that moves only when told to. Used by any
// number of threads at once; nothing here throws.
class IClock
{
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~IClock() = default;

    // The steady time, which a change of the system's time does not move.
    virtual TimePoint Now() const = 0;
    // The wall time, which moves when the system's time is set.
    virtual WallTime WallNow() const = 0;

    // With `lock` held: leaves `lock`, sleeps on `condition` until it is woken (or for no
    // reason) or until this clock reaches `deadline`, and enters `lock` again. False once the
    // deadline has passed.
    virtual bool SleepUntil(CCondition& condition, CLock& lock, TimePoint deadline) const
        REQUIRES(lock) = 0;
};

// The system's clocks: its steady clock, which a change of the system's time does not move,
// and its wall clock. Lives as long as the process.
const IClock& SteadyClock();

} // namespace platform
