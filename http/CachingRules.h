#pragma once

#include "platform/Clock.h"

#include <chrono>
#include <cstdint>
#include <string>

// How long a response tells a client to leave its server alone: the rules for the
// "Retry-After" and "Cache-Control: max-age" headers of a feed's response. Stateless; safe on
// any thread.

// The longest a Retry-After is honoured, and the longest a max-age is.
constexpr std::chrono::seconds kMaxRetryAfter = std::chrono::hours(24);
constexpr std::chrono::seconds kMaxFreshAge = std::chrono::hours(1);

// Reads an HTTP date in any of its three forms ("Sun, 06 Nov 1994 08:49:37 GMT", "Sunday,
// 06-Nov-94 08:49:37 GMT", "Sun Nov  6 08:49:37 1994"). False when `text` is none of them.
bool ParseHTTPDate(const std::string& text, platform::WallTime& time);

// Until when a response with `headers` (a header block as received) asks not to be asked
// again, as seen at `now`: a 429 or 503 by its Retry-After (delay seconds or a date), a 200
// or 304 by its Cache-Control max-age, each at most its bound above; `now` when it asks
// nothing, or when the value cannot be read.
platform::WallTime QuietUntil(const std::string& headers, platform::WallTime now);
