#include "framework/DirectInput.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstddef>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "common/Messages.h"
#include "framework/MainWindowLink.h"
#include "framework/support/TestClocks.h"
#include "support/TestSupport.h"

namespace {

// a desktop that offers the keyboard settings it was given
class SettingsWindow : public MainWindowLink {
public:
    void RequestClose() override {}
    bool ReadKeyboardSetting(const std::wstring& name, std::wstring& value) override {
        const auto found = settings.find(name);
        if (found == settings.end()) {
            return false;
        }
        value = found->second;
        return true;
    }
    std::map<std::wstring, std::wstring> settings;
};

class TestInput : public DirectInput {
public:
    TestInput(MillisecondClock& clock, MainWindowLink* window) : DirectInput(clock), window_(window) {}
    ~TestInput() override { Free(); }
    MainWindowLink* GetWindow() override { return window_; }
    void* GetInstance() override { return nullptr; }

private:
    MainWindowLink* window_;
};

namespace input {
// the events one read of a device returns
std::vector<DIDEVICEOBJECTDATA> Read(DirectInput& input, DIDEVICEOBJECTDATA* (DirectInput::*read)(int&)) {
    int count = -1;
    const DIDEVICEOBJECTDATA* events = (input.*read)(count);
    return events == nullptr || count <= 0 ? std::vector<DIDEVICEOBJECTDATA>{}
                                           : std::vector(events, events + count);
}
} // namespace input

std::vector<DIDEVICEOBJECTDATA> ReadKeys(DirectInput& input) {
    return input::Read(input, &DirectInput::ReadKeyboard);
}

std::vector<DIDEVICEOBJECTDATA> ReadMouse(DirectInput& input) {
    return input::Read(input, &DirectInput::ReadMouse);
}

int CountRecords(const RecordingLogWriter& writer, const std::wstring& message) {
    int count = 0;
    for (const auto& record : writer.Records()) {
        count += record.message == message ? 1 : 0;
    }
    return count;
}

// a window offering delay 1 and speed 31: first repeat after 500 ms, then every 33 ms
SettingsWindow FastRepeatWindow() {
    SettingsWindow window;
    window.settings = {{L"KeyboardDelay", L"1"}, {L"KeyboardSpeed", L"31"}};
    return window;
}

} // namespace

TEST(DirectInput, BurstOfKeysIsReadBufferSizeAtATime) {
    ScopedLogCapture log;
    ManualClock clock(500);
    SettingsWindow window = FastRepeatWindow();
    TestInput input(clock, &window);
    input.SetKeyRepeat(false);
    input.Create(DirectInputConfig{16});
    input.Acquire();

    // 20 events: ten keys pressed and released
    for (std::uint32_t key = 0x10; key < 0x1A; ++key) {
        input.KeyEvent(key, true);
        clock.Advance(1);
        input.KeyEvent(key, false);
        clock.Advance(1);
    }
    const auto first = ReadKeys(input);
    const auto second = ReadKeys(input);
    ASSERT_EQ(first.size(), 16u);
    ASSERT_EQ(second.size(), 4u);
    EXPECT_TRUE(ReadKeys(input).empty());

    // in order, with key code, state, time stamp and rising sequence numbers
    std::vector<DIDEVICEOBJECTDATA> all(first);
    all.insert(all.end(), second.begin(), second.end());
    for (std::size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(all[i].dwOfs, 0x10 + i / 2);
        EXPECT_EQ(all[i].dwData, i % 2 == 0 ? 0x80u : 0u);
        EXPECT_EQ(all[i].dwTimeStamp, 500 + i);
        EXPECT_EQ(all[i].uAppData, 0u);
        if (i > 0) {
            EXPECT_GT(all[i].dwSequence, all[i - 1].dwSequence);
        }
    }
}

