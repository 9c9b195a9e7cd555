#include "framework/DirectAudio.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "common/Messages.h"
#include "support/TestSupport.h"

namespace {

class TestAudio : public DirectAudio {
public:
    ~TestAudio() override { Free(); }
    MainWindowLink* GetWindow() override { return nullptr; }
    void* GetInstance() override { return nullptr; }
};

int CountRecords(const RecordingLogWriter& writer, const std::wstring& message) {
    int count = 0;
    for (const auto& record : writer.Records()) {
        count += record.message == message ? 1 : 0;
    }
    return count;
}

// waits until the condition holds, for at most half a minute (a loaded machine may
// run the output device's mixing thread late)
template <typename Condition> bool WaitFor(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

} // namespace

TEST(DirectAudio, BufferFormatFollowsChannelsRateAndSampleSize) {
    ScopedLogCapture log;
    TestAudio audio;
    audio.Create(DirectAudioConfig{});
    ASSERT_TRUE(audio.HasDevice());

    // 0.1 s of 16-bit stereo
    SoundBuffer* buffer = audio.CreateBuffer(17640, 2, 44100, 16);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(buffer->Format().formatTag, 1);
    EXPECT_EQ(buffer->Format().channels, 2);
    EXPECT_EQ(buffer->Format().samplesPerSecond, 44100u);
    EXPECT_EQ(buffer->Format().bitsPerSample, 16);
    EXPECT_EQ(buffer->Format().blockAlign, 4);
    EXPECT_EQ(buffer->Format().averageBytesPerSecond, 176400u);
    EXPECT_EQ(buffer->Format().extraBytes, 0);
    EXPECT_EQ(buffer->Size(), 17640u);
    EXPECT_FALSE(buffer->IsPlaying());
    EXPECT_EQ(buffer->Memory(), std::vector<std::uint8_t>(17640, 0)) << "a new buffer is silent";

    const WaveFormat mono8 = WaveFormat::Pcm(1, 22050, 8);
    EXPECT_EQ(mono8.blockAlign, 1);
    EXPECT_EQ(mono8.averageBytesPerSecond, 22050u);
    // the widest fields: the block is 65535 x 65535 / 8 bytes, of which its 16-bit field keeps the low bits
    EXPECT_EQ(WaveFormat::Pcm(65535, 44100, 65535).blockAlign, (65535LL * 65535 / 8) & 0xFFFF);
    EXPECT_EQ(audio.CreateBuffer(100, 1, 22050, 8)->Memory(), std::vector<std::uint8_t>(100, 0x80));
    EXPECT_EQ(audio.BufferCount(), 2u);
}

TEST(DirectAudio, UnplayableBuffersFailWithTheSoundMessage) {
    ScopedLogCapture log(4, true);
    TestAudio audio;
    // no device yet
    EXPECT_THROW(audio.CreateBuffer(17640, 2, 44100, 16), DirectX::exec_error);
    audio.Create(DirectAudioConfig{});

    struct Request {
        std::size_t bytes;
        int channels;
        int rate;
        int bits;
    };
    const std::vector<Request> requests = {
        {17640, 3, 44100, 16},
        {17640, 2, 44100, 12},
        {0, 2, 44100, 16},
        {17641, 2, 44100, 16},
        {17640, 2, 0, 16},
        {17640, 2, -44100, 16},
        {17640, 0, 44100, 16},
        {std::size_t(1) << 40, 2, 44100, 16},
        {17640, 2, 44100, -16},
        {17640, 65538, 44100, 16},
        {17640, 65535, 44100, 65535},
        {17640, 2, 44100, 65535},
    };
    for (const Request& request : requests) {
        log.Writer().Clear();
        try {
            audio.CreateBuffer(request.bytes, request.channels, request.rate, request.bits);
            ADD_FAILURE() << request.bytes << " bytes, " << request.channels << " channels, " << request.rate
                          << " Hz, " << request.bits << " bits accepted";
        } catch (const DirectX::exec_error& e) {
            EXPECT_EQ(std::wstring(e.what()), CommonMessage(119));
        }
        EXPECT_EQ(CountRecords(log.Writer(), L"DirectSound: DIRECTSOUNDBUFFER の作成に失敗しました。"), 1);
    }
    EXPECT_EQ(audio.BufferCount(), 0u);
}

TEST(DirectAudio, MissingSoundDeviceFailsInitialisationWithMessage119) {
    ScopedLogCapture log(4, true);
    TestAudio audio;
    audio.SetOutputDevice("Kivaro test: no such output device");
    try {
        audio.Create(DirectAudioConfig{});
        FAIL() << "a missing device was opened";
    } catch (const DirectX::init_error& e) {
        EXPECT_EQ(std::wstring(e.what()), CommonMessage(119));
    }
    EXPECT_FALSE(audio.HasDevice());
    const auto errors = log.Writer().Errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].message, L"DirectSound: DirectSoundCreate8 に失敗");
    EXPECT_EQ(errors[0].sourceFile, L"..\\..\\..\\..\\..\\COMMON\\SRC\\Vc\\DirectAudio");
}

