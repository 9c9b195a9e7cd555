#pragma once
// An unnamed auto-reset event built on a mutex and a condition variable: Set()
// signals it, and the first waiter that sees the signal clears it again.

#include <chrono>
#include <condition_variable>
#include <mutex>

class AutoResetEvent {
public:
    AutoResetEvent() = default;
    AutoResetEvent(const AutoResetEvent&) = delete;
    AutoResetEvent& operator=(const AutoResetEvent&) = delete;

    void Set();
    /// Tests the event without waiting; true (and the event cleared) when it was signalled.
    bool TryWait();
    /// Waits up to the time-out; true (and the event cleared) when it was signalled.
    bool Wait(std::chrono::milliseconds timeout);

private:
    std::mutex mutex_;
    std::condition_variable signalled_;
    bool set_ = false; // guarded by mutex_
};
