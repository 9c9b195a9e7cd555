#pragma once
// The pacing of the application's timing loops: a frame is due at most every
// 16 ms, the loop sleeps until about 13 ms after the previous frame and then
// polls; each frame is handed the number of whole 1/60 s ticks since the previous
// one (the fraction is carried), and a frame rate is estimated from a decaying
// sum of frame times.

#include <cstdint>

#include "framework/MillisecondClock.h"

class FramePacer {
public:
    /// The length of one tick in milliseconds.
    static constexpr double kTickMilliseconds = 16.666666666666668;
    /// Frames come at most this often.
    static constexpr std::uint32_t kMinimumFrameMilliseconds = 16;
    /// The frame-time sum starts as 32 frames of 16.66 ms, so the first estimate is about 60.
    static constexpr std::int64_t kInitialFrameTimeSum = 533;

    /// Starts timing from the clock's current time.
    explicit FramePacer(MillisecondClock& clock);

    /// Reads the clock and sleeps while the next frame is more than a few milliseconds
    /// away; true when a frame is due (16 ms or more since the previous frame).
    bool Poll();

    /// Starts the due frame: returns its tick count and updates the rate estimate.
    int StartFrame();

    /// Ends the frame started last: carries the unused fraction of a tick.
    void FinishFrame(int ticks);

    /// Whether Rate() holds a measurement (from the second frame on).
    bool HasRate() const { return measured_; }
    /// Frames per second, estimated from the decaying frame-time sum.
    int Rate() const { return rate_; }
    /// Milliseconds between the previous frame and the one started last.
    std::uint32_t Elapsed() const { return elapsed_; }

private:
    MillisecondClock& clock_;
    std::uint32_t previous_;
    std::uint32_t now_ = 0;
    std::uint32_t elapsed_ = 0;
    // 64-bit so that a clock jump of up to 2^32 ms cannot overflow it
    std::int64_t frameTimeSum_ = kInitialFrameTimeSum;
    double tickAccumulator_ = 0.0;
    bool first_ = true;
    bool measured_ = false;
    int rate_ = 0;
};
