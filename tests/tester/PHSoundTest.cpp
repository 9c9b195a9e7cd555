#include "tester/PHSound.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <numbers>
#include <vector>

#include "common/Messages.h"
#include "framework/DirectAudio.h"
#include "framework/SoundBuffer.h"
#include "physics/SimulationParameters.h"
#include "physics/support/WorldTestSupport.h"
#include "support/TestSupport.h"
#include "tester/ImpactSoundListener.h"

namespace {

// the real sound part, noting what it is asked to stop and to play
class TestAudio : public DirectAudio {
public:
    struct Request {
        char what; // 'S' stop, 'P' play once, 'L' play looping
        const SoundBuffer* buffer;
        bool operator==(const Request&) const = default;
    };

    ~TestAudio() override { Free(); }
    MainWindowLink* GetWindow() override { return nullptr; }
    void* GetInstance() override { return nullptr; }
    void PlayBuffer(SoundBuffer* buffer, bool loop) override {
        requests.push_back(Request{loop ? 'L' : 'P', buffer});
        DirectAudio::PlayBuffer(buffer, loop);
    }
    void StopBuffer(SoundBuffer* buffer) override {
        requests.push_back(Request{'S', buffer});
        DirectAudio::StopBuffer(buffer);
    }

    std::vector<Request> requests;
};

// what one impact sound asks of the part: stop its buffer twice, then play it once
std::vector<TestAudio::Request> OneImpact(const SoundBuffer* buffer) {
    return {{'S', buffer}, {'S', buffer}, {'P', buffer}};
}

// a sound device for the process-wide parameters while the fixture lives
class PHSoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        audio_.Create(DirectAudioConfig{});
        SimulationParameters::Instance().soundDevice = &audio_;
    }
    void TearDown() override { SimulationParameters::Instance().soundDevice = nullptr; }

    TestAudio audio_;
};

struct Frame {
    std::int16_t first;
    std::int16_t second;
};

std::vector<Frame> FramesOf(const SoundBuffer* buffer) {
    std::vector<Frame> frames(buffer->Memory().size() / sizeof(Frame));
    std::memcpy(frames.data(), buffer->Memory().data(), frames.size() * sizeof(Frame));
    return frames;
}

// the tone as the sound is meant to be: attenuated by distance, balanced by the
// sideways offset, clamped and truncated per channel
std::vector<Frame> ExpectedTone(double amplitude, double decay, double frequency, double dx, double dy,
                                double dz) {
    const double distance = std::sqrt(dx * dx + dy * dy + dz * dz);
    const double balance = distance > 0.0 ? dx / distance : 0.0;
    const double peak = std::min(amplitude / (distance + 1.0), 32767.0);
    std::vector<Frame> frames;
    for (int i = 0; i < PHSound::kFrames; ++i) {
        const double v =
            peak * std::pow(decay, i) * std::sin(2.0 * std::numbers::pi * frequency * i / 44100.0);
        auto channel = [](double x) { return static_cast<std::int16_t>(std::clamp(x, -32768.0, 32767.0)); };
        frames.push_back(Frame{channel(v * (1.0 + balance)), channel(v * (1.0 - balance))});
    }
    return frames;
}

// every frame within one sample unit of the expected tone (the decay is applied by
// repeated multiplication, the reference uses a power)
::testing::AssertionResult MatchesTone(const std::vector<Frame>& frames, const std::vector<Frame>& expected) {
    if (frames.size() != expected.size()) {
        return ::testing::AssertionFailure() << frames.size() << " frames, expected " << expected.size();
    }
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (std::abs(frames[i].first - expected[i].first) > 1 ||
            std::abs(frames[i].second - expected[i].second) > 1) {
            return ::testing::AssertionFailure()
                   << "frame " << i << ": (" << frames[i].first << ", " << frames[i].second << "), expected ("
                   << expected[i].first << ", " << expected[i].second << ")";
        }
    }
    return ::testing::AssertionSuccess();
}

} // namespace

TEST(PHSound, WithoutSoundDeviceDoesNothing) {
    ScopedLogCapture log;
    SimulationParameters::Instance().soundDevice = nullptr;
    PHSound sound;
    sound.Play(1000.0, 0.999, 50.0, 1.0, 2.0, 3.0);
    EXPECT_EQ(sound.Buffer(0), nullptr);
    EXPECT_EQ(sound.Next(), 0);
}