TEST(DirectInput, MouseRecordsUseTheStandardMouseLayout) {
    ScopedLogCapture log;
    ManualClock clock;
    SettingsWindow window = FastRepeatWindow();
    TestInput input(clock, &window);
    input.Create(DirectInputConfig{16});
    input.Acquire();

    int x = 0;
    int y = 0;
    EXPECT_FALSE(input.CursorPosition(x, y));
    input.MouseMoved(100, 50); // the first position only sets the origin
    input.MouseMoved(103, 48);
    input.MouseButtonEvent(0, true, 103, 48);
    input.MouseButtonEvent(2, true, 110, 48); // moves right first, then presses
    input.MouseWheelEvent(-120);
    input.MouseButtonEvent(0, false, 110, 48);

    const auto events = ReadMouse(input);
    ASSERT_EQ(events.size(), 7u);
    EXPECT_EQ(events[0].dwOfs, DIMOFS_X);
    EXPECT_EQ(static_cast<std::int32_t>(events[0].dwData), 3);
    EXPECT_EQ(events[1].dwOfs, DIMOFS_Y);
    EXPECT_EQ(static_cast<std::int32_t>(events[1].dwData), -2);
    EXPECT_EQ(events[0].dwSequence, events[1].dwSequence) << "two axes of one move";
    EXPECT_EQ(events[2].dwOfs, DIMOFS_BUTTON0);
    EXPECT_EQ(events[2].dwData, 0x80u);
    EXPECT_EQ(events[3].dwOfs, DIMOFS_X);
    EXPECT_EQ(static_cast<std::int32_t>(events[3].dwData), 7);
    EXPECT_EQ(events[4].dwOfs, 14u);
    EXPECT_EQ(events[4].dwData, 0x80u);
    EXPECT_EQ(events[5].dwOfs, 8u);
    EXPECT_EQ(static_cast<std::int32_t>(events[5].dwData), -120);
    EXPECT_EQ(events[6].dwOfs, 12u);
    EXPECT_EQ(events[6].dwData, 0u);

    // the live state the player asks for
    EXPECT_TRUE(input.CursorPosition(x, y));
    EXPECT_EQ(x, 110);
    EXPECT_EQ(y, 48);
    EXPECT_FALSE(input.IsButtonDown(0));
    EXPECT_TRUE(input.IsButtonDown(2));
    EXPECT_FALSE(input.IsButtonDown(7));

    // the raw 20-byte layout
    static_assert(sizeof(DIDEVICEOBJECTDATA) == 20);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&events[5]);
    EXPECT_EQ(bytes[0], 8);
    EXPECT_EQ(bytes[4], 0x88); // -120 little-endian
    EXPECT_EQ(bytes[7], 0xFF);
}

TEST(DirectInput, InactiveWindowDeliversNothingAndReadsReacquireAsTheyShould) {
    ScopedLogCapture log;
    ManualClock clock;
    SettingsWindow window = FastRepeatWindow();
    TestInput input(clock, &window);
    input.SetKeyRepeat(false);
    input.Create(DirectInputConfig{16});
    input.Acquire();
    input.KeyEvent(DIK_P, true);
    input.MouseMoved(0, 0);
    input.MouseMoved(5, 0);

    // the window loses the input: pending events go with it, new ones are not seen
    input.WindowActivated(false);
    input.KeyEvent(DIK_G, true);
    input.MouseWheelEvent(120);
    log.Writer().Clear();
    EXPECT_TRUE(ReadKeys(input).empty());
    EXPECT_EQ(CountRecords(log.Writer(), L"DirectInput: Acquire 成功"), 1) << "the keyboard read reacquires";
    EXPECT_TRUE(ReadMouse(input).empty());
    EXPECT_EQ(CountRecords(log.Writer(), L"DirectInput: Acquire 成功"), 1)
        << "the keyboard's failed reacquire left the mouse unacquired, not lost";
    // the mouse alone: lost while acquired, then read
    log.Writer().Clear();
    input.WindowActivated(true);
    input.Acquire();
    input.WindowActivated(false);
    EXPECT_TRUE(ReadMouse(input).empty());
    EXPECT_EQ(CountRecords(log.Writer(), L"DirectInput: Acquire 成功"), 2) << "input lost: reacquire once";
    EXPECT_TRUE(ReadMouse(input).empty());
    EXPECT_EQ(CountRecords(log.Writer(), L"DirectInput: Acquire 成功"), 2) << "not acquired: no reacquire";

    // active again: the next keyboard read reacquires and events flow
    input.WindowActivated(true);
    EXPECT_TRUE(ReadKeys(input).empty());
    input.KeyEvent(DIK_S, true);
    const auto keys = ReadKeys(input);
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].dwOfs, DIK_S);
    // the mouse needs the window's Acquire
    input.MouseWheelEvent(120);
    EXPECT_EQ(ReadMouse(input).size(), 1u);

    // unacquired devices buffer nothing and the read returns nothing
    input.Unacquire();
    input.KeyEvent(DIK_S, false);
    input.MouseWheelEvent(120);
    EXPECT_TRUE(ReadMouse(input).empty());
}

