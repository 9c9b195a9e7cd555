#include "framework/SoundBuffer.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <cassert>

WaveFormat WaveFormat::Pcm(int channels, int samplesPerSecond, int bitsPerSample) {
    WaveFormat format;
    format.channels = static_cast<std::uint16_t>(channels);
    format.samplesPerSecond = static_cast<std::uint32_t>(samplesPerSecond);
    format.bitsPerSample = static_cast<std::uint16_t>(bitsPerSample);
    // the product in 64 bits: two 16-bit fields may multiply beyond an int
    format.blockAlign = static_cast<std::uint16_t>(static_cast<std::int64_t>(channels) * bitsPerSample / 8);
    format.averageBytesPerSecond = format.blockAlign * format.samplesPerSecond;
    return format;
}

namespace {

// the OpenAL format of a PCM layout; 0 when OpenAL cannot play it
ALenum AlFormat(const WaveFormat& format) {
    if (format.channels == 1 && format.bitsPerSample == 8) {
        return AL_FORMAT_MONO8;
    }
    if (format.channels == 1 && format.bitsPerSample == 16) {
        return AL_FORMAT_MONO16;
    }
    if (format.channels == 2 && format.bitsPerSample == 8) {
        return AL_FORMAT_STEREO8;
    }
    if (format.channels == 2 && format.bitsPerSample == 16) {
        return AL_FORMAT_STEREO16;
    }
    return 0;
}

// the sample rates a buffer may have
constexpr std::uint32_t kMinimumRate = 100;
constexpr std::uint32_t kMaximumRate = 200000;

} // namespace

SoundBuffer::SoundBuffer(ALCdevice* device, ALCcontext* context, std::size_t bytes, const WaveFormat& format,
                         bool& created)
    : device_(device), context_(context), format_(format) {
    created = false;
    if (AlFormat(format) == 0 || format.formatTag != WaveFormat::kPcm ||
        format.samplesPerSecond < kMinimumRate || format.samplesPerSecond > kMaximumRate ||
        bytes < kMinimumBytes || bytes > kMaximumBytes || bytes % format.blockAlign != 0) {
        return;
    }
    memory_.assign(bytes, format.bitsPerSample == 8 ? 0x80 : 0); // silence

    MakeCurrent();
    alGetError();
    alGenBuffers(1, &buffer_);
    if (alGetError() != AL_NO_ERROR) {
        buffer_ = 0;
        return;
    }
    alGenSources(1, &source_);
    if (alGetError() != AL_NO_ERROR) {
        source_ = 0;
        return;
    }
    // a stereo buffer plays as it is, beside the listener
    alSourcei(source_, AL_SOURCE_RELATIVE, AL_TRUE);
    alSource3f(source_, AL_POSITION, 0.0f, 0.0f, 0.0f);
    created = alGetError() == AL_NO_ERROR && Upload();
}

SoundBuffer::~SoundBuffer() {
    MakeCurrent();
    if (source_ != 0) {
        alSourceStop(source_);
        alSourcei(source_, AL_BUFFER, 0);
        alDeleteSources(1, &source_);
    }
    if (buffer_ != 0) {
        alDeleteBuffers(1, &buffer_);
    }
}

void SoundBuffer::MakeCurrent() const {
    if (alcGetCurrentContext() != context_) {
        alcMakeContextCurrent(context_);
    }
}

bool SoundBuffer::Upload() {
    // OpenAL refuses new samples for a buffer that a source holds: detach it for the
    // copy and put the source back where it was
    ALint state = AL_INITIAL;
    ALint offset = 0;
    alGetSourcei(source_, AL_SOURCE_STATE, &state);
    alGetSourcei(source_, AL_SAMPLE_OFFSET, &offset);
    alSourceStop(source_);
    alSourcei(source_, AL_BUFFER, 0);
    alGetError();
    alBufferData(buffer_, AlFormat(format_), memory_.data(), static_cast<ALsizei>(memory_.size()),
                 static_cast<ALsizei>(format_.samplesPerSecond));
    const bool accepted = alGetError() == AL_NO_ERROR;
    alSourcei(source_, AL_BUFFER, static_cast<ALint>(buffer_));
    if (state == AL_PLAYING || state == AL_PAUSED) {
        alSourcei(source_, AL_SAMPLE_OFFSET, offset);
        if (state == AL_PLAYING) {
            alSourcePlay(source_);
        }
    }
    return accepted && alGetError() == AL_NO_ERROR;
}

bool SoundBuffer::Lock(std::uint8_t*& memory, std::size_t& bytes) {
    if (locked_) {
        return false;
    }
    locked_ = true;
    memory = memory_.data();
    bytes = memory_.size();
    return true;
}

bool SoundBuffer::Unlock(const std::uint8_t* memory, std::size_t bytes) {
    if (!locked_ || memory != memory_.data() || bytes > memory_.size()) {
        return false;
    }
    locked_ = false;
    MakeCurrent();
    return Upload();
}

bool SoundBuffer::Play(bool loop) {
    MakeCurrent();
    alGetError();
    alSourcei(source_, AL_LOOPING, loop ? AL_TRUE : AL_FALSE);
    ALint state = AL_INITIAL;
    alGetSourcei(source_, AL_SOURCE_STATE, &state);
    // play from the current position: a stopped or rewound source starts at the
    // beginning, a paused one resumes, a playing one goes on
    if (state != AL_PLAYING) {
        alSourcePlay(source_);
    }
    return alGetError() == AL_NO_ERROR;
}

void SoundBuffer::Stop() {
    MakeCurrent();
    alSourcePause(source_);
}

void SoundBuffer::Rewind() {
    MakeCurrent();
    alSourceRewind(source_);
}

bool SoundBuffer::IsPlaying() const {
    MakeCurrent();
    ALint state = AL_INITIAL;
    alGetSourcei(source_, AL_SOURCE_STATE, &state);
    return state == AL_PLAYING;
}

std::size_t SoundBuffer::PlayPosition() const {
    MakeCurrent();
    ALint offset = 0;
    alGetSourcei(source_, AL_SAMPLE_OFFSET, &offset);
    return offset < 0 ? 0 : static_cast<std::size_t>(offset);
}

bool SoundBuffer::IsLost() const {
    if (alcIsExtensionPresent(device_, "ALC_EXT_disconnect") != ALC_TRUE) {
        return false;
    }
    ALCint connected = ALC_TRUE;
    alcGetIntegerv(device_, ALC_CONNECTED, 1, &connected);
    return connected == ALC_FALSE;
}

bool SoundBuffer::Restore() {
    if (IsLost()) {
        return false;
    }
    MakeCurrent();
    return Upload();
}
