#include "physics/ShareModeChooser.h"

#include <algorithm>

void ShareModeChooser::NoteStep(double seconds) {
    if (!trial_) {
        --untilTrial_;
        seconds_ += seconds;
        if (++steps_ == kWindow) {
            kept_ = seconds_ / kWindow;
            steps_ = 0;
            seconds_ = 0.0;
            if (untilTrial_ <= 0) {
                // the trial starts with its warm-up (counted down below zero)
                trial_ = true;
                steps_ = -kWarmup;
            }
        }
        return;
    }
    if (++steps_ <= 0) {
        return;
    }
    seconds_ += seconds;
    if (steps_ < kWindow) {
        return;
    }
    const double tried = seconds_ / kWindow;
    trial_ = false;
    steps_ = 0;
    seconds_ = 0.0;
    if (tried < kept_ * kMargin) {
        shared_ = !shared_;
        kept_ = tried;
        interval_ = kFirstInterval;
        ++changes_;
    } else {
        interval_ = std::min(interval_ * 2, kLongestInterval);
    }
    untilTrial_ = interval_;
}