TEST(DirectInput, ReleasedDevicesReportNoEvents) {
    ScopedLogCapture log;
    ManualClock clock;
    SettingsWindow window = FastRepeatWindow();
    TestInput input(clock, &window);
    int count = -1;
    EXPECT_EQ(input.ReadKeyboard(count), nullptr);
    EXPECT_EQ(count, 0);
    input.Create(DirectInputConfig{16});
    input.Acquire();
    input.KeyEvent(DIK_P, true);
    input.Free();
    count = -1;
    EXPECT_EQ(input.ReadKeyboard(count), nullptr);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(input.ReadMouse(count), nullptr);
    EXPECT_EQ(count, 0);
}

TEST(DirectInput, HeldKeyRepeatsAfterTheDelayAtTheDesktopsSpeed) {
    ScopedLogCapture log;
    ManualClock clock(1000);
    SettingsWindow window = FastRepeatWindow();
    TestInput input(clock, &window);
    input.Create(DirectInputConfig{16});
    EXPECT_EQ(input.KeyboardDelay(), 1);
    EXPECT_EQ(input.KeyboardSpeed(), 31);
    input.Acquire();

    constexpr std::uint32_t kKeyA = 0x1E;
    input.KeyEvent(kKeyA, true);
    input.KeyEvent(DIK_CAPITAL, true);
    input.KeyEvent(DIK_KANA, true);
    input.KeyEvent(DIK_KANJI, true);
    EXPECT_EQ(ReadKeys(input).size(), 4u);

    // (delay + 1) x 250 ms must have passed, strictly
    clock.Set(1500);
    EXPECT_TRUE(ReadKeys(input).empty());
    clock.Set(1501);
    auto repeats = ReadKeys(input);
    ASSERT_EQ(repeats.size(), 2u) << "Caps Lock, Kana and Kanji never repeat";
    EXPECT_EQ(repeats[0].dwOfs, kKeyA);
    EXPECT_EQ(repeats[0].dwData, 0u);
    EXPECT_EQ(repeats[1].dwOfs, kKeyA);
    EXPECT_EQ(repeats[1].dwData, 0x80u);

    // then a release-press pair more than 33 ms apart
    clock.Set(1534);
    EXPECT_TRUE(ReadKeys(input).empty());
    clock.Set(1535);
    EXPECT_EQ(ReadKeys(input).size(), 2u);
    clock.Set(5000);
    EXPECT_EQ(ReadKeys(input).size(), 2u) << "one pair per read however long the gap";

    // a release ends the repeat
    input.KeyEvent(kKeyA, false);
    EXPECT_EQ(ReadKeys(input).size(), 1u);
    clock.Set(9000);
    EXPECT_TRUE(ReadKeys(input).empty());

    // deactivation forgets the held keys
    input.KeyEvent(kKeyA, true);
    EXPECT_EQ(ReadKeys(input).size(), 1u);
    input.Unacquire();
    input.Acquire();
    clock.Set(12000);
    EXPECT_TRUE(ReadKeys(input).empty());

    // so does losing the input to another window: the release made there is never seen
    input.KeyEvent(kKeyA, false);
    EXPECT_EQ(ReadKeys(input).size(), 1u);
    input.KeyEvent(kKeyA, true);
    EXPECT_EQ(ReadKeys(input).size(), 1u);
    input.WindowActivated(false);
    input.WindowActivated(true);
    input.Acquire();
    clock.Set(20000);
    EXPECT_TRUE(ReadKeys(input).empty()) << "a key released in another window repeats";

    EXPECT_TRUE(input.IsNoRepeatKey(0x94));
    EXPECT_TRUE(input.IsNoRepeatKey(0x3A));
    EXPECT_TRUE(input.IsNoRepeatKey(0x70));
    EXPECT_FALSE(input.IsNoRepeatKey(0x1E));
}