TEST_F(PHSoundTest, ToneAtTheListenerFillsBothChannelsEqually) {
    ScopedLogCapture log;
    PHSound sound;
    // 441 Hz: one period every 100 frames, so the peaks fall on whole frames
    sound.Play(1000.0, 1.0, 441.0, 0.0, 0.0, 0.0);
    ASSERT_NE(sound.Buffer(0), nullptr);
    EXPECT_EQ(audio_.BufferCount(), 20u) << "the ring is created on the first sound";
    for (int i = 0; i < PHSound::kBufferCount; ++i) {
        EXPECT_EQ(sound.Buffer(i)->Size(), 17640u);
        EXPECT_EQ(sound.Buffer(i)->Format().channels, 2);
        EXPECT_EQ(sound.Buffer(i)->Format().samplesPerSecond, 44100u);
        EXPECT_EQ(sound.Buffer(i)->Format().bitsPerSample, 16);
    }
    EXPECT_EQ(audio_.requests, OneImpact(sound.Buffer(0)));

    const std::vector<Frame> frames = FramesOf(sound.Buffer(0));
    ASSERT_EQ(frames.size(), 4410u);
    for (const Frame& frame : frames) {
        ASSERT_EQ(frame.first, frame.second);
    }
    EXPECT_EQ(frames[0].first, 0);
    EXPECT_EQ(frames[25].first, 1000) << "the peak is the amplitude itself";
    EXPECT_EQ(frames[75].first, -1000);
    // decay 1.0: the same loudness to the end
    EXPECT_EQ(frames[4325].first, 1000);
    EXPECT_EQ(frames[4375].first, -1000);
    EXPECT_TRUE(MatchesTone(frames, ExpectedTone(1000.0, 1.0, 441.0, 0.0, 0.0, 0.0)));
}

TEST_F(PHSoundTest, ImpactToOneSideSilencesTheOtherChannel) {
    ScopedLogCapture log;
    PHSound sound;
    // straight to the side at 3 m: a quarter of the amplitude, doubled in the first channel
    sound.Play(1000.0, 1.0, 441.0, 3.0, 0.0, 0.0);
    std::vector<Frame> frames = FramesOf(sound.Buffer(0));
    EXPECT_EQ(frames[25].first, 500);
    EXPECT_EQ(frames[75].first, -500);
    for (const Frame& frame : frames) {
        ASSERT_EQ(frame.second, 0);
    }
    // the other side
    sound.Play(1000.0, 1.0, 441.0, -3.0, 0.0, 0.0);
    frames = FramesOf(sound.Buffer(1));
    EXPECT_EQ(frames[25].second, 500);
    for (const Frame& frame : frames) {
        ASSERT_EQ(frame.first, 0);
    }
    // loud and to one side: twice the attenuated value, clamped to the 16-bit range
    sound.Play(1.0e6, 1.0, 441.0, 3.0, 0.0, 0.0);
    frames = FramesOf(sound.Buffer(2));
    EXPECT_EQ(frames[25].first, 32767);
    EXPECT_EQ(frames[75].first, -32768);
    EXPECT_EQ(frames[25].second, 0);
    EXPECT_TRUE(MatchesTone(frames, ExpectedTone(1.0e6, 1.0, 441.0, 3.0, 0.0, 0.0)));
    // up and ahead count for the distance, not for the balance
    sound.Play(1000.0, 1.0, 441.0, 0.0, 3.0, 4.0);
    frames = FramesOf(sound.Buffer(3));
    EXPECT_EQ(frames[25].first, 166);
    EXPECT_EQ(frames[25].second, 166);
    // 1000 / 6 is cut toward zero on both sides of silence, not rounded and not floored
    EXPECT_EQ(frames[75].first, -166);
    EXPECT_EQ(frames[75].second, -166);
}

