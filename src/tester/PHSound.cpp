#include "tester/PHSound.h"

#include <cmath>
#include <cstring>
#include <numbers>

#include "common/LogWriter.h"
#include "common/Messages.h"
#include "framework/DirectAudio.h"
#include "framework/SoundBuffer.h"
#include "physics/SimulationParameters.h"

namespace {

const wchar_t* const kSource = L".\\PHSound";

// a channel's value as a 16-bit sample: clamped, then truncated toward zero; a value
// that is not a number (from a non-finite input) is silence
std::int16_t ToSample(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    if (value > 32767.0) {
        return 32767;
    }
    if (value < -32768.0) {
        return -32768;
    }
    return static_cast<std::int16_t>(value);
}

} // namespace

// the buffers belong to the sound device, which is released before the world and its sound
PHSound::~PHSound() = default;

void PHSound::Play(double amplitude, double decay, double frequency, double dx, double dy, double dz) {
    DirectAudio* device = SimulationParameters::Instance().soundDevice;
    if (device == nullptr || !device->HasDevice()) {
        return;
    }

    // the ring is created on the first sound (and again on a device opened since)
    if (!created_ || device != device_ || device->Generation() != deviceGeneration_) {
        created_ = false;
        std::array<SoundBuffer*, kBufferCount> buffers{};
        for (SoundBuffer*& buffer : buffers) {
            buffer = device->CreateBuffer(kBytes, 2, kFramesPerSecond, 16);
        }
        buffers_ = buffers;
        device_ = device;
        deviceGeneration_ = device->Generation();
        next_ = 0;
        created_ = true;
    }

    // the oldest buffer of the ring
    SoundBuffer* buffer = buffers_[static_cast<std::size_t>(next_)];
    device->StopBuffer(buffer);
    next_ = (next_ + 1) % kBufferCount;
    device->StopBuffer(buffer);

    std::uint8_t* memory = nullptr;
    std::size_t bytes = 0;
    if (!buffer->Lock(memory, bytes) || bytes < static_cast<std::size_t>(kBytes)) {
        Log(kSource, 59, L"CDirectSound: バッファの初期化に失敗しました。", 1);
        throw exec_error(ProgramMessage(129));
    }

    // loudness falls with the distance; the balance follows the sideways offset
    const double distance = std::sqrt(dx * dx + dy * dy + dz * dz);
    const double balance = distance == 0.0 ? 0.0 : dx / distance;
    if (amplitude / (distance + 1.0) > 32767.0) {
        amplitude = 32767.0 * (distance + 1.0);
    }

    // a decaying sine tone, first channel then second channel per frame
    for (int i = 0; i < kFrames; ++i) {
        const double s = std::sin(2.0 * std::numbers::pi * frequency * i / kFramesPerSecond);
        const double v = amplitude * s / (distance + 1.0);
        const std::int16_t frame[2] = {ToSample(v * (1.0 + balance)), ToSample(v * (1.0 - balance))};
        std::memcpy(memory + static_cast<std::size_t>(i) * sizeof(frame), frame, sizeof(frame));
        amplitude *= decay;
    }

    if (!buffer->Unlock(memory, bytes)) {
        Log(kSource, 129, L"CDirectSound: バッファの初期化に失敗しました。", 1);
        throw exec_error(ProgramMessage(129));
    }
    device->PlayBuffer(buffer, false);
}