TEST(DirectInput, RepeatPairNeedsTwoFreePlaces) {
    ScopedLogCapture log;
    ManualClock clock(0);
    SettingsWindow window = FastRepeatWindow();
    TestInput input(clock, &window);
    input.Create(DirectInputConfig{2});
    input.Acquire();
    input.KeyEvent(0x1E, true);
    EXPECT_EQ(ReadKeys(input).size(), 1u);

    // a key pressed when the first is due: one place left, the pair is skipped and the
    // repeat clock restarts anyway
    clock.Set(600);
    input.KeyEvent(0x30, true);
    const auto events = ReadKeys(input);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].dwOfs, 0x30u);
    clock.Set(633);
    EXPECT_TRUE(ReadKeys(input).empty());
    clock.Set(634);
    const auto pair = ReadKeys(input);
    ASSERT_EQ(pair.size(), 2u);
    EXPECT_EQ(pair[0].dwOfs, 0x1Eu);
}

TEST(DirectInput, WithoutDesktopSettingsItLogsAndKeepsTheDefaults) {
    ManualClock clock(0);
    {
        // no window at all: delay 0, speed 49, which never repeats
        ScopedLogCapture log(4, true);
        TestInput input(clock, nullptr);
        input.Create(DirectInputConfig{16});
        EXPECT_EQ(CountRecords(log.Writer(), L"DirectInput: キーリピートレジストリ読み込み失敗"), 1);
        EXPECT_EQ(log.Writer().Errors().size(), 1u);
        EXPECT_EQ(input.KeyboardDelay(), 0);
        EXPECT_EQ(input.KeyboardSpeed(), 49);
        input.Acquire();
        input.KeyEvent(0x1E, true);
        EXPECT_EQ(ReadKeys(input).size(), 1u);
        clock.Set(100000);
        EXPECT_TRUE(ReadKeys(input).empty());
    }
    {
        // the delay read, the speed missing: the delay is kept, the speed stays
        ScopedLogCapture log(4, true);
        SettingsWindow window;
        window.settings = {{L"KeyboardDelay", L"2 quarters"}};
        TestInput input(clock, &window);
        input.Create(DirectInputConfig{16});
        EXPECT_EQ(CountRecords(log.Writer(), L"DirectInput: キーリピートレジストリ読み込み失敗"), 1);
        EXPECT_EQ(input.KeyboardDelay(), 2);
        EXPECT_EQ(input.KeyboardSpeed(), 49);
    }
    {
        // text without leading digits reads as 0; huge numbers do not overflow
        ScopedLogCapture log;
        SettingsWindow window;
        window.settings = {{L"KeyboardDelay", L"fast"}, {L"KeyboardSpeed", L"99999999999999999999"}};
        TestInput input(clock, &window);
        input.Create(DirectInputConfig{16});
        EXPECT_EQ(input.KeyboardDelay(), 0);
        EXPECT_GT(input.KeyboardSpeed(), 0);
        input.Acquire();
        input.KeyEvent(0x1E, true);
        EXPECT_EQ(ReadKeys(input).size(), 1u);
        clock.Set(200000);
        EXPECT_TRUE(ReadKeys(input).empty()) << "a speed above 33 never repeats";
    }
}

TEST(DirectInput, KeyRepeatOffReturnsExactlyTheWindowsTransitions) {
    ScopedLogCapture log;
    ManualClock clock(0);
    SettingsWindow window = FastRepeatWindow();
    TestInput input(clock, &window);
    input.SetKeyRepeat(false);
    EXPECT_FALSE(input.KeyRepeat());
    input.Create(DirectInputConfig{16});
    input.Acquire();
    input.KeyEvent(0x1E, true);
    input.KeyEvent(0x1E, true); // the desktop's own repeat: not a transition
    input.KeyEvent(0, true);    // a key without a code
    input.KeyEvent(0x1E, false);
    input.KeyEvent(0x1E, false);
    EXPECT_EQ(ReadKeys(input).size(), 2u);
    input.KeyEvent(0x1E, true);
    clock.Set(10000);
    EXPECT_EQ(ReadKeys(input).size(), 1u);
}

