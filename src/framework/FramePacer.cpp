#include "framework/FramePacer.h"

#include <cassert>

FramePacer::FramePacer(MillisecondClock& clock) : clock_(clock), previous_(clock.Now()) {}

bool FramePacer::Poll() {
    now_ = clock_.Now();
    // sleep until about 13 ms after the previous frame; measured as the elapsed time so
    // that the wrap of the 32-bit clock can never turn it into a sleep of weeks
    const std::uint32_t sincePrevious = now_ - previous_;
    if (sincePrevious < 12) {
        clock_.Sleep(13 - sincePrevious);
    }
    elapsed_ = now_ - previous_;
    return elapsed_ >= kMinimumFrameMilliseconds;
}

int FramePacer::StartFrame() {
    assert(elapsed_ >= kMinimumFrameMilliseconds);

    // frame rate: the sum of frame times decays by 1/32 per frame, so it holds about 32 frames
    frameTimeSum_ =
        static_cast<std::int64_t>((1.0 - 1.0 / 32.0) * static_cast<double>(frameTimeSum_)) + elapsed_;
    if (!first_) {
        rate_ = static_cast<int>(32 * 1000.0 / static_cast<double>(frameTimeSum_));
        measured_ = true;
    }

    // whole ticks since the previous frame; the fraction stays in the accumulator
    tickAccumulator_ += static_cast<double>(elapsed_) / kTickMilliseconds;
    return static_cast<int>(tickAccumulator_);
}

void FramePacer::FinishFrame(int ticks) {
    first_ = false;
    tickAccumulator_ -= ticks;
    previous_ = now_;
}
