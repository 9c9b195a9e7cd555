#pragma once
// Impact sound: synthesises a short decaying sine tone into one of a ring of twenty
// stereo buffers of the sound device and plays it once.

#include <array>

class PHSound {
public:
    static constexpr int kBufferCount = 20;
    static constexpr int kFrames = 4410;   // 0.1 s at 44100 frames per second
    static constexpr int kBytes = kFrames * 4;  // two 16-bit channels

    PHSound() = default;
    virtual ~PHSound();
    PHSound(const PHSound&) = delete;
    PHSound& operator=(const PHSound&) = delete;

    /// amplitude: starting peak in 16-bit sample units before distance attenuation;
    /// decay: factor applied after every frame; frequency in Hz; (dx, dy, dz): impact
    /// position relative to the listener. Does nothing while no sound device is set.
    virtual void Play(double amplitude, double decay, double frequency, double dx, double dy, double dz);

private:
    std::array<void*, kBufferCount> buffers_{};
    bool created_ = false;
    int next_ = 0;
};