TEST(DirectInput, CreationAndReleaseWriteTheirRecords) {
    ScopedLogCapture log;
    ManualClock clock;
    SettingsWindow window = FastRepeatWindow();
    {
        TestInput input(clock, &window);
        input.Create(DirectInputConfig{16});
        EXPECT_EQ(input.BufferSize(), 16);
        input.Acquire();
        input.Unacquire();
    }
    std::vector<std::wstring> messages;
    for (const auto& record : log.Writer().Records()) {
        EXPECT_EQ(record.sourceFile, L"..\\..\\..\\..\\..\\COMMON\\SRC\\Vc\\DirectInput");
        EXPECT_EQ(record.level, record.message.find(L"cquire") != std::wstring::npos ? 3 : 2)
            << "level of a record";
        messages.push_back(record.message);
    }
    const std::vector<std::wstring> expected = {
        L"DirectInput: DirectInput 初期化開始",
        L"DirectInput: DirectInput 作成成功",
        L"DirectInput: キーボードデバイスの作成開始",
        L"DirectInput: CreateDevice 成功",
        L"DirectInput: SetDataFormat 成功",
        L"DirectInput: SetCooperativeLevel 成功",
        L"DirectInput: キーボードデバイスの作成終了",
        L"DirectInput: マウスデバイスの作成開始",
        L"DirectInput: CreateDevice 成功",
        L"DirectInput: SetDataFormat 成功",
        L"DirectInput: SetCooperativeLevel 成功",
        L"DirectInput: マウスデバイスの作成終了",
        L"DirectInput: DirectInput 初期化終了",
        L"DirectInput: Acquire 成功",
        L"DirectInput: Unacquire 成功",
        L"DirectInput: DirectInput 解放開始",
        L"DirectInput: Unacquire 成功",
        L"DirectInput: DirectInput 解放終了",
    };
    EXPECT_EQ(messages, expected);
}

TEST(DirectInput, UnusableBufferSizeFailsCreation) {
    ScopedLogCapture log(4, true);
    ManualClock clock;
    SettingsWindow window = FastRepeatWindow();
    for (std::int32_t size : {0, -1, DirectInput::kMaximumBufferSize + 1}) {
        TestInput input(clock, &window);
        try {
            input.Create(DirectInputConfig{size});
            ADD_FAILURE() << "buffer size " << size << " accepted";
        } catch (const DirectX::init_error& e) {
            EXPECT_EQ(std::wstring(e.what()),
                      CommonMessage(125) + L"[SetProperty DIPROP_BUFFERSIZE(E_INVALIDARG)]");
        }
    }
}

TEST(DirectInput, ReadDuringReleaseReturnsNoEvents) {
    ScopedLogCapture log;
    // the application thread reads just as the release unacquires the devices, with an
    // event of the window still queued
    class ReadWhileReleasing : public TestInput {
    public:
        using TestInput::TestInput;
        void Unacquire() override {
            if (releasing) {
                KeyEvent(DIK_P, true);
                MouseWheelEvent(120);
                keys = input::Read(*this, &DirectInput::ReadKeyboard);
                mouse = input::Read(*this, &DirectInput::ReadMouse);
            }
            TestInput::Unacquire();
        }
        bool releasing = false;
        std::vector<DIDEVICEOBJECTDATA> keys{1};
        std::vector<DIDEVICEOBJECTDATA> mouse{1};
    };
    ManualClock clock;
    SettingsWindow window = FastRepeatWindow();
    ReadWhileReleasing input(clock, &window);
    input.SetKeyRepeat(false);
    input.Create(DirectInputConfig{16});
    input.Acquire();
    input.releasing = true;
    input.Free();
    EXPECT_TRUE(input.keys.empty());
    EXPECT_TRUE(input.mouse.empty());
}

