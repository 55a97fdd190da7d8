#pragma once

#include "platform/ThreadSafety.h"

#include <chrono>
#include <cstdint>

namespace platform {

class CCondition;
class CLock;

// Milliseconds since the system started, 32 bits, wrapping (GetTickCount on Windows).
std::uint32_t GetTickCount();

// What a wait with a deadline reads the time from, and how it sleeps until then: the
// system's steady clock (SteadyClock), or in tests a clock that moves only when told to.
// Used by any number of threads at once; nothing here throws.
class IClock
{
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~IClock() = default;

    virtual TimePoint Now() const = 0;

    // With `lock` held: leaves `lock`, sleeps on `condition` until it is woken (or for no
    // reason) or until this clock reaches `deadline`, and enters `lock` again. False once the
    // deadline has passed.
    virtual bool SleepUntil(CCondition& condition, CLock& lock, TimePoint deadline) const
        REQUIRES(lock) = 0;
};

// The system's steady clock, which a change of the system's time does not move. Lives as
// long as the process.
const IClock& SteadyClock();

} // namespace platform
