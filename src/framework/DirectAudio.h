#pragma once
// The sound part of the application, built on OpenAL Soft: opens the output device
// and creates static 16-bit PCM buffers that the program fills and plays once or
// looping. The part owns every buffer it creates until it is freed. (The music
// segments of the original sound interfaces are not used by this program and are
// left out.)

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/DirectX.h"
#include "framework/SoundBuffer.h"

/// The configuration record; the part does not use it.
struct DirectAudioConfig {
    std::uint8_t unused = 0;
};

class DirectAudio : public DirectX {
public:
    DirectAudio();
    ~DirectAudio() override;

    /// Opens the output device; throws init_error with the sound message when there is none.
    virtual void Create(const DirectAudioConfig& config);
    void Free() override;
    /// A buffer of the given size and PCM format, silent and stopped; owned by the part.
    /// Throws exec_error when the format or size cannot be played or OpenAL refuses.
    virtual SoundBuffer* CreateBuffer(std::size_t bytes, int channels, int samplesPerSecond,
                                      int bitsPerSample);
    /// Copies the sound's bytes into the buffer (at most the buffer's size); throws
    /// exec_error when the buffer cannot be written. Nothing for a null buffer.
    virtual void FillBuffer(SoundBuffer* buffer, const std::vector<std::uint8_t>& sound);
    /// Plays from the current position, once or looping; restores lost buffers first.
    /// Nothing for a null buffer.
    virtual void PlayBuffer(SoundBuffer* buffer, bool loop);
    /// Stops the buffer and moves it back to its start. Nothing for a null buffer.
    virtual void StopBuffer(SoundBuffer* buffer);
    virtual void InitAll();
    virtual void ReleaseAll();
    virtual void InitSound();
    /// Called after InitSound and after the buffers were restored; empty here.
    virtual void OnSoundInitialized() {}
    virtual void ReleaseSound();
    /// Stops and releases every buffer.
    virtual void ReleaseBuffers();
    /// Restores the buffers in order, stopping at the first that cannot be restored.
    virtual void RestoreBuffers();

    /// The output device InitSound opens (OpenAL's device name); empty for the default.
    void SetOutputDevice(const std::string& name) { outputDevice_ = name; }
    bool HasDevice() const { return device_ != nullptr; }
    /// Distinguishes one opened device from every other opened in this process.
    std::uint64_t Generation() const { return generation_; }
    std::size_t BufferCount() const { return buffers_.size(); }

private:
    std::string outputDevice_;
    ALCdevice* device_ = nullptr;
    ALCcontext* context_ = nullptr;
    std::uint64_t generation_ = 0;
    std::vector<std::unique_ptr<SoundBuffer>> buffers_;
};