TEST(DirectInput, PollingThreadCallsTheCallbacksUntilReleased) {
    ScopedLogCapture log;
    struct Counter : InputCallback {
        void Call() override { ++calls; }
        std::atomic<int> calls{0};
    };
    Counter first;
    Counter second;
    SettingsWindow window = FastRepeatWindow();
    TestInput input(SystemClock(), &window);
    input.SetCallback1(&first);
    input.SetCallback2(&second);
    input.Create(DirectInputConfig{16});

    // (long, for a loaded machine: the loop leaves as soon as both were called)
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while ((first.calls < 3 || second.calls < 3) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_GE(first.calls, 3);
    EXPECT_GE(second.calls, 3);
    input.Free();
    const int callsAtRelease = first.calls;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(first.calls, callsAtRelease);
    EXPECT_EQ(CountRecords(log.Writer(), L"DirectInput: 入力スレッドの開始"), 1);
    EXPECT_EQ(CountRecords(log.Writer(), L"InputThread 開始"), 1);
    EXPECT_EQ(CountRecords(log.Writer(), L"InputThread 終了"), 1);
}

TEST(DirectInput, KeyCodesFromX11) {
    EXPECT_EQ(ScanCodeFromX11KeyCode(10), DIK_1);
    EXPECT_EQ(ScanCodeFromX11KeyCode(11), DIK_2);
    EXPECT_EQ(ScanCodeFromX11KeyCode(33), DIK_P);
    EXPECT_EQ(ScanCodeFromX11KeyCode(39), DIK_S);
    EXPECT_EQ(ScanCodeFromX11KeyCode(42), DIK_G);
    EXPECT_EQ(ScanCodeFromX11KeyCode(9), DIK_ESCAPE);
    EXPECT_EQ(ScanCodeFromX11KeyCode(66), DIK_CAPITAL);
    EXPECT_EQ(ScanCodeFromX11KeyCode(111), DIK_UP);
    EXPECT_EQ(ScanCodeFromX11KeyCode(116), DIK_DOWN);
    EXPECT_EQ(ScanCodeFromX11KeyCode(101), DIK_KANA);
    EXPECT_EQ(ScanCodeFromX11KeyCode(93), DIK_KANJI);
    EXPECT_EQ(ScanCodeFromX11KeyCode(0), 0u);
    EXPECT_EQ(ScanCodeFromX11KeyCode(8), 0u);
    EXPECT_EQ(ScanCodeFromX11KeyCode(255), 0u);
    EXPECT_EQ(ScanCodeFromX11KeyCode(100000), 0u);
}

TEST(DirectInput, DesktopRepeatTimesConvertToTheKeyboardScales) {
    EXPECT_EQ(DirectInput::KeyboardDelayFromMilliseconds(250), 0);
    EXPECT_EQ(DirectInput::KeyboardDelayFromMilliseconds(500), 1);
    EXPECT_EQ(DirectInput::KeyboardDelayFromMilliseconds(660), 2);
    EXPECT_EQ(DirectInput::KeyboardDelayFromMilliseconds(1000), 3);
    EXPECT_EQ(DirectInput::KeyboardDelayFromMilliseconds(60000), 3);
    EXPECT_EQ(DirectInput::KeyboardDelayFromMilliseconds(-5), 0);
    // whatever the desktop reports
    EXPECT_EQ(DirectInput::KeyboardDelayFromMilliseconds(INT_MAX), 3);
    EXPECT_EQ(DirectInput::KeyboardDelayFromMilliseconds(INT_MIN), 0);
    EXPECT_EQ(DirectInput::KeyboardSpeedFromInterval(INT_MAX), 0);
    EXPECT_EQ(DirectInput::KeyboardSpeedFromInterval(INT_MIN), 31);
    EXPECT_EQ(DirectInput::KeyboardSpeedFromInterval(33), 31);
    EXPECT_EQ(DirectInput::KeyboardSpeedFromInterval(500), 0);
    EXPECT_EQ(DirectInput::KeyboardSpeedFromInterval(5), 31);
    EXPECT_EQ(DirectInput::KeyboardSpeedFromInterval(2000), 0);
    // 40 ms between repeats: a speed whose interval is within a step of it
    const int speed = DirectInput::KeyboardSpeedFromInterval(40);
    EXPECT_NEAR(500 - speed * 467 / 31, 40, 467 / 31 + 1);
}