TEST_F(PHSoundTest, LoudImpactIsLoweredToTheLargestSample) {
    ScopedLogCapture log;
    PHSound sound;
    sound.Play(1.0e6, 1.0, 441.0, 0.0, 0.0, 0.0);
    const std::vector<Frame> frames = FramesOf(sound.Buffer(0));
    EXPECT_EQ(frames[25].first, 32767);
    EXPECT_EQ(frames[25].second, 32767);
    EXPECT_EQ(frames[75].first, -32767) << "lowered to 32767 before synthesis, not clamped after";
    // a quarter period in: 32767 * sin(pi/4)
    EXPECT_EQ(frames[12].first,
              static_cast<std::int16_t>(32767.0 * std::sin(2.0 * std::numbers::pi * 12 / 100.0)));
}

TEST_F(PHSoundTest, DecayLowersTheToneFrameByFrame) {
    ScopedLogCapture log;
    PHSound sound;
    sound.Play(10000.0, 0.999, 441.0, 0.0, 0.0, 0.0);
    const std::vector<Frame> frames = FramesOf(sound.Buffer(0));
    EXPECT_EQ(frames[25].first, static_cast<std::int16_t>(10000.0 * std::pow(0.999, 25)));
    // at the last peak about 1.3 % is left (1.2 % by the last frame)
    const double lastPeak = frames[4325].first;
    EXPECT_NEAR(lastPeak / 10000.0, std::pow(0.999, 4325), 1.0e-4);
    EXPECT_NEAR(lastPeak / 10000.0, 0.013, 0.001);
    EXPECT_TRUE(MatchesTone(frames, ExpectedTone(10000.0, 0.999, 441.0, 0.0, 0.0, 0.0)));
}

TEST_F(PHSoundTest, TwentyFirstImpactReusesTheFirstBuffer) {
    ScopedLogCapture log;
    PHSound sound;
    for (int i = 0; i < PHSound::kBufferCount; ++i) {
        EXPECT_EQ(sound.Next(), i);
        sound.Play(1000.0, 1.0, 441.0, 0.0, 0.0, 0.0);
    }
    EXPECT_EQ(sound.Next(), 0);
    SoundBuffer* first = sound.Buffer(0);
    // the 21st: another tone, written over the first buffer, which is stopped and played again
    audio_.requests.clear();
    sound.Play(2000.0, 1.0, 441.0, 0.0, 0.0, 0.0);
    EXPECT_EQ(sound.Buffer(0), first);
    EXPECT_EQ(sound.Next(), 1);
    EXPECT_EQ(FramesOf(first)[25].first, 2000);
    EXPECT_EQ(FramesOf(sound.Buffer(1))[25].first, 1000);
    EXPECT_EQ(audio_.requests, OneImpact(first));
    EXPECT_EQ(audio_.BufferCount(), 20u) << "no buffers after the first sound";
}

TEST_F(PHSoundTest, NonFiniteImpactsAreSilent) {
    ScopedLogCapture log;
    PHSound sound;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    sound.Play(nan, 0.999, 50.0, 0.0, 0.0, 0.0);
    sound.Play(1000.0, 0.999, 50.0, infinity, 0.0, 0.0);
    sound.Play(1000.0, nan, 50.0, 1.0, 0.0, 0.0);
    sound.Play(1000.0, 0.999, infinity, 1.0, 0.0, 0.0);
    for (int i = 0; i < 4; ++i) {
        const std::vector<Frame> frames = FramesOf(sound.Buffer(i));
        for (std::size_t f = 1; f < frames.size(); ++f) {
            ASSERT_EQ(frames[f].first, 0) << "sound " << i << " frame " << f;
            ASSERT_EQ(frames[f].second, 0) << "sound " << i << " frame " << f;
        }
    }
    // an infinite amplitude is lowered like any loud one
    sound.Play(infinity, 1.0, 441.0, 0.0, 0.0, 0.0);
    EXPECT_EQ(FramesOf(sound.Buffer(4))[25].first, 32767);
}

