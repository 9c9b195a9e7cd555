#include "physics/ShareModeChooser.h"

#include <algorithm>

void ShareModeChooser::NoteStep(double seconds) {
    if (!trial_) {
        keptSeconds_ += seconds;
        ++keptSteps_;
        if (--untilTrial_ <= 0) {
            // the trial starts with its warm-up (counted up from below zero)
            trial_ = true;
            steps_ = -kWarmup;
            seconds_ = 0.0;
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
    // the trial against the kept way's steps since the last trial
    const double tried = seconds_ / kWindow;
    const double kept = keptSeconds_ / keptSteps_;
    trial_ = false;
    keptSeconds_ = 0.0;
    keptSteps_ = 0;
    if (tried < kept * kMargin) {
        shared_ = !shared_;
        interval_ = kFirstInterval;
        ++changes_;
    } else {
        interval_ = std::min(interval_ * 2, kLongestInterval);
    }
    untilTrial_ = interval_;
}
