#pragma once
// The framework's millisecond time: a wrapping 32-bit count of a monotonic clock
// (std::chrono::steady_clock) and a sleep. The timing loops and key repeat read
// time only through this interface, so tests can run them on a clock of their own.

#include <cstdint>

class MillisecondClock {
public:
    virtual ~MillisecondClock() = default;
    /// Milliseconds since an arbitrary origin; wraps after 2^32 ms like the platform timer.
    virtual std::uint32_t Now() = 0;
    /// Blocks the calling thread for about the given number of milliseconds.
    virtual void Sleep(std::uint32_t milliseconds) = 0;
};

/// The process-wide monotonic clock; safe to use from any thread.
MillisecondClock& SystemClock();