TEST_F(PHSoundTest, BufferThatCannotBeLockedFailsWithTheProgramsMessage) {
    ScopedLogCapture log(4, true);
    PHSound sound;
    sound.Play(1000.0, 1.0, 441.0, 0.0, 0.0, 0.0);
    // someone holds the next buffer locked
    std::uint8_t* memory = nullptr;
    std::size_t bytes = 0;
    ASSERT_TRUE(sound.Buffer(1)->Lock(memory, bytes));
    try {
        sound.Play(1000.0, 1.0, 441.0, 0.0, 0.0, 0.0);
        ADD_FAILURE() << "a locked buffer was written";
    } catch (const exec_error& e) {
        EXPECT_EQ(std::wstring(e.what()), ProgramMessage(129));
    }
    const auto errors = log.Writer().Errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].sourceFile, L".\\PHSound");
    EXPECT_EQ(errors[0].line, 59);
    EXPECT_EQ(errors[0].message, L"CDirectSound: バッファの初期化に失敗しました。");
    EXPECT_TRUE(sound.Buffer(1)->Unlock(memory, bytes));
    // the ring went on: the next sound uses the buffer after it
    EXPECT_EQ(sound.Next(), 2);
}

TEST_F(PHSoundTest, NewSoundDeviceGetsANewRing) {
    ScopedLogCapture log;
    PHSound sound;
    sound.Play(1000.0, 1.0, 441.0, 0.0, 0.0, 0.0);
    // the device is closed and opened again: the old buffers are gone
    audio_.Free();
    audio_.Create(DirectAudioConfig{});
    sound.Play(1000.0, 1.0, 441.0, 0.0, 0.0, 0.0);
    EXPECT_EQ(audio_.BufferCount(), 20u);
    EXPECT_EQ(FramesOf(sound.Buffer(0))[25].first, 1000);
    EXPECT_EQ(sound.Next(), 1);
}

// the world's impacts heard through the impact sound listener, written into the device's buffers
class DroppedBallTest : public WorldTest {
protected:
    void SetUp() override {
        WorldTest::SetUp();
        audio_.Create(DirectAudioConfig{});
        SimulationParameters::Instance().soundDevice = &audio_;
    }
    void TearDown() override {
        SimulationParameters::Instance().soundDevice = nullptr;
        WorldTest::TearDown();
    }

    TestAudio audio_;
};

/// One Play call.
struct PlayedSound {
    double amplitude, decay, frequency, dx, dy, dz;
};

// the real sound, noting what it was asked to play
class ListenedSound : public PHSound {
public:
    explicit ListenedSound(std::vector<PlayedSound>* played) : played_(played) {}
    void Play(double amplitude, double decay, double frequency, double dx, double dy, double dz) override {
        played_->push_back(PlayedSound{amplitude, decay, frequency, dx, dy, dz});
        PHSound::Play(amplitude, decay, frequency, dx, dy, dz);
    }

private:
    std::vector<PlayedSound>* played_;
};

TEST_F(DroppedBallTest, BallDroppedOnTheLandWritesItsImpactTone) {
    ScopedLogCapture log;
    auto world = MakeWorld();
    std::vector<PlayedSound> played;
    auto sound = std::make_unique<ListenedSound>(&played);
    ImpactSoundListener listener(*sound);
    world->SetImpactListener(&listener);
    AddLive(*world, L"ball", MakeSphere(Vector3(0.0f, 1.0f, 0.0f), 0.1));

    Steps(*world, 2000);
    ASSERT_FALSE(played.empty()) << "the ball never hit the land hard enough";
    ASSERT_LE(played.size(), 20u);
    // each impact went to its own buffer of the ring, with the tone its arguments describe
    for (std::size_t i = 0; i < played.size(); ++i) {
        const PlayedSound& p = played[i];
        EXPECT_EQ(p.decay, 0.999);
        EXPECT_EQ(p.frequency, 50.0);
        EXPECT_TRUE(MatchesTone(FramesOf(sound->Buffer(static_cast<int>(i))),
                                ExpectedTone(p.amplitude, p.decay, p.frequency, p.dx, p.dy, p.dz)))
            << "impact " << i;
    }
    // the first impact is loud: above 100 m/s^2 times 2000, at a few metres from the eye
    const std::vector<Frame> first = FramesOf(sound->Buffer(0));
    int peak = 0;
    for (const Frame& frame : first) {
        peak = std::max(
            {peak, std::abs(static_cast<int>(frame.first)), std::abs(static_cast<int>(frame.second))});
    }
    EXPECT_GT(peak, 1000);
    EXPECT_EQ(sound->Next(), static_cast<int>(played.size() % PHSound::kBufferCount));
}
