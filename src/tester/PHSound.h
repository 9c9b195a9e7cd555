#pragma once
// Impact sound: synthesises a short decaying sine tone into one of a ring of twenty
// stereo buffers of the sound device and plays it once.

#include <array>
#include <cstdint>

#include "tester/ImpactSoundListener.h"

class DirectAudio;
class SoundBuffer;

class PHSound : public ImpactSound {
public:
    static constexpr int kBufferCount = 20;
    static constexpr int kFrames = 4410;       // 0.1 s at 44100 frames per second
    static constexpr int kBytes = kFrames * 4; // two 16-bit channels
    static constexpr int kFramesPerSecond = 44100;

    PHSound() = default;
    ~PHSound() override;
    PHSound(const PHSound&) = delete;
    PHSound& operator=(const PHSound&) = delete;

    /// Synthesises and plays the tone (see ImpactSound); does nothing while no sound device is set.
    void Play(double amplitude, double decay, double frequency, double dx, double dy, double dz) override;

    /// Buffer i of the ring (owned by the sound device); null before the first sound.
    SoundBuffer* Buffer(int index) const { return buffers_.at(static_cast<std::size_t>(index)); }
    /// Index of the buffer the next sound uses.
    int Next() const { return next_; }

private:
    // the ring lives on the device it was created on; the device owns the buffers
    std::array<SoundBuffer*, kBufferCount> buffers_{};
    bool created_ = false;
    DirectAudio* device_ = nullptr;
    std::uint64_t deviceGeneration_ = 0;
    int next_ = 0;
};
