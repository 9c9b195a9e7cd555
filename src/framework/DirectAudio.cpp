#include "framework/DirectAudio.h"

#include <AL/al.h>
#include <AL/alc.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "common/LogWriter.h"
#include "common/Messages.h"

namespace {

const wchar_t* const kSource = L"..\\..\\..\\..\\..\\COMMON\\SRC\\Vc\\DirectAudio";

std::atomic<std::uint64_t> openedDevices{0};

} // namespace

DirectAudio::DirectAudio() = default;

DirectAudio::~DirectAudio() {
    // normally freed by the application already; the OpenAL objects must not leak
    if (device_ != nullptr) {
        ReleaseSound();
    }
}

void DirectAudio::Create(const DirectAudioConfig& /*config*/) {
    Log(kSource, __LINE__, L"DirectAudio: DirectAudio 初期化開始", 2);
    InitAll();
    Log(kSource, __LINE__, L"DirectAudio: DirectAudio 初期化終了", 2);
}

void DirectAudio::Free() {
    Log(kSource, __LINE__, L"DirectAudio: DirectAudio 解放開始", 2);
    ReleaseAll();
    Log(kSource, __LINE__, L"DirectAudio: DirectAudio 解放終了", 2);
}

void DirectAudio::InitAll() {
    InitSound();
    OnSoundInitialized();
}

void DirectAudio::ReleaseAll() {
    ReleaseSound();
}

void DirectAudio::InitSound() {
    // a second initialisation replaces the first device
    ReleaseSound();

    device_ = alcOpenDevice(outputDevice_.empty() ? nullptr : outputDevice_.c_str());
    if (device_ == nullptr) {
        Log(kSource, __LINE__, L"DirectSound: DirectSoundCreate8 に失敗", 1);
        throw init_error(CommonMessage(119));
    }
    // the context is what the buffers play in; the counterpart of the cooperative level
    context_ = alcCreateContext(device_, nullptr);
    if (context_ == nullptr || alcMakeContextCurrent(context_) != ALC_TRUE) {
        if (context_ != nullptr) {
            alcDestroyContext(context_);
            context_ = nullptr;
        }
        alcCloseDevice(device_);
        device_ = nullptr;
        Log(kSource, __LINE__, L"DirectSound: SetCooperativeLevel に失敗", 1);
        throw init_error(CommonMessage(119));
    }
    generation_ = ++openedDevices;
}

void DirectAudio::ReleaseSound() {
    ReleaseBuffers();
    if (context_ != nullptr) {
        if (alcGetCurrentContext() == context_) {
            alcMakeContextCurrent(nullptr);
        }
        alcDestroyContext(context_);
        context_ = nullptr;
    }
    if (device_ != nullptr) {
        alcCloseDevice(device_);
        device_ = nullptr;
    }
}

void DirectAudio::ReleaseBuffers() {
    for (auto& buffer : buffers_) {
        StopBuffer(buffer.get());
    }
    buffers_.clear();
}

SoundBuffer* DirectAudio::CreateBuffer(std::size_t bytes, int channels, int samplesPerSecond,
                                       int bitsPerSample) {
    // a buffer needs a device, and channels, rate and sample size that fit the format's fields
    bool created = false;
    std::unique_ptr<SoundBuffer> buffer;
    if (device_ != nullptr && channels > 0 && channels <= 0xFFFF && samplesPerSecond > 0 &&
        bitsPerSample > 0 && bitsPerSample <= 0xFFFF) {
        buffer = std::make_unique<SoundBuffer>(
            device_, context_, bytes, WaveFormat::Pcm(channels, samplesPerSecond, bitsPerSample), created);
    }
    if (!created) {
        Log(kSource, __LINE__, L"DirectSound: DIRECTSOUNDBUFFER の作成に失敗しました。", 1);
        throw exec_error(CommonMessage(119));
    }
    buffers_.push_back(std::move(buffer));
    return buffers_.back().get();
}

void DirectAudio::FillBuffer(SoundBuffer* buffer, const std::vector<std::uint8_t>& sound) {
    if (buffer == nullptr) {
        return;
    }
    std::uint8_t* memory = nullptr;
    std::size_t bytes = 0;
    if (!buffer->Lock(memory, bytes)) {
        Log(kSource, __LINE__, L"DirectSound: バッファの初期化に失敗しました。", 1);
        throw exec_error(CommonMessage(124));
    }
    // a longer sound is cut at the end of the buffer
    if (!sound.empty()) {
        std::memcpy(memory, sound.data(), std::min(bytes, sound.size()));
    }
    if (!buffer->Unlock(memory, bytes)) {
        Log(kSource, __LINE__, L"DirectSound: バッファの初期化に失敗しました。", 1);
        throw exec_error(CommonMessage(124));
    }
}

void DirectAudio::PlayBuffer(SoundBuffer* buffer, bool loop) {
    if (buffer == nullptr) {
        return;
    }
    if (buffer->IsLost()) {
        RestoreBuffers();
    }
    buffer->Play(loop);
}

void DirectAudio::StopBuffer(SoundBuffer* buffer) {
    if (buffer == nullptr) {
        return;
    }
    buffer->Stop();
    buffer->Rewind();
}

void DirectAudio::RestoreBuffers() {
    for (auto& buffer : buffers_) {
        if (!buffer->Restore()) {
            Log(kSource, __LINE__, L"Application: サウンドバッファの復旧に失敗しました。", 1);
            return;
        }
    }
    OnSoundInitialized();
}
