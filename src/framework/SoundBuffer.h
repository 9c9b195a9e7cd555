#pragma once
// A static PCM sound buffer of the sound part, built on an OpenAL buffer and a
// source that plays it. The program writes the samples into the buffer's own
// memory between Lock and Unlock; Unlock hands them to OpenAL.

#include <AL/alc.h>

#include <cstddef>
#include <cstdint>
#include <vector>

/// The PCM format of a buffer.
struct WaveFormat {
    static constexpr std::uint16_t kPcm = 1;

    std::uint16_t formatTag = kPcm;
    std::uint16_t channels = 0;
    std::uint32_t samplesPerSecond = 0;
    std::uint32_t averageBytesPerSecond = 0;
    /// Bytes of one frame: channels x bits per sample / 8.
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
    std::uint16_t extraBytes = 0;

    /// PCM with the given channels, rate and sample size; block alignment and byte
    /// rate follow from them.
    static WaveFormat Pcm(int channels, int samplesPerSecond, int bitsPerSample);
};

class SoundBuffer {
public:
    /// Buffer sizes a buffer may have, in bytes.
    static constexpr std::size_t kMinimumBytes = 4;
    static constexpr std::size_t kMaximumBytes = 0x0FFFFFFF;

    /// Creates the OpenAL buffer and source on the context, silent; false in `created`
    /// when the format or the size is not playable or OpenAL refuses.
    SoundBuffer(ALCdevice* device, ALCcontext* context, std::size_t bytes, const WaveFormat& format,
                bool& created);
    ~SoundBuffer();
    SoundBuffer(const SoundBuffer&) = delete;
    SoundBuffer& operator=(const SoundBuffer&) = delete;

    const WaveFormat& Format() const { return format_; }
    std::size_t Size() const { return memory_.size(); }
    /// The samples as last unlocked (or written while locked).
    const std::vector<std::uint8_t>& Memory() const { return memory_; }

    /// Locks the whole buffer for writing; false when it is locked already.
    bool Lock(std::uint8_t*& memory, std::size_t& bytes);
    /// Ends the writing begun by Lock and hands the samples to OpenAL; false when the
    /// buffer was not locked with this memory or OpenAL refuses the samples.
    bool Unlock(const std::uint8_t* memory, std::size_t bytes);
    /// Plays from the current position, once or looping; a playing buffer goes on.
    bool Play(bool loop);
    /// Stops where it is.
    void Stop();
    /// Moves the play position to the start.
    void Rewind();
    bool IsPlaying() const;
    /// The play position in frames.
    std::size_t PlayPosition() const;
    /// True when the output device has gone away.
    bool IsLost() const;
    /// Hands the buffer's samples to OpenAL again; false when the device cannot take them.
    bool Restore();

private:
    void MakeCurrent() const;
    bool Upload();

    ALCdevice* device_;
    ALCcontext* context_;
    WaveFormat format_;
    std::vector<std::uint8_t> memory_;
    unsigned int buffer_ = 0;
    unsigned int source_ = 0;
    bool locked_ = false;
};
