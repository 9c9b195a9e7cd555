#include "framework/AutoResetEvent.h"

void AutoResetEvent::Set() {
    {
        std::lock_guard lock(mutex_);
        set_ = true;
    }
    signalled_.notify_one();
}

bool AutoResetEvent::TryWait() {
    std::lock_guard lock(mutex_);
    const bool wasSet = set_;
    set_ = false;
    return wasSet;
}

bool AutoResetEvent::Wait(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (!signalled_.wait_for(lock, timeout, [this] { return set_; })) {
        return false;
    }
    set_ = false;
    return true;
}