TEST(DirectAudio, StopRewindsSoThatPlayStartsAgain) {
    ScopedLogCapture log;
    TestAudio audio;
    audio.Create(DirectAudioConfig{});
    // ten seconds of mono sound: long enough that a test thread held up for a few
    // seconds by a loaded machine still finds it playing
    SoundBuffer* buffer = audio.CreateBuffer(882000, 1, 44100, 16);

    audio.PlayBuffer(buffer, false);
    EXPECT_TRUE(buffer->IsPlaying());
    ASSERT_TRUE(WaitFor([&] { return buffer->PlayPosition() > 22050; }))
        << "the output device does not advance";
    const std::size_t reached = buffer->PlayPosition();

    audio.StopBuffer(buffer);
    EXPECT_FALSE(buffer->IsPlaying());
    EXPECT_EQ(buffer->PlayPosition(), 0u);
    audio.PlayBuffer(buffer, false);
    EXPECT_TRUE(buffer->IsPlaying());
    EXPECT_LT(buffer->PlayPosition(), reached);

    // playing a playing buffer goes on from where it is
    ASSERT_TRUE(WaitFor([&] { return buffer->PlayPosition() > 4410; }));
    const std::size_t before = buffer->PlayPosition();
    audio.PlayBuffer(buffer, false);
    EXPECT_TRUE(buffer->IsPlaying());
    EXPECT_GE(buffer->PlayPosition(), before);

    // null buffers are ignored
    audio.PlayBuffer(nullptr, false);
    audio.StopBuffer(nullptr);
    audio.FillBuffer(nullptr, {1, 2, 3});
}

TEST(DirectAudio, OnceEndsAndLoopingGoesOn) {
    ScopedLogCapture log;
    TestAudio audio;
    audio.Create(DirectAudioConfig{});
    // a quarter second played once, 20 ms looping
    SoundBuffer* once = audio.CreateBuffer(44100, 2, 44100, 16);
    SoundBuffer* looping = audio.CreateBuffer(3528, 2, 44100, 16);
    audio.PlayBuffer(once, false);
    audio.PlayBuffer(looping, true);
    ASSERT_TRUE(WaitFor([&] { return !once->IsPlaying(); }));
    EXPECT_TRUE(looping->IsPlaying())
        << "a looping buffer ran out in the time another played 12 times its length";
    audio.StopBuffer(looping);
    EXPECT_FALSE(looping->IsPlaying());
    // a buffer that ended plays again from its start
    audio.PlayBuffer(once, false);
    EXPECT_TRUE(once->IsPlaying());
    EXPECT_LT(once->PlayPosition(), 11025u);
}

TEST(DirectAudio, FillBufferCopiesTheSoundIntoTheBuffer) {
    ScopedLogCapture log(4, true);
    TestAudio audio;
    audio.Create(DirectAudioConfig{});
    SoundBuffer* buffer = audio.CreateBuffer(8, 1, 44100, 16);

    audio.FillBuffer(buffer, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    EXPECT_EQ(buffer->Memory(), (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}))
        << "cut at the buffer's end";
    audio.FillBuffer(buffer, {20, 21});
    EXPECT_EQ(buffer->Memory(), (std::vector<std::uint8_t>{20, 21, 3, 4, 5, 6, 7, 8})) << "the rest stays";
    audio.FillBuffer(buffer, {});
    EXPECT_EQ(buffer->Memory()[0], 20);

    // a buffer that someone holds locked cannot be filled
    std::uint8_t* memory = nullptr;
    std::size_t bytes = 0;
    ASSERT_TRUE(buffer->Lock(memory, bytes));
    EXPECT_EQ(bytes, 8u);
    try {
        audio.FillBuffer(buffer, {1});
        ADD_FAILURE() << "a locked buffer was filled";
    } catch (const DirectX::exec_error& e) {
        EXPECT_EQ(std::wstring(e.what()), CommonMessage(124));
    }
    EXPECT_EQ(CountRecords(log.Writer(), L"DirectSound: バッファの初期化に失敗しました。"), 1);
    // unlocking needs the memory that was locked
    EXPECT_FALSE(buffer->Unlock(memory + 1, bytes));
    EXPECT_TRUE(buffer->Unlock(memory, bytes));
    EXPECT_FALSE(buffer->Unlock(memory, bytes)) << "unlocked twice";
}

TEST(DirectAudio, CreateAndFreeWriteTheirRecordsAndReleaseEverything) {
    ScopedLogCapture log;
    {
        TestAudio audio;
        audio.Create(DirectAudioConfig{});
        const std::uint64_t generation = audio.Generation();
        audio.PlayBuffer(audio.CreateBuffer(17640, 2, 44100, 16), true);
        audio.Free();
        EXPECT_FALSE(audio.HasDevice());
        EXPECT_EQ(audio.BufferCount(), 0u);
        // opened again: a new device generation
        audio.Create(DirectAudioConfig{});
        EXPECT_NE(audio.Generation(), generation);
        audio.RestoreBuffers();
    }
    std::vector<std::wstring> messages;
    for (const auto& record : log.Writer().Records()) {
        EXPECT_EQ(record.level, 2);
        messages.push_back(record.message);
    }
    const std::vector<std::wstring> expected = {
        L"DirectAudio: DirectAudio 初期化開始", L"DirectAudio: DirectAudio 初期化終了",
        L"DirectAudio: DirectAudio 解放開始",   L"DirectAudio: DirectAudio 解放終了",
        L"DirectAudio: DirectAudio 初期化開始", L"DirectAudio: DirectAudio 初期化終了",
        L"DirectAudio: DirectAudio 解放開始",   L"DirectAudio: DirectAudio 解放終了",
    };
    EXPECT_EQ(messages, expected);
}
