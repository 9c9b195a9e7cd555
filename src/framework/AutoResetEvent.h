#pragma once
// An unnamed auto-reset event, polled without waiting: Set() signals it, and the
// first poll that sees the signal clears it again.

#include <mutex>

class AutoResetEvent {
public:
    AutoResetEvent() = default;
    AutoResetEvent(const AutoResetEvent&) = delete;
    AutoResetEvent& operator=(const AutoResetEvent&) = delete;

    void Set();
    /// Tests the event without waiting; true (and the event cleared) when it was signalled.
    bool TryWait();

private:
    std::mutex mutex_;
    bool set_ = false; // guarded by mutex_
};
