#include "framework/AutoResetEvent.h"

void AutoResetEvent::Set() {
    std::lock_guard lock(mutex_);
    set_ = true;
}

bool AutoResetEvent::TryWait() {
    std::lock_guard lock(mutex_);
    const bool wasSet = set_;
    set_ = false;
    return wasSet;
}
